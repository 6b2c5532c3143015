#include "engine/sqlite/Sqlite.h"

#include "engine/Date.h"

namespace engine {

EngineError sqliteError(sqlite3* db) {
    if (!db)
        return EngineError(SQLITE_NOMEM, sqliteSource, "out of memory");
    return EngineError(sqlite3_errcode(db), sqliteSource, sqlite3_errmsg(db));
}

StatementHandle prepare(sqlite3* db, const std::string& sql, std::size_t offset, std::size_t* tail) {
    sqlite3_stmt* raw = nullptr;
    const char* begin = sql.c_str() + offset;
    const char* rest = begin;
    const int rc = sqlite3_prepare_v2(db, begin, static_cast<int>(sql.size() - offset), &raw, &rest);
    StatementHandle stmt(raw);
    if (rc != SQLITE_OK)
        throw sqliteError(db);
    if (tail)
        *tail = offset + static_cast<std::size_t>(rest - begin);
    return stmt;
}

void run(sqlite3* db, const std::string& sql) {
    std::size_t offset = 0;
    while (offset < sql.size()) {
        std::size_t tail = 0;
        StatementHandle stmt = prepare(db, sql, offset, &tail);
        if (tail <= offset)
            break; // nothing but blanks or comments was left
        offset = tail;
        if (!stmt)
            continue; // an empty statement (a lone ";")
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE)
            throw sqliteError(db);
    }
}

std::string quoteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

namespace {

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
        const char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

} // namespace

bool readsDates(sqlite3_stmt* stmt, int i) {
    const char* declared = sqlite3_column_decltype(stmt, i);
    return declared == nullptr || equalsIgnoringCase(declared, "DATETIME") || equalsIgnoringCase(declared, "DATE");
}

namespace {

// Sets into to column i as columnValue gives it; readsDates is asked only of
// a text in the form of a date. The column's value is taken once and read
// through the value interface, which spares each reading of it the
// statement's checks: the value is the statement's own, valid until the next
// step, and read only by the thread that uses the connection (which is opened
// for one thread).
template <typename DatesRead> void valueInto(sqlite3_stmt* stmt, int i, DatesRead datesRead, Variant& into) {
    sqlite3_value* value = sqlite3_column_value(stmt, i);
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        into.set(static_cast<std::int64_t>(sqlite3_value_int64(value)));
        return;
    case SQLITE_FLOAT:
        into.set(sqlite3_value_double(value));
        return;
    case SQLITE_NULL:
        into.setNull();
        return;
    case SQLITE_BLOB: {
        const void* bytes = sqlite3_value_blob(value);
        const int size = sqlite3_value_bytes(value);
        into.setText(bytes ? std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                           : std::string_view());
        return;
    }
    default: {
        const unsigned char* chars = sqlite3_value_text(value);
        const int size = sqlite3_value_bytes(value);
        const std::string_view text =
            chars ? std::string_view(reinterpret_cast<const char*>(chars), static_cast<std::size_t>(size))
                  : std::string_view();
        // Only a text in the form of a date is worth asking the column's type.
        if ((text.size() == 10 || text.size() == 19) && text[4] == '-' && datesRead()) {
            if (auto date = Date::fromIso(text)) {
                into.set(*date);
                return;
            }
        }
        into.setText(text);
        return;
    }
    }
}

} // namespace

Variant columnValue(sqlite3_stmt* stmt, int i) {
    Variant value;
    valueInto(
        stmt, i, [&] { return readsDates(stmt, i); }, value);
    return value;
}

void readColumn(sqlite3_stmt* stmt, int i, bool datesRead, Variant& into) {
    valueInto(
        stmt, i, [datesRead] { return datesRead; }, into);
}

void bindValue(sqlite3* db, sqlite3_stmt* stmt, int i, const Variant& value) {
    int rc = SQLITE_OK;
    switch (value.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
        rc = sqlite3_bind_null(stmt, i);
        break;
    case Variant::Kind::Integer:
        rc = sqlite3_bind_int64(stmt, i, value.integer());
        break;
    case Variant::Kind::Double:
        rc = sqlite3_bind_double(stmt, i, value.number());
        break;
    case Variant::Kind::Currency:
        rc = sqlite3_bind_double(stmt, i, value.currency().toDouble());
        break;
    case Variant::Kind::Boolean:
        rc = sqlite3_bind_int64(stmt, i, value.boolean() ? -1 : 0);
        break;
    case Variant::Kind::Date: {
        const std::string iso = value.date().toIso();
        rc = sqlite3_bind_text(stmt, i, iso.c_str(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
        break;
    }
    case Variant::Kind::Text:
        rc = sqlite3_bind_text(stmt, i, value.text().c_str(), static_cast<int>(value.text().size()), SQLITE_TRANSIENT);
        break;
    }
    if (rc != SQLITE_OK)
        throw sqliteError(db);
}

} // namespace engine
