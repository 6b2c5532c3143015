#include "rent/CheckCsv.h"

#include "engine/NumberText.h"

namespace rent {

std::string CsvDate(const engine::Variant& value) {
    using Kind = engine::Variant::Kind;
    switch (value.kind()) {
    case Kind::Empty:
    case Kind::Null:
        return {};
    case Kind::Date:
        return value.date().dateOnly().toIso();
    case Kind::Text:
        return value.text();
    default:
        return value.isNumeric() ? engine::NumberText(value.toDouble()) : std::string();
    }
}

namespace {

void writeLine(std::ostream& out, const std::string* fields, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            out << ',';
        out << CsvField(fields[i]);
    }
    out << "\r\n";
}

} // namespace

const char* const checkCsvColumns[14] = {"tenant",
                                         "name",
                                         "rent_received",
                                         "rent_paid",
                                         "extra_received",
                                         "extra_paid",
                                         "charges",
                                         "charges_in_periods",
                                         "due_now",
                                         "due_after",
                                         "periods_changed",
                                         "first_unpaid_now",
                                         "first_unpaid_after",
                                         "problem"};

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void WriteCheckCsv(std::ostream& out, const CheckResult& result) {
    out << "\xEF\xBB\xBF";
    std::string header[14];
    for (std::size_t i = 0; i < 14; ++i)
        header[i] = checkCsvColumns[i];
    writeLine(out, header, 14);
    for (const TenantCheck& t : result.listed) {
        // A tenant that could not be checked has no count of periods to show.
        const std::string fields[14] = {t.tenant,
                                        t.name,
                                        t.rentReceived,
                                        t.rentPaid,
                                        t.extraReceived,
                                        t.extraPaid,
                                        t.charges,
                                        t.chargesInPeriods,
                                        t.dueNow,
                                        t.dueAfter,
                                        t.checked() ? std::to_string(t.periodsChanged) : std::string(),
                                        CsvDate(t.firstUnpaidNow),
                                        CsvDate(t.firstUnpaidAfter),
                                        t.problem};
        writeLine(out, fields, 14);
    }
}

} // namespace rent
