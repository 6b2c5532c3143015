// Under Wine, a Windows program's ODBC calls go through Wine's odbc32 to the
// host's unixODBC and its drivers. Before the engine's tests run there, this
// checks the crossing itself with plain ODBC calls (the backend's handle and
// text helpers, not its connection): each driver the tests use is reached
// through the wide-character calls, and text beyond ASCII goes through them
// both ways unchanged, in the statement text and as a bound parameter. A
// failure here points at the set-up (the prefix, odbcinst.ini, the drivers,
// the server, the locale), not at the engine.

#include "engine/EngineError.h"
#include "engine/odbc/Odbc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

using namespace engine::odbc;

namespace {

struct Target {
    const char* name;     // the test's name for it
    const char* variable; // the environment variable holding the connection string
    const char* dbmsName; // what the driver calls its database
};

void PrintTo(const Target& target, std::ostream* out) {
    *out << target.name;
}

const Target targets[] = {
    {"SqliteOdbc", "HABITORIUM_WINE_ODBC_SQLITE", "SQLite"},
    {"PostgreSql", "HABITORIUM_WINE_ODBC_POSTGRES", "PostgreSQL"},
};

const std::string name = "Zo\xc3\xab M\xc3\xbcller"; // "Zoë Müller": ten characters, twelve bytes

class OdbcCrossing : public testing::TestWithParam<Target> {
protected:
    Handle env{nullptr, HandleFreer{SQL_HANDLE_ENV}};
    Handle dbc{nullptr, HandleFreer{SQL_HANDLE_DBC}};

    void SetUp() override {
        const char* connection = std::getenv(GetParam().variable);
        ASSERT_TRUE(connection && *connection)
            << GetParam().variable << " is not set: tests/wine/run-tests.sh sets it to the connection string";
        try {
            env = allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
            SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
            dbc = allocate(SQL_HANDLE_DBC, env.get());
            std::u16string text = toWide(connection);
            check(SQLDriverConnectW(dbc.get(), nullptr, wideArg(text), static_cast<SQLSMALLINT>(text.size()), nullptr,
                                    0, nullptr, SQL_DRIVER_NOPROMPT),
                  SQL_HANDLE_DBC, dbc.get(), "SQLDriverConnectW");
        } catch (const engine::EngineError& e) {
            FAIL() << "connecting with " << connection << ": " << e.description;
        }
    }

    // Runs sql with the given values bound as wide-text parameters, and
    // returns the first column of every row it gives, read as wide text.
    std::vector<std::string> run(const std::string& sql, std::vector<std::string> parameters = {}) {
        Handle stmt = allocate(SQL_HANDLE_STMT, dbc.get());
        std::vector<std::u16string> values;
        for (const std::string& parameter : parameters)
            values.push_back(toWide(parameter));
        std::vector<SQLLEN> lengths(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            lengths[i] = static_cast<SQLLEN>(values[i].size() * sizeof(SQLWCHAR));
            check(SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                                   SQL_WVARCHAR, 100, 0, wideArg(values[i]), 0, &lengths[i]),
                  SQL_HANDLE_STMT, stmt.get(), "SQLBindParameter");
        }
        std::u16string text = toWide(sql);
        check(SQLExecDirectW(stmt.get(), wideArg(text), static_cast<SQLINTEGER>(text.size())), SQL_HANDLE_STMT,
              stmt.get(), sql, true);
        std::vector<std::string> rows;
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt.get(), &columns);
        while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
            SQLWCHAR cell[256] = {};
            SQLLEN length = 0;
            check(SQLGetData(stmt.get(), 1, SQL_C_WCHAR, cell, sizeof cell, &length), SQL_HANDLE_STMT, stmt.get(),
                  "SQLGetData");
            rows.push_back(length == SQL_NULL_DATA
                               ? "<null>"
                               : fromWide(cell, static_cast<std::size_t>(length) / sizeof(SQLWCHAR)));
        }
        return rows;
    }
};

TEST_P(OdbcCrossing, ReachesTheDriverThroughTheWideCalls) {
    SQLWCHAR dbms[128] = {};
    SQLSMALLINT length = 0;
    check(SQLGetInfoW(dbc.get(), SQL_DBMS_NAME, dbms, sizeof dbms, &length), SQL_HANDLE_DBC, dbc.get(), "SQLGetInfoW");
    EXPECT_EQ(fromWide(dbms, static_cast<std::size_t>(length) / sizeof(SQLWCHAR)), GetParam().dbmsName);
}

TEST_P(OdbcCrossing, TextBeyondAsciiRoundTripsInStatementsAndParameters) {
    try {
        run("create temporary table crossing (id integer, name varchar(100))");
        run("insert into crossing values (1, '" + name + "')");
        run("insert into crossing values (2, ?)", {name});

        // Both rows read back as they were written, and the database holds
        // ten characters, not the twelve bytes of their UTF-8 form read as
        // Latin-1 (what unixODBC makes of them in a locale that is not UTF-8).
        EXPECT_EQ(run("select name from crossing order by id"), (std::vector<std::string>{name, name}));
        EXPECT_EQ(run("select cast(length(name) as varchar(10)) from crossing order by id"),
                  (std::vector<std::string>{"10", "10"}));
        EXPECT_EQ(run("select cast(id as varchar(10)) from crossing where name = ? order by id", {name}),
                  (std::vector<std::string>{"1", "2"}));
    } catch (const engine::EngineError& e) {
        FAIL() << e.description;
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcCrossing, testing::ValuesIn(targets),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

} // namespace
