#include "journal/PeriodRows.h"

#include "engine/EngineError.h"

namespace journal {

namespace {

// The tenant's periods, earliest first. Written back through "select *", the
// repair's own form, so every backend finds each row by its key (or all its
// values); read through the five columns the journal keeps.
std::string periodsSql(const std::string& tenant, const char* columns) {
    std::string quoted = "'";
    for (char c : tenant) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    quoted += "'";
    return std::string("select ") + columns + " from rent_periods where tenant_code = " + quoted +
           " order by period_from";
}

PeriodRow currentRow(engine::Recordset& rs) {
    return {rs.Fields("period_from").Value(), rs.Fields("rent_due").Value(), rs.Fields("paid").Value(),
            rs.Fields("extra_charges").Value(), rs.Fields("extra_charges_paid").Value()};
}

bool sameRow(const PeriodRow& a, const PeriodRow& b) {
    return SameValue(a.periodFrom, b.periodFrom) && SameValue(a.rentDue, b.rentDue) && SameValue(a.paid, b.paid) &&
           SameValue(a.extraCharges, b.extraCharges) && SameValue(a.extraChargesPaid, b.extraChargesPaid);
}

bool sameAmounts(const PeriodRow& a, const PeriodRow& b) {
    return SameValue(a.rentDue, b.rentDue) && SameValue(a.paid, b.paid) && SameValue(a.extraCharges, b.extraCharges) &&
           SameValue(a.extraChargesPaid, b.extraChargesPaid);
}

} // namespace

bool SameValue(const engine::Variant& a, const engine::Variant& b) {
    using Kind = engine::Variant::Kind;
    if (a.isNull() || b.isNull() || a.isEmpty() || b.isEmpty())
        return a.kind() == b.kind();
    try {
        if (a.kind() == Kind::Date || b.kind() == Kind::Date)
            return a.toDate() == b.toDate();
        if (a.isNumeric() && b.isNumeric())
            return a.toDouble() == b.toDouble();
    } catch (const engine::EngineError&) {
        return false; // a date against text that is no date
    }
    if (a.kind() == Kind::Text && b.kind() == Kind::Text)
        return a.text() == b.text();
    return false;
}

PeriodRows ReadPeriods(engine::Database& database, const std::string& tenant) {
    auto rs =
        database.OpenRecordset(periodsSql(tenant, "period_from, rent_due, paid, extra_charges, extra_charges_paid"),
                               engine::dbOpenForwardOnly, engine::dbReadOnly);
    PeriodRows rows;
    while (!rs->Eof()) {
        rows.push_back(currentRow(*rs));
        rs->MoveNext();
    }
    rs->Close();
    return rows;
}

bool SamePeriods(const PeriodRows& a, const PeriodRows& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameRow(a[i], b[i]))
            return false;
    }
    return true;
}

PeriodRows PeriodsOf(const PeriodRows& rows, const PeriodRows& which) {
    PeriodRows found;
    std::vector<bool> taken(rows.size(), false);
    for (const PeriodRow& wanted : which) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!taken[i] && SameValue(rows[i].periodFrom, wanted.periodFrom)) {
                taken[i] = true;
                found.push_back(rows[i]);
                break;
            }
        }
    }
    return found;
}

bool ReplacePeriods(engine::Database& database, const std::string& tenant, const PeriodRows& expected,
                    const PeriodRows& replacement) {
    bool sameDates = expected.size() == replacement.size();
    for (std::size_t i = 0; sameDates && i < expected.size(); ++i)
        sameDates = SameValue(expected[i].periodFrom, replacement[i].periodFrom);
    if (!sameDates)
        throw engine::EngineError(engine::errInvalidOperation, engine::engineSource,
                                  "The periods to restore for tenant " + tenant + " are not the periods it has.");
    auto rs = database.OpenRecordset(periodsSql(tenant, "*"), engine::dbOpenDynaset,
                                     engine::dbDenyWrite | engine::dbDenyRead);
    // Which row of the table each expected period is, and that it is exactly as expected.
    PeriodRows now;
    for (; !rs->Eof(); rs->MoveNext())
        now.push_back(currentRow(*rs));
    std::vector<int> target(now.size(), -1);
    for (std::size_t j = 0; j < expected.size(); ++j) {
        std::size_t i = 0;
        while (i < now.size() && (target[i] >= 0 || !SameValue(now[i].periodFrom, expected[j].periodFrom)))
            ++i;
        if (i == now.size() || !sameRow(now[i], expected[j]))
            return false;
        target[i] = static_cast<int>(j);
    }
    rs->MoveFirst();
    for (std::size_t i = 0; i < now.size(); ++i, rs->MoveNext()) {
        if (target[i] < 0)
            continue;
        const PeriodRow& row = replacement[static_cast<std::size_t>(target[i])];
        if (sameAmounts(now[i], row))
            continue;
        rs->Edit();
        rs->Fields("rent_due").SetValue(row.rentDue);
        rs->Fields("paid").SetValue(row.paid);
        rs->Fields("extra_charges").SetValue(row.extraCharges);
        rs->Fields("extra_charges_paid").SetValue(row.extraChargesPaid);
        rs->Update();
    }
    rs->Close();
    return true;
}

} // namespace journal
