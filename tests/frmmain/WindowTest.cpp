// The window's layout and the choice of database file at start-up.

#include "WindowHarness.h"

#include "platform/RegistryFile.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

struct ControlSpec {
    const char* name;
    const char* kind;
    const char* caption;
    int left, top, width, height;
};

// In creation order, positions in twips.
const ControlSpec controls[] = {
    {"Command1", "QPushButton", "Fix this value", 5520, 3960, 1695, 375},
    {"cmdFixAll", "QPushButton", "Fix All", 240, 4320, 1695, 375},
    {"cmdFix", "QPushButton", "Fix this value", 5520, 3120, 1695, 375},
    {"Combo1", "QComboBox", "", 2160, 960, 2175, 315},
    {"cmdExit", "QPushButton", "Exit", 3120, 4320, 1455, 375},
    {"Label23", "QLabel", "Extra Charges", 240, 3960, 2415, 255},
    {"Label22", "QLabel", "", 2760, 3960, 1215, 255},
    {"Label21", "QLabel", "", 4200, 3960, 1215, 255},
    {"Label20", "QLabel", "", 4200, 2880, 1215, 255},
    {"Label19", "QLabel", "", 4200, 3240, 1215, 255},
    {"Label18", "QLabel", "", 4200, 3600, 1215, 255},
    {"Label17", "QLabel", "Extra Charges", 4200, 2640, 1215, 255},
    {"Label16", "QLabel", "Rent", 2760, 2640, 1215, 255},
    {"Label15", "QLabel", "Total of Rental Periods Due", 240, 3600, 2415, 255},
    {"Label14", "QLabel", "", 2760, 3600, 1215, 255},
    {"Label13", "QLabel", "", 2760, 1560, 1215, 255},
    {"Label12", "QLabel", "Tenancy start date", 240, 1560, 2415, 255},
    {"Label11", "QLabel", "", 2760, 1920, 1215, 255},
    {"Label10", "QLabel", "", 2760, 2280, 1215, 255},
    {"Label9", "QLabel", "First transaction date", 240, 1920, 2415, 255},
    {"Label8", "QLabel", "Rental Periods start date", 240, 2280, 2415, 255},
    {"Label7", "QLabel", "", 2760, 3240, 1215, 255},
    {"Label6", "QLabel", "", 2760, 2880, 1215, 255},
    {"Label5", "QLabel", "Total of Rental Periods paid", 240, 3240, 2415, 255},
    {"Label4", "QLabel", "Total of income transactions paid", 240, 2880, 2415, 255},
    {"Label2", "QLabel", "", 4440, 960, 3015, 255},
    {"Label3", "QLabel", "Select Tenant", 120, 960, 1935, 255},
    {"lblDatabase", "QLabel", nullptr, 1800, 240, 5655, 495},
    {"Label1", "QLabel", "Database Location", 120, 240, 1575, 255},
    {"cmdCheckAll", "QPushButton", "Check All", 5520, 4320, 1695, 375},
    {"cmdHistory", "QPushButton", "History...", 5520, 4800, 1695, 375},
};

QString captionOf(QWidget* w) {
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    return qobject_cast<QComboBox*>(w)->currentText();
}

TEST(WindowLayout, ControlsInCreationOrderWithCaptionsAndGeometry) {
    WindowHarness h;
    h.create();
    QtWindow& form = *h.window;
    EXPECT_EQ(form.windowTitle(), "Habitorium Rent Analysis");
    EXPECT_EQ(form.size(), QSize(501, 384));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);

    QList<QWidget*> children = form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), static_cast<qsizetype>(std::size(controls)));
    for (std::size_t i = 0; i < std::size(controls); ++i) {
        const ControlSpec& c = controls[i];
        QWidget* w = children[static_cast<qsizetype>(i)];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(w->objectName(), c.name);
        EXPECT_STREQ(w->metaObject()->className(), c.kind);
        EXPECT_EQ(w->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
        if (c.caption) {
            EXPECT_EQ(captionOf(w), QString::fromUtf8(c.caption));
        }
        EXPECT_FALSE(captionOf(w).contains('&')) << "no access keys";
        EXPECT_TRUE(w->isEnabled());
        if (qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(w->focusPolicy(), Qt::NoFocus);
            // A caption is read whole, not cut off at its label's edge.
            EXPECT_LE(w->fontMetrics().horizontalAdvance(captionOf(w)), w->width());
        }
    }
    auto* combo = qobject_cast<QComboBox*>(form.control("Combo1"));
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->count(), 0);
}

TEST(WindowLayout, KeyboardFocusRunsInTabOrderFromExit) {
    WindowHarness h;
    h.create();
    QtWindow& form = *h.window;
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), form.control("cmdExit"));

    std::vector<QString> order;
    QWidget* w = form.control("cmdExit");
    for (int i = 0; i < 7; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        order.push_back(w->objectName());
    }
    EXPECT_EQ(order, (std::vector<QString>{"cmdExit", "Combo1", "cmdFix", "cmdFixAll", "Command1", "cmdCheckAll",
                                           "cmdHistory"}));
}

TEST(WindowLifecycle, ExitAndTheCloseBoxEndTheProgram) {
    WindowHarness h;
    h.create();
    QtWindow& form = *h.window;
    qobject_cast<QPushButton*>(form.control("cmdExit"))->click();
    EXPECT_EQ(h.program.endRequests, 1);
    EXPECT_EQ(h.program.lastExitStatus, 0);
    form.close();
    EXPECT_EQ(h.program.endRequests, 2);
    EXPECT_EQ(h.program.lastExitStatus, 0);
}

TEST(WindowLifecycle, ActivationRunsOnceWhenTheWindowIsFirstShown) {
    TempDir dir;
    WindowHarness h(dir.path().string());
    h.registry.setting("APPPath", dir.file("nowhere"));
    h.create();
    QtWindow& form = *h.window;
    form.show();
    QApplication::processEvents();
    // The database is missing: the file-not-found box, the failed open, then the window's own message.
    ASSERT_GE(h.messages.texts.size(), 2u);
    EXPECT_EQ(h.messages.texts.front(), "Unable to open Habitorium database - file not found");
    EXPECT_EQ(h.messages.texts.back(), "Unable to start habitorium database.");
    EXPECT_EQ(h.program.endRequests, 1);
    std::size_t shown = h.messages.texts.size();
    form.hide();
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(h.messages.texts.size(), shown);
}

// Start-up's choice of database file, in temporary folders: <root>/app is the
// program's folder, <root> the folder above it.
class DatabasePath : public ::testing::Test {
protected:
    TempDir root;
    std::string app = (root.path() / "app").string();
    WindowHarness h{app};

    void SetUp() override { fs::create_directory(app); }
    static void touch(const std::string& path) { std::ofstream(path) << "x"; }
    std::string inApp() const { return app + "/property.mdb"; }
    std::string above() const { return app + "/../property.mdb"; }
    std::string chosen() { return h.create().lblDatabase->caption(); }
};

TEST_F(DatabasePath, LocalProgramFolder) {
    touch(inApp());
    EXPECT_EQ(chosen(), inApp());
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(DatabasePath, LocalFolderAboveWinsWithTheSpellingThatWasTested) {
    touch(root.file("property.mdb"));
    EXPECT_EQ(chosen(), above());
    touch(inApp());
    EXPECT_EQ(chosen(), above());
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(DatabasePath, LocalFallsBackToTheApplicationPathUntested) {
    h.registry.setting("APPPath", "/srv/habitorium");
    EXPECT_EQ(chosen(), "/srv/habitorium/property.mdb");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(DatabasePath, LocalWithoutAnySettingGivesTheBareName) {
    EXPECT_EQ(chosen(), "/property.mdb");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(DatabasePath, HiddenFilesAndFoldersDoNotCount) {
    fs::create_directory(inApp());
    fs::create_directory(root.file("property.mdb"));
    h.registry.setting("APPPath", "/srv");
    EXPECT_EQ(chosen(), "/srv/property.mdb");

    h.registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
    std::string hidden = root.file(".property.mdb");
    touch(hidden);
    h.registry.setting("DatabaseLocation", hidden);
    EXPECT_EQ(chosen(), "/srv/property.mdb");
}

TEST_F(DatabasePath, NetworkedConfiguredFileStandsAndTheFolderAboveIsNotLookedAt) {
    std::string shared = root.file("shared.mdb");
    touch(shared);
    touch(root.file("property.mdb"));
    h.registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
    h.registry.setting("DatabaseLocation", shared);
    EXPECT_EQ(chosen(), shared);
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(DatabasePath, NetworkedMissingFileRevertsToTheProgramFolderWithAMessage) {
    touch(inApp());
    std::string configured = root.file("gone/property.mdb");
    h.registry.setting("Networkable", "1");
    h.registry.setting("DatabaseLocation", configured);
    EXPECT_EQ(chosen(), inApp());
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0], "Unable to access \r\n" + configured + "\r\nReverting back to \r\n" + inApp());
}

TEST_F(DatabasePath, NetworkedMissingEverywhereRevertsToTheApplicationPath) {
    h.registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
    h.registry.setting("APPPath", "/srv/app");
    EXPECT_EQ(chosen(), "/srv/app/property.mdb");
    ASSERT_EQ(h.messages.texts.size(), 1u);
    // The setting is absent, so its default, the program folder's file, is the path that failed.
    EXPECT_EQ(h.messages.texts[0],
              "Unable to access \r\n" + inApp() + "\r\nReverting back to \r\n/srv/app/property.mdb");
}

TEST_F(DatabasePath, NetworkedDefaultLocationIsTestedLikeAConfiguredOne) {
    touch(inApp());
    h.registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
    EXPECT_EQ(chosen(), inApp());
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(DatabasePath, AConnectionTextIsNotAFileAndShowsWithItsPasswordMasked) {
    touch(inApp());
    h.registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
    h.registry.setting("DatabaseLocation", "ODBC;Driver={No Such Driver};Server=db;UID=office;PWD={s3c;ret}");
    EXPECT_EQ(chosen(), "ODBC;Driver={No Such Driver};Server=db;UID=office;PWD=****");
    EXPECT_TRUE(h.messages.texts.empty()) << "no existence test, no fallback";

    // The open uses the password; a connection that fails is the "Start ADO"
    // report with the driver's message, masked, and no "file not found" box.
    h.form->Form_Activate();
    ASSERT_EQ(h.messages.texts.size(), 2u);
    EXPECT_NE(h.messages.texts[0], "Unable to open Habitorium database - file not found");
    EXPECT_NE(h.messages.texts[0].find("Start ADO"), std::string::npos) << h.messages.texts[0];
    EXPECT_NE(h.messages.texts[0].find("No Such Driver"), std::string::npos) << h.messages.texts[0];
    EXPECT_NE(h.messages.texts[0].find("PWD=****"), std::string::npos) << h.messages.texts[0];
    EXPECT_EQ(h.messages.texts[1], "Unable to start habitorium database.");
    EXPECT_TRUE(h.program.endRequested());
    for (const auto& entry : fs::directory_iterator(app)) {
        std::ifstream in(entry.path());
        const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(log.find("s3c"), std::string::npos) << entry.path();
    }
    for (const std::string& text : h.messages.texts)
        EXPECT_EQ(text.find("s3c"), std::string::npos) << text;
}

TEST_F(DatabasePath, NetworkableForms) {
    std::string shared = root.file("shared.mdb");
    touch(shared);
    touch(inApp());
    h.registry.setting("DatabaseLocation", shared);
    struct Case {
        const char* text;
        bool networked;
    };
    for (Case c : {Case{"0", false}, Case{"1", true}, Case{" 2 ", true}, Case{"&h000001", true},
                   Case{"&h000000", false}, Case{"-1", true}, Case{"0.4", false}}) {
        SCOPED_TRACE(c.text);
        h.registry.setting("Networkable", c.text);
        EXPECT_EQ(chosen(), c.networked ? shared : inApp());
    }
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(DatabasePath, NetworkableThatIsNotANumberIsSaidOnceAndTheLocalDatabaseIsUsed) {
    touch(inApp());
    for (const char* text : {"yes", ""}) {
        h.messages.texts.clear();
        h.registry.setting("Networkable", text);
        EXPECT_EQ(chosen(), inApp());
        ASSERT_EQ(h.messages.texts.size(), 1u);
        EXPECT_EQ(h.messages.texts[0], std::string("The setting Networkable has the value \"") + text +
                                           "\", which is not a number. The local database is used.");
    }
}

TEST_F(DatabasePath, NetworkedFolderIsCalledAFolder) {
    const std::string folder = root.file("x/property.mdb");
    fs::create_directories(folder);
    h.registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
    h.registry.setting("DatabaseLocation", folder);
    h.registry.setting("APPPath", "/srv/app");

    // Nothing to turn to: the folder stays the path, and the start fails naming it.
    frmMain& form = h.create();
    EXPECT_EQ(form.lblDatabase->caption(), folder);
    EXPECT_TRUE(h.messages.texts.empty());
    form.Form_Activate();
    ASSERT_EQ(h.messages.texts.size(), 3u);
    EXPECT_EQ(h.messages.texts[0], folder + " is a folder, not a database file.");
    EXPECT_NE(h.messages.texts[1].find("is a folder, not a database file."), std::string::npos);
    EXPECT_EQ(h.messages.texts[2], "Unable to start habitorium database.");
    EXPECT_EQ(h.program.lastExitStatus, 1);

    // With a database in the program's folder, the tool turns to it and says why.
    h.messages.texts.clear();
    touch(inApp());
    EXPECT_EQ(chosen(), inApp());
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{
                                    folder + " is a folder, not a database file.\r\nReverting back to \r\n" + inApp()});
}

TEST_F(DatabasePath, ASettingsFileOfRandomBytesIsSaidOnceThenTheDefaultsApply) {
    touch(inApp());
    const std::string path = root.file("registry.reg");
    std::ofstream(path, std::ios::binary) << std::string("\x8f\x13\xa7\x00\xfe\x41\x99\r\n", 9);
    platform::RegistryFile file(path);
    QtWindow window({h.messages, h.program, h.clock, h.files, file, h.user, h.locale});
    frmMain& form = window.form();
    EXPECT_EQ(h.messages.texts,
              std::vector<std::string>{"The settings file " + path +
                                       " cannot be read as it should be:\r\nIt does not begin with the header of a "
                                       "registry file (\"Windows Registry Editor Version 5.00\", \"REGEDIT4\" or "
                                       "\"WINE REGISTRY Version 2\").\r\nThe default settings are used for what "
                                       "cannot be read."});
    // The defaults: not networked, the database in the program's folder.
    EXPECT_EQ(form.lblDatabase->caption(), inApp());
}

} // namespace
