// The Windows build opens the host application's Access file with an Access
// driver of its own bitness that the driver manager has, chosen by the file's
// header; when there is none, one message says what is missing and what to
// install. The choice and the message are worked out here for both
// bitnesses; the drivers of the other bitness come from the other registry
// view, and the installed ones from the driver manager itself.

#include "engine/odbc/AccessDriver.h"
#include "platform/RegistryFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace engine::odbc;

namespace {

const std::string jet = "Standard Jet DB";
const std::string ace = "Standard ACE DB";
const std::string jetDriver = jetDriverName;
const std::string aceDriver = aceDriverName;

TEST(AccessDriver, IsTheBestOfThoseInstalledThatOpensTheFilesFormat) {
    const struct {
        const char* what;
        const std::string& header;
        std::vector<std::string> installed;
        std::optional<std::string> chosen;
    } cases[] = {
        {"none installed", jet, {}, std::nullopt},
        {"only the Jet driver, among others", jet, {"Habitorium SQLite3", jetDriver, "SQL Server"}, jetDriver},
        {"the ACE driver first, whatever the order", jet, {jetDriver, aceDriver}, aceDriver},
        {"names without regard to case", jet, {"MICROSOFT ACCESS DRIVER (*.MDB)"}, "MICROSOFT ACCESS DRIVER (*.MDB)"},
        {"an .accdb file: not the Jet driver", ace, {jetDriver}, std::nullopt},
        {"an .accdb file: the ACE driver", ace, {jetDriver, aceDriver}, aceDriver},
        {"a name that only begins like one", jet, {jetDriver + " 2"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ChooseAccessDriver(c.header, c.installed), c.chosen);
    }
}

TEST(AccessDriver, WithNoneThatFitsTheMessageSaysWhatIsMissingAndWhatToInstall) {
    const std::string path = "C:\\Office\\property.mdb";
    // The usual case of a 64-bit build where nothing is known of the 32-bit drivers, in full.
    EXPECT_EQ(NoAccessDriverText(path, jet, 64, std::nullopt),
              "'C:\\Office\\property.mdb' is an Access database (Standard Jet DB: the format of .mdb files). This "
              "64-bit program found no 64-bit Access ODBC driver that opens it (it can load only 64-bit drivers): it "
              "needs \"Microsoft Access Driver (*.mdb, *.accdb)\" or \"Microsoft Access Driver (*.mdb)\".\r\n"
              "Install the 32-bit build of this tool instead: it opens the file with \"Microsoft Access Driver "
              "(*.mdb)\", which Windows has for 32-bit programs. Or, where Office is 64-bit or not installed, install "
              "the 64-bit Microsoft Access Database Engine (2016 Redistributable) for this build.");

    const std::string engineAdvice =
        "Install the Microsoft Access Database Engine (2016 Redistributable) of the bitness of Office (it will not "
        "install beside Office of the other bitness): the 32-bit engine, with the 32-bit build of this tool, where "
        "Office is 32-bit or not installed; the 64-bit engine, with the 64-bit build, where Office is 64-bit.";
    const struct {
        const char* what;
        int bits;
        const std::string& header;
        std::optional<std::vector<std::string>> otherDrivers;
        std::string otherLine; // empty: nothing said of the other bitness
        std::string advice;
    } cases[] = {
        {"64-bit, Jet, no Access driver in 32 bits", 64, jet, std::vector<std::string>{"SQL Server"},
         "No Access driver is installed for 32-bit programs either.", engineAdvice},
        {"64-bit, Jet, the Jet driver in 32 bits", 64, jet, std::vector<std::string>{"SQL Server", jetDriver},
         "Installed for 32-bit programs: \"Microsoft Access Driver (*.mdb)\".",
         "Install the 32-bit build of this tool instead: it opens the file with \"Microsoft Access Driver (*.mdb)\"."},
        {"64-bit, ACE, only the Jet driver in 32 bits", 64, ace, std::vector<std::string>{jetDriver},
         "Installed for 32-bit programs: \"Microsoft Access Driver (*.mdb)\".", engineAdvice},
        {"64-bit, ACE, both in 32 bits", 64, ace,
         std::vector<std::string>{jetDriver, "microsoft access driver (*.mdb, *.accdb)"},
         "Installed for 32-bit programs: \"Microsoft Access Driver (*.mdb, *.accdb)\" and \"Microsoft Access Driver "
         "(*.mdb)\".",
         "Install the 32-bit build of this tool instead: it opens the file with \"Microsoft Access Driver (*.mdb, "
         "*.accdb)\"."},
        {"64-bit, ACE, nothing known of 32 bits", 64, ace, std::nullopt, "", engineAdvice},
        {"32-bit, Jet, nothing known of 64 bits", 32, jet, std::nullopt, "", engineAdvice},
        {"32-bit, Jet, the ACE driver in 64 bits", 32, jet, std::vector<std::string>{aceDriver},
         "Installed for 64-bit programs: \"Microsoft Access Driver (*.mdb, *.accdb)\".",
         "Install the 64-bit build of this tool instead: it opens the file with \"Microsoft Access Driver (*.mdb, "
         "*.accdb)\"."},
        {"32-bit, ACE, no Access driver in 64 bits", 32, ace, std::vector<std::string>{},
         "No Access driver is installed for 64-bit programs either.", engineAdvice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bits = std::to_string(c.bits) + "-bit";
        const bool isAce = c.header == ace;
        std::string expected =
            "'" + path + "' is an Access database (" + c.header +
            (isAce ? ": the format of .accdb files, Access 2007 and later" : ": the format of .mdb files") +
            "). This " + bits + " program found no " + bits + " Access ODBC driver that opens it (it can load only " +
            bits + " drivers): it needs " +
            (isAce ? "\"" + aceDriver + "\"" : "\"" + aceDriver + "\" or \"" + jetDriver + "\"") + ".";
        if (!c.otherLine.empty())
            expected += "\r\n" + c.otherLine;
        expected += "\r\n" + c.advice;
        EXPECT_EQ(NoAccessDriverText(path, c.header, c.bits, c.otherDrivers), expected);
    }
}

TEST(AccessDriver, TheOtherBitnessDriversAreThoseOfTheOtherRegistryView) {
    const std::string both = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers]\r\n"
                             "\"SQL Server\"=\"Installed\"\r\n"
                             "\"Microsoft Access Driver (*.mdb, *.accdb)\"=\"Installed\"\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\ODBC\\ODBCINST.INI\\ODBC Drivers]\r\n"
                             "\"Microsoft Access Driver (*.mdb)\"=\"Installed\"\r\n"
                             "\"SQL Server\"=\"Installed\"\r\n";
    const std::string only64 = "REGEDIT4\r\n[HKLM\\SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers]\r\n\"SQL "
                               "Server\"=\"Installed\"\r\n";
    const struct {
        const char* what;
        std::string file;
        int bits;
        std::optional<std::vector<std::string>> expected;
    } cases[] = {
        {"a 64-bit program reads the 32-bit view", both, 64,
         std::vector<std::string>{"Microsoft Access Driver (*.mdb)", "SQL Server"}},
        {"a 32-bit program reads the 64-bit view", both, 32,
         std::vector<std::string>{"Microsoft Access Driver (*.mdb, *.accdb)", "SQL Server"}},
        {"no such key in the other view", only64, 64, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto registry = platform::RegistryFile::fromText(c.file, false);
        EXPECT_EQ(DriversOfOtherBitness(*registry, c.bits), c.expected);
        EXPECT_EQ(registry->openKeyCount(), 0u);
    }
}

// The tests' own drivers, registered under these names for every test program.
TEST(AccessDriver, TheDriverManagerListsItsDrivers) {
    const std::vector<std::string> installed = InstalledDrivers();
    for (const char* name : {"Habitorium SQLite3", "Habitorium PostgreSQL"})
        EXPECT_NE(std::find(installed.begin(), installed.end(), name), installed.end()) << name;
}

} // namespace
