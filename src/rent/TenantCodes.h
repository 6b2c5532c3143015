#pragma once
// The tenant codes of the list, numbered, found again for the codes the
// tables hold as the database finds them: its tenant columns are text collate
// nocase, so that a code matches whatever the case of its ASCII letters
// (every other byte as it is).
//
// Looked up for every row of every table a check reads, so a code is folded
// while it is looked at rather than copied folded, and the table is open
// addressed: a probe is one comparison in a flat array, not a walk along a
// chain of nodes. A code of up to eight bytes (as nearly every code is) is
// its own key, held in the entry itself, so that a probe reads nothing else;
// a longer one is keyed by its hash and compared with the code kept. The
// rows of a table often hold the same code one after another, so the code
// found last is asked first.

#include "engine/Variant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rent {

class TenantCodes {
public:
    // Room for up to codes codes.
    explicit TenantCodes(std::size_t codes);

    // The number of code: the number of the code it matches, else the next
    // number (the count of codes so far).
    std::size_t add(std::string_view code);
    // The number of the code that code matches, if any.
    std::optional<std::size_t> find(std::string_view code) const;
    // The same for a table's tenant code as read: none for one that is not text.
    std::optional<std::size_t> findValue(const engine::Variant& code) const {
        if (code.kind() != engine::Variant::Kind::Text)
            return std::nullopt;
        return find(code.text());
    }

    std::size_t size() const { return codes_.size(); }

    // Whether code matches the folded code.
    static bool same(std::string_view folded, std::string_view code);

    // The lookup of find in two steps, for many codes at once: the key of
    // each, and its entry fetched into the cache, first; then each found by
    // its key (and by the code itself, which only a code longer than
    // inlineBytes needs).
    static constexpr std::size_t inlineBytes = 8;
    // The folded code's bytes when it has at most inlineBytes, else its hash;
    // with its length.
    struct Key {
        std::uint64_t bits = 0;
        std::uint32_t length = 0;
        bool operator==(const Key&) const = default;
    };
    static Key keyOf(std::string_view code);
    void prefetch(Key key) const { __builtin_prefetch(&entries_[placeOf(key)]); }
    std::optional<std::size_t> find(std::string_view code, Key key) const;

private:
    static constexpr std::uint32_t empty = UINT32_MAX;
    // The entry where a probe for key begins.
    std::size_t placeOf(Key key) const {
        // Fibonacci hashing: the multiplication carries every byte of the key
        // into the high bits, which give the place.
        return static_cast<std::size_t>(
            ((key.bits ^ (static_cast<std::uint64_t>(key.length) << 59)) * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    // The entry where code is, or the empty one where it would go.
    std::size_t probe(std::string_view code, Key key) const;
    void grow();

    struct Entry { // sixteen bytes: four to a cache line
        std::uint64_t bits = 0;
        std::uint32_t length = 0;
        std::uint32_t code = empty;
        bool holds(Key key) const { return bits == key.bits && length == key.length; }
    };
    std::vector<Entry> entries_;     // a power of two of them, at most half in use
    int shift_ = 0;                  // 64 less the bits of an entry's place
    std::vector<std::string> codes_; // folded
    mutable Key lastKey_;            // of the code found last, when inline
    mutable std::uint32_t lastCode_ = empty;
};

// A tenant code as the database compares it: ASCII letters folded.
std::string FoldedCode(std::string_view code);

} // namespace rent
