// The settings on the real registry of the run's 64-bit Wine prefix, which
// keeps the 32-bit view as 64-bit Windows does: what a 32-bit program writes
// under HKEY_LOCAL_MACHINE\SOFTWARE, or a 64-bit one with KEY_WOW64_32KEY,
// lies under SOFTWARE\Wow6432Node. The host application is a 32-bit program:
// its key is read there first, the 64-bit one only when it is missing, and
// never a value of one view with those of the other. The keys are written
// here with advapi32 itself, in both views, under a section of the test's
// own, and removed after each case.

#include "general/Settings.h"
#include "platform/RegistryWin32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* section = "RegistryViewsTest";
constexpr const char* key = "SOFTWARE\\Habitorium\\RegistryViewsTest";

using Values = std::vector<std::pair<const char*, std::string>>;

void removeBoth() {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
}

// Writes the key in the view with these text values; false when it could not.
bool write(REGSAM view, const Values& values) {
    HKEY opened = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool written = true;
    for (const auto& [name, text] : values)
        written = written && RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return written;
}

bool opens(const char* path, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

class RegistryViews : public testing::Test {
protected:
    void SetUp() override { removeBoth(); }
    void TearDown() override { removeBoth(); }
    platform::RegistryWin32 registry;
};

TEST_F(RegistryViews, TheThirtyTwoBitViewIsBeneathWow6432Node) {
    ASSERT_TRUE(write(KEY_WOW64_32KEY, {{"DatabaseLocation", "D:\\32.mdb"}}));
    EXPECT_TRUE(opens("SOFTWARE\\Wow6432Node\\Habitorium\\RegistryViewsTest", 0));
    EXPECT_FALSE(opens(key, KEY_WOW64_64KEY));
    EXPECT_FALSE(opens(key, 0)); // a 64-bit program that names no view
}

TEST_F(RegistryViews, TheThirtyTwoBitKeyWinsWholeOverTheSixtyFourBitOne) {
    const struct {
        const char* what;
        std::optional<Values> values32;
        std::optional<Values> values64;
        const char* location;
        const char* networkable;
    } cases[] = {
        {"only the 32-bit key", Values{{"DatabaseLocation", "D:\\32.mdb"}, {"Networkable", "1"}}, std::nullopt,
         "D:\\32.mdb", "1"},
        {"only the 64-bit key", std::nullopt, Values{{"DatabaseLocation", "D:\\64.mdb"}, {"Networkable", "1"}},
         "D:\\64.mdb", "1"},
        {"both", Values{{"DatabaseLocation", "D:\\32.mdb"}, {"Networkable", "1"}},
         Values{{"DatabaseLocation", "D:\\64.mdb"}, {"Networkable", "2"}}, "D:\\32.mdb", "1"},
        {"a value only the 64-bit key has is not taken", Values{{"DatabaseLocation", "D:\\32.mdb"}},
         Values{{"DatabaseLocation", "D:\\64.mdb"}, {"Networkable", "1"}}, "D:\\32.mdb", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        removeBoth();
        ASSERT_TRUE(!c.values32 || write(KEY_WOW64_32KEY, *c.values32));
        ASSERT_TRUE(!c.values64 || write(KEY_WOW64_64KEY, *c.values64));
        EXPECT_EQ(GetAppSetting(registry, section, "DatabaseLocation", "dflt"), c.location);
        EXPECT_EQ(GetAppSetting(registry, section, "Networkable", "0"), c.networkable);
    }
}

TEST_F(RegistryViews, TheBoxAboutSettingsThatCannotBeReadSaysWhenTheyCameFromTheSixtyFourBitView) {
    const std::string tooLong(1100, 'p');
    const std::string fromThe64BitView =
        "The settings were read from the 64-bit view of the registry, "
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\RegistryViewsTest, since the 32-bit view";
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        SCOPED_TRACE(view);
        removeBoth();
        ASSERT_TRUE(write(view, {{"DatabaseLocation", tooLong}}));
        const std::string text = SettingsProblemText(registry, section, {"DatabaseLocation"});
        EXPECT_NE(text.find("The value DatabaseLocation is longer than"), std::string::npos) << text;
        EXPECT_EQ(text.find(fromThe64BitView) != std::string::npos, view == KEY_WOW64_64KEY) << text;
    }
}

} // namespace
