#include "engine/odbc/SelectReadings.h"

#include "engine/EngineError.h"

#include <utility>

namespace engine::odbc {

namespace {

// Stands in a pattern for quoted value k: '\x01k'. No text of the tool holds
// the control character, and a text that does is never read by pattern.
constexpr char marker = '\x01';

// Where the quoted values ('...', quotes included) of Jet SQL stand, found as
// the translation finds them: a quoted part opens at ', " or [, and a doubled
// quote inside stands for itself (not inside [...]). False when a quoted part
// is never closed.
bool quotedValues(const std::string& sql, std::vector<std::pair<std::size_t, std::size_t>>& values) {
    for (std::size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c != '\'' && c != '"' && c != '[') {
            ++i;
            continue;
        }
        const char closer = c == '[' ? ']' : c;
        std::size_t j = i + 1;
        bool closed = false;
        while (j < sql.size()) {
            if (sql[j] == closer) {
                if (closer != ']' && j + 1 < sql.size() && sql[j + 1] == closer) {
                    j += 2;
                    continue;
                }
                closed = true;
                ++j;
                break;
            }
            ++j;
        }
        if (!closed)
            return false;
        if (c == '\'')
            values.emplace_back(i, j);
        i = j;
    }
    return true;
}

// A quoted value as a parameter holds it: without its quotes, a doubled
// quote standing for one.
std::string unquoted(const std::string& sql, std::size_t begin, std::size_t end) {
    std::string text;
    for (std::size_t i = begin + 1; i + 1 < end; ++i) {
        text += sql[i];
        if (sql[i] == '\'')
            ++i;
    }
    return text;
}

} // namespace

SelectReading SelectReadings::read(const std::string& jetSql) {
    std::vector<std::pair<std::size_t, std::size_t>> quoted;
    if (jetSql.find(marker) != std::string::npos || !quotedValues(jetSql, quoted))
        return afresh_(jetSql);
    std::string key;
    key.reserve(jetSql.size());
    std::size_t copied = 0;
    for (std::size_t k = 0; k < quoted.size(); ++k) {
        key.append(jetSql, copied, quoted[k].first - copied);
        key += '\'';
        key += marker;
        key += std::to_string(k);
        key += '\'';
        copied = quoted[k].second;
    }
    key.append(jetSql, copied, std::string::npos);

    auto found = patterns_.find(key);
    if (found == patterns_.end()) {
        if (patterns_.size() >= capacity)
            patterns_.clear();
        Pattern made;
        try {
            made.reading = afresh_(key);
            // Each marker must be one parameter, and stand nowhere else.
            std::vector<int> seen(quoted.size(), 0);
            made.usable = made.reading.text.find(marker) == std::string::npos;
            for (const std::string& table : made.reading.tablesRead)
                made.usable = made.usable && table.find(marker) == std::string::npos;
            for (const Variant& value : made.reading.values) {
                int k = -1;
                if (value.kind() == Variant::Kind::Text && value.text().find(marker) != std::string::npos) {
                    // One of the markers put in, whole: its number.
                    const std::string& text = value.text();
                    std::size_t number = 0;
                    bool whole = text.size() > 1 && text.size() <= 10 && text[0] == marker;
                    for (std::size_t i = 1; whole && i < text.size(); ++i) {
                        whole = text[i] >= '0' && text[i] <= '9';
                        number = number * 10 + static_cast<std::size_t>(text[i] - '0');
                    }
                    made.usable = made.usable && whole && number < quoted.size();
                    if (made.usable) {
                        k = static_cast<int>(number);
                        ++seen[number];
                    }
                }
                made.valueOf.push_back(k);
            }
            for (int count : seen)
                made.usable = made.usable && count == 1;
        } catch (const EngineError&) {
            // The text itself says what is wrong with it.
            made.usable = false;
        }
        found = patterns_.emplace(std::move(key), std::move(made)).first;
    }
    const Pattern& pattern = found->second;
    if (!pattern.usable)
        return afresh_(jetSql);
    SelectReading reading = pattern.reading;
    for (std::size_t i = 0; i < pattern.valueOf.size(); ++i) {
        if (pattern.valueOf[i] >= 0) {
            const auto& [begin, end] = quoted[static_cast<std::size_t>(pattern.valueOf[i])];
            reading.values[i] = Variant(unquoted(jetSql, begin, end));
        }
    }
    return reading;
}

} // namespace engine::odbc
