#pragma once
// Money in the SQLite backend, added up and written as the original engine
// does with its currency columns. In the SQLite form money is stored as REAL;
// left to SQLite, a sum of such values is a sum of binary fractions, and
// seventeen periods of 100.1 due and 100.1 paid leave 6.0E-14 where the
// original shows 0.
//
// - sum(x) is the backend's own aggregate: each row's value of x is taken as
//   currency (rounded half to even to four places) and the values are added as
//   64-bit integers scaled by 10,000, so the total is exact. The tool has no
//   sums that are not money, so every sum is a money sum; a value that is not a
//   number (text "abc" stored in a money column) and a value or total outside
//   the currency range are engine errors, where SQLite's own sum counts the
//   text as 0 and gives -Inf for the overflow. Over no values (all Null) the
//   sum is Null; over integers only it is an integer, as SQLite's own.
// - An update that assigns to a money column (declared REAL) writes the
//   assigned value taken as currency, so "extra_charges = extra_charges + 0.1"
//   repeated leaves the exact decimal sum rather than a binary residue.

#include "engine/EngineError.h"
#include "engine/sqlite/SqlShape.h"
#include "engine/sqlite/Sqlite.h"

#include <optional>
#include <string>
#include <vector>

namespace engine {

// The money failure that the functions below raised in the statement being
// stepped; the connection turns it into the EngineError it raises.
struct MoneyFailure {
    enum class Kind { NotANumber, OutOfRange, TotalOutOfRange };
    Kind kind;
    std::string value;  // the value as text, quoted when it is text
    std::string column; // for a write: the money column written
};

// Registers sum() and the currency function used by money assignments on db.
// A failure is left in failure (owned by the caller, which outlives db's use).
void RegisterMoneyFunctions(sqlite3* db, std::optional<MoneyFailure>& failure);

// The statement with each assignment of an update to a money column of its
// table wrapped in the currency function; any other statement as it is.
std::string WithMoneyAssignments(sqlite3* db, const std::string& sql);

// Whether column of table (in the main database) holds money: declared with
// REAL affinity. Assignments to such a column are written as currency.
bool IsMoneyColumn(sqlite3* db, const std::string& table, const std::string& column);

// What a money column holds once the finite double value has been written to
// it (a value outside the currency range is refused by the write).
double WrittenMoney(double value);

// The engine error for failure, raised by the statement sql: it names the
// value and the sum (from sql) or the column it was met in.
EngineError MoneyError(const MoneyFailure& failure, const std::string& sql);

} // namespace engine
