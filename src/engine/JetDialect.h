#pragma once
// The Jet-dialect SQL the tool builds, rewritten where SQLite reads it
// differently.

#include <string>

namespace engine {

// The database a translation is for: SQLite (the SQLite backend, and SQLite
// through its ODBC driver), or one that reads ANSI SQL (PostgreSQL).
enum class JetTarget { Sqlite, Ansi };

// Rewrites sql for SQLite:
// - "select top N ..." loses "top N" and gets " limit N" at the end of that
//   select: before the ")" that closes it when it is a subquery, else at the
//   end of the statement (after any order by, before trailing ";" and blanks);
// - a date literal #mm/dd/yyyy# (month and day of one or two digits, an
//   optional time hh:mm:ss) becomes the ISO text 'yyyy-mm-dd' or
//   'yyyy-mm-dd hh:mm:ss'; a "#...#" that is not a valid date stays as it is;
// - LCase(text) becomes lower(text);
// - CStr(value) becomes CAST(value AS TEXT).
// Text inside '...' and "..." (a doubled quote inside standing for itself) and
// inside [...] is never touched; everything else is left as it is. An empty
// text gives an empty text.
std::string TranslateJetSql(const std::string& sql);

// As above for target. For Ansi, in addition: a date literal becomes DATE
// 'yyyy-mm-dd' (TIMESTAMP 'yyyy-mm-dd hh:mm:ss' with a time of day), a
// bracketed name [a b] becomes "a b" (a quote inside doubled), a Jet text
// value in double quotes becomes the same text in single quotes, and
// IIf(condition, a, b) becomes (CASE WHEN condition THEN a ELSE b END).
std::string TranslateJetSql(const std::string& sql, JetTarget target);

} // namespace engine
