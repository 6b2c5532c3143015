// TEMPORARY stand-in on branch issue-17-ui, so the list window's "Save as
// CSV..." links and can be tried; the real writer comes from issue-17-cli.
// Drop this file at the merge.

#include "rent/CheckCsv.h"

#include "engine/Date.h"

#include <cstdio>

namespace rent {

const char* const checkCsvColumns[14] = {"tenant",   "name",    "rent_received", "rent_paid",
                                         "extra_received", "extra_paid", "charges", "charges_in_periods",
                                         "due_now", "due_after", "periods_changed", "first_unpaid_now",
                                         "first_unpaid_after", "problem"};

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

namespace {

std::string isoDate(const engine::Variant& value) {
    if (value.isNull() || value.isEmpty())
        return {};
    const engine::DateParts p = value.toDate().parts();
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
    return text;
}

} // namespace

void WriteCheckCsv(std::ostream& out, const CheckResult& result) {
    out << "\xEF\xBB\xBF";
    for (int i = 0; i < 14; ++i)
        out << (i ? "," : "") << checkCsvColumns[i];
    out << "\r\n";
    for (const TenantCheck& t : result.listed) {
        const std::string cells[14] = {t.tenant, t.name, t.rentReceived, t.rentPaid, t.extraReceived, t.extraPaid,
                                       t.charges, t.chargesInPeriods, t.dueNow, t.dueAfter,
                                       t.checked() ? std::to_string(t.periodsChanged) : std::string(),
                                       isoDate(t.firstUnpaidNow), isoDate(t.firstUnpaidAfter), t.problem};
        for (int i = 0; i < 14; ++i)
            out << (i ? "," : "") << CsvField(cells[i]);
        out << "\r\n";
    }
}

} // namespace rent
