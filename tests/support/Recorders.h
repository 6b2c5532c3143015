#pragma once
// Seams for tests: they record what the code asked of the platform.

#include "database/ErrorReporter.h"
#include "platform/Seams.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct RecordingMessages : platform::MessageBox {
    std::vector<std::string> texts;                             // every box, confirmations included, in order
    std::vector<std::chrono::steady_clock::time_point> shownAt; // when each of texts was shown
    bool confirmAnswer = true;                                  // what "the user" answers a confirmation: OK or Cancel
    void showMessage(const std::string& text) override { record(text); }
    bool confirm(const std::string& text) override {
        record(text);
        return confirmAnswer;
    }
    void record(const std::string& text) {
        texts.push_back(text);
        shownAt.push_back(std::chrono::steady_clock::now());
    }
};

struct RecordingProgram : platform::Program {
    int endRequests = 0;
    int lastExitStatus = -1; // the status of the last end asked for
    int eventRuns = 0;
    // What "the user" does while pending events run, if anything.
    std::function<void()> whileEventsRun;
    void endProgram(int exitStatus) override {
        ++endRequests;
        lastExitStatus = exitStatus;
    }
    bool endRequested() const override { return endRequests > 0; }
    void letPendingEventsRun() override {
        ++eventRuns;
        if (whileEventsRun)
            whileEventsRun();
    }
};

// The save dialog: records what it was asked and answers with path (empty: Cancel).
struct RecordingFileDialog : platform::FileDialog {
    std::string path;
    std::vector<std::string> suggested; // the name offered, each time asked
    std::string saveFileName(const std::string&, const std::string& suggestedName, const std::string&,
                             const std::string&) override {
        suggested.push_back(suggestedName);
        return path;
    }
};

struct RecordingClipboard : platform::Clipboard {
    std::vector<std::string> texts; // every text put on the clipboard, in order
    void setText(const std::string& text) override { texts.push_back(text); }
};

struct FixedClock : platform::Clock {
    platform::LocalTime time{2026, 12, 7, 14, 5, 9};
    platform::LocalTime now() override { return time; }
};

struct FixedUser : platform::UserAccount {
    std::string folder;
    std::string login = "tester";
    explicit FixedUser(std::string folder = {}) : folder(std::move(folder)) {}
    std::string state;
    std::string dataFolder() override { return folder; }
    std::string stateFolder() override { return state; }
    std::string loginName() override { return login; }
};

// Dates, times and month names as the United Kingdom writes them.
struct BritishLocale : platform::Locale {
    std::string shortDate(int year, int month, int day) const override;
    std::string shortTime(int hour, int minute) const override;
    std::string monthAbbreviation(int month) const override;
};

// The real file test over a program folder the test chooses.
struct TestFileSystem : platform::FileSystem {
    std::string folder;
    explicit TestFileSystem(std::string folder = {}) : folder(std::move(folder)) {}
    std::string programFolder() override { return folder; }
    bool isNormalFile(const std::string& path) override;
    bool isFolder(const std::string& path) override;
};

// A user with a fixed login name and a data folder the test chooses.
struct RecordedReport {
    std::string label;
    engine::EngineError error;
};

struct RecordingReporter : ErrorReporter {
    std::vector<RecordedReport> reports;
    void ReportError(const std::string& label, const engine::EngineError& error) override {
        reports.push_back({label, error});
    }
};

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};
