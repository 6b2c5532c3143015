#pragma once

#include "engine/Currency.h"
#include "engine/EngineError.h"
#include "engine/Variant.h"

#include <cstdint>

namespace rent {

// A total of money added up as the database's sum() adds it (see MoneyTotal),
// one value at a time. A value it cannot be sure of as the database would
// take it (text, a date) or a total outside the range of money leaves the
// total unsure: the database is then asked for it.
class RunningTotal {
public:
    void add(const engine::Variant& value) {
        switch (value.kind()) {
        case engine::Variant::Kind::Null:
        case engine::Variant::Kind::Empty:
            return;
        case engine::Variant::Kind::Double:
            doubles_ = true;
            break;
        case engine::Variant::Kind::Integer:
            break;
        default:
            unsure_ = true;
            return;
        }
        try {
            total_ = total_ + value.toCurrency();
            any_ = true;
        } catch (const engine::EngineError&) {
            unsure_ = true;
        }
    }
    bool unsure() const { return unsure_; }
    // The total as the database gives it: Null over no values, an integer
    // over integers only, else a double.
    engine::Variant value() const {
        if (!any_)
            return engine::Variant::null();
        if (doubles_)
            return engine::Variant(total_.toDouble());
        return engine::Variant(static_cast<std::int64_t>(total_.scaled() / 10000));
    }

private:
    engine::Currency total_;
    bool any_ = false;
    bool doubles_ = false;
    bool unsure_ = false;
};

} // namespace rent
