#include "database/Database.h"

#include "database/SqlText.h"
#include "engine/ConnectionText.h"

#include <exception>
#include <new>

namespace {

using engine::EngineError;

// Failures that do not come from the engine are reported under numbers of
// the platform's own: no object to work on, no memory, anything else.
constexpr std::int32_t errObjectNotSet = 91;
constexpr std::int32_t errOutOfMemory = 7;
constexpr std::int32_t errInternal = 51;

constexpr const char* fileNotFoundMessage = "Unable to open Habitorium database - file not found";

[[noreturn]] void objectNotSet() {
    throw EngineError(errObjectNotSet, engine::engineSource, "Object variable or With block variable not set");
}

} // namespace

// The failure being handled, as an engine error: the report always shows a
// number, a source and a description.
EngineError CurrentFailure() {
    try {
        throw;
    } catch (const EngineError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return EngineError(errOutOfMemory, engine::engineSource, "Out of memory");
    } catch (const std::exception& error) {
        return EngineError(errInternal, engine::engineSource, error.what());
    } catch (...) {
        return EngineError(errInternal, engine::engineSource, "Internal error");
    }
}

Database::Database(platform::MessageBox& messages, platform::FileSystem& files, ErrorReporter& reporter)
    : messages_(messages), files_(files), reporter_(&reporter) {}

ErrorReporter& Database::setReporter(ErrorReporter& reporter) {
    ErrorReporter& previous = *reporter_;
    reporter_ = &reporter;
    return previous;
}

void Database::report(const std::string& label, const engine::EngineError& error) {
    ++failures_;
    // Lost is what an open database's connection can be; a server that
    // cannot be reached at the start is a failed open, said as such.
    const bool lost = CurrentDatabase && (error.connectionLost || CurrentDatabase->ConnectionLost());
    // A lost connection is said once an action, not by every call after it.
    if (lost && lossSaid_)
        return;
    try {
        if (lost) {
            lossSaid_ = true;
            engine::EngineError said = error;
            said.connectionLost = true;
            said.description += "\r\nThe connection to the database server was lost; the tool opens it again at "
                                "the next action.";
            reporter_->ReportError(label, said);
        } else {
            reporter_->ReportError(label, error);
        }
    } catch (...) {
        // A wrapper never raises, not even when its report fails.
    }
}

void Database::BeginAction() {
    lossSaid_ = false;
    reopenTried_ = false;
}

bool Database::CheckConnection() {
    if (!CurrentDatabase || !CurrentDatabase->ConnectionLost())
        return true;
    if (lossSaid_ || reopenTried_ || location_.empty()) {
        ++failures_;
        return false;
    }
    reopenTried_ = true;
    // The lost connection lets go of the server first: nothing of it (its
    // teardown, a socket handle value since given to the new one) may touch
    // the connection that replaces it.
    if (!CurrentDatabase->ReleaseLostConnection()) {
        ++failures_;
        return false;
    }
    try {
        std::shared_ptr<engine::Database> opened = engine().OpenDatabase(location_, false, false);
        CurrentDatabase = std::move(opened);
        return true;
    } catch (...) {
        const EngineError failure = CurrentFailure();
        // The driver's first line says why ("could not connect to server").
        std::string why = failure.description;
        if (why.size() > 2 && why[0] == '[' && why.find("] ") != std::string::npos)
            why = why.substr(why.find("] ") + 2);
        why = why.substr(0, why.find_first_of("\r\n"));
        while (!why.empty() && (why.back() == '.' || why.back() == ' '))
            why.pop_back();
        EngineError said(0, failure.source,
                         "The database server cannot be reached (" + why +
                             "). The tool will try again at the next action.");
        said.connectionLost = true;
        ++failures_;
        lossSaid_ = true;
        try {
            reporter_->ReportError(said.description, said);
        } catch (...) {
        }
        return false;
    }
}

bool Database::readAgain(const engine::EngineError& error, bool inTransaction) {
    // A server that went silent is not asked again within the same action:
    // the open would wait out its login timeout on the same silence before
    // the first box could say anything.
    return error.connectionLost && !error.serverSilent && !inTransaction && !lossSaid_ && !reopenTried_ &&
           CheckConnection();
}

engine::DBEngine& Database::engine() {
    if (!engine_)
        engine_ = std::make_unique<engine::DBEngine>();
    return *engine_;
}

int Database::OpenDatabaseFile(const std::string& path) {
    try {
        // The message is a warning only: the open below reports the failure.
        // A connection text is not a file and has no existence test; a folder
        // in the database's place is called a folder.
        if (!engine::IsConnectionText(path) && !files_.isNormalFile(path))
            messages_.showMessage(files_.isFolder(path) ? path + " is a folder, not a database file."
                                                        : fileNotFoundMessage);
        engine::DBEngine& dbEngine = engine();
        CurrentWorkspace = &dbEngine.Workspaces(0);
        std::shared_ptr<engine::Database> opened = dbEngine.OpenDatabase(path, false, false);
        CurrentDatabase = std::move(opened);
        location_ = path;
        return -1;
    } catch (...) {
        report("Start ADO", CurrentFailure());
        return 0;
    }
}

void Database::CreateRecordset(RecordsetRef& rs, std::string& sql, std::int16_t type, std::int16_t options) {
    try {
        NormaliseSql(sql);
        if (!CurrentDatabase)
            objectNotSet();
        if (!CheckConnection())
            return;
        const bool inTransaction = CurrentDatabase->InTransaction();
        std::shared_ptr<engine::Recordset> opened;
        try {
            opened = CurrentDatabase->OpenRecordset(sql, type, options);
        } catch (const EngineError& error) {
            // A connection found dead by the first read of an action (the
            // server was restarted since the last one) is opened again and
            // the read made once more: a read outside a transaction has
            // changed nothing. A write is never sent twice.
            if (!readAgain(error, inTransaction))
                throw;
            opened = CurrentDatabase->OpenRecordset(sql, type, options);
        }
        rs = std::move(opened);
    } catch (...) {
        report("Data Create Set", CurrentFailure());
    }
}

int Database::ExecuteSql(std::string& sql) {
    try {
        NormaliseSql(sql);
        if (!CurrentDatabase)
            objectNotSet();
        if (!CheckConnection())
            return 0;
        CurrentDatabase->Execute(sql);
        return -1;
    } catch (...) {
        // The label shows the statement as it stands now, normalised or not.
        const EngineError error = CurrentFailure();
        report("Execute SQL\r\n" + sql, error);
        return 0;
    }
}

int Database::IsRecordsetEmpty(RecordsetRef& rs) {
    if (!rs)
        return -1;
    try {
        const bool eof = rs->Eof();
        const bool bof = rs->Bof();
        return eof && bof ? -1 : 0;
    } catch (...) {
        // A closed recordset is empty without a word.
        const EngineError error = CurrentFailure();
        if (error.number != engine::errObjectClosed)
            report("Data Is Empty", error);
        return -1;
    }
}

int Database::IsEof(RecordsetRef& rs) {
    if (!rs)
        return -1;
    try {
        return rs->Eof() ? -1 : 0;
    } catch (...) {
        report("Data EOF", CurrentFailure());
        return 0;
    }
}

void Database::CloseRecordset(RecordsetRef& rs) {
    if (!rs)
        return;
    try {
        rs->Close();
        rs.reset();
    } catch (...) {
        report("Data Close", CurrentFailure());
    }
}

void Database::EditRecord(RecordsetRef& rs) {
    try {
        if (!rs)
            objectNotSet();
        rs->Edit();
    } catch (...) {
        report("Edit Record", CurrentFailure());
    }
}

void Database::MoveNextRecord(RecordsetRef& rs) {
    try {
        if (!rs)
            objectNotSet();
        rs->MoveNext();
    } catch (...) {
        report("Move Next", CurrentFailure());
    }
}
