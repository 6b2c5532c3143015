#pragma once
// A fresh frmMain over recording seams, for one test.

#include "FakeRegistry.h"
#include "Recorders.h"

#include "frmmain/qt/QtWindow.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

struct WindowHarness {
    RecordingMessages messages;
    RecordingProgram program;
    RecordingFileDialog fileDialog;
    RecordingClipboard clipboard;
    FixedClock clock;
    TestFileSystem files;
    FakeRegistry registry;
    TempDir userFolder;
    // The journal's folder is made by the tool on first use.
    FixedUser user{userFolder.file("Habitorium Rent Analysis")};
    BritishLocale locale;
    std::unique_ptr<QtWindow> window;
    frmMain* form = nullptr;

    explicit WindowHarness(std::string programFolder = {}) : files(std::move(programFolder)) {}

    platform::Platform platform() { return {messages, program, clock, files, registry, user, locale}; }

    // Builds the Qt window and its form (which runs Form_Load).
    frmMain& create() {
        window.reset();
        window = std::make_unique<QtWindow>(platform(), fileDialog, clipboard);
        form = &window->form();
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
        // Found as the list finds an entry typed: without regard to case.
        int index = -1;
        for (int i = 0; i < form->Combo1->listCount() && index < 0; ++i)
            if (QString::fromStdString(form->Combo1->list(i))
                    .compare(QString::fromStdString(reference), Qt::CaseInsensitive) == 0)
                index = i;
        EXPECT_GE(index, 0) << reference;
        form->SetListIndex(index);
        return *form;
    }
};
