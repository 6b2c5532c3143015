#pragma once
// The SQLite backend's helpers: the one header of the program that includes
// <sqlite3.h>. Connections and statements live in unique_ptrs whose deleters
// close and finalise them, so no path finalises by hand.

#include "engine/EngineError.h"
#include "engine/Variant.h"

#include <sqlite3.h>

#include <memory>
#include <string>

namespace engine {

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

using ConnectionHandle = std::unique_ptr<sqlite3, ConnectionCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// The connection's last failure as an EngineError: SQLite's result code,
// source "SQLite", sqlite3_errmsg as description.
EngineError sqliteError(sqlite3* db);

// Prepares the statement that starts at offset in sql; tail (when given)
// receives the offset of the text after it. Text holding no statement (blanks,
// comments) gives a null handle. Raises the SQLite error.
StatementHandle prepare(sqlite3* db, const std::string& sql, std::size_t offset = 0, std::size_t* tail = nullptr);

// Runs every statement of sql in turn, reading past any rows they return.
// Raises the SQLite error of the first that fails; those before it stay done.
void run(sqlite3* db, const std::string& sql);

// An SQL identifier in double quotes, with a quote inside doubled.
std::string quoteIdentifier(const std::string& name);

// Column i of the statement's current row as a Variant: INTEGER as Integer,
// REAL as Double, NULL as Null, BLOB as Text of its bytes, TEXT as Text, or as
// Date when the column is declared DATETIME or DATE and the text is ISO, or
// when the column has no declared type (a computed column such as min(date))
// and the text is exactly "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS".
Variant columnValue(sqlite3_stmt* stmt, int i);

// Whether columnValue takes a text of column i in the form of a date as a
// date (its declared type), which is the same for every row of a statement:
// a reading of many rows asks once and gives the answer to readColumn, which
// sets into to what columnValue gives, in place.
bool readsDates(sqlite3_stmt* stmt, int i);
void readColumn(sqlite3_stmt* stmt, int i, bool datesRead, Variant& into);

// Binds value to parameter i: Currency and Double as double, Integer as
// 64-bit integer, Boolean as -1 / 0, Date as ISO text, Text as text, Null and
// Empty as NULL. Raises the SQLite error.
void bindValue(sqlite3* db, sqlite3_stmt* stmt, int i, const Variant& value);

} // namespace engine
