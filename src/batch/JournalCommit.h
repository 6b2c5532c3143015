#pragma once
// The repair journal as the commit guard of a batch: before the host database
// commits a group, the group's journal entries are committed to disk; when
// the journal cannot take them, the group is rolled back instead.

#include "batch/RepairScope.h"
#include "journal/RepairJournal.h"

#include <string>

class JournalCommit : public CommitGuard {
public:
    // journal may be none (no journal: every commit is allowed). The first
    // failure's reason is put in failure.
    JournalCommit(journal::RepairJournal* journal, std::string& failure) : journal_(journal), failure_(failure) {}

    bool beforeCommit() override {
        if (!journal_)
            return true;
        try {
            journal_->Sync();
            return true;
        } catch (const journal::JournalError& error) {
            if (failure_.empty())
                failure_ = error.what();
            return false;
        }
    }

    void commitFailed() override {
        if (journal_)
            journal_->ForgetLastSync();
    }

private:
    journal::RepairJournal* journal_;
    std::string& failure_;
};
