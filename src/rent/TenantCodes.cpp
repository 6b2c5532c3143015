#include "rent/TenantCodes.h"

namespace rent {

namespace {

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string FoldedCode(std::string_view code) {
    std::string out(code);
    for (char& c : out)
        c = fold(c);
    return out;
}

TenantCodes::TenantCodes(std::size_t codes) {
    std::size_t size = 16;
    while (size < 2 * codes)
        size *= 2;
    entries_.resize(size);
    codes_.reserve(codes);
}

std::uint64_t TenantCodes::hash(std::string_view code) {
    // FNV-1a over the folded bytes.
    std::uint64_t h = 14695981039346656037ull;
    for (char c : code) {
        h ^= static_cast<unsigned char>(fold(c));
        h *= 1099511628211ull;
    }
    return h ^ (h >> 29);
}

bool TenantCodes::same(std::string_view folded, std::string_view code) {
    if (folded.size() != code.size())
        return false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (folded[i] != fold(code[i]))
            return false;
    }
    return true;
}

std::size_t TenantCodes::probe(std::string_view code, std::uint64_t hashed) const {
    const std::size_t mask = entries_.size() - 1;
    const auto part = static_cast<std::uint32_t>(hashed >> 32);
    for (std::size_t at = static_cast<std::size_t>(hashed) & mask;; at = (at + 1) & mask) {
        const Entry& entry = entries_[at];
        if (entry.code == empty || (entry.hash == part && same(codes_[entry.code], code)))
            return at;
    }
}

std::size_t TenantCodes::add(std::string_view code) {
    const std::uint64_t hashed = hash(code);
    Entry& entry = entries_[probe(code, hashed)];
    if (entry.code != empty)
        return entry.code;
    if (2 * (codes_.size() + 1) > entries_.size()) {
        // More codes than the room asked for: twice the room, and each code
        // put in again.
        std::vector<Entry> old(entries_.size() * 2);
        old.swap(entries_);
        for (const Entry& kept : old) {
            if (kept.code != empty)
                entries_[probe(codes_[kept.code], hash(codes_[kept.code]))] = kept;
        }
        return add(code);
    }
    entry.hash = static_cast<std::uint32_t>(hashed >> 32);
    entry.code = static_cast<std::uint32_t>(codes_.size());
    codes_.push_back(FoldedCode(code));
    return entry.code;
}

std::optional<std::size_t> TenantCodes::find(std::string_view code) const {
    const Entry& entry = entries_[probe(code, hash(code))];
    if (entry.code == empty)
        return std::nullopt;
    return entry.code;
}

} // namespace rent
