#pragma once
// The form of SQL text on its way to the engine.

#include "engine/Date.h"

#include <string>

// Rewrites sql in place and returns it: the whole words true and false outside
// quoted values become -1 and 0; then, when the text holds an odd number of
// apostrophes, every apostrophe that is not at the edge of a quoted value is
// doubled. A text with an even count keeps its apostrophes as they are.
// Quoted values are 'text' and "text" (a doubled quote inside stands for one)
// and [names], read as the engine will read the text once its apostrophes are
// repaired; one that is never closed runs to the end of the text.
std::string NormaliseSql(std::string& sql);

// "#mm/dd/yyyy#" of the date; the time of day is dropped.
std::string SqlDateLiteral(const engine::Date& date);

// The value between apostrophes, each apostrophe inside it doubled, ready to
// splice into a statement: O'NEIL gives 'O''NEIL'.
std::string SqlQuote(const std::string& value);

// Each quoted value of an "in (...)" list in lcase(): 'A', 'b' gives
// lcase('A'), lcase('b'), so that a list compares with lcase() of a column as
// the column compares without regard to case.
std::string LowerCasedValues(const std::string& quotedList);
