#pragma once
// The quoted values of a Jet SQL text ('...'), found as the dialect's
// translation finds them: a quoted part opens at ', " or [, and a doubled
// quote inside stands for itself (not inside [...]). The backends read a
// statement once for all texts that differ in these values alone.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace engine {

// Where each quoted value stands in sql (begin, end; quotes included), in
// order; false when a quoted part is never closed.
bool FindQuotedValues(const std::string& sql, std::vector<std::pair<std::size_t, std::size_t>>& values);

// The value quoted at sql[begin, end) as a parameter holds it: without its
// quotes, a doubled quote standing for one.
std::string UnquotedValue(const std::string& sql, std::size_t begin, std::size_t end);

} // namespace engine
