#pragma once
// The whole sample: properties, the special tenancies and as many ordinary
// ones as asked for.

#include "SampleData.h"

#include <cstdint>

namespace sample {

inline constexpr int maximumTenancies = 32767;  // the tool's tenant list holds no more
inline constexpr int benchmarkTenancies = 1000; // above this, every tenancy has 36 periods

// The sample of the given number of tenancies (0 to maximumTenancies). The
// special cases come first and do not depend on the seed; the ordinary
// tenancies do. Rows are in the order the host would have added them: by
// date, tenancy by tenancy within a day.
SampleData generateSample(int tenancies, std::uint64_t seed);

} // namespace sample
