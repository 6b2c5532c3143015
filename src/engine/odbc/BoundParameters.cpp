#include "engine/odbc/BoundParameters.h"

#include <algorithm>
#include <cstdio>

namespace engine::odbc {

void BoundParameters::bind(SQLHSTMT stmt, const std::vector<const Variant*>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        bindOne(stmt, i, *values[i]);
}

void BoundParameters::bindOne(SQLHSTMT stmt, std::size_t index, const Variant& value) {
    if (index >= slots_.size())
        slots_.resize(index + 1);
    Slot& slot = slots_[index];
    Binding wanted{SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0};
    switch (value.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
        slot.indicator = SQL_NULL_DATA;
        break;
    case Variant::Kind::Integer:
    case Variant::Kind::Boolean: {
        const std::int64_t v = value.kind() == Variant::Kind::Boolean ? (value.boolean() ? -1 : 0) : value.integer();
        wanted.size = 19;
        if (v >= INT32_MIN && v <= INT32_MAX) {
            slot.small = static_cast<SQLINTEGER>(v);
            wanted.cType = SQL_C_SLONG;
            wanted.sqlType = SQL_INTEGER;
            wanted.data = &slot.small;
        } else {
            slot.integer = v;
            wanted.cType = SQL_C_SBIGINT;
            wanted.sqlType = SQL_BIGINT;
            wanted.data = &slot.integer;
        }
        slot.indicator = 0;
        break;
    }
    case Variant::Kind::Double:
        slot.real = value.number();
        wanted = {SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &slot.real, 0};
        slot.indicator = 0;
        break;
    case Variant::Kind::Currency: {
        // Exact: the amount goes as its decimal text with four places.
        const std::int64_t scaled = value.currency().scaled();
        const std::uint64_t magnitude =
            scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
        const int length = std::snprintf(slot.money, sizeof slot.money, "%s%llu.%04llu", scaled < 0 ? "-" : "",
                                         static_cast<unsigned long long>(magnitude / 10000),
                                         static_cast<unsigned long long>(magnitude % 10000));
        wanted = {SQL_C_CHAR, SQL_NUMERIC, 19, 4, slot.money, static_cast<SQLLEN>(sizeof slot.money)};
        slot.indicator = length;
        break;
    }
    case Variant::Kind::Date: {
        const DateParts p = value.date().parts();
        slot.timestamp.year = static_cast<SQLSMALLINT>(p.year);
        slot.timestamp.month = static_cast<SQLUSMALLINT>(p.month);
        slot.timestamp.day = static_cast<SQLUSMALLINT>(p.day);
        slot.timestamp.hour = static_cast<SQLUSMALLINT>(p.hour);
        slot.timestamp.minute = static_cast<SQLUSMALLINT>(p.minute);
        slot.timestamp.second = static_cast<SQLUSMALLINT>(p.second);
        slot.timestamp.fraction = 0;
        wanted = {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, &slot.timestamp, 0};
        slot.indicator = 0;
        break;
    }
    case Variant::Kind::Text: {
        // Written into the buffer it has while it fits, so that the binding
        // (its address and its size) stays as it was.
        const std::u16string text = toWide(value.text());
        slot.wide.assign(text.data(), text.size());
        const std::size_t room = std::max<std::size_t>(slot.wide.capacity(), 1);
        wanted = {SQL_C_WCHAR, SQL_WVARCHAR, room, 0, slot.wide.data(), static_cast<SQLLEN>(room * sizeof(char16_t))};
        slot.indicator = static_cast<SQLLEN>(slot.wide.size() * sizeof(char16_t));
        break;
    }
    }
    if (wanted == slot.bound)
        return;
    const auto number = static_cast<SQLUSMALLINT>(index + 1);
    slot.bound = Binding{};
    check(SQLBindParameter(stmt, number, SQL_PARAM_INPUT, wanted.cType, wanted.sqlType, wanted.size, wanted.digits,
                           wanted.data, wanted.bufferLength, &slot.indicator),
          SQL_HANDLE_STMT, stmt, "SQLBindParameter");
    slot.bound = wanted;
}

} // namespace engine::odbc
