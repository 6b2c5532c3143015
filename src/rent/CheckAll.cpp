#include "rent/CheckAll.h"

#include "database/SqlText.h"
#include "engine/EngineError.h"
#include "general/Lookup.h"
#include "general/TextForm.h"
#include "rent/Allocation.h"
#include "rent/RunningTotal.h"
#include "rent/StoredPeriods.h"
#include "rent/TenantCodes.h"
#include "rent/TenantFigures.h"
#include "rent/TenantRows.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>

namespace rent {

namespace {

// Tenants read together: few statements for the whole list, yet a group's
// rows stay small and its progress is seen.
constexpr std::size_t groupSize = 250;
// How long the caller may wait at most to hear of the check, so that it can
// stop it.
constexpr auto progressInterval = std::chrono::milliseconds(250);

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

// The condition that a column holds one of the tenants of a group.
using TenantsCondition = std::function<std::string(const char* column)>;

// The statement made by sql(where) for the group (where(column): that the
// column holds a tenant of the group), read into one row of fields a tenant.
// When the group's statement fails (a value that is not a number), each
// tenant is read on its own, so only the tenants whose figures fail are marked
// with the failure. For every tenant at once (wholeList, the group then being
// the list of every tenancy reference) the statement holds the column to
// any tenant, and its failure is raised.
template <typename Read>
void readGroup(engine::Database& database, const std::vector<std::string>& group,
               const std::function<std::string(const TenantsCondition&)>& sql, Failures& failures, Read read,
               bool wholeList) {
    if (wholeList) {
        auto rs = open(database, sql([](const char* column) { return std::string(column) + " is not null"; }));
        for (; !rs->Eof(); rs->MoveNext())
            read(*rs);
        return;
    }
    std::string in;
    for (const std::string& tenant : group)
        in += (in.empty() ? "" : ",") + SqlQuote(tenant);
    try {
        auto rs = open(database, sql([&](const char* column) { return std::string(column) + " in (" + in + ")"; }));
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
            auto rs =
                open(database, sql([&](const char* column) { return std::string(column) + " = " + SqlQuote(tenant); }));
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

std::string failed(const char* figure, const std::string& why) {
    return "The " + std::string(figure) + " could not be worked out: " + why;
}

// The tenants of a grouped statement, each reference once however often
// tenancy holds it, so that a revenue is counted once as the analysis counts
// it, joined to the rows of table (as alias) whose column holds it. The rows'
// own column is held to the group as well, which changes nothing (a row
// joined to a tenant of the group holds one) but lets the database find the
// rows through its index rather than reading the whole table for each group.
std::string tenantsJoined(const TenantsCondition& where, const std::string& table, const std::string& column) {
    return "(select distinct t.reference from tenancy as t where " + where("t.reference") + ") as t inner join " +
           table + " on " + column + " = t.reference where " + where(column.c_str());
}

// What the check of one tenant starts from, however it was read.
struct TenantInput {
    engine::Variant name;
    engine::Variant rent;
    engine::Variant extra;
    engine::Variant charges;
    std::optional<std::string> incomeFailed;
    std::optional<std::string> chargesFailed;
    std::optional<std::string> rowsFailed;
    PeriodRows rows;
};

// The tenant checked from what was read of it: its check when it is to be
// listed (it disagrees or could not be checked), else nothing. Raises only a
// failure of the database itself. What only a listed tenant shows (its name,
// the texts of its periods' totals, the first periods not paid in full) is
// worked out once it is known to be listed: none of it can fail.
std::optional<TenantCheck> checkTenant(engine::Database& database, const std::string& tenant, const TenantInput& in,
                                       const platform::Locale& locale) {
    TenantCheck c;
    c.tenant = tenant;
    if (!in.incomeFailed) {
        c.rentReceived = text(in.rent, locale);
        c.extraReceived = text(in.extra, locale);
    }
    if (!in.chargesFailed)
        c.charges = text(in.charges, locale);
    std::string periodsFailed;
    std::optional<PeriodTotals> totals;
    try {
        totals = TotalsOf(in.rows);
        c.chargesInPeriods = text(totals->extraCharges, locale);
    } catch (const engine::EngineError& error) {
        periodsFailed = error.description;
    }
    if (in.incomeFailed)
        c.problem = failed("money received", *in.incomeFailed);
    else if (in.chargesFailed)
        c.problem = failed("total of the period charges", *in.chargesFailed);
    else if (in.rowsFailed)
        c.problem = "The rental periods could not be read: " + *in.rowsFailed;
    else if (!periodsFailed.empty())
        c.problem = failed("totals of the rental periods", periodsFailed);

    std::optional<RepairResult> repair;
    engine::Variant dueAfter;
    if (c.checked()) {
        c.rebuild = c.charges != c.chargesInPeriods;
        try {
            std::optional<std::vector<Charge>> tenantCharges;
            if (c.rebuild)
                tenantCharges = ReadCharges(database, tenant);
            RepairResult worked =
                ComputeRepair(tenant, in.rows, CaptionAmount(c.rentReceived), CaptionAmount(c.extraReceived),
                              tenantCharges ? &*tenantCharges : nullptr, locale);
            c.periodsChanged = worked.periodsChanged();
            dueAfter = DueTotalOf(worked.after);
            repair = std::move(worked);
        } catch (const engine::EngineError& error) {
            if (connectionFailure(error))
                throw;
            c.problem = error.description;
        }
    }
    if (c.checked() && !c.rebuild && c.periodsChanged == 0)
        return std::nullopt;
    try {
        c.name = TextForm(ValueOrDefault(in.name, std::string()), locale);
    } catch (const engine::EngineError&) {
    }
    if (totals) {
        c.rentPaid = text(totals->paid, locale);
        c.extraPaid = text(totals->extraChargesPaid, locale);
        c.dueNow = text(totals->due, locale);
    }
    if (repair) {
        c.dueAfter = text(dueAfter, locale);
        c.firstUnpaidNow = FirstPeriodNotPaid(in.rows);
        c.firstUnpaidAfter = FirstPeriodNotPaid(repair->after);
    }
    return c;
}

// What the grouped statements read.
enum Parts { incomePart = 1, chargesPart = 2, namesPart = 4, rowsPart = 8, allParts = 15 };

// The parts asked for of the group's tenants, read by statements that the
// database answers for the whole group, adding up by itself (for every
// tenant at once with wholeList; see readGroup).
std::vector<TenantInput> readGrouped(engine::Database& database, const std::vector<std::string>& group,
                                     const Ledger& ledger, int parts, bool wholeList = false) {
    Figures names, rent, extra, charges;
    Failures incomeFailed, chargesFailed, namesFailed, rowsFailed;
    const std::string rentGroup = SqlQuote(ledger.rentGroup);
    if (parts & incomePart) {
        // The income of the analysis's two totals in one reading: each row
        // marked by the two tests the totals make of its ledger code, so
        // that the rent income is one group's sum (the rent group) and the
        // extra-charge income another's (a code that pays extra charges that
        // is not the rent group), each as exact as the analysis's own.
        // Over every tenant the server adds up by tenant and ledger code
        // first, and the tests are made of those few rows alone (a group that
        // is neither is read and left out here): made of every income row,
        // they would cost more than the adding up. The codes are added up as
        // plain text, each spelling apart, which a server groups several
        // times as fast as text it compares without regard to case; the
        // spellings of a code are then taken together in lower case, which
        // compares as the codes do, and the tests compare lower case with
        // lower case.
        const std::string isRent = wholeList ? "(lcase(r.[revenue group]) = lcase(" + rentGroup + "))"
                                             : "(r.[revenue group] = " + rentGroup + ")";
        const std::string isExtra =
            wholeList ? "(lcase(r.[revenue group]) in (" + LowerCasedValues(ledger.extraChargeCodes) + "))"
                      : "(r.[revenue group] in (" + ledger.extraChargeCodes + "))";
        readGroup(
            database, group,
            [&](const TenantsCondition& where) {
                const std::string from =
                    wholeList
                        ? "(select distinct t.reference from tenancy as t where " + where("t.reference") +
                              ") as t inner join (select cstr(tenant_code) as tenant_code, cstr([revenue group]) as "
                              "[revenue group], sum(amount) as amount from revenues where " +
                              where("tenant_code") +
                              " and [revenue group] is not null group by cstr(tenant_code), cstr([revenue group])) "
                              "as r on lcase(r.tenant_code) = lcase(t.reference)"
                        : tenantsJoined(where, "revenues as r", "r.tenant_code");
                const std::string tested = wholeList ? std::string() : " and (" + isRent + " or " + isExtra + ")";
                return "select t.reference as tenant, " + isRent + " as isrent, " + isExtra +
                       " as isextra, sum(r.amount)+0 as paid from " + from + tested + " group by t.reference, " +
                       isRent + ", " + isExtra;
            },
            incomeFailed,
            [&](engine::Recordset& rs) {
                const std::string tenant = key(rs);
                if (TestTruth(rs.Fields("isrent").Value()))
                    rent[tenant] = rs.Fields("paid").Value();
                else if (TestTruth(rs.Fields("isextra").Value()))
                    extra[tenant] = rs.Fields("paid").Value();
            },
            wholeList);
    }
    if (parts & chargesPart)
        readGroup(
            database, group,
            [&](const TenantsCondition& where) {
                const std::string from =
                    wholeList ? "(select distinct t.reference from tenancy as t where " + where("t.reference") +
                                    ") as t inner join (select cstr(tenantcode) as tenantcode, sum(value) as value "
                                    "from rent_periods_charges where " +
                                    where("tenantcode") +
                                    " group by cstr(tenantcode)) as c on lcase(c.tenantcode) = lcase(t.reference)"
                              : tenantsJoined(where, "rent_periods_charges as c", "c.tenantcode");
                return "select t.reference as tenant, sum(c.value)+0 as paid from " + from + " group by t.reference";
            },
            chargesFailed, [&](engine::Recordset& rs) { charges[key(rs)] = rs.Fields("paid").Value(); }, wholeList);
    if (parts & namesPart)
        readGroup(
            database, group,
            [](const TenantsCondition& where) {
                return "select t.reference as tenant, t.name from tenancy as t where " + where("t.reference");
            },
            namesFailed,
            [&](engine::Recordset& rs) {
                const std::string tenant = key(rs);
                if (!names.count(tenant))
                    names[tenant] = rs.Fields("name").Value();
            },
            wholeList);
    std::map<std::string, PeriodRows> rows;
    if (parts & rowsPart)
        readGroup(
            database, group,
            [](const TenantsCondition& where) {
                return "select t.reference as tenant, p.period_from, p.rent_due, p.paid, p.extra_charges, "
                       "p.extra_charges_paid from " +
                       tenantsJoined(where, "rent_periods as p", "p.tenant_code") +
                       " order by t.reference, p.period_from";
            },
            rowsFailed,
            [&](engine::Recordset& rs) {
                rows[key(rs)].push_back({rs.Fields("period_from").Value(), rs.Fields("rent_due").Value(),
                                         rs.Fields("paid").Value(), rs.Fields("extra_charges").Value(),
                                         rs.Fields("extra_charges_paid").Value()});
            },
            wholeList);

    std::vector<TenantInput> inputs(group.size());
    for (std::size_t i = 0; i < group.size(); ++i) {
        const std::string& tenant = group[i];
        TenantInput& in = inputs[i];
        const auto value = [&](const Figures& figures) {
            auto found = figures.find(tenant);
            return found == figures.end() ? engine::Variant::null() : found->second;
        };
        const auto failure = [&](const Failures& failures) {
            auto found = failures.find(tenant);
            return found == failures.end() ? std::optional<std::string>() : found->second;
        };
        in.name = value(names);
        in.rent = value(rent);
        in.extra = value(extra);
        in.charges = value(charges);
        in.incomeFailed = failure(incomeFailed);
        in.chargesFailed = failure(chargesFailed);
        in.rowsFailed = failure(rowsFailed);
        auto found = rows.find(tenant);
        if (found != rows.end())
            in.rows = std::move(found->second);
    }
    return inputs;
}

// A tenant's places in the list.
using Places = std::vector<std::size_t>;

// The periods of the tenants which, read a group at a time (tenant by tenant
// where a group fails), each handed to take with its place in which; false
// from take stops the reading there, and is returned.
bool readPeriodsInGroups(engine::Database& database, const std::vector<std::string>& which, const Ledger& ledger,
                         const std::function<bool(std::size_t place, const TenantInput& read)>& take) {
    for (std::size_t first = 0; first < which.size(); first += groupSize) {
        const std::vector<std::string> group(
            which.begin() + static_cast<std::ptrdiff_t>(first),
            which.begin() + static_cast<std::ptrdiff_t>(std::min(first + groupSize, which.size())));
        const std::vector<TenantInput> read = readGrouped(database, group, ledger, rowsPart);
        for (std::size_t k = 0; k < group.size(); ++k) {
            if (!take(first + k, read[k]))
                return false;
        }
    }
    return true;
}

// The check on a database server: groups of tenants, each read by a few
// grouped statements. The server adds up and groups cheaply by itself (hash
// aggregation), while every row sent over the connection costs, so it is
// asked for its totals rather than for its tables' rows.
CheckResult checkGrouped(engine::Database& database, const std::vector<std::string>& tenants, const Ledger& ledger,
                         const platform::Locale& locale, const CheckProgress& progress) {
    CheckResult result;
    result.tenants = static_cast<int>(tenants.size());
    for (std::size_t first = 0; first < tenants.size(); first += groupSize) {
        const std::vector<std::string> group(
            tenants.begin() + static_cast<std::ptrdiff_t>(first),
            tenants.begin() + static_cast<std::ptrdiff_t>(std::min(first + groupSize, tenants.size())));
        const std::vector<TenantInput> inputs = readGrouped(database, group, ledger, allParts);
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (std::optional<TenantCheck> c = checkTenant(database, group[i], inputs[i], locale))
                result.listed.push_back(std::move(*c));
        }
        result.reached = static_cast<int>(first + group.size());
        if (progress && !progress(result.reached, result.tenants, group.back()) && result.reached < result.tenants) {
            result.stopped = true;
            break;
        }
    }
    return result;
}

// Tells the caller of the check how far it is, every groupSize tenants or
// progressInterval, whichever comes first, and at the end.
class Pacer {
public:
    Pacer(const CheckProgress& progress, int total) : progress_(progress), total_(total), last_(now()) {}

    // After done tenants, tenant the last: false when the caller stops the check.
    bool tenantsDone(int done, const std::string& tenant) {
        if (done < total_ && done - reported_ < static_cast<int>(groupSize) && now() - last_ < progressInterval)
            return true;
        return report(done, tenant);
    }
    // While whole tables are read, before any tenant is done (every few
    // rows): false when the caller stops the check.
    bool reading() {
        if ((++rows_ & 1023) != 0 || now() - last_ < progressInterval)
            return true;
        return report(reported_, lastTenant_);
    }
    bool stopped() const { return stopped_; }

private:
    static std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
    bool report(int done, const std::string& tenant) {
        reported_ = done;
        lastTenant_ = tenant;
        last_ = now();
        if (progress_ && !progress_(done, total_, tenant) && done < total_)
            stopped_ = true;
        return !stopped_;
    }

    const CheckProgress& progress_;
    int total_;
    int reported_ = 0;
    std::string lastTenant_;
    std::uint64_t rows_ = 0;
    std::chrono::steady_clock::time_point last_;
    bool stopped_ = false;
};

// One tenant code of the list (folded) and what the tables hold for it.
struct Slot {
    std::vector<std::size_t> positions; // in the list, in its order
    engine::Variant name;
    bool named = false;
    bool checked = false; // its tenants have been checked (and counted)
    bool reread = false;  // its periods are to be read again, ordered by the database
};

// A slot's money as the income and the period charges are read: apart from
// the slots and close together, since each row of those tables adds to the
// money of a tenant anywhere in the list.
struct SlotMoney {
    RunningTotal rent;
    RunningTotal extra;
    RunningTotal charges;
};

// The check on a database file read by this process: each table read once,
// in its stored order, without a sort or a walk through an index, the tests
// that compare text made by the database in the select list, and the rows
// added up per tenant here, exactly as the database's sum() adds them; the
// periods kept compactly per tenant until their table has passed, and each
// tenant's put in the order of their start here where that order is beyond
// doubt. Nothing when a whole-table reading of the income failed (the caller
// then reads as for a server); when the reading of the periods fails, or a
// tenant's periods cannot be ordered here, the database is asked for them in
// groups.
std::optional<CheckResult> checkByScans(engine::Database& database, const std::vector<std::string>& tenants,
                                        const Ledger& ledger, const platform::Locale& locale,
                                        const CheckProgress& progress) {
    CheckResult result;
    result.tenants = static_cast<int>(tenants.size());
    Pacer pacer(progress, result.tenants);
    // A slot for each tenant code of the list, numbered as the codes are.
    std::vector<Slot> slots;
    TenantCodes codes(tenants.size());
    for (std::size_t i = 0; i < tenants.size(); ++i) {
        const std::size_t number = codes.add(tenants[i]);
        if (number == slots.size())
            slots.emplace_back();
        slots[number].positions.push_back(i);
    }
    std::vector<SlotMoney> money(slots.size());
    const auto numberAt = [&](const std::string& tenant) { return *codes.find(tenant); };
    const auto slotAt = [&](const std::string& tenant) -> Slot& { return slots[numberAt(tenant)]; };
    const auto slotOf = [&](const engine::Variant& code) -> Slot* {
        const std::optional<std::size_t> number = codes.findValue(code);
        return number ? &slots[*number] : nullptr;
    };
    const auto scan = [&](std::string sql, const auto& row) {
        NormaliseSql(sql);
        database.ReadRows(sql, [&](const std::vector<std::string>&, const std::vector<engine::Variant>& values) {
            row(values);
            return pacer.reading();
        });
        return !pacer.stopped();
    };
    const auto stoppedHere = [&]() {
        result.stopped = true;
        result.reached = 0;
        return result;
    };

    const std::string rentGroup = SqlQuote(ledger.rentGroup);
    const std::string isRent = "([revenue group] = " + rentGroup + ")";
    const std::string isExtra = "([revenue group] in (" + ledger.extraChargeCodes + "))";
    try {
        // The name is the first row's of the tenant, as the analysis finds it.
        if (!scan("select reference, name from tenancy", [&](const std::vector<engine::Variant>& row) {
                if (Slot* slot = slotOf(row[0]); slot && !slot->named) {
                    slot->name = row[1];
                    slot->named = true;
                }
            }))
            return stoppedHere();
        // A row that is not the rent group's pays extra charges (the where).
        const auto touchMoney = [&](std::size_t number) { __builtin_prefetch(&money[number]); };
        struct Income {
            bool rent = false;
            engine::Variant amount;
        };
        auto income = ByTenant<Income>(codes, touchMoney, [&](std::size_t number, const Income& row) {
            (row.rent ? money[number].rent : money[number].extra).add(row.amount);
        });
        if (!scan("select tenant_code, " + isRent + " as isrent, amount from revenues where " + isRent + " or " +
                      isExtra,
                  [&](const std::vector<engine::Variant>& row) {
                      income.add(row[0], Income{TestTruth(row[1]), row[2]});
                  }))
            return stoppedHere();
        income.flush();
        auto charges =
            ByTenant<engine::Variant>(codes, touchMoney, [&](std::size_t number, const engine::Variant& value) {
                money[number].charges.add(value);
            });
        if (!scan("select tenantcode, value from rent_periods_charges",
                  [&](const std::vector<engine::Variant>& row) { charges.add(row[0], row[1]); }))
            return stoppedHere();
        charges.flush();
    } catch (const engine::EngineError& error) {
        if (connectionFailure(error))
            throw;
        return std::nullopt;
    }

    // The totals that could not be made sure of here (a value that is not a
    // number, a total out of range) are the database's to give, or to fail
    // over, tenant by tenant as the analysis does.
    std::map<std::string, TenantInput> asked;
    {
        std::vector<std::string> income, charges;
        for (const std::string& tenant : tenants) {
            const SlotMoney& slot = money[numberAt(tenant)];
            if (slot.rent.unsure() || slot.extra.unsure())
                income.push_back(tenant);
            if (slot.charges.unsure())
                charges.push_back(tenant);
        }
        const auto ask = [&](const std::vector<std::string>& which, int part) {
            for (std::size_t first = 0; first < which.size(); first += groupSize) {
                const std::vector<std::string> group(
                    which.begin() + static_cast<std::ptrdiff_t>(first),
                    which.begin() + static_cast<std::ptrdiff_t>(std::min(first + groupSize, which.size())));
                std::vector<TenantInput> inputs = readGrouped(database, group, ledger, part);
                for (std::size_t i = 0; i < group.size(); ++i) {
                    TenantInput& in = asked[group[i]];
                    if (part == incomePart) {
                        in.rent = inputs[i].rent;
                        in.extra = inputs[i].extra;
                        in.incomeFailed = inputs[i].incomeFailed;
                    } else {
                        in.charges = inputs[i].charges;
                        in.chargesFailed = inputs[i].chargesFailed;
                    }
                }
            }
        };
        ask(income, incomePart);
        ask(charges, chargesPart);
    }

    std::map<std::size_t, TenantCheck> listed;
    int done = 0;
    // Checks the slot's tenants with rows as their periods; false when the
    // caller stopped the check.
    const auto checkSlot = [&](std::size_t number, PeriodRows rows, const std::optional<std::string>& rowsFailed) {
        Slot& slot = slots[number];
        const SlotMoney& held = money[number];
        slot.checked = true;
        for (std::size_t k = 0; k < slot.positions.size(); ++k) {
            const std::size_t position = slot.positions[k];
            const std::string& tenant = tenants[position];
            TenantInput in;
            const auto found = asked.find(tenant);
            const bool incomeAsked = found != asked.end() && (held.rent.unsure() || held.extra.unsure());
            const bool chargesAsked = found != asked.end() && held.charges.unsure();
            in.name = slot.name;
            in.rent = incomeAsked ? found->second.rent : held.rent.value();
            in.extra = incomeAsked ? found->second.extra : held.extra.value();
            in.charges = chargesAsked ? found->second.charges : held.charges.value();
            if (incomeAsked)
                in.incomeFailed = found->second.incomeFailed;
            if (chargesAsked)
                in.chargesFailed = found->second.chargesFailed;
            in.rowsFailed = rowsFailed;
            // The last of a slot's tenants (mostly its only one) takes the rows.
            if (k + 1 == slot.positions.size())
                in.rows = std::move(rows);
            else
                in.rows = rows;
            if (std::optional<TenantCheck> c = checkTenant(database, tenant, in, locale))
                listed.emplace(position, std::move(*c));
            ++done;
            if (!pacer.tenantsDone(done, tenant))
                return false;
        }
        return true;
    };

    // The periods in the table's stored order, kept for each slot until the
    // reading ends (see StoredPeriods). When the reading fails, or a slot's
    // periods cannot be ordered here, the database is asked for them below.
    StoredPeriods periods(slots.size());
    bool readWhole = true;
    try {
        auto rows = ByTenant<StoredPeriods::Row>(
            codes, [&](std::size_t number) { periods.prefetch(number); },
            [&](std::size_t number, const StoredPeriods::Row& row) { periods.add(number, row); });
        if (!scan("select tenant_code, period_from, rent_due, paid, extra_charges, extra_charges_paid from "
                  "rent_periods",
                  [&](const std::vector<engine::Variant>& row) {
                      if (row[0].kind() == engine::Variant::Kind::Text)
                          rows.add(row[0], periods.keep(std::span<const engine::Variant, 5>(row.data() + 1, 5)));
                  }))
            return stoppedHere();
        rows.flush();
    } catch (const engine::EngineError& error) {
        if (connectionFailure(error))
            throw;
        readWhole = false;
    }
    bool going = true;
    // The slots are numbered in the order of their first tenants in the list.
    for (std::size_t number = 0; going && number < slots.size(); ++number) {
        std::optional<PeriodRows> rows;
        if (readWhole)
            rows = periods.take(number);
        if (rows)
            going = checkSlot(number, std::move(*rows), std::nullopt);
        else
            slots[number].reread = true;
    }
    // The periods the database is asked for, in groups (tenant by tenant
    // where a group fails).
    std::vector<std::string> again;
    for (const std::string& tenant : tenants) {
        if (slotAt(tenant).reread)
            again.push_back(tenant);
    }
    if (going)
        going = readPeriodsInGroups(database, again, ledger, [&](std::size_t place, const TenantInput& read) {
            const std::size_t number = numberAt(again[place]);
            if (!slots[number].reread)
                return true; // another spelling of a tenant just checked
            slots[number].reread = false;
            return checkSlot(number, read.rows, read.rowsFailed);
        });
    result.reached = done;
    result.stopped = pacer.stopped();
    for (auto& [position, check] : listed)
        result.listed.push_back(std::move(check));
    return result;
}

// The check of a long list on a database server: the totals and names of
// every tenant in one statement each, which the server answers in about the
// time it answers one over a group of its tenants, and the periods of every
// tenant in one statement read row by row as the server finds them (not
// sorted: unsorted, the server joins them by hashing, in two thirds of the
// time it took to sort them by tenant), held compactly until they have
// passed, and each tenant's put in the order of their start here where that
// order is beyond doubt (see StoredPeriods). Nothing when the reading of the
// totals fails (the caller then reads group by group, tenant by tenant where
// a group fails); when the reading of the periods fails, or a tenant's
// periods cannot be ordered here, those tenants' periods are read in groups.
std::optional<CheckResult> checkStreamed(engine::Database& database, const std::vector<std::string>& tenants,
                                         const Ledger& ledger, const platform::Locale& locale,
                                         const CheckProgress& progress) {
    // The totals of the income and of the period charges are added up on a
    // second connection while this one reads the names and the periods: the
    // server works on both at once, and this process takes in the periods
    // meanwhile. Where no second connection can be opened (the server takes
    // no more users, say), this one reads the totals after the rest; one lost
    // while it reads them fails the check as this one's loss would.
    // However the check ends, the reading beside it has ended before: the
    // future of std::async waits for it as it goes.
    std::future<std::optional<std::vector<TenantInput>>> totalsBeside =
        std::async(std::launch::async, [&database, &tenants, &ledger]() -> std::optional<std::vector<TenantInput>> {
            std::shared_ptr<engine::Database> beside;
            try {
                beside = database.OpenAnother();
            } catch (const engine::EngineError&) {
                // Refused (the driver says so as it says a lost connection)
                // or timed out: this connection, whose own reads bound its
                // wait on a silent server, reads the totals.
                return std::nullopt;
            }
            if (!beside)
                return std::nullopt;
            return readGrouped(*beside, tenants, ledger, incomePart | chargesPart, true);
        });
    std::vector<TenantInput> inputs;
    const auto takeTotals = [&]() {
        std::optional<std::vector<TenantInput>> totals = totalsBeside.get();
        if (!totals)
            totals = readGrouped(database, tenants, ledger, incomePart | chargesPart, true);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            TenantInput& in = (*totals)[i];
            inputs[i].rent = std::move(in.rent);
            inputs[i].extra = std::move(in.extra);
            inputs[i].incomeFailed = std::move(in.incomeFailed);
            inputs[i].charges = std::move(in.charges);
            inputs[i].chargesFailed = std::move(in.chargesFailed);
        }
    };
    try {
        inputs = readGrouped(database, tenants, ledger, namesPart, true);
    } catch (const engine::EngineError& error) {
        if (connectionFailure(error))
            throw;
        return std::nullopt;
    }
    // A tenant's places in the list, numbered by its reference as tenancy
    // spells it (the statement's tenant is tenancy's own reference).
    std::unordered_map<std::string, std::size_t> numberOf;
    std::vector<Places> places;
    for (std::size_t i = 0; i < tenants.size(); ++i) {
        const auto [at, added] = numberOf.try_emplace(tenants[i], places.size());
        if (added)
            places.emplace_back();
        places[at->second].push_back(i);
    }

    CheckResult result;
    result.tenants = static_cast<int>(tenants.size());
    Pacer pacer(progress, result.tenants);
    std::map<std::size_t, TenantCheck> listed;
    int done = 0;
    const auto check = [&](std::size_t i, PeriodRows rows, const std::optional<std::string>& rowsFailed) {
        TenantInput& in = inputs[i];
        in.rows = std::move(rows);
        in.rowsFailed = rowsFailed;
        if (std::optional<TenantCheck> c = checkTenant(database, tenants[i], in, locale))
            listed.emplace(i, std::move(*c));
        in.rows.clear();
        return pacer.tenantsDone(++done, tenants[i]);
    };

    StoredPeriods periods(places.size());
    bool readWhole = true;
    try {
        const TenantsCondition anyTenant = [](const char* column) { return std::string(column) + " is not null"; };
        std::string sql = "select t.reference as tenant, p.period_from, p.rent_due, p.paid, p.extra_charges, "
                          "p.extra_charges_paid from " +
                          tenantsJoined(anyTenant, "rent_periods as p", "p.tenant_code");
        NormaliseSql(sql);
        database.ReadRows(sql, [&](const std::vector<std::string>&, const std::vector<engine::Variant>& row) {
            if (row[0].kind() == engine::Variant::Kind::Text) {
                if (const auto found = numberOf.find(row[0].text()); found != numberOf.end())
                    periods.add(found->second, std::span<const engine::Variant, 5>(row.data() + 1, 5));
            }
            return pacer.reading();
        });
    } catch (const engine::EngineError& error) {
        if (connectionFailure(error))
            throw;
        readWhole = false;
    }
    try {
        takeTotals();
    } catch (const engine::EngineError& error) {
        if (connectionFailure(error))
            throw;
        return std::nullopt;
    }
    bool going = !pacer.stopped();
    // The tenants in the order of the list; those whose periods are read
    // again in groups after them.
    std::vector<std::string> groupRead;
    std::vector<std::size_t> groupPlaces;
    for (std::size_t number = 0; going && number < places.size(); ++number) {
        std::optional<PeriodRows> rows;
        if (readWhole)
            rows = periods.take(number);
        for (std::size_t i : places[number]) {
            if (!rows) {
                groupRead.push_back(tenants[i]);
                groupPlaces.push_back(i);
            } else if (!check(i, *rows, std::nullopt)) {
                going = false;
                break;
            }
        }
    }
    if (going)
        readPeriodsInGroups(database, groupRead, ledger, [&](std::size_t place, const TenantInput& read) {
            return check(groupPlaces[place], read.rows, read.rowsFailed);
        });
    result.reached = done;
    result.stopped = pacer.stopped();
    for (auto& [place, c] : listed)
        result.listed.push_back(std::move(c));
    return result;
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
    // On a file, reading whole tables in their stored order is cheaper by far
    // than having the database sort and group them; a server groups cheaply
    // and sends its totals faster than its rows, and a list of a few tenants
    // (one checked again) is read as one group.
    if (database.IsFile()) {
        if (std::optional<CheckResult> result = checkByScans(database, tenants, ledger, locale, progress))
            return std::move(*result);
    } else if (tenants.size() > groupSize) {
        if (std::optional<CheckResult> result = checkStreamed(database, tenants, ledger, locale, progress))
            return std::move(*result);
    }
    return checkGrouped(database, tenants, ledger, locale, progress);
}

} // namespace rent
