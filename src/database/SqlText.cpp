#include "database/SqlText.h"

#include "engine/QuotedValues.h"

#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t inserted = static_cast<std::size_t>(-1);

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

std::size_t countApostrophes(const std::string& sql) {
    std::size_t count = 0;
    for (char c : sql)
        count += c == '\'' ? 1 : 0;
    return count;
}

bool isEdgeBehind(const std::string& lowered) {
    return lowered.find_first_of("=<>") != std::string::npos || lowered.find("ke") != std::string::npos;
}

bool isEdgeAhead(const std::string& lowered) {
    return lowered == " and" || lowered == "  an" || lowered == " or " || lowered == " ord";
}

// The apostrophe repair of a text with an odd count. Every apostrophe is
// examined once, from the left: one that opens a value (after a comparison
// or like) or closes it (before the next condition, an order clause or the
// end of the text) stays single; any other is doubled. Positions are
// counted from 1 as j. When origin is given it follows the text: the index
// in the text as it came of each character, or `inserted`.
void repairApostrophes(std::string& sql, std::vector<std::size_t>* origin) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = sql.find('\'', from);
        if (at == std::string::npos)
            return;
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
        if (origin != nullptr)
            origin->insert(origin->begin() + static_cast<std::ptrdiff_t>(at) + 1, inserted);
        from = at + 2;
    }
}

// Which characters the engine reads as part of a quoted value or bracketed
// name, delimiters included: 'text' and "text", where a doubled quote
// stands for one, and [names]. One that is never closed runs to the end.
std::vector<bool> quotedCharacters(const std::string& sql) {
    std::vector<bool> quoted(sql.size(), false);
    char closer = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (closer == 0) {
            if (c == '\'' || c == '"' || c == '[') {
                closer = c == '[' ? ']' : c;
                quoted[i] = true;
            }
            continue;
        }
        quoted[i] = true;
        if (c != closer)
            continue;
        if (closer != ']' && i + 1 < sql.size() && sql[i + 1] == closer)
            quoted[++i] = true; // a doubled quote inside the value
        else
            closer = 0;
    }
    return quoted;
}

// The quoted characters of sql as the engine will read it once an odd count
// has been repaired, so a word after a repaired value is still seen as the
// bare word it will be. An even count is read as it stands.
std::vector<bool> quotedAfterRepair(const std::string& sql, bool oddCount) {
    if (!oddCount)
        return quotedCharacters(sql);
    std::string repaired = sql;
    std::vector<std::size_t> origin(sql.size());
    for (std::size_t i = 0; i < origin.size(); ++i)
        origin[i] = i;
    repairApostrophes(repaired, &origin);

    const std::vector<bool> quotedRepaired = quotedCharacters(repaired);
    std::vector<bool> quoted(sql.size(), false);
    for (std::size_t k = 0; k < repaired.size(); ++k) {
        if (origin[k] != inserted)
            quoted[origin[k]] = quotedRepaired[k];
    }
    return quoted;
}

// The words true and false, written in lower case and standing as words of
// their own outside quoted characters, become -1 and 0. Quotes are never
// word bytes, so a word lies wholly inside or wholly outside a value.
std::string replaceTruthWords(const std::string& sql, const std::vector<bool>& quoted) {
    std::string out;
    out.reserve(sql.size());
    std::size_t i = 0;
    while (i < sql.size()) {
        if (quoted[i] || !isWordByte(sql[i])) {
            out += sql[i++];
            continue;
        }
        std::size_t end = i;
        while (end < sql.size() && !quoted[end] && isWordByte(sql[end]))
            ++end;
        const std::string_view word(sql.data() + i, end - i);
        if (word == "false")
            out += '0';
        else if (word == "true")
            out += "-1";
        else
            out.append(word);
        i = end;
    }
    return out;
}

} // namespace

std::string NormaliseSql(std::string& sql) {
    // The replacement never touches an apostrophe, so one count serves both
    // steps. It comes first, and the repair then examines the replaced text.
    const bool oddCount = countApostrophes(sql) % 2 == 1;
    // Most texts hold neither word and no unpaired apostrophe: nothing to do.
    if (!oddCount && sql.find("true") == std::string::npos && sql.find("false") == std::string::npos)
        return sql;
    sql = replaceTruthWords(sql, quotedAfterRepair(sql, oddCount));
    if (oddCount)
        repairApostrophes(sql, nullptr);
    return sql;
}

std::string SqlDateLiteral(const engine::Date& date) {
    const engine::DateParts parts = date.parts();
    char text[64];
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

std::string LowerCasedValues(const std::string& quotedList) {
    std::vector<std::pair<std::size_t, std::size_t>> quoted;
    engine::FindQuotedValues(quotedList, quoted);
    std::string out;
    std::size_t copied = 0;
    for (const auto& [begin, end] : quoted) {
        out.append(quotedList, copied, begin - copied).append("lcase(").append(quotedList, begin, end - begin) += ')';
        copied = end;
    }
    return out.append(quotedList, copied, std::string::npos);
}
