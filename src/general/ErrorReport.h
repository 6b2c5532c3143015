#pragma once
// Module General: the error report (a message box, then a line in the
// month's error log in the program's folder, or in the user's own folder
// when the program's folder cannot be written).

#include "database/ErrorReporter.h"
#include "platform/Seams.h"

#include <string>

// The report text: the operation label, then for a general error CR LF and
// "General Errors...", CR LF, CR LF, number, " - ", description, CR LF, CR LF,
// so the error starts on a line of its own even after a statement in the
// label. Number 0 and the source "Microsoft JET Database Engine" (exactly, in
// that case) give the label alone. The box and the log carry the same text.
std::string ReportText(const std::string& label, const engine::EngineError& error);

class ErrorReport : public ErrorReporter {
public:
    // The log's file name takes its month name from locale. fallbackFolder
    // takes the entries that the program's folder cannot (a folder without
    // write rights, such as Program Files); it is made when first needed.
    // Empty: such entries are lost.
    ErrorReport(platform::MessageBox& messages, platform::Clock& clock, platform::FileSystem& files,
                const platform::Locale& locale, std::string fallbackFolder = {});

    // Shows the report text in a modal box, then appends it to the log.
    void ReportError(const std::string& label, const engine::EngineError& error) override;

    // Appends the report text to the log without a box: the same entry that
    // ReportError writes, for a batch that sums its failures up at its end.
    void LogError(const std::string& label, const engine::EngineError& error);

    // Appends "DD/MM/YY hh:nn:ss", a blank, message and CR LF to
    // err<Mon><YY>.log in the program's folder; when that file cannot be
    // opened for appending, to the file of that name in the fallback folder.
    // Every failure is swallowed.
    void WriteErrorLog(const std::string& message);

    // err<Mon><YY>.log for the clock's current month: in the program's
    // folder, or in the fallback folder once an entry has had to go there.
    std::string logPath();

private:
    platform::MessageBox& messages_;
    platform::Clock& clock_;
    platform::FileSystem& files_;
    const platform::Locale& locale_;
    std::string fallbackFolder_;
    bool fellBack_ = false; // the last entry went to the fallback folder
};
