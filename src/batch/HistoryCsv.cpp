#include "batch/HistoryCsv.h"

#include "batch/ActionText.h"
#include "engine/NumberText.h"
#include "rent/CheckCsv.h"

#include <cstdio>

namespace batch {

namespace {

constexpr std::size_t columns = 14;

// An amount as the file holds it: a number in its plain text form, text as it
// is, nothing for Null.
std::string amountField(const engine::Variant& value) {
    if (value.isNumeric())
        return engine::NumberText(value.toDouble());
    if (value.kind() == engine::Variant::Kind::Text)
        return value.text();
    return {};
}

std::string timeField(const platform::LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

void writeLine(std::ostream& out, const std::string (&fields)[columns]) {
    for (std::size_t i = 0; i < columns; ++i)
        out << (i ? "," : "") << rent::CsvField(fields[i]);
    out << "\r\n";
}

} // namespace

const char* const historyCsvColumns[columns] = {"when",
                                                "who",
                                                "what",
                                                "note",
                                                "tenant",
                                                "period_from",
                                                "rent_due_before",
                                                "paid_before",
                                                "extra_charges_before",
                                                "extra_charges_paid_before",
                                                "rent_due_after",
                                                "paid_after",
                                                "extra_charges_after",
                                                "extra_charges_paid_after"};

std::vector<journal::Action> ActionsSince(const std::vector<journal::Action>& actions,
                                          const std::optional<engine::Date>& since) {
    std::vector<journal::Action> chosen;
    for (auto it = actions.rbegin(); it != actions.rend(); ++it)
        if (!since || engine::Date::fromParts(it->madeAt).dateOnly().serial() >= since->dateOnly().serial())
            chosen.push_back(*it);
    return chosen;
}

void WriteHistoryCsv(std::ostream& out, journal::RepairJournal& journal, const std::vector<journal::Action>& actions) {
    out << "\xEF\xBB\xBF";
    std::string header[columns];
    for (std::size_t i = 0; i < columns; ++i)
        header[i] = historyCsvColumns[i];
    writeLine(out, header);
    for (const journal::Action& action : actions) {
        const std::string when = timeField(action.madeAt);
        const std::string what = KindName(action.kind);
        for (long long id : journal.TenantEntries(action.id)) {
            const journal::TenantEntry entry = journal.Entry(id);
            for (std::size_t i = 0; i < entry.before.size() && i < entry.after.size(); ++i) {
                const journal::PeriodRow& b = entry.before[i];
                const journal::PeriodRow& a = entry.after[i];
                // A journal written before only the changed periods were kept holds them all.
                if (journal::SamePeriods({b}, {a}))
                    continue;
                const std::string fields[columns] = {when,
                                                     action.login,
                                                     what,
                                                     action.note,
                                                     entry.tenant,
                                                     rent::CsvDate(b.periodFrom),
                                                     amountField(b.rentDue),
                                                     amountField(b.paid),
                                                     amountField(b.extraCharges),
                                                     amountField(b.extraChargesPaid),
                                                     amountField(a.rentDue),
                                                     amountField(a.paid),
                                                     amountField(a.extraCharges),
                                                     amountField(a.extraChargesPaid)};
                writeLine(out, fields);
            }
        }
    }
}

} // namespace batch
