#pragma once
// The ODBC backend's helpers: the one header of the program that includes
// <sql.h> and <sqlext.h>. Environment, connection and statement handles live
// in unique_ptrs whose deleters free them, so no path frees one by hand. The
// wide-character API is used throughout; SQLWCHAR is 16-bit (UTF-16) on
// Windows and on unixODBC alike.

#include "engine/EngineError.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>

namespace engine::odbc {

static_assert(sizeof(SQLWCHAR) == 2, "the ODBC wide API must use 16-bit characters");

struct HandleFreer {
    SQLSMALLINT type;
    void operator()(void* handle) const {
        if (type == SQL_HANDLE_DBC)
            SQLDisconnect(static_cast<SQLHDBC>(handle));
        SQLFreeHandle(type, static_cast<SQLHANDLE>(handle));
    }
};
using Handle = std::unique_ptr<void, HandleFreer>;

// UTF-8 <-> UTF-16. Malformed UTF-8 becomes U+FFFD; an unpaired surrogate too.
std::u16string toWide(const std::string& utf8);
std::string fromWide(const SQLWCHAR* text, std::size_t length);
inline SQLWCHAR* wideArg(std::u16string& text) {
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

// Source of every ODBC failure, and the numbers given to failures whose
// driver gives no native error: one per SQLSTATE class.
inline constexpr const char* odbcSource = "ODBC";
std::int32_t numberForState(const std::string& sqlState);

// The diagnostics of the last call on handle as an EngineError: number = the
// first record's native error (or numberForState of its SQLSTATE when that is
// 0), source "ODBC", description = "[SQLSTATE] message" of every record,
// joined by line breaks, connectionLost set when IsConnectionLossState of
// its SQLSTATE. what names the call when the driver says nothing.
EngineError odbcError(SQLSMALLINT type, SQLHANDLE handle, const std::string& what);
// Whether an SQLSTATE says the connection is gone (class 08, or the
// server's termination of the session), not that a statement failed.
bool IsConnectionLossState(const std::string& sqlState);
// The SQLSTATE of the first diagnostic record, or empty.
std::string sqlState(SQLSMALLINT type, SQLHANDLE handle);

// Raises odbcError unless rc is SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or one of
// the extra codes the caller accepts (SQL_NO_DATA where asked).
void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what, bool noDataIsOk = false);

// A new handle of type under parent (SQL_NULL_HANDLE for an environment).
// Raises the ODBC error of the parent when it cannot be had.
Handle allocate(SQLSMALLINT type, SQLHANDLE parent);

} // namespace engine::odbc
