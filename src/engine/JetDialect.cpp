#include "engine/JetDialect.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace engine {

namespace {

bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$' ||
           u >= 0x80;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The word at pos equals word (any case) and stands on its own.
bool wordAt(const std::string& s, std::size_t pos, const char* word) {
    std::size_t i = 0;
    for (; word[i]; ++i) {
        if (pos + i >= s.size() || lower(s[pos + i]) != word[i])
            return false;
    }
    const bool startsWord = pos == 0 || !isWordChar(s[pos - 1]);
    const bool endsWord = pos + i >= s.size() || !isWordChar(s[pos + i]);
    return startsWord && endsWord;
}

// Index just past the quoted part that opens at s[open] ('...', "..." or [...]).
// Inside quotes a doubled quote stands for itself; an unclosed part runs to the end.
std::size_t endOfQuoted(const std::string& s, std::size_t open) {
    const char closer = s[open] == '[' ? ']' : s[open];
    std::size_t i = open + 1;
    while (i < s.size()) {
        if (s[i] == closer) {
            if (closer != ']' && i + 1 < s.size() && s[i + 1] == closer) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return s.size();
}

// Reads 1..maxDigits digits at pos.
bool readNumber(const std::string& s, std::size_t& pos, std::size_t minDigits, std::size_t maxDigits, int& value) {
    std::size_t n = 0;
    value = 0;
    while (pos < s.size() && isDigit(s[pos]) && n < maxDigits) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++n;
    }
    return n >= minDigits && !(pos < s.size() && isDigit(s[pos]));
}

bool validDate(int y, int m, int d) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || m < 1 || m > 12 || d < 1)
        return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= (m == 2 && leap ? 29 : days[m - 1]);
}

// A #m/d/yyyy[ hh:mm:ss]# literal opening at s[open]: its ISO text in quotes
// and the index just past the closing "#", or nothing.
bool dateLiteral(const std::string& s, std::size_t open, std::string& iso, std::size_t& end, JetTarget target) {
    std::size_t i = open + 1;
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!readNumber(s, i, 1, 2, month) || i >= s.size() || s[i++] != '/')
        return false;
    if (!readNumber(s, i, 1, 2, day) || i >= s.size() || s[i++] != '/')
        return false;
    if (!readNumber(s, i, 4, 4, year))
        return false;
    bool withTime = false;
    if (i < s.size() && s[i] == ' ') {
        ++i;
        if (!readNumber(s, i, 1, 2, hour) || i >= s.size() || s[i++] != ':')
            return false;
        if (!readNumber(s, i, 2, 2, minute) || i >= s.size() || s[i++] != ':')
            return false;
        if (!readNumber(s, i, 2, 2, second))
            return false;
        if (hour > 23 || minute > 59 || second > 59)
            return false;
        withTime = true;
    }
    if (i >= s.size() || s[i] != '#' || !validDate(year, month, day))
        return false;
    char buffer[64];
    if (withTime && (hour || minute || second))
        std::snprintf(buffer, sizeof buffer, "'%04d-%02d-%02d %02d:%02d:%02d'", year, month, day, hour, minute, second);
    else
        std::snprintf(buffer, sizeof buffer, "'%04d-%02d-%02d'", year, month, day);
    iso = buffer;
    // A typed literal where the database has them, so the value compares as a date.
    if (target == JetTarget::Ansi)
        iso = (withTime && (hour || minute || second) ? "TIMESTAMP " : "DATE ") + iso;
    end = i + 1;
    return true;
}

struct Edit {
    std::size_t pos;
    std::size_t length; // characters replaced
    std::string text;
};

// A quoted part of Jet SQL in the form an ANSI database reads the same way:
// [name] as "name", a "text" value as 'text'.
std::string ansiQuoted(const std::string& part) {
    const char opener = part.front();
    if (opener == '\'')
        return part;
    const char closer = opener == '[' ? ']' : '"';
    const bool closed = part.size() >= 2 && part.back() == closer;
    std::string inner = part.substr(1, part.size() - (closed ? 2 : 1));
    if (opener == '"') {
        // Jet reads "..." as a text value; inside it "" stands for one quote.
        std::string value;
        for (std::size_t i = 0; i < inner.size(); ++i) {
            if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"')
                ++i;
            value += inner[i];
            if (inner[i] == '\'')
                value += '\'';
        }
        return "'" + value + "'";
    }
    std::string name;
    for (char c : inner) {
        name += c;
        if (c == '"')
            name += '"';
    }
    return "\"" + name + "\"";
}

} // namespace

std::string TranslateJetSql(const std::string& sql) {
    return TranslateJetSql(sql, JetTarget::Sqlite);
}

std::string TranslateJetSql(const std::string& sql, JetTarget target) {
    std::vector<Edit> edits;
    // The limit each open parenthesis level still owes; level 0 is the statement.
    std::vector<std::string> pendingLimit(1);
    // For each open parenthesis level, whether it holds the arguments of
    // IIf(condition, then, else) (Ansi: CASE WHEN ... THEN ... ELSE ... END),
    // the commas met in it at its own level, and the edits that rewrite it,
    // kept only when it closes with exactly three arguments.
    // Likewise CStr(value), which becomes CAST(value AS TEXT) when it has one argument.
    struct IIfLevel {
        bool open = false;
        bool cast = false;
        int commas = 0;
        std::vector<Edit> edits;
    };
    std::vector<IIfLevel> iif(1);
    bool iifNext = false; // the word just read is IIf: the next "(" opens its arguments
    Edit iifWord{0, 0, ""};
    bool castNext = false; // the word just read is CStr
    Edit castWord{0, 0, ""};

    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c != '(')
            iifNext = castNext = false;
        if (c == '\'' || c == '"' || c == '[') {
            const std::size_t end = endOfQuoted(sql, i);
            if (target == JetTarget::Ansi && c != '\'')
                edits.push_back({i, end - i, ansiQuoted(sql.substr(i, end - i))});
            i = end;
            continue;
        }
        if (c == '(') {
            pendingLimit.emplace_back();
            iif.emplace_back();
            if (iifNext) {
                iif.back().open = true;
                // The word and any blanks after it go; so do blanks after
                // the parenthesis and the commas, for the words put in.
                std::size_t after = i + 1;
                while (after < sql.size() && isSpace(sql[after]))
                    ++after;
                iif.back().edits.push_back({iifWord.pos, i - iifWord.pos, ""});
                iif.back().edits.push_back({i, after - i, "(CASE WHEN "});
                iifNext = false;
                i = after;
                continue;
            }
            iifNext = false;
            if (castNext) {
                iif.back().cast = true;
                iif.back().edits.push_back({castWord.pos, i + 1 - castWord.pos, "CAST("});
                castNext = false;
            }
            ++i;
            continue;
        }
        if (c == ',' && iif.back().cast) {
            ++iif.back().commas;
            ++i;
            continue;
        }
        if (c == ',' && iif.back().open) {
            ++iif.back().commas;
            std::size_t after = i + 1;
            while (after < sql.size() && isSpace(sql[after]))
                ++after;
            iif.back().edits.push_back({i, after - i, iif.back().commas == 1 ? " THEN " : " ELSE "});
            i = after;
            continue;
        }
        if (c == ')') {
            if (pendingLimit.size() > 1) {
                if (!pendingLimit.back().empty())
                    edits.push_back({i, 0, " limit " + pendingLimit.back()});
                pendingLimit.pop_back();
                IIfLevel level = std::move(iif.back());
                iif.pop_back();
                if (level.open && level.commas == 2) {
                    level.edits.push_back({i, 1, " END)"});
                    edits.insert(edits.end(), level.edits.begin(), level.edits.end());
                }
                if (level.cast && level.commas == 0) {
                    level.edits.push_back({i, 1, " AS TEXT)"});
                    edits.insert(edits.end(), level.edits.begin(), level.edits.end());
                }
            }
            ++i;
            continue;
        }
        if (c == '#') {
            std::string iso;
            std::size_t end = 0;
            if (dateLiteral(sql, i, iso, end, target)) {
                edits.push_back({i, end - i, iso});
                i = end;
                continue;
            }
            ++i;
            continue;
        }
        if (wordAt(sql, i, "select")) {
            std::size_t j = i + 6;
            while (j < sql.size() && isSpace(sql[j]))
                ++j;
            if (j > i + 6 && wordAt(sql, j, "top")) {
                std::size_t k = j + 3;
                while (k < sql.size() && isSpace(sql[k]))
                    ++k;
                const std::size_t digitsStart = k;
                while (k < sql.size() && isDigit(sql[k]))
                    ++k;
                std::size_t after = k;
                while (after < sql.size() && isSpace(sql[after]))
                    ++after;
                // "top N percent" has no counterpart; leave it for SQLite to reject.
                const bool number = k > digitsStart && k > j + 3 && (k == sql.size() || !isWordChar(sql[k])) &&
                                    !wordAt(sql, after, "percent") && pendingLimit.back().empty();
                if (number) {
                    pendingLimit.back() = sql.substr(digitsStart, k - digitsStart);
                    edits.push_back({j, after - j, ""});
                    i = after;
                    continue;
                }
            }
            i += 6;
            continue;
        }
        if (isWordChar(c)) {
            const bool isIIf = target == JetTarget::Ansi && wordAt(sql, i, "iif");
            const bool isLCase = wordAt(sql, i, "lcase");
            const bool isCStr = wordAt(sql, i, "cstr");
            const std::size_t start = i;
            while (i < sql.size() && isWordChar(sql[i]))
                ++i;
            if (isIIf) {
                iifWord = {start, i - start, ""};
                iifNext = true;
            }
            if (isCStr) {
                castWord = {start, i - start, ""};
                castNext = true;
            }
            if (isLCase) {
                std::size_t after = i;
                while (after < sql.size() && isSpace(sql[after]))
                    ++after;
                if (after < sql.size() && sql[after] == '(')
                    edits.push_back({start, i - start, "lower"});
            }
            continue;
        }
        ++i;
    }
    if (!pendingLimit.front().empty()) {
        // At the end of the statement, before trailing blanks and semicolons.
        std::size_t end = sql.size();
        while (end > 0 && (isSpace(sql[end - 1]) || sql[end - 1] == ';'))
            --end;
        edits.push_back({end, 0, " limit " + pendingLimit.front()});
    }

    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.pos < b.pos; });
    std::string out;
    out.reserve(sql.size() + 16);
    std::size_t copied = 0;
    for (const Edit& e : edits) {
        out.append(sql, copied, e.pos - copied);
        out += e.text;
        copied = e.pos + e.length;
    }
    out.append(sql, copied, std::string::npos);
    return out;
}

} // namespace engine
