#include "general/Settings.h"
#include "platform/RegistryFile.h"

#include "Recorders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace platform;
using namespace std::string_literals;

namespace {

const std::string settingsFile = std::string(HABITORIUM_TEST_DATA) + "/registry/settings.reg";
constexpr const char* settingsKey = "SOFTWARE\\Habitorium\\Settings";

// Passes every call on to a real store and records what the reader asked for.
struct RecordingRegistry : Registry {
    Registry& inner;
    std::vector<std::uint32_t> roots, accesses, options;
    std::vector<std::string> subKeys;
    std::vector<RegistryKey> opened, closed;
    bool bufferWasEmpty = true;
    std::vector<std::uint32_t> countsOffered;

    explicit RecordingRegistry(Registry& inner) : inner(inner) {}
    long openKey(std::uint32_t root, const std::string& subKey, std::uint32_t option, std::uint32_t access,
                 RegistryKey& key) override {
        roots.push_back(root);
        subKeys.push_back(subKey);
        options.push_back(option);
        accesses.push_back(access);
        long status = inner.openKey(root, subKey, option, access, key);
        if (status == REGISTRY_OK)
            opened.push_back(key);
        return status;
    }
    long queryValue(RegistryKey key, const std::string& name, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& count) override {
        countsOffered.push_back(count);
        bufferWasEmpty = bufferWasEmpty && data != nullptr &&
                         std::all_of(data, data + count, [](unsigned char c) { return c == 0; });
        return inner.queryValue(key, name, type, data, count);
    }
    void closeKey(RegistryKey key) override {
        closed.push_back(key);
        inner.closeKey(key);
    }
};

// A store that answers every query with the same bytes and count, whatever
// its buffer can hold: stale bytes past the count, or a count past the buffer.
struct ScriptedRegistry : Registry {
    std::uint32_t type = REG_SZ_TYPE;
    std::string written;
    std::uint32_t reportedCount = 0;
    long openKey(std::uint32_t, const std::string&, std::uint32_t, std::uint32_t, RegistryKey& key) override {
        key = 1;
        return REGISTRY_OK;
    }
    long queryValue(RegistryKey, const std::string&, std::uint32_t& t, unsigned char* data,
                    std::uint32_t& count) override {
        std::memcpy(data, written.data(), std::min<std::size_t>(written.size(), count));
        t = type;
        count = reportedCount;
        return REGISTRY_OK;
    }
    void closeKey(RegistryKey) override {}
};

std::string settingsWith(const std::string& valueLine) {
    return "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings]\r\n" +
           valueLine + "\r\n";
}

// What the message at start adds when the key was read in the 64-bit view.
const std::string readInThe64BitView =
    "The settings were read from the 64-bit view of the registry, HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings, "
    "since the 32-bit view, where a 32-bit host application keeps them "
    "(HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Habitorium\\Settings), has no such key.";

std::string hexOf(const std::string& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ',';
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// GetAppSetting over the fixture: one row per stored value.

struct SettingCase {
    const char* section;
    const char* name;
    const char* defaultValue;
    std::string expected;
};

void PrintTo(const SettingCase& c, std::ostream* out) {
    *out << c.section << "\\" << c.name << " (default \"" << c.defaultValue << "\")";
}

class GetAppSettingCases : public testing::TestWithParam<SettingCase> {};

TEST_P(GetAppSettingCases, YieldsTheStoredTextOrTheDefault) {
    const SettingCase& c = GetParam();
    RegistryFile registry(settingsFile);
    EXPECT_EQ(GetAppSetting(registry, c.section, c.name, c.defaultValue), c.expected);
    EXPECT_EQ(registry.openKeyCount(), 0u);
}

const SettingCase settingCases[] = {
    // Absent key or value: the default.
    {"Settings", "APPPath", "", ""},
    {"Settings", "Networkable", "0", "0"},
    {"Missing", "DatabaseLocation", "C:\\app\\property.mdb", "C:\\app\\property.mdb"},
    {"Other", "APPPath", "", "C:\\Other"},
    {"", "APPPath", "dflt", "dflt"},
    // Texts: one trailing NUL goes, earlier NULs stay.
    {"Settings", "DatabaseLocation", "dflt", "D:\\Shared\\property.mdb"},
    {"settings", "databaselocation", "dflt", "D:\\Shared\\property.mdb"},
    {"Settings", "PathWithoutTerminator", "dflt", "D:\\Shared\\property.mdb"},
    {"Settings", "PathWithTwoNuls", "dflt", "D:\\Shared\\property.mdb\0"s},
    {"Settings", "NumberAsText", "0", "1"},
    // Found but empty: the empty text wins over the default.
    {"Settings", "EmptyText", "dflt", ""},
    {"Settings", "ZeroByteText", "dflt", ""},
    {"Settings", "ZeroByteDword", "dflt", ""},
    {"Settings", "ZeroByteBinary", "dflt", ""},
    {"Settings", "ExpandText", "dflt", ""},
    {"Settings", "BinaryData", "dflt", ""},
    {"Settings", "MultiText", "dflt", ""},
    // Numbers: "&h" and the hex digits from the most significant kept byte.
    {"Settings", "DwordOne", "0", "&h000001"},
    {"Settings", "DwordZero", "0", "&h000000"},
    {"Settings", "Dword261", "0", "&h000105"},
    {"Settings", "DwordHighByte", "0", "&h01000000"},
    {"Settings", "DwordAllBits", "0", "&hFFFFFFFF"},
    {"Settings", "DwordLetters", "0", "&hABCDEF01"},
    {"Settings", "DwordOneByte", "0", "&h05"},
    // The empty-text word, exactly and only exactly; also as a default.
    {"Settings", "NullWord", "dflt", ""},
    {"Settings", "NullWordCapitals", "dflt", "VBNULLSTRING"},
    {"Settings", "NullWordSpaced", "dflt", "vbNullString "},
    {"Settings", "APPPath", "vbNullString", ""},
    {"Settings", "APPPath", "VBNULLSTRING", "VBNULLSTRING"},
};

INSTANTIATE_TEST_SUITE_P(Fixture, GetAppSettingCases, testing::ValuesIn(settingCases));

// ---------------------------------------------------------------------------
// The 1,024-byte buffer: data that fits is read whole, more is the default.

TEST(GetAppSettingBuffer, DataBeyondTheBufferGivesTheDefault) {
    const std::string chars1023(1023, 'p'), chars1024(1024, 'p');
    const struct {
        const char* what;
        std::string valueLine;
        std::string expected;
    } cases[] = {
        {"1,023 characters and NUL", "\"v\"=\"" + chars1023 + "\"", chars1023},
        {"1,024 characters and NUL", "\"v\"=\"" + chars1024 + "\"", "dflt"},
        {"1,024 bytes without NUL", "\"v\"=hex(1):" + hexOf(chars1024), chars1024},
        {"1,023 characters and two NULs", "\"v\"=hex(1):" + hexOf(chars1023 + "\0\0"s), "dflt"},
        {"1,024 bytes of binary", "\"v\"=hex:" + hexOf(chars1024), ""},
        {"1,025 bytes of binary", "\"v\"=hex:" + hexOf(chars1024 + "p"), "dflt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto registry = RegistryFile::fromText(settingsWith(c.valueLine), false);
        EXPECT_EQ(GetAppSetting(*registry, "Settings", "v", "dflt"), c.expected);
        // A value dropped for its length is said at start; one read is not.
        EXPECT_EQ(SettingsProblemText(*registry, "Settings", {"v", "Missing"}),
                  c.expected != "dflt"
                      ? ""
                      : "The settings cannot be read as they should be:\r\nThe value v is longer than "
                        "the 1023 characters a setting may have; it is left out.\r\n" +
                            readInThe64BitView + "\r\nThe default settings are used for what cannot be read.");
        EXPECT_EQ(registry->openKeyCount(), 0u);
    }
}

// ---------------------------------------------------------------------------
// The message at start about a settings file that cannot be read.

TEST(SettingsProblemText, NamesTheFileAndEachProblemOnceAndIsSilentWhenThereIsNone) {
    TempDir dir;
    std::string manyBadLines;
    for (int i = 0; i < 12; ++i)
        manyBadLines += "\"bad" + std::to_string(i) + "\"=nothing\r\n";
    const struct {
        const char* what;
        std::optional<std::string> contents;
        std::vector<std::string> lines; // between the first and the last line of the text
    } cases[] = {
        {"no file", std::nullopt, {}},
        {"a file without the key", "REGEDIT4\r\n[HKLM\\SOFTWARE\\Other]\r\n\"a\"=\"1\"", {}},
        {"random bytes",
         "\x8f\x13\xa7\x00\xfe\x41"s,
         {"It does not begin with the header of a registry file (\"Windows Registry Editor Version 5.00\", "
          "\"REGEDIT4\" or \"WINE REGISTRY Version 2\")."}},
        {"a value too long and a line left out",
         settingsWith("\"DatabaseLocation\"=\"" + std::string(1100, 'p') + "\"\r\n\"APPPath\"=C:\\App"),
         {"Line 5 (the value \"APPPath\") cannot be read as a value; it is left out.",
          "The value DatabaseLocation is longer than the 1023 characters a setting may have; it is left out.",
          readInThe64BitView}},
        {"a value too long in the 32-bit view",
         "REGEDIT4\r\n[HKLM\\SOFTWARE\\Wow6432Node\\Habitorium\\Settings]\r\n\"APPPath\"=\"" + std::string(1100, 'p') +
             "\"\r\n[HKLM\\SOFTWARE\\Habitorium\\Settings]\r\n\"DatabaseLocation\"=\"" + std::string(1100, 'p') + "\"",
         {"The value APPPath is longer than the 1023 characters a setting may have; it is left out."}},
        {"more than ten problems",
         settingsWith(manyBadLines),
         {"Line 4 (the value \"bad0\") cannot be read as a value; it is left out.",
          "Line 5 (the value \"bad1\") cannot be read as a value; it is left out.",
          "Line 6 (the value \"bad2\") cannot be read as a value; it is left out.",
          "Line 7 (the value \"bad3\") cannot be read as a value; it is left out.",
          "Line 8 (the value \"bad4\") cannot be read as a value; it is left out.",
          "Line 9 (the value \"bad5\") cannot be read as a value; it is left out.",
          "Line 10 (the value \"bad6\") cannot be read as a value; it is left out.",
          "Line 11 (the value \"bad7\") cannot be read as a value; it is left out.",
          "Line 12 (the value \"bad8\") cannot be read as a value; it is left out.",
          "Line 13 (the value \"bad9\") cannot be read as a value; it is left out.", "... and 2 more.",
          readInThe64BitView}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file(std::string(c.what) + ".reg");
        if (c.contents)
            std::ofstream(path, std::ios::binary) << *c.contents;
        RegistryFile registry(path);
        std::string expected;
        if (!c.lines.empty()) {
            expected = "The settings file " + path + " cannot be read as it should be:";
            for (const std::string& line : c.lines)
                expected += "\r\n" + line;
            expected += "\r\nThe default settings are used for what cannot be read.";
        }
        EXPECT_EQ(SettingsProblemText(registry, "Settings", {"Networkable", "DatabaseLocation", "APPPath"}), expected);
        EXPECT_EQ(registry.openKeyCount(), 0u);
    }
}

// ---------------------------------------------------------------------------
// ReadRegistryValue: what it asks of the registry and what it answers.

TEST(ReadRegistryValue, AsksForReadAccessWithAFreshBufferAndClosesOnEveryPath) {
    RegistryFile file(settingsFile);
    const struct {
        const char* what;
        const char* subKey;
        const char* name;
        int answer;
        std::string result;
        bool opens;
    } cases[] = {
        {"found", settingsKey, "DatabaseLocation", -1, "D:\\Shared\\property.mdb", true},
        {"found, other type", settingsKey, "BinaryData", -1, "", true},
        {"value missing", settingsKey, "APPPath", 0, "", true},
        {"key missing", "SOFTWARE\\Habitorium\\Missing", "APPPath", 0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingRegistry registry(file);
        std::string result = "left over from before";
        EXPECT_EQ(ReadRegistryValue(registry, HKEY_LOCAL_MACHINE_ROOT, c.subKey, c.name, result), c.answer);
        EXPECT_EQ(result, c.result);

        ASSERT_EQ(registry.accesses.size(), 1u);
        EXPECT_EQ(registry.accesses[0], KEY_READ_ACCESS);
        EXPECT_EQ(registry.options[0], 0u);
        EXPECT_EQ(registry.roots[0], HKEY_LOCAL_MACHINE_ROOT);
        EXPECT_EQ(registry.opened.size(), c.opens ? 1u : 0u);
        // The one key opened is closed once; a failed open closes the empty key.
        ASSERT_EQ(registry.closed.size(), 1u);
        EXPECT_EQ(registry.closed[0], c.opens ? registry.opened[0] : 0u);
        EXPECT_EQ(registry.countsOffered, c.opens ? std::vector<std::uint32_t>{1024} : std::vector<std::uint32_t>{});
        EXPECT_TRUE(registry.bufferWasEmpty);
        EXPECT_EQ(file.openKeyCount(), 0u);
    }
}

TEST(ReadRegistryValue, GetAppSettingReadsTheApplicationKeyUnderTheLocalMachine) {
    RegistryFile file(settingsFile);
    RecordingRegistry registry(file);
    EXPECT_EQ(GetAppSetting(registry, "Settings", "Networkable", "0"), "0");
    // The 32-bit view is looked at first; the fixture's key is in the 64-bit one.
    EXPECT_EQ(registry.roots, (std::vector<std::uint32_t>{HKEY_LOCAL_MACHINE_ROOT, HKEY_LOCAL_MACHINE_ROOT}));
    EXPECT_EQ(registry.subKeys, (std::vector<std::string>{settingsKey, settingsKey}));
    EXPECT_EQ(registry.accesses, (std::vector<std::uint32_t>{KEY_READ_ACCESS | KEY_WOW64_32KEY_VIEW,
                                                             KEY_READ_ACCESS | KEY_WOW64_64KEY_VIEW}));
    EXPECT_EQ(registry.opened.size(), 1u);
    EXPECT_EQ(file.openKeyCount(), 0u);
}

// ---------------------------------------------------------------------------
// The host application, a 32-bit program, keeps its key in the 32-bit view
// of 64-bit Windows (and of a Wine prefix): that view's key wins whole, the
// 64-bit one is read only where the 32-bit view has none.

TEST(GetAppSettingViews, TheThirtyTwoBitKeyWinsWholeOverTheSixtyFourBitOne) {
    const std::string export32 = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Habitorium\\Settings]\r\n";
    const std::string export64 = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings]\r\n";
    const std::string editor = "Windows Registry Editor Version 5.00\r\n\r\n";
    const std::string hive = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
    const std::string hive32 = "[Software\\\\Wow6432Node\\\\Habitorium\\\\Settings] 1700000000\n";
    const std::string hive64 = "[Software\\\\Habitorium\\\\Settings] 1700000000\n";
    const std::string location32 = "\"DatabaseLocation\"=\"D:\\\\32.mdb\"\r\n";
    const std::string location64 = "\"DatabaseLocation\"=\"D:\\\\64.mdb\"\r\n";
    const std::string networked = "\"Networkable\"=dword:00000001\r\n";
    const struct {
        const char* what;
        std::string file;
        const char* location;
        const char* networkable;
    } cases[] = {
        {"only the 32-bit key", editor + export32 + location32 + networked, "D:\\32.mdb", "&h000001"},
        {"only the 64-bit key", editor + export64 + location64 + networked, "D:\\64.mdb", "&h000001"},
        {"both", editor + export64 + location64 + export32 + location32 + networked, "D:\\32.mdb", "&h000001"},
        {"a value only the 64-bit key has is not taken", editor + export32 + location32 + export64 + networked,
         "D:\\32.mdb", "0"},
        {"an empty 32-bit key still wins", editor + export32 + export64 + location64 + networked, "dflt", "0"},
        {"Wow6432Node in any case",
         editor + "[HKLM\\software\\wow6432node\\HABITORIUM\\settings]\r\n" + location32 + export64 + location64,
         "D:\\32.mdb", "0"},
        {"only the 32-bit key of a Wine hive", hive + hive32 + location32, "D:\\32.mdb", "0"},
        {"only the 64-bit key of a Wine hive", hive + hive64 + location64 + networked, "D:\\64.mdb", "&h000001"},
        {"both in a Wine hive", hive + hive64 + location64 + networked + hive32 + location32, "D:\\32.mdb", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto registry = RegistryFile::fromText(c.file, false);
        ASSERT_EQ(registry->problems(), std::vector<std::string>{});
        EXPECT_EQ(GetAppSetting(*registry, "Settings", "DatabaseLocation", "dflt"), c.location);
        EXPECT_EQ(GetAppSetting(*registry, "Settings", "Networkable", "0"), c.networkable);
        EXPECT_EQ(registry->openKeyCount(), 0u);
    }
}

TEST(ReadRegistryValue, KeepsOnlyTheCountedBytesOfTheBuffer) {
    const struct {
        const char* what;
        std::uint32_t type;
        std::string written;
        std::uint32_t count;
        std::string expected;
    } cases[] = {
        {"stale bytes after the count", REG_SZ_TYPE, "abc\0XYZ"s, 4, "abc"},
        {"a count past the buffer", REG_SZ_TYPE, std::string(1024, 'q'), 5000, std::string(1024, 'q')},
        {"a dword counted short", REG_DWORD_TYPE, "\x05\x01\x07\x09"s, 2, "&h0105"},
        {"nothing counted", REG_DWORD_TYPE, "\x05\x01\x07\x09"s, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedRegistry registry;
        registry.type = c.type;
        registry.written = c.written;
        registry.reportedCount = c.count;
        std::string result;
        EXPECT_EQ(ReadRegistryValue(registry, HKEY_LOCAL_MACHINE_ROOT, settingsKey, "v", result), -1);
        EXPECT_EQ(result, c.expected);
    }
}

// ---------------------------------------------------------------------------
// A store the user may only read still yields its values, because the reader
// asks for read access only; asking for more, as the host application's own
// mask 0x2003F does, is refused there.

TEST(ReadOnlyRegistry, ValuesAreReadWhereWritingIsRefused) {
    auto registry =
        RegistryFile::fromText(settingsWith("\"DatabaseLocation\"=\"\\\\\\\\server\\\\property.mdb\""), false);
    EXPECT_EQ(GetAppSetting(*registry, "Settings", "DatabaseLocation", "dflt"), "\\\\server\\property.mdb");

    RegistryKey key = 0;
    EXPECT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, settingsKey, 0, 0x2003F, key), REGISTRY_ACCESS_DENIED);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry->openKeyCount(), 0u);
}
