#include "rent/TenantCodes.h"

#include <bit>
#include <cstring>

namespace rent {

namespace {

// The bytes of a code are read into a key as a little-endian machine holds them.
static_assert(std::endian::native == std::endian::little);

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
    shift_ = 64 - std::countr_zero(size);
    codes_.reserve(codes);
}

TenantCodes::Key TenantCodes::keyOf(std::string_view code) {
    Key key;
    key.length = static_cast<std::uint32_t>(code.size());
    if (code.size() <= inlineBytes) {
        // The bytes in the order of the code, the first lowest: from four on,
        // its first four and its last four, which overlap by the same bytes.
        std::uint64_t bytes = 0;
        const std::size_t n = code.size();
        if (n >= 4) {
            std::uint32_t first = 0;
            std::uint32_t last = 0;
            std::memcpy(&first, code.data(), 4);
            std::memcpy(&last, code.data() + n - 4, 4);
            bytes = first | (static_cast<std::uint64_t>(last) << (8 * (n - 4)));
        } else {
            for (std::size_t i = 0; i < n; ++i)
                bytes |= static_cast<std::uint64_t>(static_cast<unsigned char>(code[i])) << (8 * i);
        }
        // The eight bytes folded at once: 0x20 added to each byte from 'A' to
        // 'Z' (its high bit clear, and not below 'A' nor above 'Z').
        constexpr std::uint64_t ones = 0x0101010101010101ull;
        constexpr std::uint64_t highs = 0x8080808080808080ull;
        const std::uint64_t low = bytes & ~highs;
        const std::uint64_t fromA = low + (0x80 - 'A') * ones;
        const std::uint64_t beyondZ = low + (0x80 - 'Z' - 1) * ones;
        const std::uint64_t upper = fromA & ~beyondZ & ~bytes & highs;
        key.bits = bytes | (upper >> 2);
        return key;
    }
    // FNV-1a over the folded bytes.
    std::uint64_t h = 14695981039346656037ull;
    for (char c : code) {
        h ^= static_cast<unsigned char>(fold(c));
        h *= 1099511628211ull;
    }
    key.bits = h;
    return key;
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

std::size_t TenantCodes::probe(std::string_view code, Key key) const {
    const std::size_t mask = entries_.size() - 1;
    for (std::size_t at = placeOf(key);; at = (at + 1) & mask) {
        const Entry& entry = entries_[at];
        if (entry.code == empty || (entry.holds(key) && (key.length <= inlineBytes || same(codes_[entry.code], code))))
            return at;
    }
}

void TenantCodes::grow() {
    std::vector<Entry> old(entries_.size() * 2);
    old.swap(entries_);
    shift_ -= 1;
    for (const Entry& kept : old) {
        if (kept.code != empty)
            entries_[probe(codes_[kept.code], Key{kept.bits, kept.length})] = kept;
    }
}

std::size_t TenantCodes::add(std::string_view code) {
    const Key key = keyOf(code);
    const std::size_t at = probe(code, key);
    if (entries_[at].code != empty)
        return entries_[at].code;
    if (2 * (codes_.size() + 1) > entries_.size()) {
        // More codes than the room asked for: twice the room, and each code
        // put in again.
        grow();
        return add(code);
    }
    Entry& entry = entries_[at];
    entry.bits = key.bits;
    entry.length = key.length;
    entry.code = static_cast<std::uint32_t>(codes_.size());
    codes_.push_back(FoldedCode(code));
    return entry.code;
}

std::optional<std::size_t> TenantCodes::find(std::string_view code) const {
    return find(code, keyOf(code));
}

std::optional<std::size_t> TenantCodes::find(std::string_view code, Key key) const {
    const bool inlined = key.length <= inlineBytes;
    if (inlined && lastCode_ != empty && key == lastKey_)
        return lastCode_;
    const Entry& entry = entries_[probe(code, key)];
    if (entry.code == empty)
        return std::nullopt;
    if (inlined) {
        lastKey_ = key;
        lastCode_ = entry.code;
    }
    return entry.code;
}

} // namespace rent
