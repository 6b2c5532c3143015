#pragma once
// Module Database: the one open database of the process and the wrappers
// around the engine's operations. No wrapper raises: each failure is reported
// once through the ErrorReporter under the wrapper's label, and the wrapper
// returns its fixed failure result.

#include "database/ErrorReporter.h"
#include "engine/DBEngine.h"
#include "platform/Seams.h"

#include <memory>
#include <string>

using RecordsetRef = std::shared_ptr<engine::Recordset>; // none is nullptr

// Inside a catch block: the failure being handled as an engine error, so a
// report always has a number, a source and a description (an engine error as
// it is; out of memory, 7; anything else, 51 with its message).
engine::EngineError CurrentFailure();

class Database {
public:
    Database(platform::MessageBox& messages, platform::FileSystem& files, ErrorReporter& reporter);

    // Shows "Unable to open Habitorium database - file not found" when no
    // ordinary file is at path (for a folder: "<path> is a folder, not a
    // database file."), then opens it all the same. A connection text
    // ("ODBC;<connection string>") is not a file: it is opened through ODBC
    // with no existence test. True (-1) on success; on failure reports "Start
    // ADO" (with the driver's message, and any password masked) and returns
    // false (0), leaving CurrentDatabase as it was.
    int OpenDatabaseFile(const std::string& path);

    // Normalises sql in place, opens it on CurrentDatabase and puts the new
    // recordset in rs. On failure reports "Data Create Set" and leaves rs as
    // it was.
    void CreateRecordset(RecordsetRef& rs, std::string& sql, std::int16_t type, std::int16_t options);

    // Normalises sql in place and runs it. True (-1), or false (0) after a
    // report labelled "Execute SQL", CR LF and the statement.
    int ExecuteSql(std::string& sql);

    // True (-1) for none or when BOF and EOF are both true. On failure true,
    // after a report "Data Is Empty" unless the error is 3704.
    int IsRecordsetEmpty(RecordsetRef& rs);
    // True (-1) for none, else EOF. On failure "Data EOF" and false (0).
    int IsEof(RecordsetRef& rs);
    // Closes and sets rs to none; nothing for none. On failure "Data Close", rs kept.
    void CloseRecordset(RecordsetRef& rs);
    // Edit / MoveNext of rs; none fails like an engine error. Labels
    // "Edit Record" / "Move Next".
    void EditRecord(RecordsetRef& rs);
    void MoveNextRecord(RecordsetRef& rs);

    // Module state.
    engine::Workspace* CurrentWorkspace = nullptr;
    std::shared_ptr<engine::Database> CurrentDatabase;

    // A new action of the user begins (a tenant picked, a button pressed).
    // After a lost connection the first wrapper call of the next action
    // opens the database again, once, with the same location; if that fails
    // it says in one box that the server cannot be reached and that the
    // tool will try again at the next action. Within the action that met
    // the loss, and the one whose reopening failed, the loss is reported
    // once and every later call fails without a word (each still counts).
    void BeginAction();
    // False when the database is not usable now (lost, and not reopened by
    // the above); the wrappers call it, and so do callers that use
    // CurrentDatabase directly. The lost connection is released before the
    // new one is opened.
    bool CheckConnection();

    // Runs read(*CurrentDatabase), a read made past the wrappers, as
    // CreateRecordset makes its own: after CheckConnection, and made once
    // more when it finds the connection dead as the first read of an action
    // outside a transaction. Nothing is read when the database is not usable;
    // raises what read raises.
    template <typename Read> void ReadDirectly(Read read);

    // Reports made through this module so far; a repair compares it before
    // and after to learn whether anything inside it failed.
    long long failureCount() const { return failures_; }
    // Sends reports elsewhere (a repair defers them until its transaction has
    // ended); returns the reporter it replaces.
    ErrorReporter& setReporter(ErrorReporter& reporter);
    // Counts one failure and hands it to the current reporter. The wrappers
    // use it, and so do callers for failures outside the wrappers.
    void report(const std::string& label, const engine::EngineError& error);

private:
    engine::DBEngine& engine();
    // Whether a read that failed with error (inTransaction: inside one) is
    // made again: the connection was found dead by the first read of an
    // action outside a transaction (not by the server's silence), and has
    // been opened again.
    bool readAgain(const engine::EngineError& error, bool inTransaction);

    platform::MessageBox& messages_;
    platform::FileSystem& files_;
    ErrorReporter* reporter_;
    std::unique_ptr<engine::DBEngine> engine_;
    long long failures_ = 0;
    std::string location_;     // what the open database was opened from
    bool lossSaid_ = false;    // this action has said the connection is lost
    bool reopenTried_ = false; // this action has tried to open it again
};

template <typename Read> void Database::ReadDirectly(Read read) {
    if (!CurrentDatabase || !CheckConnection())
        return;
    const bool inTransaction = CurrentDatabase->InTransaction();
    try {
        read(*CurrentDatabase);
    } catch (const engine::EngineError& error) {
        if (!readAgain(error, inTransaction))
            throw;
        read(*CurrentDatabase);
    }
}
