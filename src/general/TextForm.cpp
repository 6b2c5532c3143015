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
    return platform::GroupedDigits(std::to_string(count));
}

namespace {

// An optional minus sign, digits, at most one point with digits after it, and
// an optional exponent: the whole text.
bool isPlainNumber(const std::string& text) {
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i > start;
    };
    if (!digits())
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits())
            return false;
    }
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == text.size();
}

} // namespace

std::string ShownAmount(const engine::Variant& value, const platform::Locale& locale) {
    if (value.kind() == engine::Variant::Kind::Text) {
        if (!isPlainNumber(value.text()))
            return value.text();
        return locale.amount(engine::LeadingNumber(value.text()));
    }
    if (value.isNumeric())
        return locale.amount(value.toDouble());
    return {};
}

std::string ShownDate(const engine::Variant& value, const platform::Locale& locale) {
    if (value.isNull() || value.isEmpty())
        return {};
    try {
        return ShortDate(value.toDate(), locale);
    } catch (const engine::EngineError&) {
        return TextForm(value, locale);
    }
}
