#pragma once
// The backends the engine's tests run against, as a test parameter: SQLite
// directly, SQLite through its ODBC driver, and PostgreSQL through its ODBC
// driver. Each declares what it can do, so a test asks that rather than
// which backend it has. A missing driver or server fails the test loudly.
//
// The PostgreSQL backend uses the server named by the environment variable
// HABITORIUM_TEST_ODBC (an ODBC connection string) when it is set; otherwise
// the tests start their own server (initdb and pg_ctl as the postgres user,
// in a temporary folder, on a private port on 127.0.0.1), once per test
// program, and stop it when the program ends. The drivers are registered in
// a test-local odbcinst.ini named by ODBCSYSINI.

#include <string>
#include <vector>

enum class Backend { Sqlite, SqliteOdbc, Postgres };

struct BackendTraits {
    const char* name;
    bool odbc;          // reached through ODBC (a connection text)
    bool savepoints;    // has savepoints
    bool exactDecimals; // money columns are exact decimals (read into Currency)
};

BackendTraits traitsOf(Backend backend);
std::vector<Backend> allBackends();
// For INSTANTIATE_TEST_SUITE_P: the backend's name.
std::string backendName(Backend backend);

// The ODBC connection string of an SQLite file through its ODBC driver.
std::string sqliteOdbcConnection(const std::string& path);
// The ODBC connection string of the tests' PostgreSQL database (the server
// is started on first use). Throws std::runtime_error when it cannot be had.
std::string postgresConnection();
// The ODBC connection string of another database on the tests' server,
// created empty when it does not exist (for a second sample, say).
std::string postgresConnection(const std::string& database);
