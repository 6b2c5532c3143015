#include "batch/TenantRepair.h"

#include "batch/Guarded.h"
#include "database/Schema.h"
#include "rent/Allocation.h"

#include <utility>

namespace batch {

namespace {

constexpr std::int16_t dynasetOptions = engine::dbDenyWrite | engine::dbDenyRead;

journal::PeriodRows readRows(engine::Recordset& rs) {
    journal::PeriodRows rows;
    rs.MoveFirst();
    for (; !rs.Eof(); rs.MoveNext())
        rows.push_back({rs.Fields(schema::rentPeriodsPeriodFrom).Value(), rs.Fields(schema::rentPeriodsRentDue).Value(),
                        rs.Fields(schema::rentPeriodsPaid).Value(), rs.Fields(schema::rentPeriodsExtraCharges).Value(),
                        rs.Fields(schema::rentPeriodsExtraChargesPaid).Value()});
    return rows;
}

} // namespace

TenantRepairResult RepairTenant(Database& database, const TenantRepairRequest& request, const platform::Locale& locale,
                                std::optional<rent::ListFigures>& figures, const RepairBatch& batch,
                                Journalling& journalling) {
    using Outcome = TenantRepairResult::Outcome;
    TenantRepairResult result;
    const std::string& tenant = request.tenant;
    const std::string& rentShown = request.rentShown;
    const std::string& extraShown = request.extraShown;
    const bool rebuild = request.rebuildExtraChargesFirst;
    journal::RepairJournal* journal = journalling.journal();

    // The batch's figures read ahead may be those of a tenant that the
    // repair of the money shown leaves as it is (on a file, of the database
    // as it still is): it is passed over, as read, and nothing is written.
    // Any other repair reads the tenant's rows at its turn.
    if (figures && database.CurrentDatabase && figures->Current(*database.CurrentDatabase)) {
        if (const rent::ListFigures::AgreedRepair* agreed = figures->Agreed(tenant)) {
            if (!rebuild && agreed->shown.rent == rentShown && agreed->shown.extraCharges == extraShown) {
                result.messages = agreed->leftOut;
                result.outcome = Outcome::AlreadyAgreed;
                result.analyseAgain = false;
                return result;
            }
            figures->Written(*database.CurrentDatabase, tenant);
        }
    }

    // Outside a batch each press is an action of the journal of its own.
    long long action = batch.action;
    if (journal && !batch.transaction) {
        std::string why;
        action = journalling.beginAction(rebuild ? journal::kindRebuild : journal::kindRepair,
                                         database.CurrentDatabase ? database.CurrentDatabase->Name() : std::string(),
                                         tenant, 0, why);
        if (action == 0) {
            result.messages.push_back(why);
            result.analyseAgain = false;
            return result;
        }
    }
    // What the database holds now is what the figures read ahead were read
    // from, or they are let go: the writing below is then all that has
    // changed when they are told of it.
    if (figures && database.CurrentDatabase)
        figures->Current(*database.CurrentDatabase);
    bool kept = false;
    bool agreed = false;
    std::string moneyChanged; // what the money received is now, when it is not what the window shows
    {
        if (batch.transaction)
            batch.transaction->beginGroup();
        RepairScope scope(database);
        bool syncedAlone = false; // the tenant's entry went to disk ahead of its own commit
        runGuarded(database, "Fix this value", [&] {
            if (!scope.ok())
                return;
            engine::Database& db = *database.CurrentDatabase;
            // Inside the transaction: the money received must still be the
            // money shown, or yesterday's figures would be written.
            const rent::AnalysisTotals* known = figures ? figures->Find(db, tenant) : nullptr;
            const rent::IncomeTotals now =
                known ? rent::IncomeTotalsOf(*known, locale)
                      : rent::ReadIncomeTotals(db, request.ledger, tenant, request.propertyCode, locale);
            if (now.rent != rentShown || now.extraCharges != extraShown) {
                if (now.rent != rentShown)
                    moneyChanged =
                        "rent " + platform::GroupedDigits(rentShown) + " is now " + platform::GroupedDigits(now.rent);
                if (now.extraCharges != extraShown) {
                    if (!moneyChanged.empty())
                        moneyChanged += " and ";
                    moneyChanged += "extra charges " + platform::GroupedDigits(extraShown) + " is now " +
                                    platform::GroupedDigits(now.extraCharges);
                }
                return;
            }
            RecordsetRef rs;
            std::string sql = rent::PeriodsForRepairSql(tenant);
            database.CreateRecordset(rs, sql, engine::dbOpenDynaset, dynasetOptions);
            if (!scope.ok())
                return;
            const journal::PeriodRows before = readRows(*rs);
            std::vector<rent::Charge> charges;
            if (rebuild)
                charges = rent::ReadCharges(db, tenant);
            const rent::RepairResult repair = rent::ComputeRepair(
                tenant, before, request.rentIncome, request.extraChargeIncome, rebuild ? &charges : nullptr, locale);
            for (const std::string& text : repair.leftOut)
                result.messages.push_back(text);
            if (repair.periodsChanged() == 0) {
                // Already as the repair would leave it: nothing is written.
                agreed = true;
                return;
            }
            // Only the rows, and in them the amounts, that change.
            rs->MoveFirst();
            for (std::size_t i = 0; i < repair.after.size(); ++i) {
                if (repair.changed[i]) {
                    database.EditRecord(rs);
                    if (!scope.ok())
                        return;
                    // The columns the repair has always written (the
                    // extra charges only by a rebuild), the same for every
                    // row, so that a database may take the rows together.
                    const journal::PeriodRow& row = repair.after[i];
                    rs->Fields(schema::rentPeriodsRentDue).SetValue(row.rentDue);
                    rs->Fields(schema::rentPeriodsPaid).SetValue(row.paid);
                    if (rebuild)
                        rs->Fields(schema::rentPeriodsExtraCharges).SetValue(row.extraCharges);
                    rs->Fields(schema::rentPeriodsExtraChargesPaid).SetValue(row.extraChargesPaid);
                    rs->Update();
                }
                database.MoveNextRecord(rs);
                if (!scope.ok())
                    return;
            }
            if (journal) {
                // The journal keeps the periods that changed, before and as
                // the table now holds them.
                const journal::PeriodRows written = readRows(*rs);
                journal::PeriodRows changedBefore;
                journal::PeriodRows changedAfter;
                for (std::size_t i = 0; i < before.size() && i < written.size(); ++i) {
                    if (repair.changed[i]) {
                        changedBefore.push_back(before[i]);
                        changedAfter.push_back(written[i]);
                    }
                }
                syncedAlone = journalling.recordRepair(scope, action, tenant, changedBefore, changedAfter,
                                                       batch.transaction && batch.transaction->holdsTransaction());
            }
        });
        if (!moneyChanged.empty())
            scope.fail();
        kept = scope.finish();
        // The tenant's figures read ahead are no longer what its rows hold.
        if (figures && !(kept && agreed)) {
            if (database.CurrentDatabase)
                figures->Written(*database.CurrentDatabase, tenant);
            else
                figures.reset();
        }
        if (!kept && syncedAlone)
            journal->ForgetLastSync();
    }
    if (journal && !batch.transaction) {
        journal->EndAction(action);
        if (!journalling.failure().empty())
            result.messages.push_back(journalling.problem(std::exchange(journalling.failure(), {}),
                                                          "so the repair was not made. Nothing was changed."));
    }
    if (!moneyChanged.empty())
        result.messages.push_back("The money received by tenant " + tenant +
                                  " has changed since it was shown: " + moneyChanged +
                                  ". The window shows the new figures; press Fix this value again to allocate them. "
                                  "Nothing was changed.");
    // The window shows the figures as the repair left them. In a batch, a
    // tenant whose rows were not written shows them already: its analysis was
    // made just before, and the next tenant's follows at once.
    result.analyseAgain = !(batch.transaction && kept && agreed);
    if (kept)
        result.outcome = agreed ? Outcome::AlreadyAgreed : Outcome::Repaired;
    return result;
}

} // namespace batch
