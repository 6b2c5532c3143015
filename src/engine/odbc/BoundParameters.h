#pragma once
// The values of a statement's parameter markers, bound to buffers of their
// own that live as long as the statement may run. A prepared statement keeps
// its parameters bound from one execution to the next: a value of the same
// type is written into its buffer, and only a parameter whose type (or a
// text that outgrows its buffer) changes is bound again.

#include "engine/Variant.h"
#include "engine/odbc/Odbc.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace engine::odbc {

class BoundParameters {
public:
    // Binds the values, in order, to the statement's markers from the first.
    // The statement must have as many markers as values; each time it is
    // given the same number.
    void bind(SQLHSTMT stmt, const std::vector<const Variant*>& values);

private:
    // What a marker was bound to, as SQLBindParameter took it.
    struct Binding {
        SQLSMALLINT cType = 0;
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        void* data = nullptr;
        SQLLEN bufferLength = 0;
        bool operator==(const Binding&) const = default;
    };
    struct Slot {
        SQLLEN indicator = 0;
        std::int64_t integer = 0;
        SQLINTEGER small = 0;
        double real = 0;
        char money[48] = {};
        std::u16string wide;
        SQL_TIMESTAMP_STRUCT timestamp = {};
        Binding bound; // nothing bound while its data is null and its type 0
    };
    void bindOne(SQLHSTMT stmt, std::size_t index, const Variant& value);

    std::deque<Slot> slots_; // a deque: bound addresses stay put as it grows
};

} // namespace engine::odbc
