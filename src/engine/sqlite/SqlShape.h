#pragma once
// The SQLite backend's reading of a statement's text (after the Jet dialect is
// translated): its tokens, whether it holds more than one statement, and its
// shape, the text with its quoted values and numbers turned into parameters,
// so that statements that differ only in those values share one prepared
// statement.

#include "engine/Variant.h"

#include <cstddef>
#include <string>
#include <vector>

namespace engine {

struct SqlToken {
    enum class Kind {
        Word,       // a bare name or keyword
        Name,       // a quoted name: [name], "name" or `name`
        String,     // 'text'
        Blob,       // x'hex'
        Number,     // 12, 12.5, .5, 1e3, 0x1F
        Parameter,  // ?, ?1, :name, @name, $name
        Semicolon,  // ;
        Punctuation // anything else, one or two characters (<>, <=, ||)
    };
    Kind kind;
    std::size_t begin;
    std::size_t end; // one past the last character

    std::string text(const std::string& sql) const { return sql.substr(begin, end - begin); }
    // Whether a Word token is the keyword (given in lower case).
    bool is(const std::string& sql, const char* keyword) const;
};

// The tokens of sql, comments and blanks left out. An unclosed quote runs to
// the end of the text; SQLite then rejects the statement itself.
std::vector<SqlToken> TokeniseSql(const std::string& sql);

// The number of statements in sql: lone semicolons, blanks and comments count
// for nothing.
std::size_t CountStatements(const std::vector<SqlToken>& tokens);

struct SqlShape {
    std::string text;            // the statement with ?1, ?2, ... in place of its values
    std::vector<Variant> values; // the values, in the order of their parameters
};

// The shape of one statement. Quoted values become text parameters, numbers
// integer or double parameters. Left in the text, so that the statement means
// exactly what it meant: everything in a select's list of result columns (a
// column's name is its text) but a quoted value in a column that "as" names
// in a select without group by (ResultColumns.h), order by and group by
// terms (a number there is a column's position), the name after "as",
// numbers SQLite would read otherwise than as a plain integer or decimal, and
// every value of a statement that is not a select, update, insert or delete
// or that has parameters of its own.
SqlShape ShapeOf(const std::string& sql, const std::vector<SqlToken>& tokens);

} // namespace engine
