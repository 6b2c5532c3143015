#pragma once
// A fresh frmMain over recording seams, for one test.

#include "FakeRegistry.h"
#include "Recorders.h"

#include "frmmain/frmMain.h"

#include <QApplication>

#include <memory>

struct WindowHarness {
    RecordingMessages messages;
    RecordingProgram program;
    FixedClock clock;
    TestFileSystem files;
    FakeRegistry registry;
    std::unique_ptr<frmMain> form;

    explicit WindowHarness(std::string programFolder = {}) : files(std::move(programFolder)) {}

    platform::Platform platform() { return {messages, program, clock, files, registry}; }

    // Builds the window (which runs Form_Load).
    frmMain& create() {
        form = std::make_unique<frmMain>(platform());
        return *form;
    }

    // Builds the window on the database at path (networked setting) and runs
    // the activation, as showing the window does.
    frmMain& open(const std::string& databasePath) {
        registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
        registry.setting("DatabaseLocation", databasePath);
        create();
        form->Form_Activate();
        return *form;
    }
};
