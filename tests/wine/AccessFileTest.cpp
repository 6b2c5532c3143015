// The Windows build opens the host application's Jet/ACE file in place
// through the Access ODBC driver. Wine cannot load that driver, which makes
// this the machine without it: the open must say what is missing, and leave
// the file as it was.

#include "EngineFixture.h"

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AccessFile, WithoutTheAccessDriverTheOpenSaysWhatToInstallAndLeavesTheFileAlone) {
    for (const char* header : {"Standard Jet DB", "Standard ACE DB"}) {
        TempDir dir;
        const std::string path = dir.file("property.mdb");
        std::string bytes(4096, '\0');
        bytes.replace(4, std::string(header).size(), header);
        std::ofstream(path, std::ios::binary) << bytes;

        engine::DBEngine dbEngine;
        const auto error = errorOf([&] { dbEngine.OpenDatabase(path); });
        ASSERT_TRUE(error.has_value()) << header;
        EXPECT_EQ(error->source, "ODBC");
        const std::string said = "'" + path + "' is an Access database (" + header +
                                 "); the Microsoft Access ODBC driver could not open it. This 64-bit program needs "
                                 "the driver of the 64-bit Microsoft Access Database Engine.\r\n[";
        // Then the driver manager's own words, with its SQLSTATE.
        EXPECT_EQ(error->description.substr(0, said.size()), said);
        EXPECT_EQ(contents(path), bytes);
    }
}

} // namespace
