// The Windows build opens the host application's Jet/ACE file in place with
// an Access driver that the driver manager lists (SQLDrivers, which Wine's
// odbc32 hands to unixODBC and its odbcinst.ini). The run registers the
// SQLite ODBC driver under the name of the Jet driver every Windows has,
// "Microsoft Access Driver (*.mdb)", and no ACE driver (run-tests.sh): a Jet
// file goes to that driver, whose own words then say why it could not open
// the file; an ACE file (.accdb) finds no driver and the open says what to
// install, with the 32-bit drivers where the registry's 32-bit view lists
// them. Either way the file is left as it was.

#include "EngineFixture.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An Access file's first page: its header at byte 4.
std::string accessFile(TempDir& dir, const std::string& header) {
    const std::string path = dir.file("property.mdb");
    std::string bytes(4096, '\0');
    bytes.replace(4, header.size(), header);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(AccessFile, AJetFileIsOpenedWithTheJetDriverTheDriverManagerLists) {
    TempDir dir;
    // The SQLite ODBC driver takes a connection string without a database for
    // the name of its file, in the Unix folder the run started in: with the
    // path written with "/" that file would be in a folder that does not
    // exist, so the driver fails, in its own words, and makes nothing.
    std::string path = accessFile(dir, "Standard Jet DB");
    std::replace(path.begin(), path.end(), '\\', '/');
    const std::string bytes = contents(path);

    engine::DBEngine dbEngine;
    const auto error = errorOf([&] { dbEngine.OpenDatabase(path); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->source, "ODBC");
    const std::string said = "'" + path +
                             "' is an Access database (Standard Jet DB); the ODBC driver \"Microsoft Access Driver "
                             "(*.mdb)\" could not open it.\r\n[";
    EXPECT_EQ(error->description.substr(0, said.size()), said) << error->description;
    // The words are the driver's, not the driver manager's "can't open lib".
    EXPECT_TRUE(contains(error->description, "[SQLite]")) << error->description;
    EXPECT_EQ(contents(path), bytes);
}

// The list of the 32-bit drivers, as 32-bit Office leaves it, for as long as the object lives.
class ThirtyTwoBitDrivers {
public:
    explicit ThirtyTwoBitDrivers(const char* driver) {
        existed_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_32KEY, &key_) == ERROR_SUCCESS;
        if (existed_)
            RegCloseKey(key_);
        key_ = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key_,
                            nullptr) == ERROR_SUCCESS)
            written_ = RegSetValueExA(key_, driver, 0, REG_SZ, reinterpret_cast<const BYTE*>("Installed"), 10) ==
                       ERROR_SUCCESS;
        driver_ = driver;
    }
    ~ThirtyTwoBitDrivers() {
        if (key_ != nullptr) {
            RegDeleteValueA(key_, driver_.c_str());
            RegCloseKey(key_);
        }
        if (!existed_)
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY, 0);
    }
    bool written() const { return written_; }

private:
    static constexpr const char* path = "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers";
    HKEY key_ = nullptr;
    bool existed_ = false;
    bool written_ = false;
    std::string driver_;
};

TEST(AccessFile, WithoutAFittingDriverTheOpenSaysWhatToInstallAndLeavesTheFileAlone) {
    TempDir dir;
    const std::string path = accessFile(dir, "Standard ACE DB");
    const std::string bytes = contents(path);
    engine::DBEngine dbEngine;
    const std::string said = "'" + path +
                             "' is an Access database (Standard ACE DB: the format of .accdb files, Access 2007 and "
                             "later). This 64-bit program found no 64-bit Access ODBC driver that opens it";

    // A prefix of Wine's own lists no ODBC driver in its registry.
    auto error = errorOf([&] { dbEngine.OpenDatabase(path); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->source, "DBEngine");
    EXPECT_EQ(error->number, engine::errNotADatabase);
    EXPECT_EQ(error->description.substr(0, said.size()), said) << error->description;
    EXPECT_FALSE(contains(error->description, "for 32-bit programs")) << error->description;
    EXPECT_TRUE(contains(error->description, "\r\nInstall the Microsoft Access Database Engine")) << error->description;

    {
        const ThirtyTwoBitDrivers office("Microsoft Access Driver (*.mdb, *.accdb)");
        ASSERT_TRUE(office.written());
        error = errorOf([&] { dbEngine.OpenDatabase(path); });
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->description.substr(0, said.size()), said) << error->description;
        EXPECT_TRUE(contains(error->description,
                             "\r\nInstalled for 32-bit programs: \"Microsoft Access Driver (*.mdb, *.accdb)\".\r\n"
                             "Install the 32-bit build of this tool instead"))
            << error->description;
    }
    EXPECT_EQ(contents(path), bytes);
}

} // namespace
