#include "engine/sqlite/SqlShape.h"

#include "engine/ResultColumns.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace engine {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// The characters SQLite allows in a bare name; a name does not begin with a digit or "$".
bool isNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || isDigit(c) || u == '_' || u == '$' || u >= 0x80;
}
bool isNameStart(char c) {
    return isNameChar(c) && !isDigit(c) && c != '$';
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Index just past the quoted part opening at sql[open], a doubled closer
// standing for itself except inside [...].
std::size_t endOfQuoted(const std::string& sql, std::size_t open, char closer) {
    std::size_t i = open + 1;
    while (i < sql.size()) {
        if (sql[i] == closer) {
            if (closer != ']' && i + 1 < sql.size() && sql[i + 1] == closer) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return sql.size();
}

// Index just past the number at sql[i]; legal is false when a name character
// follows it at once (SQLite rejects "12abc").
std::size_t endOfNumber(const std::string& sql, std::size_t i, bool& legal) {
    const std::size_t n = sql.size();
    if (sql[i] == '0' && i + 2 < n && (sql[i + 1] == 'x' || sql[i + 1] == 'X') && isHexDigit(sql[i + 2])) {
        i += 2;
        while (i < n && isHexDigit(sql[i]))
            ++i;
    } else {
        while (i < n && isDigit(sql[i]))
            ++i;
        if (i < n && sql[i] == '.') {
            ++i;
            while (i < n && isDigit(sql[i]))
                ++i;
        }
        if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
            std::size_t j = i + 1;
            if (j < n && (sql[j] == '+' || sql[j] == '-'))
                ++j;
            if (j < n && isDigit(sql[j])) {
                i = j;
                while (i < n && isDigit(sql[i]))
                    ++i;
            }
        }
    }
    legal = !(i < n && isNameChar(sql[i]));
    return i;
}

struct Frame {
    bool ordering = false; // in an order by or group by
};

// What each token is to the lists of result columns (ResultColumns.h).
std::vector<ListMark> listMarks(const std::string& sql, const std::vector<SqlToken>& tokens) {
    using Kind = SqlToken::Kind;
    std::vector<ListMark> marks;
    marks.reserve(tokens.size());
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        const SqlToken& token = tokens[t];
        ListMark mark = ListMark::Other;
        if (token.kind == Kind::Punctuation && token.end - token.begin == 1) {
            const char c = sql[token.begin];
            mark = c == '(' ? ListMark::Open : c == ')' ? ListMark::Close : c == ',' ? ListMark::Comma : mark;
        } else if (token.kind == Kind::Name) {
            mark = ListMark::Name;
        } else if (token.kind == Kind::Word) {
            // Every word that marks anything is short.
            char lowered[10];
            const std::size_t length = token.end - token.begin;
            mark = ListMark::Name;
            if (length <= sizeof lowered) {
                for (std::size_t i = 0; i < length; ++i)
                    lowered[i] = lower(sql[token.begin + i]);
                mark = WordMark(std::string_view(lowered, length), t > 0 && tokens[t - 1].is(sql, "group"));
            }
        }
        marks.push_back(mark);
    }
    return marks;
}

} // namespace

bool SqlToken::is(const std::string& sql, const char* keyword) const {
    const std::size_t length = std::strlen(keyword);
    if (kind != Kind::Word || end - begin != length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (lower(sql[begin + i]) != keyword[i])
            return false;
    }
    return true;
}

std::vector<SqlToken> TokeniseSql(const std::string& sql) {
    using Kind = SqlToken::Kind;
    std::vector<SqlToken> tokens;
    tokens.reserve(sql.size() / 4 + 4);
    const std::size_t n = sql.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        const std::size_t start = i;
        if (isSpace(c)) {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const std::size_t close = sql.find("*/", i + 2);
            i = close == std::string::npos ? n : close + 2;
        } else if (c == '\'') {
            tokens.push_back({Kind::String, start, i = endOfQuoted(sql, i, '\'')});
        } else if (c == '"' || c == '`' || c == '[') {
            tokens.push_back({Kind::Name, start, i = endOfQuoted(sql, i, c == '[' ? ']' : c)});
        } else if ((c == 'x' || c == 'X') && i + 1 < n && sql[i + 1] == '\'') {
            tokens.push_back({Kind::Blob, start, i = endOfQuoted(sql, i + 1, '\'')});
        } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(sql[i + 1]))) {
            bool legal = true;
            i = endOfNumber(sql, i, legal);
            // A number with a name glued to it is one illegal token to SQLite.
            while (!legal && i < n && isNameChar(sql[i]))
                ++i;
            tokens.push_back({legal ? Kind::Number : Kind::Punctuation, start, i});
        } else if (c == '?') {
            ++i;
            while (i < n && isDigit(sql[i]))
                ++i;
            tokens.push_back({Kind::Parameter, start, i});
        } else if ((c == ':' || c == '@' || c == '$') && i + 1 < n && isNameChar(sql[i + 1])) {
            ++i;
            while (i < n && isNameChar(sql[i]))
                ++i;
            tokens.push_back({Kind::Parameter, start, i});
        } else if (isNameStart(c)) {
            while (i < n && isNameChar(sql[i]))
                ++i;
            tokens.push_back({Kind::Word, start, i});
        } else if (c == ';') {
            tokens.push_back({Kind::Semicolon, start, ++i});
        } else {
            static const char* const pairs[] = {"<>", "<=", ">=", "==", "!=", "||", "<<", ">>", "->"};
            std::size_t length = 1;
            for (const char* pair : pairs) {
                if (i + 1 < n && sql[i] == pair[0] && sql[i + 1] == pair[1])
                    length = 2;
            }
            if (length == 2 && c == '-' && i + 2 < n && sql[i + 2] == '>')
                length = 3;
            tokens.push_back({Kind::Punctuation, start, i += length});
        }
    }
    return tokens;
}

std::size_t CountStatements(const std::vector<SqlToken>& tokens) {
    std::size_t count = 0;
    bool inStatement = false;
    for (const SqlToken& token : tokens) {
        if (token.kind == SqlToken::Kind::Semicolon) {
            inStatement = false;
        } else if (!inStatement) {
            inStatement = true;
            ++count;
        }
    }
    return count;
}

SqlShape ShapeOf(const std::string& sql, const std::vector<SqlToken>& tokens) {
    using Kind = SqlToken::Kind;
    SqlShape shape{sql, {}};
    if (tokens.empty())
        return shape;
    const SqlToken& first = tokens.front();
    if (!(first.is(sql, "select") || first.is(sql, "update") || first.is(sql, "insert") || first.is(sql, "delete") ||
          first.is(sql, "with") || first.is(sql, "replace")))
        return shape;
    for (const SqlToken& token : tokens) {
        if (token.kind == Kind::Parameter)
            return shape;
    }

    const ResultListPlaces places = PlacesInResultLists(listMarks(sql, tokens));
    std::string text;
    text.reserve(sql.size());
    std::vector<Variant> values;
    // One frame per open parenthesis; a statement nested deeper is left as it is.
    constexpr std::size_t maxDepth = 32;
    Frame frames[maxDepth];
    std::size_t depth = 1;
    std::size_t copied = 0;
    bool afterAs = false;
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        const SqlToken& token = tokens[t];
        const bool nameExpected = afterAs;
        afterAs = false;
        if (token.kind == Kind::Punctuation) {
            if (token.end - token.begin == 1 && sql[token.begin] == '(') {
                if (depth == maxDepth)
                    return shape;
                frames[depth++] = Frame{};
            } else if (token.end - token.begin == 1 && sql[token.begin] == ')' && depth > 1) {
                --depth;
            }
            continue;
        }
        if (token.kind == Kind::Word) {
            // The word in lower case, when it is short enough to be one of the keywords below.
            char lowered[10];
            const std::size_t length = token.end - token.begin;
            if (length < 2 || length > sizeof lowered)
                continue;
            for (std::size_t i = 0; i < length; ++i)
                lowered[i] = lower(sql[token.begin + i]);
            const std::string_view word(lowered, length);
            Frame& frame = frames[depth - 1];
            if (word == "select") {
                frame.ordering = false;
            } else if (word == "by" && t > 0 && (tokens[t - 1].is(sql, "order") || tokens[t - 1].is(sql, "group"))) {
                frame.ordering = true;
            } else if (word == "limit" || word == "offset" || word == "having" || word == "window" || word == "union" ||
                       word == "intersect" || word == "except") {
                frame.ordering = false;
            } else if (word == "as") {
                afterAs = true;
            }
            continue;
        }
        if (token.kind != Kind::String && token.kind != Kind::Number)
            continue;
        // In a list of result columns only a quoted value, and only where
        // its column is named.
        bool keep =
            nameExpected || (places.lists[t] > 0 && token.kind != Kind::String) || places.lists[t] > places.named[t];
        for (std::size_t f = 0; f < depth; ++f)
            keep = keep || frames[f].ordering;
        if (keep)
            continue;

        Variant value;
        if (token.kind == Kind::String) {
            std::string unquoted;
            const std::size_t last = token.end - 1;
            if (token.end - token.begin < 2 || sql[last] != '\'')
                continue; // unclosed: SQLite reports it
            for (std::size_t i = token.begin + 1; i < last; ++i) {
                unquoted += sql[i];
                if (sql[i] == '\'')
                    ++i; // the second of a doubled apostrophe
            }
            value = Variant(std::move(unquoted));
        } else {
            const char* begin = sql.data() + token.begin;
            const char* end = sql.data() + token.end;
            const bool decimal = std::memchr(begin, '.', token.end - token.begin) ||
                                 std::memchr(begin, 'e', token.end - token.begin) ||
                                 std::memchr(begin, 'E', token.end - token.begin);
            if (token.end - token.begin > 1 && (begin[1] == 'x' || begin[1] == 'X'))
                continue; // hexadecimal: left as SQLite reads it
            if (decimal) {
                double number = 0;
                const auto [stop, error] = std::from_chars(begin, end, number);
                if (error != std::errc() || stop != end)
                    continue;
                value = Variant(number);
            } else {
                std::int64_t number = 0;
                // Beyond the 64-bit range SQLite reads an integer as a double.
                const auto [stop, error] = std::from_chars(begin, end, number);
                if (error != std::errc() || stop != end)
                    continue;
                value = Variant(number);
            }
        }
        text.append(sql, copied, token.begin - copied);
        values.push_back(std::move(value));
        text += '?';
        text += std::to_string(values.size());
        copied = token.end;
    }
    if (values.empty())
        return shape;
    text.append(sql, copied, std::string::npos);
    shape.text = std::move(text);
    shape.values = std::move(values);
    return shape;
}

} // namespace engine
