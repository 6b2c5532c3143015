#pragma once
// A small pseudo-random generator of our own (SplitMix64), so that the same
// seed gives the same sample database with every compiler and standard
// library: the standard distributions are free to differ between versions.

#include <cstdint>

namespace sample {

class SampleRandom {
public:
    explicit constexpr SampleRandom(std::uint64_t seed) : state_(seed) {}

    // An independent stream for one part of the sample (one tenancy, one
    // property), so that adding rows to one part does not shift the others.
    static constexpr SampleRandom stream(std::uint64_t seed, std::uint64_t part) {
        SampleRandom mixer(seed ^ (part * 0xd1342543de82ef95ULL));
        mixer.next();
        return SampleRandom(mixer.next() ^ part);
    }

    constexpr std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // A whole number from lo to hi, both included; lo when hi < lo.
    constexpr std::int64_t between(std::int64_t lo, std::int64_t hi) {
        if (hi <= lo) {
            return lo;
        }
        const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
        // The bias of the remainder is below 2^-40 for the spans used here.
        return lo + static_cast<std::int64_t>(next() % span);
    }

    // True with a chance of perMille in a thousand.
    constexpr bool chance(int perMille) { return between(0, 999) < perMille; }

private:
    std::uint64_t state_;
};

} // namespace sample
