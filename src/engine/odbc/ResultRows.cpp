#include "engine/odbc/ResultRows.h"

#include "engine/NumberText.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace engine::odbc {

namespace {

bool isDateType(SQLSMALLINT type) {
    return type == SQL_TYPE_DATE || type == SQL_TYPE_TIMESTAMP || type == SQL_DATE || type == SQL_TIMESTAMP ||
           type == SQL_DATETIME || type == SQL_TYPE_TIME || type == SQL_TIME;
}

// Exact decimal text ("-12.3400", "5") as Currency when it has at most four
// significant decimals and fits; otherwise as the double it stands for.
Variant decimalValue(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    std::int64_t scaled = 0;
    bool ok = i < text.size();
    int decimals = -1;
    bool overflow = false;
    for (; i < text.size() && ok; ++i) {
        const char c = text[i];
        if (c == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9') {
            ok = false;
            break;
        }
        if (decimals >= 0) {
            if (decimals == 4) {
                if (c != '0')
                    ok = false;
                continue;
            }
            ++decimals;
        }
        if (__builtin_mul_overflow(scaled, 10, &scaled) || __builtin_add_overflow(scaled, c - '0', &scaled))
            overflow = true;
    }
    for (int d = decimals < 0 ? 0 : decimals; ok && d < 4; ++d) {
        if (__builtin_mul_overflow(scaled, 10, &scaled))
            overflow = true;
    }
    if (ok && !overflow)
        return Variant(Currency::fromScaled(negative ? -scaled : scaled));
    return Variant(LeadingNumber(text));
}

std::string readText(SQLHSTMT stmt, SQLUSMALLINT i, bool& isNull) {
    std::u16string text;
    SQLWCHAR buffer[1024];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, i, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            return {};
        }
        const std::size_t capacity = sizeof buffer / sizeof buffer[0] - 1;
        std::size_t got = capacity;
        if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) < capacity)
            got = static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
        text.append(reinterpret_cast<const char16_t*>(buffer), got);
        if (rc == SQL_SUCCESS)
            break;
    }
    isNull = false;
    return fromWide(reinterpret_cast<const SQLWCHAR*>(text.data()), text.size());
}

Variant timestampValue(const SQL_TIMESTAMP_STRUCT& ts, const Column& column) {
    DateParts parts{};
    parts.year = ts.year;
    parts.month = ts.month;
    parts.day = ts.day;
    parts.hour = ts.hour;
    parts.minute = ts.minute;
    parts.second = ts.second;
    if (column.type == SQL_TYPE_TIME || column.type == SQL_TIME) {
        parts.year = 1899;
        parts.month = 12;
        parts.day = 30;
    }
    return Variant(Date::fromParts(parts));
}

Variant textValue(std::string text, const Column& column) {
    if (column.textMayBeDate) {
        if (std::optional<Date> date = Date::fromIso(text))
            return Variant(*date);
    }
    return Variant(std::move(text));
}

bool isBinary(const Column& column) {
    return column.type == SQL_BINARY || column.type == SQL_VARBINARY || column.type == SQL_LONGVARBINARY;
}

bool isInteger(const Column& column) {
    return column.type == SQL_TINYINT || column.type == SQL_SMALLINT || column.type == SQL_INTEGER ||
           column.type == SQL_BIGINT;
}

bool isFloating(const Column& column) {
    return column.type == SQL_REAL || column.type == SQL_FLOAT || column.type == SQL_DOUBLE;
}

bool isDecimal(const Column& column) {
    return column.type == SQL_DECIMAL || column.type == SQL_NUMERIC;
}

// Money is read through its exact text, never through a double, in a buffer
// of this size; texts a block at a time in one of this many characters, a
// longer one read again on its own.
constexpr std::size_t decimalBytes = 80;
constexpr std::size_t blockTextChars = 255;
constexpr SQLULEN blockRows = 256;

// A column's buffer for a block of rows.
struct Bound {
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN width = 0; // bytes a row
    std::vector<unsigned char> data;
    std::vector<SQLLEN> indicators;
    const unsigned char* at(SQLULEN row) const { return data.data() + row * static_cast<SQLULEN>(width); }
};

Bound boundFor(const Column& column) {
    Bound bound;
    if (column.type == SQL_BIT) {
        bound.cType = SQL_C_BIT;
        bound.width = sizeof(unsigned char);
    } else if (isInteger(column)) {
        bound.cType = SQL_C_SBIGINT;
        bound.width = sizeof(SQLBIGINT);
    } else if (isFloating(column)) {
        bound.cType = SQL_C_DOUBLE;
        bound.width = sizeof(double);
    } else if (isDecimal(column)) {
        bound.cType = SQL_C_CHAR;
        bound.width = decimalBytes;
    } else if (isDateType(column.type)) {
        bound.cType = SQL_C_TYPE_TIMESTAMP;
        bound.width = sizeof(SQL_TIMESTAMP_STRUCT);
    } else {
        bound.cType = SQL_C_WCHAR;
        bound.width = static_cast<SQLLEN>((blockTextChars + 1) * sizeof(SQLWCHAR));
    }
    bound.data.assign(static_cast<std::size_t>(bound.width) * blockRows, 0);
    bound.indicators.assign(blockRows, 0);
    return bound;
}

// The statement as every other reading expects it, however the block reading ends.
class BlockBinding {
public:
    explicit BlockBinding(SQLHSTMT stmt) : stmt_(stmt) {}
    ~BlockBinding() {
        SQLFreeStmt(stmt_, SQL_UNBIND);
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)), 0);
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    }
    BlockBinding(const BlockBinding&) = delete;
    BlockBinding& operator=(const BlockBinding&) = delete;

private:
    SQLHSTMT stmt_;
};

// The field of row (from 0) of the block, as ColumnValue reads it.
Variant blockValue(SQLHSTMT stmt, SQLULEN row, SQLUSMALLINT i, const Column& column, const Bound& bound) {
    const SQLLEN indicator = bound.indicators[row];
    if (indicator == SQL_NULL_DATA)
        return Variant::null();
    const unsigned char* data = bound.at(row);
    switch (bound.cType) {
    case SQL_C_BIT:
        return Variant::boolean(*data != 0);
    case SQL_C_SBIGINT: {
        SQLBIGINT value = 0;
        std::memcpy(&value, data, sizeof value);
        return Variant(static_cast<std::int64_t>(value));
    }
    case SQL_C_DOUBLE: {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        return Variant(value);
    }
    case SQL_C_CHAR: {
        const char* text = reinterpret_cast<const char*>(data);
        return decimalValue(std::string(text, strnlen(text, decimalBytes)));
    }
    case SQL_C_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT ts = {};
        std::memcpy(&ts, data, sizeof ts);
        return timestampValue(ts, column);
    }
    default:
        break;
    }
    if (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) > blockTextChars) {
        // Longer than its buffer: read again in full, from the row itself.
        check(SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT,
              stmt, "SQLSetPos");
        return ColumnValue(stmt, i, column);
    }
    return textValue(
        fromWide(reinterpret_cast<const SQLWCHAR*>(data), static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR)),
        column);
}

void fetchInBlocks(SQLHSTMT stmt, const std::vector<Column>& columns, const TakeRow& take) {
    BlockBinding binding(stmt);
    std::vector<Bound> bound;
    bound.reserve(columns.size());
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> statuses(blockRows, SQL_ROW_SUCCESS);
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                         reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_BIND_BY_COLUMN)), 0),
          SQL_HANDLE_STMT, stmt, "SQLSetStmtAttr");
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(blockRows), 0), SQL_HANDLE_STMT,
          stmt, "SQLSetStmtAttr");
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_HANDLE_STMT, stmt, "SQLSetStmtAttr");
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, statuses.data(), 0), SQL_HANDLE_STMT, stmt, "SQLSetStmtAttr");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        Bound& b = bound.emplace_back(boundFor(columns[i]));
        check(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), b.cType, b.data.data(), b.width, b.indicators.data()),
              SQL_HANDLE_STMT, stmt, "SQLBindCol");
    }
    std::vector<Variant> values(columns.size());
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        for (SQLULEN row = 0; row < fetched; ++row) {
            // A field the driver could not convert fails the reading, as
            // it does read a row at a time.
            if (statuses[row] == SQL_ROW_ERROR)
                throw odbcError(SQL_HANDLE_STMT, stmt, "SQLFetch");
            if (statuses[row] == SQL_ROW_NOROW)
                continue;
            for (std::size_t i = 0; i < columns.size(); ++i)
                values[i] = blockValue(stmt, row, static_cast<SQLUSMALLINT>(i + 1), columns[i], bound[i]);
            if (!take(values))
                return;
        }
    }
    if (rc != SQL_NO_DATA)
        check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
}

} // namespace

Variant ColumnValue(SQLHSTMT stmt, SQLUSMALLINT i, const Column& column) {
    SQLLEN indicator = 0;
    if (column.type == SQL_BIT) {
        unsigned char value = 0;
        check(SQLGetData(stmt, i, SQL_C_BIT, &value, sizeof value, &indicator), SQL_HANDLE_STMT, stmt, "SQLGetData");
        return indicator == SQL_NULL_DATA ? Variant::null() : Variant::boolean(value != 0);
    }
    if (isInteger(column)) {
        SQLBIGINT value = 0;
        check(SQLGetData(stmt, i, SQL_C_SBIGINT, &value, sizeof value, &indicator), SQL_HANDLE_STMT, stmt,
              "SQLGetData");
        return indicator == SQL_NULL_DATA ? Variant::null() : Variant(static_cast<std::int64_t>(value));
    }
    if (isFloating(column)) {
        double value = 0;
        check(SQLGetData(stmt, i, SQL_C_DOUBLE, &value, sizeof value, &indicator), SQL_HANDLE_STMT, stmt, "SQLGetData");
        return indicator == SQL_NULL_DATA ? Variant::null() : Variant(value);
    }
    if (isDecimal(column)) {
        char text[decimalBytes] = {};
        check(SQLGetData(stmt, i, SQL_C_CHAR, text, sizeof text, &indicator), SQL_HANDLE_STMT, stmt, "SQLGetData");
        if (indicator == SQL_NULL_DATA)
            return Variant::null();
        return decimalValue(text);
    }
    if (isDateType(column.type)) {
        SQL_TIMESTAMP_STRUCT ts = {};
        check(SQLGetData(stmt, i, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator), SQL_HANDLE_STMT, stmt,
              "SQLGetData");
        if (indicator == SQL_NULL_DATA)
            return Variant::null();
        return timestampValue(ts, column);
    }
    if (isBinary(column)) {
        std::string bytes;
        char buffer[1024];
        for (;;) {
            const SQLRETURN rc = SQLGetData(stmt, i, SQL_C_BINARY, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA)
                break;
            check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
            if (indicator == SQL_NULL_DATA)
                return Variant::null();
            std::size_t got = sizeof buffer;
            if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) < got)
                got = static_cast<std::size_t>(indicator);
            bytes.append(buffer, got);
            if (rc == SQL_SUCCESS)
                break;
        }
        return Variant(bytes);
    }
    bool isNull = false;
    std::string text = readText(stmt, i, isNull);
    if (isNull)
        return Variant::null();
    return textValue(std::move(text), column);
}

std::vector<Column> DescribeColumns(SQLHSTMT stmt, Dialect dialect) {
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt, "SQLNumResultCols");
    std::vector<Column> columns;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        check(SQLDescribeColW(stmt, static_cast<SQLUSMALLINT>(i), name, 256, &nameLength, &type, &size, &digits,
                              &nullable),
              SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
        Column column;
        column.name = fromWide(name, static_cast<std::size_t>(nameLength < 255 ? nameLength : 255));
        column.type = type;
        if (dialect == Dialect::Sqlite && !isDateType(type)) {
            // As the SQLite backend reads it: a computed column (min(date),
            // with no table behind it) holding exactly an ISO date is a date.
            SQLWCHAR table[256] = {};
            SQLSMALLINT tableLength = 0;
            SQLLEN numeric = 0;
            if (SQL_SUCCEEDED(SQLColAttributeW(stmt, static_cast<SQLUSMALLINT>(i), SQL_DESC_TABLE_NAME, table,
                                               sizeof table, &tableLength, &numeric)))
                column.textMayBeDate = tableLength == 0;
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

bool FetchesInBlocks(SQLHDBC dbc) {
    SQLUINTEGER extensions = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr)))
        return false;
    return (extensions & SQL_GD_BLOCK) != 0 && (extensions & SQL_GD_BOUND) != 0 &&
           (extensions & SQL_GD_ANY_COLUMN) != 0 && (extensions & SQL_GD_ANY_ORDER) != 0;
}

void FetchRows(SQLHSTMT stmt, const std::vector<Column>& columns, bool inBlocks, const TakeRow& take) {
    // A binary field has no bound size; such a result is read a row at a
    // time. So are the first rows of any: most results are a tenant's rows or
    // fewer, which buffers for a block would cost more than they save.
    inBlocks = inBlocks && !columns.empty() &&
               std::none_of(columns.begin(), columns.end(), [](const Column& column) { return isBinary(column); });
    constexpr std::size_t rowsAlone = blockRows;
    std::vector<Variant> values(columns.size());
    SQLRETURN rc;
    for (std::size_t read = 0; !inBlocks || read < rowsAlone; ++read) {
        rc = SQLFetch(stmt);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            if (rc != SQL_NO_DATA)
                check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
            return;
        }
        for (std::size_t i = 0; i < columns.size(); ++i)
            values[i] = ColumnValue(stmt, static_cast<SQLUSMALLINT>(i + 1), columns[i]);
        if (!take(values))
            return;
    }
    fetchInBlocks(stmt, columns, take);
}

} // namespace engine::odbc
