#pragma once
// The rows of a select that has run on an ODBC statement, read into
// Variants as the SQLite backend reads its own: money through its exact text,
// dates as dates, texts as UTF-8. A row at a time, a field at a time; or,
// where the driver can, a block of rows at a time into buffers bound to the
// columns, which costs a fraction of a call a field on a long result.

#include "engine/Variant.h"
#include "engine/odbc/Odbc.h"
#include "engine/odbc/OdbcDialect.h"

#include <functional>
#include <string>
#include <vector>

namespace engine::odbc {

struct Column {
    std::string name;
    SQLSMALLINT type = SQL_UNKNOWN_TYPE;
    bool textMayBeDate = false; // a computed column of SQLite, read as the SQLite backend reads it
};

// The result columns of the statement.
std::vector<Column> DescribeColumns(SQLHSTMT stmt, Dialect dialect);

// The field i (from 1) of the row the statement stands on.
Variant ColumnValue(SQLHSTMT stmt, SQLUSMALLINT i, const Column& column);

// Whether the driver of the connection can fetch rows in blocks and still
// read one field of a row of the block on its own (a text longer than the
// buffer bound to its column).
bool FetchesInBlocks(SQLHDBC dbc);

// Every row of the statement, its fields in columns' order, handed to take
// until take gives false; in blocks where inBlocks (FetchesInBlocks of the
// driver), else a row at a time. The statement is left as it was found (no
// column bound, a row a fetch); its cursor is left open. Raises the driver's
// failure.
using TakeRow = std::function<bool(std::vector<Variant>& values)>;
void FetchRows(SQLHSTMT stmt, const std::vector<Column>& columns, bool inBlocks, const TakeRow& take);

} // namespace engine::odbc
