#include "engine/QuotedValues.h"

namespace engine {

bool FindQuotedValues(const std::string& sql, std::vector<std::pair<std::size_t, std::size_t>>& values) {
    values.clear();
    std::size_t i = 0;
    while (i < sql.size()) {
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
        if (c == '\'') {
            if (!closed)
                return false;
            values.emplace_back(i, j);
        }
        i = j;
    }
    return true;
}

std::string UnquotedValue(const std::string& sql, std::size_t begin, std::size_t end) {
    std::string text;
    for (std::size_t i = begin + 1; i + 1 < end; ++i) {
        text += sql[i];
        if (sql[i] == '\'')
            ++i; // the second of a doubled apostrophe
    }
    return text;
}

} // namespace engine
