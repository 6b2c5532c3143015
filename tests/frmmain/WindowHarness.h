#pragma once
// A fresh frmMain over recording seams, for one test.

#include "FakeRegistry.h"
#include "Recorders.h"

#include "frmmain/frmMain.h"

#include <QApplication>
#include <QComboBox>

#include <gtest/gtest.h>

#include <memory>

struct WindowHarness {
    RecordingMessages messages;
    RecordingProgram program;
    FixedClock clock;
    TestFileSystem files;
    FakeRegistry registry;
    TempDir userFolder;
    // The journal's folder is made by the tool on first use.
    FixedUser user{userFolder.file("Habitorium Rent Analysis")};
    std::unique_ptr<frmMain> form;

    explicit WindowHarness(std::string programFolder = {}) : files(std::move(programFolder)) {}

    platform::Platform platform() { return {messages, program, clock, files, registry, user}; }

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

    // Opens the window on the database on first use, else reloads the list
    // (the test may have added tenants), and selects reference as a user would.
    frmMain& select(const std::string& databasePath, const std::string& reference) {
        if (!form)
            open(databasePath);
        else
            form->LoadReferenceData();
        int index = form->Combo1->findText(QString::fromStdString(reference), Qt::MatchFixedString);
        EXPECT_GE(index, 0) << reference;
        form->SetListIndex(index);
        return *form;
    }
};
