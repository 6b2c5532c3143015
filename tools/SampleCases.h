#pragma once
// The tenancies of the sample that the rent analysis exists for: periods that
// disagree with the money received, and data that is awkward to handle. They
// do not depend on the seed, so their figures can be relied on.

#include "SampleTenancy.h"

#include <span>

namespace sample {

struct SpecialCase {
    const char* reference;
    const char* what; // what is wrong with the tenancy, or what is awkward
    TenancyDraft (*build)(SampleRandom& random);
};

// In the order in which they join the sample: a sample of n tenancies holds
// the first n of them, all of them from specialCases().size() on.
std::span<const SpecialCase> specialCases();

} // namespace sample
