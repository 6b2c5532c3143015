#include "general/TextForm.h"

#include "engine/EngineError.h"
#include "engine/NumberText.h"

#include <cstdio>

std::string ShortDate(const engine::Date& date, const platform::Locale& locale) {
    const engine::DateParts parts = date.parts();
    return locale.shortDate(parts.year, parts.month, parts.day);
}

std::string ShortDateTime(const platform::LocalTime& time, const platform::Locale& locale) {
    return locale.shortDate(time.year, time.month, time.day) + " " + locale.shortTime(time.hour, time.minute);
}

std::string TextForm(const engine::Variant& value, const platform::Locale& locale) {
    using Kind = engine::Variant::Kind;
    switch (value.kind()) {
    case Kind::Empty:
        return {};
    case Kind::Null:
        throw engine::EngineError(engine::errTypeMismatch, engine::engineSource, "Invalid use of Null");
    case Kind::Integer:
        return std::to_string(value.integer());
    case Kind::Double:
        return engine::NumberText(value.number());
    case Kind::Currency:
        return value.currency().text();
    case Kind::Date: {
        // The time is judged on the whole seconds shown, so a fraction too
        // small to show never adds " 00:00:00".
        const engine::DateParts parts = value.date().parts();
        std::string text = ShortDate(value.date(), locale);
        if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
            char time[64];
            std::snprintf(time, sizeof time, " %02d:%02d:%02d", parts.hour, parts.minute, parts.second);
            text += time;
        }
        return text;
    }
    case Kind::Text:
        return value.text();
    case Kind::Boolean:
        return value.boolean() ? "True" : "False";
    }
    return {};
}

std::string GroupedCount(long long count) {
    const unsigned long long magnitude =
        count < 0 ? 0ULL - static_cast<unsigned long long>(count) : static_cast<unsigned long long>(count);
    const std::string digits = std::to_string(magnitude);
    std::string text = count < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}
