#include "rent/CheckAll.h"

#include "database/SqlText.h"
#include "engine/EngineError.h"
#include "general/Lookup.h"
#include "general/TextForm.h"
#include "rent/Allocation.h"
#include "rent/TenantFigures.h"

#include <algorithm>
#include <map>
#include <optional>

namespace rent {

namespace {

// Tenants read together: few statements for the whole list, yet a group's
// rows stay small and its progress is seen.
constexpr std::size_t groupSize = 250;

using Figures = std::map<std::string, engine::Variant>;
using Failures = std::map<std::string, std::string>;

std::shared_ptr<engine::Recordset> open(engine::Database& database, std::string sql) {
    NormaliseSql(sql);
    return database.OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
}

std::string text(const engine::Variant& value, const platform::Locale& locale) {
    return TextForm(ValueOrDefault(value, 0), locale);
}

// A failure of the database itself, not of one tenant's data: the check
// cannot go on.
bool connectionFailure(const engine::EngineError& error) {
    return error.connectionLost;
}

// The statement made by sql(where) for the group (where: a condition on
// t.reference), read into one row of fields a tenant. When the group's
// statement fails (a value that is not a number), each tenant is read on its
// own, so only the tenants whose figures fail are marked with the failure.
template <typename Read>
void readGroup(engine::Database& database, const std::vector<std::string>& group,
               const std::function<std::string(const std::string&)>& sql, Failures& failures, Read read) {
    std::string in;
    for (const std::string& tenant : group)
        in += (in.empty() ? "" : ",") + SqlQuote(tenant);
    try {
        auto rs = open(database, sql("t.reference in (" + in + ")"));
        for (; !rs->Eof(); rs->MoveNext())
            read(*rs);
        return;
    } catch (const engine::EngineError& error) {
        if (connectionFailure(error) || group.size() == 1) {
            if (group.size() == 1 && !connectionFailure(error)) {
                failures.emplace(group.front(), error.description);
                return;
            }
            throw;
        }
    }
    for (const std::string& tenant : group) {
        try {
            auto rs = open(database, sql("t.reference = " + SqlQuote(tenant)));
            for (; !rs->Eof(); rs->MoveNext())
                read(*rs);
        } catch (const engine::EngineError& error) {
            if (connectionFailure(error))
                throw;
            failures.emplace(tenant, error.description);
        }
    }
}

std::string key(engine::Recordset& rs) {
    return rs.Fields("tenant").Value().isNull() ? std::string() : rs.Fields("tenant").Value().text();
}

void sumsOf(engine::Database& database, const std::vector<std::string>& group, const std::string& select,
            const std::string& from, const std::string& condition, const std::vector<std::string>& fields,
            std::vector<Figures*> into, Failures& failures) {
    readGroup(
        database, group,
        [&](const std::string& where) {
            return "select t.reference as tenant, " + select + " from tenancy as t inner join " + from + " where " +
                   condition + where + " group by t.reference";
        },
        failures,
        [&](engine::Recordset& rs) {
            const std::string tenant = key(rs);
            for (std::size_t i = 0; i < fields.size(); ++i)
                (*into[i])[tenant] = rs.Fields(fields[i]).Value();
        });
}

// A test's result in a select list, as the database gives it: a number, a
// boolean, or a boolean's text.
bool truth(const engine::Variant& value) {
    if (value.kind() == engine::Variant::Kind::Text)
        return value.text() == "1" || value.text() == "-1" || value.text() == "t" || value.text() == "true";
    return !value.isNull() && !value.isEmpty() && value.toDouble() != 0;
}

std::string failed(const char* figure, const std::string& why) {
    return "The " + std::string(figure) + " could not be worked out: " + why;
}

} // namespace

int CheckResult::disagreeing() const {
    return static_cast<int>(std::count_if(listed.begin(), listed.end(), [](const auto& t) { return t.checked(); }));
}

int CheckResult::notChecked() const {
    return static_cast<int>(listed.size()) - disagreeing();
}

int CheckResult::periodsChanged() const {
    int n = 0;
    for (const TenantCheck& t : listed)
        n += t.checked() ? t.periodsChanged : 0;
    return n;
}

std::string CheckResult::summary() const {
    const int checkedOf = stopped ? reached : tenants;
    std::string text;
    if (stopped)
        text = "The check was stopped after " + GroupedCount(reached) + " of " + GroupedCount(tenants) + " tenants. ";
    const int d = disagreeing();
    const int n = notChecked();
    const std::string all = GroupedCount(checkedOf);
    if (d == 0 && n > 0) {
        text += checkedOf == 1 ? "The tenant does not disagree with the money received."
                               : "None of the " + all + " tenants disagrees with the money received.";
    } else if (d == 0) {
        text += checkedOf == 1 ? "The tenant agrees with the money received."
                               : "All " + all + " tenants agree with the money received.";
    } else {
        const int p = periodsChanged();
        text += GroupedCount(d) + " of " + all + (checkedOf == 1 ? " tenant" : " tenants") +
                (d == 1 ? " disagrees" : " disagree") + " with the money received; a repair would change " +
                GroupedCount(p) + (d == 1 ? " of its periods." : " of their periods.");
    }
    if (n > 0)
        text += " " + GroupedCount(n) + (n == 1 ? " tenant could not be checked." : " tenants could not be checked.");
    return text;
}

CheckResult CheckAll(engine::Database& database, const std::vector<std::string>& tenants, const Ledger& ledger,
                     const platform::Locale& locale, const CheckProgress& progress) {
    CheckResult result;
    result.tenants = static_cast<int>(tenants.size());
    const std::string rentGroup = SqlQuote(ledger.rentGroup);
    for (std::size_t first = 0; first < tenants.size(); first += groupSize) {
        const std::vector<std::string> group(
            tenants.begin() + static_cast<std::ptrdiff_t>(first),
            tenants.begin() + static_cast<std::ptrdiff_t>(std::min(first + groupSize, tenants.size())));
        Figures names, rent, extra, charges;
        Failures incomeFailed, chargesFailed, namesFailed, rowsFailed;
        // The income of the analysis's two totals in one reading: each row
        // marked by the two tests the totals make of its ledger code, so
        // that the rent income is one group's sum (the rent group) and the
        // extra-charge income another's (a code that pays extra charges that
        // is not the rent group), each as exact as the analysis's own.
        const std::string isRent = "(r.[revenue group] = " + rentGroup + ")";
        const std::string isExtra = "(r.[revenue group] in (" + ledger.extraChargeCodes + "))";
        readGroup(
            database, group,
            [&](const std::string& where) {
                return "select t.reference as tenant, " + isRent + " as isrent, " + isExtra +
                       " as isextra, sum(r.amount)+0 as paid from tenancy as t inner join revenues as r on "
                       "r.tenant_code = t.reference where (" +
                       isRent + " or " + isExtra + ") and " + where + " group by t.reference, " + isRent + ", " +
                       isExtra;
            },
            incomeFailed,
            [&](engine::Recordset& rs) {
                const std::string tenant = key(rs);
                if (truth(rs.Fields("isrent").Value()))
                    rent[tenant] = rs.Fields("paid").Value();
                else if (truth(rs.Fields("isextra").Value()))
                    extra[tenant] = rs.Fields("paid").Value();
            });
        sumsOf(database, group, "sum(c.value)+0 as paid", "rent_periods_charges as c on c.tenantcode = t.reference", "",
               {"paid"}, {&charges}, chargesFailed);
        readGroup(
            database, group,
            [](const std::string& where) {
                return "select t.reference as tenant, t.name from tenancy as t where " + where;
            },
            namesFailed,
            [&](engine::Recordset& rs) {
                const std::string tenant = key(rs);
                if (!names.count(tenant))
                    names[tenant] = rs.Fields("name").Value();
            });
        std::map<std::string, PeriodRows> rows;
        readGroup(
            database, group,
            [](const std::string& where) {
                return "select t.reference as tenant, p.period_from, p.rent_due, p.paid, p.extra_charges, "
                       "p.extra_charges_paid from tenancy as t inner join rent_periods as p on p.tenant_code = "
                       "t.reference where " +
                       where + " order by t.reference, p.period_from";
            },
            rowsFailed,
            [&](engine::Recordset& rs) {
                rows[key(rs)].push_back({rs.Fields("period_from").Value(), rs.Fields("rent_due").Value(),
                                         rs.Fields("paid").Value(), rs.Fields("extra_charges").Value(),
                                         rs.Fields("extra_charges_paid").Value()});
            });

        for (const std::string& tenant : group) {
            TenantCheck c;
            c.tenant = tenant;
            const auto value = [&](const Figures& figures) {
                auto found = figures.find(tenant);
                return found == figures.end() ? engine::Variant::null() : found->second;
            };
            try {
                c.name = TextForm(ValueOrDefault(value(names), std::string()), locale);
            } catch (const engine::EngineError&) {
            }
            const auto figure = [&](const Figures& figures, const Failures& failures, std::string& shown) {
                if (!failures.count(tenant))
                    shown = text(value(figures), locale);
            };
            figure(rent, incomeFailed, c.rentReceived);
            figure(extra, incomeFailed, c.extraReceived);
            figure(charges, chargesFailed, c.charges);
            const PeriodRows& now = rows[tenant];
            PeriodTotals totals;
            std::string periodsFailed;
            try {
                totals = TotalsOf(now);
                c.chargesInPeriods = text(totals.extraCharges, locale);
                c.rentPaid = text(totals.paid, locale);
                c.extraPaid = text(totals.extraChargesPaid, locale);
                c.dueNow = text(totals.due, locale);
            } catch (const engine::EngineError& error) {
                periodsFailed = error.description;
            }
            if (incomeFailed.count(tenant))
                c.problem = failed("money received", incomeFailed[tenant]);
            else if (chargesFailed.count(tenant))
                c.problem = failed("total of the period charges", chargesFailed[tenant]);
            else if (rowsFailed.count(tenant))
                c.problem = "The rental periods could not be read: " + rowsFailed[tenant];
            else if (!periodsFailed.empty())
                c.problem = failed("totals of the rental periods", periodsFailed);

            if (c.checked()) {
                c.rebuild = c.charges != c.chargesInPeriods;
                try {
                    std::optional<std::vector<Charge>> tenantCharges;
                    if (c.rebuild)
                        tenantCharges = ReadCharges(database, tenant);
                    const RepairResult repair =
                        ComputeRepair(tenant, now, CaptionAmount(c.rentReceived), CaptionAmount(c.extraReceived),
                                      tenantCharges ? &*tenantCharges : nullptr, locale);
                    c.periodsChanged = repair.periodsChanged();
                    c.dueAfter = text(TotalsOf(repair.after).due, locale);
                    c.firstUnpaidNow = FirstPeriodNotPaid(now);
                    c.firstUnpaidAfter = FirstPeriodNotPaid(repair.after);
                } catch (const engine::EngineError& error) {
                    if (connectionFailure(error))
                        throw;
                    c.problem = error.description;
                }
            }
            if (!c.checked() || c.rebuild || c.periodsChanged > 0)
                result.listed.push_back(std::move(c));
        }
        result.reached = static_cast<int>(first + group.size());
        if (progress && !progress(result.reached, result.tenants, group.back()) && result.reached < result.tenants) {
            result.stopped = true;
            break;
        }
    }
    return result;
}

} // namespace rent
