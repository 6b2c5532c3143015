// Under Wine, a Windows program's ODBC calls go through Wine's odbc32 to the
// host's unixODBC and its drivers. Before the engine's tests run there, this
// checks the crossing itself, without the engine: each driver the tests use
// is reached through the wide-character calls, and text beyond ASCII goes
// through them both ways unchanged, in the statement text and as a bound
// parameter. A failure here points at the set-up (the prefix, odbcinst.ini,
// the drivers, the server), not at the engine.

#include <windows.h>

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Target {
    const char* name;        // the test's name for it
    const char* variable;    // the environment variable holding the connection string
    const wchar_t* dbmsName; // what the driver calls its database
};

void PrintTo(const Target& target, std::ostream* out) {
    *out << target.name;
}

const Target targets[] = {
    {"SqliteOdbc", "HABITORIUM_WINE_ODBC_SQLITE", L"SQLite"},
    {"PostgreSql", "HABITORIUM_WINE_ODBC_POSTGRES", L"PostgreSQL"},
};

// UTF-8 (the environment's form) to UTF-16 (Windows' wide form).
std::wstring wide(const std::string& text) {
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The driver's diagnostics for a handle, for failure messages.
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, i, state, &native, message, 1024, &length)))
            break;
        out += " [" + narrow(reinterpret_cast<wchar_t*>(state)) + "] " + narrow(reinterpret_cast<wchar_t*>(message));
    }
    return out.empty() ? " (no diagnostics)" : out;
}

struct HandleFree {
    SQLSMALLINT type;
    void operator()(void* handle) const {
        if (type == SQL_HANDLE_DBC)
            SQLDisconnect(handle);
        SQLFreeHandle(type, handle);
    }
};
using Handle = std::unique_ptr<void, HandleFree>;

Handle allocate(SQLSMALLINT type, SQLHANDLE parent) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle)))
        return Handle(nullptr, HandleFree{type});
    return Handle(handle, HandleFree{type});
}

class OdbcCrossing : public testing::TestWithParam<Target> {
protected:
    Handle env = allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    Handle dbc{nullptr, HandleFree{SQL_HANDLE_DBC}};

    void SetUp() override {
        const char* connection = std::getenv(GetParam().variable);
        ASSERT_TRUE(connection && *connection)
            << GetParam().variable << " is not set: the Wine test script sets it to the connection string";
        ASSERT_TRUE(env) << "SQLAllocHandle(ENV) failed: Wine's odbc32 found no unixODBC (libodbc.so.2)";
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)));
        dbc = allocate(SQL_HANDLE_DBC, env.get());
        ASSERT_TRUE(dbc);
        std::wstring text = wide(connection);
        SQLWCHAR out[1024] = {};
        SQLSMALLINT outLength = 0;
        const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS,
                                               out, 1024, &outLength, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << "connecting with " << connection << ":"
                                       << diagnostics(SQL_HANDLE_DBC, dbc.get());
    }

    Handle statement() {
        Handle stmt = allocate(SQL_HANDLE_STMT, dbc.get());
        EXPECT_TRUE(stmt);
        return stmt;
    }

    void execute(const std::wstring& sql) {
        Handle stmt = statement();
        std::wstring text = sql;
        const SQLRETURN rc = SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << narrow(sql) << ":" << diagnostics(SQL_HANDLE_STMT, stmt.get());
    }

    // The first column of every row of a query, read as wide text; binds
    // parameter as the single wide-text parameter when it is given.
    std::vector<std::wstring> column(const std::wstring& sql, const std::wstring* parameter = nullptr) {
        std::vector<std::wstring> rows;
        Handle stmt = statement();
        std::wstring text = sql;
        std::wstring value = parameter ? *parameter : std::wstring();
        SQLLEN indicator = static_cast<SQLLEN>(value.size() * sizeof(wchar_t));
        if (parameter) {
            const SQLRETURN bound = SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 100, 0,
                                                     value.data(), 0, &indicator);
            EXPECT_TRUE(SQL_SUCCEEDED(bound)) << diagnostics(SQL_HANDLE_STMT, stmt.get());
        }
        SQLRETURN rc = SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << narrow(sql) << ":" << diagnostics(SQL_HANDLE_STMT, stmt.get());
        while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(rc = SQLFetch(stmt.get()))) {
            SQLWCHAR cell[256] = {};
            SQLLEN length = 0;
            const SQLRETURN got = SQLGetData(stmt.get(), 1, SQL_C_WCHAR, cell, sizeof cell, &length);
            EXPECT_TRUE(SQL_SUCCEEDED(got)) << diagnostics(SQL_HANDLE_STMT, stmt.get());
            rows.push_back(length == SQL_NULL_DATA ? L"<null>" : std::wstring(reinterpret_cast<wchar_t*>(cell)));
        }
        return rows;
    }
};

TEST_P(OdbcCrossing, ReachesTheDriverThroughTheWideCalls) {
    SQLWCHAR name[128] = {};
    SQLSMALLINT length = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetInfoW(dbc.get(), SQL_DBMS_NAME, name, sizeof name, &length)))
        << diagnostics(SQL_HANDLE_DBC, dbc.get());
    EXPECT_EQ(narrow(reinterpret_cast<wchar_t*>(name)), narrow(GetParam().dbmsName));
}

TEST_P(OdbcCrossing, TextBeyondAsciiRoundTripsInStatementsAndParameters) {
    const std::wstring name = L"Zo\u00eb M\u00fcller";
    execute(L"create temporary table crossing (id integer, name varchar(100))");
    execute(L"insert into crossing values (1, '" + name + L"')");
    {
        Handle stmt = statement();
        std::wstring text = L"insert into crossing values (2, ?)";
        std::wstring value = name;
        SQLLEN indicator = static_cast<SQLLEN>(value.size() * sizeof(wchar_t));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 100, 0,
                                                   value.data(), 0, &indicator)));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS)))
            << diagnostics(SQL_HANDLE_STMT, stmt.get());
    }

    // Both rows read back as they were written, and the database holds ten
    // characters (not the twelve bytes of their UTF-8 form read as Latin-1).
    EXPECT_EQ(column(L"select name from crossing order by id"), (std::vector<std::wstring>{name, name}));
    EXPECT_EQ(column(L"select cast(length(name) as varchar(10)) from crossing order by id"),
              (std::vector<std::wstring>{L"10", L"10"}));
    EXPECT_EQ(column(L"select cast(id as varchar(10)) from crossing where name = ? order by id", &name),
              (std::vector<std::wstring>{L"1", L"2"}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcCrossing, testing::ValuesIn(targets),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

} // namespace
