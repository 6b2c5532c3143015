#include "engine/odbc/Odbc.h"

#include "platform/Utf8.h"

#include <vector>

namespace engine::odbc {

using platform::appendUtf8;
constexpr char32_t replacement = platform::replacementCharacter;

std::u16string toWide(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        char32_t c = replacement;
        std::size_t length = 1;
        if (b < 0x80) {
            c = b;
        } else {
            std::size_t extra = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 0;
            if (b >= 0xF5)
                extra = 0;
            char32_t value = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : b & 0x1F;
            bool ok = extra > 0;
            for (std::size_t k = 1; ok && k <= extra; ++k) {
                if (i + k >= utf8.size()) {
                    ok = false;
                    break;
                }
                const auto next = static_cast<unsigned char>(utf8[i + k]);
                if ((next & 0xC0) != 0x80)
                    ok = false;
                else
                    value = (value << 6) | (next & 0x3F);
            }
            // Overlong forms, surrogates and values past U+10FFFF are malformed.
            if (ok && ((extra == 2 && value < 0x800) || (extra == 3 && (value < 0x10000 || value > 0x10FFFF)) ||
                       (value >= 0xD800 && value <= 0xDFFF)))
                ok = false;
            if (ok) {
                c = value;
                length = extra + 1;
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::string fromWide(const SQLWCHAR* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = replacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::int32_t numberForState(const std::string& state) {
    // Lock waits that ran out, deadlocks and serialisation failures: another
    // user holds what the statement needs.
    if (state == "55P03" || state == "HYT00" || state == "HYT01" || state == "40001" || state == "40P01")
        return errLocked;
    const std::string cls = state.substr(0, 2);
    if (cls == "08")
        return 3151; // the connection failed
    if (cls == "23")
        return 3022; // a constraint refused the change
    if (cls == "22")
        return 3464; // a value the column cannot hold
    if (cls == "42" || cls == "37")
        return 3075; // a statement the database cannot read
    return 3146;     // any other call that failed
}

bool IsConnectionLossState(const std::string& state) {
    // Class 08: the connection failed or is gone. 57P01 to 57P03: the server
    // ended the session (shut down, restarted, or not yet accepting).
    return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03";
}

std::string sqlState(SQLSMALLINT type, SQLHANDLE handle) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[2] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRecW(type, handle, 1, state, &native, message, 1, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
        return {};
    return fromWide(state, 5);
}

EngineError odbcError(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    std::string description;
    std::string firstState;
    SQLINTEGER firstNative = 0;
    for (SQLSMALLINT record = 1; handle && record <= 8; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::vector<SQLWCHAR> message(1024);
        SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            break;
        const std::string stateText = fromWide(state, 5);
        std::size_t shown = static_cast<std::size_t>(length);
        if (shown >= message.size())
            shown = message.size() - 1;
        std::string text = fromWide(message.data(), shown);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        // The first record that is not a warning (class 01) names the failure.
        if (firstState.empty() || (firstState.rfind("01", 0) == 0 && stateText.rfind("01", 0) != 0)) {
            firstState = stateText;
            firstNative = native;
        }
        description += (description.empty() ? "" : "\r\n") + ("[" + stateText + "] " + text);
    }
    if (description.empty())
        return EngineError(3146, odbcSource, what + " failed; the driver gave no reason.");
    std::int32_t number = numberForState(firstState);
    // A lock wait keeps its number whatever the driver's own code, so the
    // repair reports it as the busy case it is.
    if (number != errLocked && firstNative != 0)
        number = firstNative;
    EngineError error(number, odbcSource, description);
    error.connectionLost = IsConnectionLossState(firstState);
    return error;
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what, bool noDataIsOk) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || (noDataIsOk && rc == SQL_NO_DATA))
        return;
    if (rc == SQL_INVALID_HANDLE)
        throw EngineError(3146, odbcSource, what + " failed: invalid handle.");
    throw odbcError(type, handle, what);
}

Handle allocate(SQLSMALLINT type, SQLHANDLE parent) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type, parent, &handle);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        if (parent == SQL_NULL_HANDLE)
            throw EngineError(3146, odbcSource, "The ODBC driver manager could not be started.");
        throw odbcError(type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, parent, "SQLAllocHandle");
    }
    return Handle(handle, HandleFreer{type});
}

} // namespace engine::odbc
