#include "database/SqlText.h"

#include <cstdio>

namespace {

// Letters, digits and underscore make up a word; so does every byte above
// ASCII, so that an accented letter in a name is never taken as a word edge.
bool isWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u >= 0x80;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        c = asciiLower(c);
    return text;
}

// Where the quoted part that opens at sql[open] ends: the index just past its
// closing quote. Inside 'text' and "text" a doubled quote stands for itself;
// [names] end at the first ']'. A part that is never closed runs to the end.
std::size_t endOfQuoted(const std::string& sql, std::size_t open) {
    const char opener = sql[open];
    const char closer = opener == '[' ? ']' : opener;
    std::size_t i = open + 1;
    while (i < sql.size()) {
        if (sql[i] == closer) {
            if (closer != ']' && i + 1 < sql.size() && sql[i + 1] == closer) {
                i += 2; // a doubled quote inside the value
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return sql.size();
}

// The words true and false, written in lower case and standing as words of
// their own outside quoted values and bracketed names, become -1 and 0.
// Quoted values are read as the engine reads them, before any apostrophe is
// repaired: an apostrophe opens a value, two in a row inside it stand for
// one, the next single one closes it. In a text with an odd count the value
// that the last apostrophe opens is never closed, so nothing after it is
// replaced: leaving a word alone is safer than rewriting part of a value.
std::string replaceTruthWords(const std::string& sql) {
    std::string out;
    out.reserve(sql.size());
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '[') {
            const std::size_t end = endOfQuoted(sql, i);
            out.append(sql, i, end - i);
            i = end;
        } else if (isWordByte(c)) {
            std::size_t end = i;
            while (end < sql.size() && isWordByte(sql[end]))
                ++end;
            const std::string_view word(sql.data() + i, end - i);
            if (word == "false")
                out += '0';
            else if (word == "true")
                out += "-1";
            else
                out.append(word);
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

bool isEdgeBehind(const std::string& lowered) {
    return lowered.find_first_of("=<>") != std::string::npos || lowered.find("ke") != std::string::npos;
}

bool isEdgeAhead(const std::string& lowered) {
    return lowered == " and" || lowered == "  an" || lowered == " or " || lowered == " ord";
}

} // namespace

std::string NormaliseSql(std::string& sql) {
    sql = replaceTruthWords(sql);

    std::size_t apostrophes = 0;
    for (char c : sql)
        apostrophes += c == '\'' ? 1 : 0;
    if (apostrophes % 2 == 0)
        return sql;

    // An odd count means a value was spliced in with an apostrophe of its
    // own. Every apostrophe is examined once, from the left: one that opens a
    // value (after a comparison or like) or closes it (before the next
    // condition, an order clause or the end of the text) stays single; any
    // other is doubled. Positions below are counted from 1 as j.
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = sql.find('\'', from);
        if (at == std::string::npos)
            break;
        const long long j = static_cast<long long>(at) + 1;
        const long long length = static_cast<long long>(sql.size());

        if (j >= 4 && isEdgeBehind(asciiLower(sql.substr(at - 3, 3)))) {
            from = at + 1;
            continue;
        }
        if (j < length - 4 && isEdgeAhead(asciiLower(sql.substr(at + 1, 4)))) {
            from = at + 1;
            continue;
        }
        if (j == length) {
            from = at + 1;
            continue;
        }
        sql.insert(at + 1, 1, '\'');
        from = at + 2;
    }
    return sql;
}

std::string SqlDateLiteral(const engine::Date& date) {
    const engine::DateParts parts = date.parts();
    char text[32];
    std::snprintf(text, sizeof text, "#%02d/%02d/%04d#", parts.month, parts.day, parts.year);
    return text;
}

std::string SqlQuote(const std::string& value) {
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '\'';
    for (char c : value) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    quoted += '\'';
    return quoted;
}
