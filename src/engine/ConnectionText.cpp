#include "engine/ConnectionText.h"

namespace engine {

namespace {

constexpr const char* prefix = "ODBC;";

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t prefixEnd(const std::string& location) {
    std::size_t i = 0;
    while (i < location.size() && isBlank(location[i]))
        ++i;
    for (std::size_t k = 0; prefix[k]; ++k, ++i) {
        if (i >= location.size() || lower(location[i]) != lower(prefix[k]))
            return std::string::npos;
    }
    return i;
}

std::string trimmedLower(const std::string& s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    std::string out;
    for (std::size_t i = begin; i < end; ++i)
        out += lower(s[i]);
    return out;
}

} // namespace

bool IsConnectionText(const std::string& location) {
    return prefixEnd(location) != std::string::npos;
}

std::string OdbcConnectionString(const std::string& location) {
    const std::size_t end = prefixEnd(location);
    return end == std::string::npos ? location : location.substr(end);
}

std::string MaskPassword(const std::string& text) {
    if (!IsConnectionText(text))
        return text;
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        // One attribute: key up to "=", then a value up to ";" (a braced
        // value runs to its closing brace, "}}" standing for one brace).
        const std::size_t equals = text.find('=', i);
        const std::size_t semicolon = text.find(';', i);
        if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
            const std::size_t end = semicolon == std::string::npos ? text.size() : semicolon + 1;
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        const std::string key = trimmedLower(text.substr(i, equals - i));
        std::size_t valueStart = equals + 1;
        std::size_t v = valueStart;
        while (v < text.size() && isBlank(text[v]))
            ++v;
        std::size_t valueEnd;
        if (v < text.size() && text[v] == '{') {
            valueEnd = v + 1;
            while (valueEnd < text.size()) {
                if (text[valueEnd] == '}') {
                    if (valueEnd + 1 < text.size() && text[valueEnd + 1] == '}') {
                        valueEnd += 2;
                        continue;
                    }
                    ++valueEnd;
                    break;
                }
                ++valueEnd;
            }
            // Anything after the brace up to the separator belongs to the value.
            const std::size_t next = text.find(';', valueEnd);
            valueEnd = next == std::string::npos ? text.size() : next;
        } else {
            const std::size_t next = text.find(';', valueStart);
            valueEnd = next == std::string::npos ? text.size() : next;
        }
        out.append(text, i, valueStart - i);
        if (key == "pwd" || key == "password")
            out += "****";
        else
            out.append(text, valueStart, valueEnd - valueStart);
        i = valueEnd;
        if (i < text.size()) {
            out += ';';
            ++i;
        }
    }
    return out;
}

} // namespace engine
