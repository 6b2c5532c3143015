#include "engine/odbc/SelectReadings.h"

#include "engine/EngineError.h"
#include "engine/QuotedValues.h"

#include <algorithm>
#include <utility>

namespace engine::odbc {

namespace {

// Stands in a pattern for quoted value k: '\x01k'. No text of the tool holds
// the control character, and a text that does is never read by pattern.
constexpr char marker = '\x01';

// The text with its quoted values (where quoted) as markers, but for those
// that asTheyAre names, which stay as they are.
std::string patternKey(const std::string& sql, const std::vector<std::pair<std::size_t, std::size_t>>& quoted,
                       const std::vector<bool>& asTheyAre) {
    std::string key;
    key.reserve(sql.size());
    std::size_t copied = 0;
    for (std::size_t k = 0; k < quoted.size(); ++k) {
        if (asTheyAre[k])
            continue;
        key.append(sql, copied, quoted[k].first - copied);
        key += '\'';
        key += marker;
        key += std::to_string(k);
        key += '\'';
        copied = quoted[k].second;
    }
    key.append(sql, copied, std::string::npos);
    return key;
}

// The number of the marker at text[at], and end just past its digits;
// false when no number (or one too long to be ours) follows it.
bool markerAt(const std::string& text, std::size_t at, std::size_t& number, std::size_t& end) {
    number = 0;
    for (end = at + 1; end < text.size() && text[end] >= '0' && text[end] <= '9'; ++end)
        number = number * 10 + static_cast<std::size_t>(text[end] - '0');
    return end > at + 1 && end - at <= 10;
}

} // namespace

const SelectReadings::Pattern& SelectReadings::pattern(const std::string& key, const std::vector<bool>& asTheyAre) {
    auto found = patterns_.find(key);
    if (found != patterns_.end())
        return found->second;
    if (patterns_.size() >= capacity)
        patterns_.clear();
    const std::size_t quotedValues = asTheyAre.size();
    Pattern made;
    made.kept.assign(quotedValues, false);
    try {
        made.reading = afresh_(key);
        // Each marker must be one parameter, or stay in the text, where the
        // value it stands for is then put in the pattern as it is.
        std::vector<int> seen(quotedValues, 0);
        made.usable = true;
        for (const std::string& table : made.reading.tablesRead)
            made.usable = made.usable && table.find(marker) == std::string::npos;
        const std::string& text = made.reading.text;
        for (std::size_t at = text.find(marker); made.usable && at != std::string::npos; at = text.find(marker, at + 1)) {
            std::size_t number = 0;
            std::size_t end = 0;
            made.usable = markerAt(text, at, number, end) && number < quotedValues;
            if (made.usable)
                made.kept[number] = true;
        }
        for (const Variant& value : made.reading.values) {
            int k = -1;
            if (value.kind() == Variant::Kind::Text && value.text().find(marker) != std::string::npos) {
                // One of the markers put in, whole.
                std::size_t number = 0;
                std::size_t end = 0;
                made.usable = made.usable && value.text()[0] == marker && markerAt(value.text(), 0, number, end) &&
                              end == value.text().size() && number < quotedValues;
                if (made.usable) {
                    k = static_cast<int>(number);
                    ++seen[number];
                }
            }
            made.valueOf.push_back(k);
        }
        for (std::size_t k = 0; k < quotedValues; ++k)
            made.usable = made.usable && (asTheyAre[k] || (made.kept[k] ? seen[k] == 0 : seen[k] == 1));
    } catch (const EngineError&) {
        // The text itself says what is wrong with it.
        made.usable = false;
    }
    return patterns_.emplace(key, std::move(made)).first->second;
}

SelectReading SelectReadings::read(const std::string& jetSql) {
    std::vector<std::pair<std::size_t, std::size_t>> quoted;
    if (jetSql.find(marker) != std::string::npos || !FindQuotedValues(jetSql, quoted))
        return afresh_(jetSql);
    const auto anyKept = [](const Pattern& p) { return std::find(p.kept.begin(), p.kept.end(), true) != p.kept.end(); };
    std::vector<bool> asTheyAre(quoted.size(), false);
    const Pattern* found = &pattern(patternKey(jetSql, quoted, asTheyAre), asTheyAre);
    // Values that stay in the text are the pattern's own: the text's are put
    // in as they are, and that pattern read.
    if (found->usable && anyKept(*found)) {
        asTheyAre = found->kept;
        found = &pattern(patternKey(jetSql, quoted, asTheyAre), asTheyAre);
        if (anyKept(*found))
            return afresh_(jetSql);
    }
    if (!found->usable)
        return afresh_(jetSql);
    SelectReading reading = found->reading;
    for (std::size_t i = 0; i < found->valueOf.size(); ++i) {
        if (found->valueOf[i] >= 0) {
            const auto& [begin, end] = quoted[static_cast<std::size_t>(found->valueOf[i])];
            reading.values[i] = Variant(UnquotedValue(jetSql, begin, end));
        }
    }
    return reading;
}

} // namespace engine::odbc
