#include "general/ErrorReport.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace {

// The error texts of the Jet engine itself are not repeated in the report.
constexpr const char* jetSource = "Microsoft JET Database Engine";

std::string twoDigits(int value) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

} // namespace

std::string ReportText(const std::string& label, const engine::EngineError& error) {
    if (error.number == 0 || error.source == jetSource)
        return label;
    return label + "\r\nGeneral Errors...\r\n\r\n" + std::to_string(error.number) + " - " + error.description +
           "\r\n\r\n";
}

ErrorReport::ErrorReport(platform::MessageBox& messages, platform::Clock& clock, platform::FileSystem& files,
                         const platform::Locale& locale, std::string fallbackFolder)
    : messages_(messages), clock_(clock), files_(files), locale_(locale), fallbackFolder_(std::move(fallbackFolder)) {}

void ErrorReport::ReportError(const std::string& label, const engine::EngineError& error) {
    std::string text;
    try {
        text = ReportText(label, error);
        messages_.showMessage(text);
    } catch (...) {
        // The report is the last line of defence: it never fails its caller,
        // and the log is still written when the box could not be shown.
    }
    WriteErrorLog(text);
}

void ErrorReport::LogError(const std::string& label, const engine::EngineError& error) {
    std::string text;
    try {
        text = ReportText(label, error);
    } catch (...) {
        // Out of memory building the text: the entry is then the bare time.
    }
    WriteErrorLog(text);
}

std::string ErrorReport::logPath() {
    const platform::LocalTime now = clock_.now();
    const std::string name = "err" + locale_.monthAbbreviation(now.month) + twoDigits(now.year % 100) + ".log";
    if (fellBack_ && !fallbackFolder_.empty())
        return platform::joinPath(fallbackFolder_, name);
    return platform::joinPath(files_.programFolder(), name);
}

void ErrorReport::WriteErrorLog(const std::string& message) {
    try {
        // Each entry tries the program's folder first: rights given later count.
        fellBack_ = false;
        const std::string path = logPath();
        // The entry's time is read again: a report made as the month turns
        // goes to the old month's file with the new month's time.
        const platform::LocalTime now = clock_.now();
        const std::string entry = twoDigits(now.day) + "/" + twoDigits(now.month) + "/" + twoDigits(now.year % 100) +
                                  " " + twoDigits(now.hour) + ":" + twoDigits(now.minute) + ":" +
                                  twoDigits(now.second) + " " + message + "\r\n";
        // Binary append: the bytes of the report go out as they are, CR LF
        // included, on every platform.
        std::ofstream file(platform::nativePath(path), std::ios::binary | std::ios::app);
        if (!file && !fallbackFolder_.empty()) {
            // A program folder without write rights (Program Files, a
            // read-only share): the user's own folder takes the entry, so no
            // report is lost.
            std::error_code ec;
            std::filesystem::create_directories(platform::nativePath(fallbackFolder_), ec);
            fellBack_ = true;
            file.clear();
            file.open(platform::nativePath(logPath()), std::ios::binary | std::ios::app);
        }
        if (!file)
            return; // no folder takes it: the entry is missing, the box was shown
        file.write(entry.data(), static_cast<std::streamsize>(entry.size()));
    } catch (...) {
        // Nothing of the log may reach the caller.
    }
}
