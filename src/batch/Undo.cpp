#include "batch/Undo.h"

#include "batch/ActionText.h"
#include "batch/Guarded.h"
#include "batch/JournalCommit.h"
#include "batch/RepairScope.h"
#include "general/TextForm.h"

#include <algorithm>
#include <utility>

namespace batch {

namespace {

// The names of the tenants left alone, at most this many in the message.
constexpr std::size_t namesShown = 50;

// A tenant left as it is because its rows changed since, and by what: a
// later action's description, "another user", or nothing when the journal
// could not tell.
struct Left {
    std::string tenant;
    std::string by;
};

// "B2, ZZZ by another user; A1 by the repair of 07/12/2026 14:09 (tester)":
// each cause once, in the order first met, at most namesShown names.
std::string leftList(const std::vector<Left>& left) {
    std::vector<std::string> causes;
    for (const Left& l : left)
        if (std::find(causes.begin(), causes.end(), l.by) == causes.end())
            causes.push_back(l.by);
    std::string text;
    std::size_t named = 0;
    for (const std::string& by : causes) {
        std::string names;
        for (const Left& l : left) {
            if (l.by != by)
                continue;
            if (named++ < namesShown)
                names += (names.empty() ? "" : ", ") + l.tenant;
        }
        if (names.empty())
            continue;
        text += (text.empty() ? "" : "; ") + names + (by.empty() ? "" : " by " + by);
    }
    if (left.size() > namesShown)
        text += " and " + std::to_string(left.size() - namesShown) + " more";
    return text;
}

// What changed the rows of tenant since action: the newest later action of
// the journal whose rows the tenant still has (rows: all of its periods now),
// else another user. Empty when the journal cannot be read.
std::string changedBy(journal::RepairJournal& journal, const journal::Action& action, const std::string& tenant,
                      const journal::PeriodRows& rows, const platform::Locale& locale) {
    try {
        const std::optional<journal::LaterChange> later = journal.LastChangeOf(action.database, tenant, action.id);
        if (later && journal::SamePeriods(journal::PeriodsOf(rows, later->entry.after), later->entry.after))
            return DescribeAction(later->action, locale);
        return "another user";
    } catch (const journal::JournalError&) {
        return {};
    }
}

} // namespace

std::string UndoQuestion(const journal::Action& action, const platform::Locale& locale) {
    const std::string when = ShortDateTime(action.madeAt, locale);
    const long long tenants = action.tenants;
    if (action.kind == journal::kindFixAll)
        return "Undo Fix All of " + when + " (" + std::to_string(tenants) + (tenants == 1 ? " tenant" : " tenants") +
               ")? Their rental periods go back to what they were before it.";
    if (action.kind == journal::kindFixThese)
        return "Undo Fix these of " + when + " (" + std::to_string(tenants) + (tenants == 1 ? " tenant" : " tenants") +
               ")? Their rental periods go back to what they were before it.";
    if (action.kind == journal::kindUndo)
        return "Undo the undo of " + when + " (" + std::to_string(tenants) + (tenants == 1 ? " tenant" : " tenants") +
               ")? Their rental periods go back to what they were before it.";
    return "Undo the repair of tenant " + action.tenant + " of " + when + "?";
}

UndoResult UndoAction(Database& database, Journalling& journalling, const journal::Action& action,
                      const platform::Locale& locale, const std::string& again) {
    UndoResult result;
    journal::RepairJournal* journal = journalling.journal();
    if (!journal || !database.CurrentDatabase)
        return result;
    // The undo is an action of the journal too, so its own rows can be seen
    // afterwards; Undo never picks an undo.
    std::string why;
    const long long undo =
        journalling.beginAction(journal::kindUndo, database.CurrentDatabase->Name(), action.tenant, action.id, why);
    if (undo == 0) {
        result.messages.push_back(why);
        return result;
    }
    result.started = true;
    std::string& journalFailure = journalling.failure();

    std::vector<Left> changedSince;
    bool failed = false;
    {
        JournalCommit journalCommit(journal, journalFailure);
        // The journal syncs per group, as in "Fix All".
        BatchTransaction batch(database, nullptr, &journalCommit);
        std::vector<long long> entries;
        try {
            entries = journal->TenantEntries(action.id);
        } catch (const journal::JournalError& error) {
            journalFailure = error.what();
        }
        // Newest first: a tenant repaired twice in one "Fix All" (the user may
        // move the selection back while it runs) goes back one step at a time.
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            const long long id = *it;
            journal::TenantEntry entry;
            try {
                entry = journal->Entry(id);
            } catch (const journal::JournalError& error) {
                journalFailure = error.what();
                break;
            }
            batch.beginGroup();
            RepairScope scope(database);
            bool syncedAlone = false;
            runGuarded(database, "Undo", [&] {
                if (!scope.ok())
                    return;
                engine::Database& db = *database.CurrentDatabase;
                // The journal holds the periods the repair changed (all of
                // them, in a journal written before it kept only those).
                const journal::PeriodRows all = journal::ReadPeriods(db, entry.tenant);
                const journal::PeriodRows now = journal::PeriodsOf(all, entry.after);
                if (journal::SamePeriods(now, entry.after)) {
                    if (!journal::SamePeriods(entry.after, entry.before) &&
                        journal::ReplacePeriods(db, entry.tenant, entry.after, entry.before))
                        syncedAlone = journalling.recordRepair(
                            scope, undo, entry.tenant, now,
                            journal::PeriodsOf(journal::ReadPeriods(db, entry.tenant), now), batch.holdsTransaction());
                } else if (!journal::SamePeriods(now, entry.before)) {
                    // Changed since by a later action or another user of the
                    // database. (Rows still as before are a repair whose commit
                    // never happened, or a tenant already put back: nothing to undo.)
                    changedSince.push_back({entry.tenant, changedBy(*journal, action, entry.tenant, all, locale)});
                }
            });
            if (!scope.finish()) {
                failed = true;
                if (syncedAlone)
                    journal->ForgetLastSync();
            }
            batch.tenantDone();
            if (!journalFailure.empty())
                break;
        }
    }
    journal->EndAction(undo);

    if (!journalFailure.empty()) {
        result.messages.push_back(journalling.problem(
            std::exchange(journalFailure, {}),
            "so the undo stopped. The tenants not yet undone were left as they are; " + again + " undoes them later."));
    } else if (failed) {
        // Left as not undone, so the next undo tries the tenants that failed again.
        result.messages.push_back("Some tenants could not be undone because of the errors shown. " + again +
                                  " tries them again.");
    } else {
        try {
            journal->MarkUndone(action.id, undo);
        } catch (const journal::JournalError& error) {
            result.messages.push_back("The repair journal cannot be written in the folder \"" + journal->folder() +
                                      "\" (" + error.what() + "), so the repair stays marked as not undone.");
        }
    }
    if (!changedSince.empty()) {
        // In the order of the list, each tenant once.
        std::vector<Left> named;
        for (auto it = changedSince.rbegin(); it != changedSince.rend(); ++it) {
            if (std::none_of(named.begin(), named.end(), [&](const Left& l) { return l.tenant == it->tenant; }))
                named.push_back(*it);
        }
        const std::size_t n = named.size();
        result.messages.push_back(
            n == 1 ? "1 tenant was not undone because its periods have changed since: " + leftList(named) + "."
                   : std::to_string(n) +
                         " tenants were not undone because their periods have changed since: " + leftList(named) + ".");
    }
    return result;
}

} // namespace batch
