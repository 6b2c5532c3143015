// A repair journal that cannot be written refuses every repair with one
// message that names its folder, and the database stays as it was. Root may
// write into any folder, so this program runs as a user without root rights:
// ctest starts it through run_unprivileged.sh.

#include "PropertyDb.h"
#include "frmmain/WindowHarness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;

// A folder the user may read but not write in.
std::string folderWithoutWriteRights(const TempDir& dir) {
    const fs::path folder = dir.path() / "Habitorium Rent Analysis";
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    return folder.string();
}

// A folder that cannot be made: an ordinary file stands where its parent should be.
std::string folderUnderAFile(const TempDir& dir) {
    std::ofstream(dir.file("share")) << "not a folder\n";
    return (dir.path() / "share" / "Habitorium Rent Analysis").string();
}

TEST(JournalFolder, ARepairThatCannotBeRecordedIsNotMade) {
    ASSERT_NE(geteuid(), 0u) << "run this as a user without root rights (run_unprivileged.sh): root writes anywhere";
    struct Case {
        const char* name;
        std::function<std::string(const TempDir&)> folder;
        std::function<void(frmMain&)> press;
        std::string message; // after the folder
    };
    const Case cases[] = {
        {"Fix this value, a folder without write rights", folderWithoutWriteRights,
         [](frmMain& f) { f.cmdFix_Click(); },
         "\" (unable to open database file), so the repair was not made. Nothing was changed."},
        {"Fix All, a folder without write rights", folderWithoutWriteRights, [](frmMain& f) { f.cmdFixAll_Click(); },
         "\" (unable to open database file), so Fix All was not started. Nothing was changed."},
        {"the lower Fix this value, a folder that cannot be made", folderUnderAFile,
         [](frmMain& f) { f.Command1_Click(); },
         "\" (Not a directory), so the repair was not made. Nothing was changed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        {
            PropertyDb db(dir.file("property.mdb"));
            db.addGlCode("410", true);
            db.addTenancy("A1");
            db.addPeriod("A1", "2025-01-01", -100, 0, 20, 5);
            db.addPeriod("A1", "2025-02-01", 100, 0);
            db.addCharge("A1", "2025-01-01", 12.5);
            db.addRevenue("A1", "RENT", 250);
            db.addRevenue("A1", "410", 30);
        }
        const std::string folder = c.folder(dir);
        ASSERT_NE(access(folder.c_str(), W_OK), 0) << "the folder can be written: is this run as root?";
        const auto before = TableRows(dir.file("property.mdb"), "rent_periods");

        WindowHarness h(dir.path().string());
        h.user.folder = folder;
        frmMain& form = h.select(dir.file("property.mdb"), "A1");
        const std::string paidShown = form.Label7->caption();
        c.press(form);
        EXPECT_EQ(TableRows(dir.file("property.mdb"), "rent_periods"), before);
        ASSERT_EQ(h.messages.texts.size(), 1u);
        EXPECT_EQ(h.messages.texts[0], "The repair journal cannot be written in the folder \"" + folder + c.message);
        EXPECT_EQ(form.Label7->caption(), paidShown);
        EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
        form.mnuUndo_Click();
        EXPECT_EQ(h.messages.texts.back(), "There is no repair to undo on this database.");
    }
}

} // namespace
