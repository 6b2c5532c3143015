#pragma once
// What the database behind an ODBC connection reads differently from the Jet
// SQL the tool builds, and what it can do; decided by the name the driver
// gives for it (SQLGetInfo SQL_DBMS_NAME).

#include <string>

namespace engine::odbc {

enum class Dialect {
    Access,     // the Access driver: Jet SQL as it is, no savepoints
    PostgreSql, // ANSI translation, savepoints, lock_timeout
    Sqlite,     // SQLite's ODBC driver: as the SQLite backend translates
    Other,      // anything else: the ANSI translation, no savepoints assumed
};

// The dialect of a DBMS name: "ACCESS" (any case, also "MS Access"),
// "PostgreSQL", "SQLite"/"SQLite3"; anything else is Other.
Dialect DialectOf(const std::string& dbmsName);

// The Jet SQL text as the database reads it with the same meaning: Access
// unchanged; SQLite as the SQLite backend rewrites it; PostgreSQL and Other
// with [name] as "name", top N as limit N and #m/d/yyyy# as DATE 'yyyy-mm-dd'.
std::string Translate(Dialect dialect, const std::string& jetSql);

// A name quoted for the database: [name] for Access, "name" (a quote inside
// doubled) elsewhere.
std::string QuoteName(Dialect dialect, const std::string& name);

// Whether the database has SAVEPOINT / RELEASE / ROLLBACK TO.
bool HasSavepoints(Dialect dialect);

// Whether a failed statement inside a transaction spoils the whole
// transaction (PostgreSQL), so the engine must fence each statement with a
// savepoint of its own to keep the other engines' meaning: a failed statement
// leaves nothing of itself behind and the transaction goes on.
bool FailureAbortsTransaction(Dialect dialect);

} // namespace engine::odbc
