#pragma once
// The failure the engine raises: number, source and description, so that the
// error report can show all three.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace engine {

// Numbers the engine uses for failures of its own (SQLite failures carry the
// SQLite result code instead, with source "SQLite"; ODBC failures the
// driver's native error, with source "ODBC").
enum EngineErrorNumber : std::int32_t {
    errOverflow = 6,             // an amount outside the currency range
    errTypeMismatch = 13,        // a value that cannot be converted
    errNotFound = 3024,          // the database file does not exist
    errCannotOpen = 3051,        // the database file exists but cannot be read
    errRecordDeleted = 3167,     // the row being updated is no longer in its table
    errInvalidOperation = 3219,  // a statement a recordset cannot be opened on
    errUpdateWithoutEdit = 3020, // Update or a field write without Edit
    errNoCurrentRecord = 3021,   // a row read or move past the end
    errReadOnly = 3027,          // editing a read-only recordset
    errNoSuchField = 3265,       // a field name the recordset does not have
    errLocked = 3260,            // another user's lock outlasted the wait (ODBC)
    errRowChanged = 3197,        // a row found by its values was changed meanwhile, or is not one row
    errNotADatabase = 3343,      // not a database file the engine can open
    errObjectClosed = 3704,      // a closed or released recordset
};

inline constexpr const char* engineSource = "DBEngine";
inline constexpr const char* sqliteSource = "SQLite";

class EngineError : public std::runtime_error {
public:
    EngineError(std::int32_t number, std::string source, std::string description)
        : std::runtime_error(description), number(number), source(std::move(source)),
          description(std::move(description)) {}

    std::int32_t number;
    std::string source;
    std::string description;
    // The connection to the database server is gone (SQLSTATE class 08, the
    // server's own termination of the session, or the driver's word that the
    // connection is dead): nothing more can be done on it until it is opened
    // again. Never set by a failure of the statement itself.
    bool connectionLost = false;
    // The connection was taken for lost because the server did not answer
    // one call within the limit: the server, or the network to it, is silent,
    // and a connection opened again at once would wait on the same silence.
    bool serverSilent = false;
};

} // namespace engine
