// "Fix this value" beside the Extra Charges row (rebuild the periods' extra
// charges from the individual charges, then reallocate) and "Fix All".

#include "frmmain/JournalCommit.h"
#include "frmmain/RepairScope.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "engine/NumberText.h"
#include "general/TextForm.h"

#include <optional>
#include <utility>

void frmMain::Command1_Click() {
    repairSelectedTenant(true);
}

bool frmMain::rebuildExtraCharges(const RepairScope& scope) {
    const std::string reference = tenantReference();
    const std::string tenant = SqlQuote(reference);
    std::string sql = "update rent_periods set extra_charges = 0 where tenant_code = " + tenant;
    if (database_.ExecuteSql(sql) != -1)
        return false;

    RecordsetRef rs;
    sql = "select * from rent_periods_charges where tenantcode = " + tenant;
    database_.CreateRecordset(rs, sql, engine::dbOpenDynaset, engine::dbDenyWrite | engine::dbDenyRead);
    if (!scope.ok())
        return false;
    while (database_.IsEof(rs) == 0) {
        // A charge whose amount or date cannot be read is left out with a word
        // naming it, and the others are still added: no statement is built
        // from a value that is not a number or a date.
        const engine::Variant value = rs->Fields(schema::rentPeriodsChargesValue).Value();
        const engine::Variant periodFrom = rs->Fields(schema::rentPeriodsChargesPeriodFrom).Value();
        const bool noAmount =
            value.isNull() || value.isEmpty() || (value.kind() == engine::Variant::Kind::Text && value.text().empty());
        std::optional<engine::Date> date;
        std::optional<double> amount;
        try {
            date = periodFrom.toDate();
        } catch (const engine::EngineError&) {
        }
        try {
            if (!noAmount)
                amount = value.toDouble();
        } catch (const engine::EngineError&) {
        }
        if (!date) {
            notify("A charge of tenant " + reference + " has " +
                   (periodFrom.isNull() || periodFrom.isEmpty() || TextForm(periodFrom, platform_.locale).empty()
                        ? std::string("no period_from date")
                        : "a period_from that is not a date: " + TextForm(periodFrom, platform_.locale)) +
                   "; it was left out.");
        } else if (!amount) {
            notify("A charge of tenant " + reference + " for the period from " + ShortDate(*date, platform_.locale) +
                   " has " +
                   (noAmount ? std::string("no amount")
                             : "an amount that is not a number: " + TextForm(value, platform_.locale)) +
                   "; it was left out.");
        } else {
            sql = "update rent_periods set extra_charges = extra_charges + " + engine::NumberText(*amount) +
                  " where tenant_code = " + tenant + " and period_from = " + SqlDateLiteral(*date);
            if (database_.ExecuteSql(sql) != -1)
                return false;
        }
        database_.MoveNextRecord(rs);
        if (!scope.ok())
            return false;
    }
    return scope.ok();
}

namespace {

// Sends the database's reports to reporter for as long as it lives.
class ReportsTo {
public:
    ReportsTo(Database& database, ErrorReporter& reporter)
        : database_(database), previous_(database.setReporter(reporter)) {}
    ~ReportsTo() { database_.setReporter(previous_); }
    ReportsTo(const ReportsTo&) = delete;
    ReportsTo& operator=(const ReportsTo&) = delete;

private:
    Database& database_;
    ErrorReporter& previous_;
};

} // namespace

void frmMain::cmdFixAll_Click() {
    // One batch at a time: a press while it runs (during its pauses for the
    // window's events) is ignored.
    if (batchRunning_ || Combo1->listCount() == 0)
        return;
    // The whole batch is one action of the journal; without the journal it does not start.
    const long long action = journal_ ? beginJournalAction(journal::kindFixAll, std::string()) : 0;
    if (journal_ && action == 0)
        return;
    batchRunning_ = true;
    batchAction_ = action;
    endDuringBatch_.reset();
    const std::string title = Me->caption();
    BatchSummary summary(errorReport_, Combo1->listCount());
    BatchSummary::End end = BatchSummary::End::EndOfList;
    {
        // Every failure of the batch goes to the log, none to a box: also
        // those the batch transaction holds back, which it hands on at its
        // commits; the others straight away, so each is known to its tenant.
        ReportsTo toLog(database_, summary);
        JournalCommit journalCommit(journal_.get(), journalFailure_);
        BatchTransaction batch(database_, &summary, &journalCommit);
        ReportsTo direct(database_, summary);
        batchSummary_ = &summary;
        batch_ = &batch;
        summary.beginTenant();
        SetListIndex(0);
        for (;;) {
            Me->setCaption(title + " - Fix All: " + Combo1->text() + " (" + std::to_string(Combo1->listIndex() + 1) +
                           " of " + std::to_string(Combo1->listCount()) + ")");
            const int index = Combo1->listIndex();
            const std::string tenant = tenantReference();
            const bool kept = repairSelectedTenant(false);
            summary.tenantDone(index, tenant, kept);
            // Nothing more can be done without the server: the batch stops here.
            if (summary.connectionLost()) {
                end = BatchSummary::End::ConnectionLost;
                break;
            }
            // Nothing is repaired without its way back.
            if (!journalFailure_.empty()) {
                end = BatchSummary::End::JournalFailed;
                break;
            }
            // The rest would fail the same way; at the list's end there is no rest.
            if (summary.shouldStop() && Combo1->listIndex() + 1 < Combo1->listCount()) {
                end = BatchSummary::End::Stopped;
                break;
            }
            // The advance is taken from the current selection, which the user
            // may have changed while the window's events ran.
            summary.beginTenant();
            if (!SetListIndex(Combo1->listIndex() + 1))
                break;
            // The window's events run only when no lock is held: after the
            // first tenant, then at each commit (at least every quarter second).
            if (batch.tenantDone()) {
                platform_.program.letPendingEventsRun();
                if (endDuringBatch_ || platform_.program.endRequested()) {
                    end = endDuringBatch_.value_or(BatchSummary::End::ExitPressed);
                    break;
                }
            }
        }
        batch.commitNow();
        batch_ = nullptr;
        batchSummary_ = nullptr;
    }
    batchAction_ = 0;
    if (journal_)
        journal_->EndAction(action);
    Me->setCaption(title);
    batchRunning_ = false;
    std::string text = summary.text(end);
    if (!journalFailure_.empty())
        text += " " + journalProblem(std::exchange(journalFailure_, {}),
                                     "so the repairs it could not record were not kept; the others can be undone.");
    showMessage(text);
    if (endDuringBatch_)
        platform_.program.endProgram(0);
}
