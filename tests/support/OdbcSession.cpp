#include "OdbcSession.h"

#include "engine/odbc/Odbc.h"

#include <stdexcept>

using namespace engine::odbc;

struct OdbcSession::Handles {
    Handle env;
    Handle dbc;
};

namespace {

[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    throw std::runtime_error(what + ": " + odbcError(type, handle, what).description);
}

} // namespace

OdbcSession::OdbcSession(const std::string& connectionString) : handles_(std::make_unique<Handles>()) {
    handles_->env = allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    SQLSetEnvAttr(handles_->env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    Handle dbc = allocate(SQL_HANDLE_DBC, handles_->env.get());
    std::u16string text = toWide(connectionString);
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, wideArg(text), static_cast<SQLSMALLINT>(text.size()),
                                           nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        const std::string message = odbcError(SQL_HANDLE_DBC, dbc.get(), "connect").description;
        SQLFreeHandle(SQL_HANDLE_DBC, dbc.release());
        throw std::runtime_error("connecting with " + connectionString + ": " + message);
    }
    handles_->dbc = std::move(dbc);
}

OdbcSession::~OdbcSession() {
    if (handles_ && handles_->dbc)
        SQLEndTran(SQL_HANDLE_DBC, handles_->dbc.get(), SQL_ROLLBACK);
}

void OdbcSession::exec(const std::string& sql) {
    const std::string message = tryExec(sql);
    if (!message.empty())
        throw std::runtime_error(sql + ": " + message);
}

std::string OdbcSession::tryExec(const std::string& sql) {
    Handle stmt = allocate(SQL_HANDLE_STMT, handles_->dbc.get());
    std::u16string text = toWide(sql);
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), wideArg(text), static_cast<SQLINTEGER>(text.size()));
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return {};
    return odbcError(SQL_HANDLE_STMT, stmt.get(), "exec").description;
}

std::vector<std::vector<std::optional<std::string>>> OdbcSession::rows(const std::string& sql) {
    Handle stmt = allocate(SQL_HANDLE_STMT, handles_->dbc.get());
    std::u16string text = toWide(sql);
    if (!SQL_SUCCEEDED(SQLExecDirectW(stmt.get(), wideArg(text), static_cast<SQLINTEGER>(text.size()))))
        fail(SQL_HANDLE_STMT, stmt.get(), sql);
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt.get(), &columns);
    std::vector<std::vector<std::optional<std::string>>> out;
    while (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
        std::vector<std::optional<std::string>> row;
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columns); ++i) {
            SQLWCHAR buffer[4096];
            SQLLEN indicator = 0;
            if (!SQL_SUCCEEDED(SQLGetData(stmt.get(), i, SQL_C_WCHAR, buffer, sizeof buffer, &indicator)))
                fail(SQL_HANDLE_STMT, stmt.get(), sql);
            if (indicator == SQL_NULL_DATA)
                row.emplace_back();
            else
                row.emplace_back(fromWide(buffer, static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR)));
        }
        out.push_back(std::move(row));
    }
    return out;
}

void OdbcSession::setAutocommit(bool on) {
    const auto value = static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    if (!SQL_SUCCEEDED(
            SQLSetConnectAttrW(handles_->dbc.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0)))
        fail(SQL_HANDLE_DBC, handles_->dbc.get(), "autocommit");
}

void OdbcSession::commit() {
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, handles_->dbc.get(), SQL_COMMIT)))
        fail(SQL_HANDLE_DBC, handles_->dbc.get(), "commit");
}

void OdbcSession::rollback() {
    SQLEndTran(SQL_HANDLE_DBC, handles_->dbc.get(), SQL_ROLLBACK);
}
