#pragma once
// The rows of a table, each for the tenant of the list that its code names,
// taken a batch at a time: the codes of the whole batch looked up, and then
// each row's take(number, payload) done, with touch(number) between, which
// fetches the memory take will use. A large list's tenants lie all over
// memory, and each row's tenant waited for in turn cost more than the
// reading of the row; a batch's are fetched together. The rows of each tenant
// are taken in the order they were given.
//
//   auto rows = ByTenant<Payload>(codes, touch, take);
//   ... rows.add(code, payload) for each row read ...
//   rows.flush();  // once the reading has ended

#include "engine/Variant.h"
#include "rent/TenantCodes.h"

#include <array>
#include <optional>
#include <string>
#include <utility>

namespace rent {

template <typename Payload, typename Touch, typename Take> class TenantRows {
public:
    TenantRows(const TenantCodes& codes, Touch touch, Take take) : codes_(codes), touch_(touch), take_(take) {}

    // A row of the code given (none for a code that is not text).
    void add(const engine::Variant& code, Payload payload) {
        if (code.kind() != engine::Variant::Kind::Text)
            return;
        Row& row = rows_[count_++];
        row.key = TenantCodes::keyOf(code.text());
        row.code.clear();
        if (code.text().size() > TenantCodes::inlineBytes)
            row.code = code.text();
        row.payload = std::move(payload);
        codes_.prefetch(row.key);
        if (count_ == batch)
            flush();
    }
    // Takes the rows given so far; once the reading has ended, the rest.
    void flush() {
        for (std::size_t i = 0; i < count_; ++i) {
            rows_[i].number = codes_.find(rows_[i].code, rows_[i].key);
            if (rows_[i].number)
                touch_(*rows_[i].number);
        }
        for (std::size_t i = 0; i < count_; ++i) {
            if (rows_[i].number)
                take_(*rows_[i].number, rows_[i].payload);
        }
        count_ = 0;
    }

private:
    static constexpr std::size_t batch = 32;
    struct Row {
        TenantCodes::Key key;
        std::string code; // only when it is too long to be its own key
        Payload payload;
        std::optional<std::size_t> number;
    };
    const TenantCodes& codes_;
    Touch touch_;
    Take take_;
    std::array<Row, batch> rows_;
    std::size_t count_ = 0;
};

template <typename Payload, typename Touch, typename Take>
TenantRows<Payload, Touch, Take> ByTenant(const TenantCodes& codes, Touch touch, Take take) {
    return TenantRows<Payload, Touch, Take>(codes, touch, take);
}

} // namespace rent
