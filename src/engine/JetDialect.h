#pragma once
// The Jet-dialect SQL the tool builds, rewritten where SQLite reads it
// differently.

#include <string>

namespace engine {

// Rewrites sql for SQLite:
// - "select top N ..." loses "top N" and gets " limit N" at the end of that
//   select: before the ")" that closes it when it is a subquery, else at the
//   end of the statement (after any order by, before trailing ";" and blanks);
// - a date literal #mm/dd/yyyy# (month and day of one or two digits, an
//   optional time hh:mm:ss) becomes the ISO text 'yyyy-mm-dd' or
//   'yyyy-mm-dd hh:mm:ss'; a "#...#" that is not a valid date stays as it is.
// Text inside '...' and "..." (a doubled quote inside standing for itself) and
// inside [...] is never touched; everything else is left as it is. An empty
// text gives an empty text.
std::string TranslateJetSql(const std::string& sql);

} // namespace engine
