#include "SampleData.h"

namespace sample {

std::uint32_t TextTable::intern(const std::string& text) {
    const auto [position, added] = indexes_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
    if (added) {
        texts_.push_back(text);
    }
    return position->second;
}

} // namespace sample
