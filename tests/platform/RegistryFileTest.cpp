#include "platform/RegistryFile.h"

#include "Recorders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace platform;
using namespace std::string_literals;

namespace {

const std::string registryData = std::string(HABITORIUM_TEST_DATA) + "/registry/";
constexpr const char* settingsKey = "SOFTWARE\\Habitorium\\Settings";
constexpr const char* editorHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr const char* wineHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";

struct Found {
    std::uint32_t type;
    std::string bytes;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& found) {
    out << "type " << found.type << ", bytes";
    for (unsigned char c : found.bytes)
        out << ' ' << std::hex << static_cast<int>(c) << std::dec;
    return out;
}

// The value as a reader sees it through the interface; nullopt when the key
// or the value cannot be read.
std::optional<Found> lookUp(Registry& registry, const std::string& path, const std::string& name,
                            std::uint32_t root = HKEY_LOCAL_MACHINE_ROOT, std::uint32_t access = KEY_READ_ACCESS) {
    RegistryKey key = 0;
    if (registry.openKey(root, path, 0, access, key) != REGISTRY_OK)
        return std::nullopt;
    std::uint32_t type = 0;
    std::uint32_t count = 0;
    std::optional<Found> found;
    if (registry.queryValue(key, name, type, nullptr, count) == REGISTRY_OK) {
        std::vector<unsigned char> buffer(count + 1);
        if (registry.queryValue(key, name, type, buffer.data(), count) == REGISTRY_OK)
            found = Found{type, std::string(buffer.begin(), buffer.begin() + count)};
    }
    registry.closeKey(key);
    return found;
}

std::optional<Found> lookUpIn(const std::string& text, const std::string& path, const std::string& name,
                              std::uint32_t root = HKEY_LOCAL_MACHINE_ROOT, std::uint32_t access = KEY_READ_ACCESS) {
    auto registry = RegistryFile::fromText(text, false);
    return lookUp(*registry, path, name, root, access);
}

bool keyOpens(Registry& registry, const std::string& path, std::uint32_t root = HKEY_LOCAL_MACHINE_ROOT) {
    RegistryKey key = 0;
    long status = registry.openKey(root, path, 0, KEY_READ_ACCESS, key);
    registry.closeKey(key);
    return status == REGISTRY_OK;
}

Found text(const std::string& s) {
    return {REG_SZ_TYPE, s + '\0'};
}

} // namespace

// ---------------------------------------------------------------------------
// The same settings written by the registry editor (both headers, UTF-16LE
// with its mark, CR LF and LF) and by Wine read back to the same bytes.

class RegistryFileFormats : public testing::TestWithParam<const char*> {};

TEST_P(RegistryFileFormats, ReadsEveryValueWithItsTypeAndBytes) {
    RegistryFile registry(registryData + GetParam());
    std::string blob;
    for (int i = 0; i < 48; ++i)
        blob += static_cast<char>(i);
    const struct {
        const char* name;
        Found expected;
    } cases[] = {
        {"", text("default text")},
        {"DatabaseLocation", text("D:\\Shared\\property.mdb")},
        {"Networkable", {REG_DWORD_TYPE, "\x05\x01\x00\x00"s}},
        {"Blob", {REG_BINARY_TYPE, blob}},
        {"Expand", {REG_EXPAND_SZ_TYPE, "%TEMP%\0"s}},
        {"Raw", {REG_SZ_TYPE, "D:\\"}},
        {"Caf\u00e9", text("na\u00efve")},
        {"Quote", text("say \"hi\"")},
        {"Qword", {11, "\x01\0\0\0\0\0\0\0"s}},
        // Names are matched without regard to case.
        {"databaselocation", text("D:\\Shared\\property.mdb")},
        {"CAF\u00e9", text("na\u00efve")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lookUp(registry, settingsKey, c.name), c.expected);
        EXPECT_EQ(lookUp(registry, "software\\HABITORIUM\\settings", c.name), c.expected);
    }
    EXPECT_EQ(lookUp(registry, settingsKey, "Missing"), std::nullopt);
    EXPECT_TRUE(keyOpens(registry, "SOFTWARE"));
    EXPECT_FALSE(keyOpens(registry, "SOFTWARE\\Habitorium\\Missing"));
    EXPECT_FALSE(keyOpens(registry, settingsKey, HKEY_CURRENT_USER_ROOT));
    EXPECT_EQ(registry.openKeyCount(), 0u);
    EXPECT_EQ(registry.location(), registryData + GetParam());
    EXPECT_EQ(registry.problems(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RegistryFileFormats,
                         testing::Values("regedit5-utf16-crlf.reg", "regedit5-utf8-lf.reg", "regedit4-crlf.reg",
                                         "wine-system.reg"));

// ---------------------------------------------------------------------------
// Details of the two dialects, one small file each.

struct ParseCase {
    const char* what;
    std::string text;
    const char* path;
    const char* name;
    std::optional<Found> expected;
    std::uint32_t access = KEY_READ_ACCESS; // with a view's flag: the key as a program of that bitness sees it
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.what;
}

class RegistryFileParsing : public testing::TestWithParam<ParseCase> {};

TEST_P(RegistryFileParsing, ReadsTheValue) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(lookUpIn(c.text, c.path, c.name, HKEY_LOCAL_MACHINE_ROOT, c.access), c.expected) << c.text;
}

std::string editor(const std::string& body) {
    return editorHeader + body;
}
std::string settings(const std::string& values) {
    return editor("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings]\r\n" + values);
}
std::string wine(const std::string& body) {
    return wineHeader + body;
}

constexpr std::uint32_t view32 = KEY_READ_ACCESS | KEY_WOW64_32KEY_VIEW;
constexpr std::uint32_t view64 = KEY_READ_ACCESS | KEY_WOW64_64KEY_VIEW;
// The key as a 32-bit program writes it on 64-bit Windows, and as a 64-bit one.
const std::string exported32 =
    editor("[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Habitorium\\Settings]\r\n\"a\"=\"32\"\r\n");
const std::string exported64 = editor("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings]\r\n\"a\"=\"64\"\r\n");
const std::string hive32 = wine("[Software\\\\Wow6432Node\\\\Habitorium\\\\Settings] 1700000000\n\"a\"=\"32\"\n");
const std::string hive64 = wine("[Software\\\\Habitorium\\\\Settings] 1700000000\n\"a\"=\"64\"\n");

const ParseCase parseCases[] = {
    {"escaped backslash and quote", settings(R"("a"="x\\y\"z")"), settingsKey, "a", text("x\\y\"z")},
    {"other backslashes stay as written", settings(R"("a"="D:\Shared\n")"), settingsKey, "a", text("D:\\Shared\\n")},
    {"short root name", editor("[HKLM\\Software\\Habitorium\\Settings]\n\"a\"=\"1\""), settingsKey, "a", text("1")},
    {"empty path parts meet", editor("[HKLM\\Software\\\\Habitorium\\Settings\\]\n\"a\"=\"1\""),
     "SOFTWARE\\Habitorium\\Settings\\", "a", text("1")},
    {"short dword", settings("\"a\"=dword:2a"), settingsKey, "a", Found{REG_DWORD_TYPE, "\x2a\0\0\0"s}},
    {"dword of nine digits", settings("\"a\"=dword:000000001"), settingsKey, "a", std::nullopt},
    {"dword not hex", settings("\"a\"=dword:0000001g"), settingsKey, "a", std::nullopt},
    {"hex with blanks and capitals", settings("\"a\"=hex: 0A ,FF,7"), settingsKey, "a",
     Found{REG_BINARY_TYPE, "\x0a\xff\x07"}},
    {"hex with trailing comma", settings("\"a\"=hex:01,02,"), settingsKey, "a", Found{REG_BINARY_TYPE, "\x01\x02"}},
    {"hex of three digits", settings("\"a\"=hex:123"), settingsKey, "a", std::nullopt},
    {"empty hex", settings("\"a\"=hex:"), settingsKey, "a", Found{REG_BINARY_TYPE, ""}},
    {"any hex type", settings("\"a\"=hex(b):01"), settingsKey, "a", Found{11, "\x01"}},
    {"hex(1) keeps its bytes", settings("\"a\"=hex(1):41,00,00"), settingsKey, "a", Found{REG_SZ_TYPE, "A\0\0"s}},
    {"unknown data form", settings("\"a\"=qword:01"), settingsKey, "a", std::nullopt},
    {"text after the closing quote", settings("\"a\"=\"1\"x"), settingsKey, "a", std::nullopt},
    {"continued hex", settings("\"a\"=hex:01,\\\r\n  02,\\\r\n  03"), settingsKey, "a",
     Found{REG_BINARY_TYPE, "\x01\x02\x03"}},
    {"continuation cut short", settings("\"a\"=hex:01,\\\r\n\"b\"=\"2\""), settingsKey, "a", std::nullopt},
    {"value after a cut continuation", settings("\"a\"=hex:01,\\\r\n\"b\"=\"2\""), settingsKey, "b", text("2")},
    {"continuation at the end of the file", settings("\"a\"=hex:01,\\"), settingsKey, "a", std::nullopt},
    {"default value", settings("@=\"d\""), settingsKey, "", text("d")},
    {"later value wins", settings("\"a\"=\"1\"\r\n\"A\"=\"2\""), settingsKey, "a", text("2")},
    {"value deleted", settings("\"a\"=\"1\"\r\n\"a\"=-"), settingsKey, "a", std::nullopt},
    {"key deleted", settings("\"a\"=\"1\"\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium]\r\n\"b\"=\"2\""), settingsKey,
     "a", std::nullopt},
    {"deleting a key leaves its neighbours",
     settings("\"a\"=\"1\"\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings2]"), settingsKey, "a", text("1")},
    {"a root is not deleted", settings("\"a\"=\"1\"\r\n[-HKEY_LOCAL_MACHINE\\]\r\n[-HKLM]"), settingsKey, "a",
     text("1")},
    {"value before any key", editor("\"a\"=\"1\""), "", "a", std::nullopt},
    {"unknown root", editor("[HKEY_NOWHERE\\SOFTWARE\\Habitorium\\Settings]\n\"a\"=\"1\""), settingsKey, "a",
     std::nullopt},
    {"unclosed key line drops its values",
     settings("\"a\"=\"1\"\r\n[HKLM\\SOFTWARE\\Habitorium\\Settings\r\n\"b\"=\"2\""), settingsKey, "b", std::nullopt},
    {"REGEDIT4 header", "REGEDIT4\n[HKLM\\SOFTWARE\\Habitorium\\Settings]\n\"a\"=\"1\"", settingsKey, "a", text("1")},
    {"UTF-8 mark before the header", "\xEF\xBB\xBFREGEDIT4\n[HKLM\\SOFTWARE\\Habitorium\\Settings]\n\"a\"=\"1\"",
     settingsKey, "a", text("1")},
    {"unknown header", "REGEDIT5\n[HKLM\\SOFTWARE\\Habitorium\\Settings]\n\"a\"=\"1\"", settingsKey, "a", std::nullopt},

    {"wine key with time stamp", wine("[Software\\\\Habitorium\\\\Settings] 1700000000\n#time=1d\n\"a\"=\"1\""),
     settingsKey, "a", text("1")},
    {"wine escapes", wine("[Software\\\\Habitorium\\\\Settings]\n\"a\"=\"t\\tn\\n\\\\q\\\"e\\e\\x263a!\""), settingsKey,
     "a", text("t\tn\n\\q\"e\x1b\u263a!")},
    {"wine surrogate pair", wine("[Software\\\\Habitorium\\\\Settings]\n\"a\"=\"\\xd83d\\xde00\""), settingsKey, "a",
     text("\U0001F600")},
    {"wine lone surrogate", wine("[Software\\\\Habitorium\\\\Settings]\n\"a\"=\"\\xd83dx\""), settingsKey, "a",
     text("\uFFFDx")},
    {"wine octal", wine("[Software\\\\Habitorium\\\\Settings]\n\"a\"=\"\\001\\0z\""), settingsKey, "a",
     text("\x01\0z"s)},
    {"wine str(2)", wine("[Software\\\\Habitorium\\\\Settings]\n\"a\"=str(2):\"%TEMP%\\\\x\""), settingsKey, "a",
     Found{REG_EXPAND_SZ_TYPE, "%TEMP%\\x\0"s}},
    {"wine str(7)", wine("[Software\\\\Habitorium\\\\Settings]\n\"a\"=str(7):\"a\\0b\\0\""), settingsKey, "a",
     Found{REG_MULTI_SZ_TYPE, "a\0b\0\0"s}},
    {"wine bracket in a key name", wine("[Software\\\\Habitorium\\\\Set\\]tings]\n\"a\"=\"1\""),
     "SOFTWARE\\Habitorium\\Set]tings", "a", text("1")},

    // The registry views: HKEY_LOCAL_MACHINE\SOFTWARE\X of the 32-bit view is SOFTWARE\Wow6432Node\X.
    {"32-bit view of an export", exported32, settingsKey, "a", text("32"), view32},
    {"32-bit view of a Wine hive", hive32, settingsKey, "a", text("32"), view32},
    {"the 64-bit view has not the 32-bit key", hive32, settingsKey, "a", std::nullopt, view64},
    {"nor has a reader that names no view", exported32, settingsKey, "a", std::nullopt},
    {"the 32-bit view has not the 64-bit key", exported64, settingsKey, "a", std::nullopt, view32},
    {"both views: the 32-bit one", hive32 + hive64.substr(std::string(wineHeader).size()), settingsKey, "a", text("32"),
     view32},
    {"both views: the 64-bit one", exported64 + exported32.substr(std::string(editorHeader).size()), settingsKey, "a",
     text("64"), view64},
    {"Wow6432Node in any case", editor("[HKLM\\software\\wow6432NODE\\Habitorium\\Settings]\n\"a\"=\"32\""),
     "Software\\Habitorium\\SETTINGS", "a", text("32"), view32},
    {"a path beneath Wow6432Node already", exported32, "SOFTWARE\\Wow6432Node\\Habitorium\\Settings", "a", text("32"),
     view32},
    {"only SOFTWARE has a 32-bit view", editor("[HKLM\\SOFTWARE2\\Habitorium]\n\"a\"=\"1\""), "SOFTWARE2\\Habitorium",
     "a", text("1"), view32},
};

INSTANTIATE_TEST_SUITE_P(Cases, RegistryFileParsing, testing::ValuesIn(parseCases));

TEST(RegistryFileParsing, WineUserHiveLiesUnderTheCurrentUser) {
    auto registry = RegistryFile::fromText("WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-1\n"
                                           "[Software\\\\Habitorium\\\\Settings]\n\"a\"=\"1\"",
                                           false);
    EXPECT_EQ(lookUp(*registry, settingsKey, "a", HKEY_CURRENT_USER_ROOT), text("1"));
    EXPECT_EQ(lookUp(*registry, settingsKey, "a"), std::nullopt);
}

TEST(RegistryFileParsing, OddByteAtTheEndOfUtf16IsDropped) {
    std::string utf8 = "Windows Registry Editor Version 5.00\r\n[HKLM\\S]\r\n\"a\"=\"\u00e9\"\r\n";
    std::string utf16 = "\xFF\xFE";
    // Plain ASCII and one Latin letter: each character is one UTF-16 unit.
    for (char32_t c : std::u32string(U"Windows Registry Editor Version 5.00\r\n[HKLM\\S]\r\n\"a\"=\"\u00e9\"\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    utf16 += 'x';
    EXPECT_EQ(lookUpIn(utf16, "S", "a"), text("\u00e9"));
    EXPECT_EQ(lookUpIn(utf8, "S", "a"), text("\u00e9"));
}

// ---------------------------------------------------------------------------
// The store behind the interface: keys, handles, access, sizes.

class RegistryFileStore : public testing::Test {
protected:
    std::unique_ptr<RegistryFile> registry = RegistryFile::fromText(
        settings("\"Path\"=\"D:\\\\x\"\r\n\"Empty\"=hex:\r\n[HKLM\\SOFTWARE\\Habitorium\\Settings\\Deeper]"), false);
};

TEST_F(RegistryFileStore, HandsOutDistinctKeysAndForgetsClosedOnes) {
    RegistryKey first = 0, second = 0;
    ASSERT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, settingsKey, 0, KEY_READ_ACCESS, first), REGISTRY_OK);
    ASSERT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, settingsKey, 0, KEY_READ_ACCESS, second), REGISTRY_OK);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(registry->openKeyCount(), 2u);

    registry->closeKey(first);
    std::uint32_t type = 0, count = 0;
    EXPECT_EQ(registry->queryValue(first, "Path", type, nullptr, count), REGISTRY_INVALID_HANDLE);
    EXPECT_EQ(registry->queryValue(second, "Path", type, nullptr, count), REGISTRY_OK);
    registry->closeKey(second);
    registry->closeKey(second); // twice, and unknown keys, are ignored
    registry->closeKey(0);
    registry->closeKey(0xdead);
    EXPECT_EQ(registry->openKeyCount(), 0u);
    EXPECT_EQ(registry->queryValue(0xdead, "Path", type, nullptr, count), REGISTRY_INVALID_HANDLE);
}

TEST_F(RegistryFileStore, OpensKeysUnderOpenKeysAndAboveListedOnes) {
    RegistryKey habitorium = 0, settingsKeyHandle = 0, missing = 7;
    ASSERT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, "Software\\Habitorium", 0, KEY_READ_ACCESS, habitorium),
              REGISTRY_OK);
    ASSERT_EQ(
        registry->openKey(static_cast<std::uint32_t>(habitorium), "Settings", 0, KEY_READ_ACCESS, settingsKeyHandle),
        REGISTRY_OK);
    std::uint32_t type = 0, count = 0;
    EXPECT_EQ(registry->queryValue(settingsKeyHandle, "Path", type, nullptr, count), REGISTRY_OK);
    // A key above a listed one exists but has no values.
    EXPECT_EQ(registry->queryValue(habitorium, "Path", type, nullptr, count), REGISTRY_FILE_NOT_FOUND);
    EXPECT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Habit", 0, KEY_READ_ACCESS, missing),
              REGISTRY_FILE_NOT_FOUND);
    EXPECT_EQ(missing, 0u);
    EXPECT_EQ(registry->openKey(0x1234, "Settings", 0, KEY_READ_ACCESS, missing), REGISTRY_INVALID_HANDLE);
    EXPECT_TRUE(keyOpens(*registry, "SOFTWARE\\Habitorium\\Settings\\Deeper"));
    EXPECT_TRUE(keyOpens(*registry, ""));
    registry->closeKey(habitorium);
    registry->closeKey(settingsKeyHandle);
}

TEST_F(RegistryFileStore, QueryCopiesWhatFitsAndTellsTheSizeOtherwise) {
    RegistryKey key = 0;
    ASSERT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, settingsKey, 0, KEY_READ_ACCESS, key), REGISTRY_OK);
    unsigned char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 'z');
    std::uint32_t type = 99, count = 4; // "D:\x" and its NUL need 5
    EXPECT_EQ(registry->queryValue(key, "path", type, buffer, count), REGISTRY_MORE_DATA);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(buffer[0], 'z');

    count = 5; // exactly enough
    EXPECT_EQ(registry->queryValue(key, "PATH", type, buffer, count), REGISTRY_OK);
    EXPECT_EQ(type, REG_SZ_TYPE);
    EXPECT_EQ(std::string(buffer, buffer + count), "D:\\x\0"s);
    EXPECT_EQ(buffer[5], 'z');

    count = 8;
    EXPECT_EQ(registry->queryValue(key, "Empty", type, buffer, count), REGISTRY_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(type, REG_BINARY_TYPE);

    count = 8;
    EXPECT_EQ(registry->queryValue(key, "Nothing", type, buffer, count), REGISTRY_FILE_NOT_FOUND);
    registry->closeKey(key);
}

TEST_F(RegistryFileStore, ReadOnlyStoreRefusesAnyRightBeyondReading) {
    const struct {
        std::uint32_t access;
        long expected;
    } cases[] = {
        {KEY_READ_ACCESS, REGISTRY_OK},
        {0x00001, REGISTRY_OK},                          // KEY_QUERY_VALUE alone
        {KEY_READ_ACCESS | 0x100, REGISTRY_OK},          // KEY_WOW64_64KEY picks a view, asks no right
        {0x2003F, REGISTRY_ACCESS_DENIED},               // reading with setting and creating rights
        {0xF003F, REGISTRY_ACCESS_DENIED},               // KEY_ALL_ACCESS
        {KEY_READ_ACCESS | 0x2, REGISTRY_ACCESS_DENIED}, // KEY_SET_VALUE
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.access);
        RegistryKey key = 0;
        EXPECT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, settingsKey, 0, c.access, key), c.expected);
        EXPECT_EQ(key != 0, c.expected == REGISTRY_OK);
        registry->closeKey(key);
    }
    // A missing key is missing, whatever was asked for.
    RegistryKey key = 0;
    EXPECT_EQ(registry->openKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\None", 0, 0x2003F, key), REGISTRY_FILE_NOT_FOUND);

    auto writable = RegistryFile::fromText(settings(""), true);
    EXPECT_EQ(writable->openKey(HKEY_LOCAL_MACHINE_ROOT, settingsKey, 0, 0x2003F, key), REGISTRY_OK);
    writable->closeKey(key);
}

// ---------------------------------------------------------------------------
// The file on disk and the system's registry.

TEST(RegistryFileOnDisk, AFileThatCannotBeReadIsARegistryWithoutKeysAndSaysWhy) {
    TempDir dir;
    const std::string noHeader = "It does not begin with the header of a registry file (\"Windows Registry Editor "
                                 "Version 5.00\", \"REGEDIT4\" or \"WINE REGISTRY Version 2\").";
    std::string utf16;
    for (char c : settings("\"a\"=\"1\""))
        utf16 += std::string{c, '\0'};
    const struct {
        const char* what;
        std::optional<std::string> contents; // nothing: no file at all
        std::vector<std::string> problems;
    } cases[] = {
        {"a missing file is no problem", std::nullopt, {}},
        {"random bytes", "\x8f\x13\xa7\x00\xfe\x41\x99\r\n[HKLM]"s, {noHeader}},
        {"a wrong header", "REGEDIT5\r\n[HKLM\\SOFTWARE\\Habitorium\\Settings]\r\n\"a\"=\"1\"", {noHeader}},
        {"UTF-16 without its mark",
         utf16,
         {"It is UTF-16 text without the byte-order mark that must begin such a file."}},
        {"an empty file", "", {"It is empty."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file(std::string(c.what) + ".reg");
        if (c.contents)
            std::ofstream(path, std::ios::binary) << *c.contents;
        RegistryFile registry(path);
        EXPECT_FALSE(keyOpens(registry, "SOFTWARE"));
        EXPECT_EQ(registry.problems(), c.problems);
        EXPECT_EQ(registry.location(), path);
    }
    RegistryFile folder(dir.path().string());
    EXPECT_FALSE(keyOpens(folder, "SOFTWARE"));
    EXPECT_FALSE(folder.writable());
    EXPECT_EQ(folder.problems(), std::vector<std::string>{"It is a folder, not a file."});
}

TEST(RegistryFileOnDisk, WritableWhenTheFileMayBeWritten) {
    TempDir dir;
    std::string path = dir.file("registry.reg");
    std::ofstream(path) << settings("\"a\"=\"1\"");
    EXPECT_TRUE(RegistryFile(path).writable());
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    RegistryFile readOnly(path);
    EXPECT_FALSE(readOnly.writable());
    EXPECT_EQ(lookUp(readOnly, settingsKey, "a"), text("1"));
}

TEST(SystemRegistry, ReadsTheFileNamedByTheEnvironment) {
    TempDir dir;
    std::string path = dir.file("machine.reg");
    std::ofstream(path, std::ios::binary) << settings("\"APPPath\"=\"C:\\\\App\"");
    const char* saved = std::getenv("HABITORIUM_REGISTRY");
    std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;

    ::setenv("HABITORIUM_REGISTRY", path.c_str(), 1);
    auto registry = systemRegistry();
    EXPECT_EQ(lookUp(*registry, settingsKey, "APPPath"), text("C:\\App"));

    ::setenv("HABITORIUM_REGISTRY", dir.file("missing.reg").c_str(), 1);
    EXPECT_FALSE(keyOpens(*systemRegistry(), settingsKey));

    if (previous)
        ::setenv("HABITORIUM_REGISTRY", previous->c_str(), 1);
    else
        ::unsetenv("HABITORIUM_REGISTRY");
}

// ---------------------------------------------------------------------------
// Damaged files: nothing crashes or hangs, the rest of the file still reads.

TEST(RegistryFileDamage, BadLinesLoseOnlyThemselves) {
    const char* badLines[] = {
        "\"bad\"=\"unterminated",
        "\"bad",
        "\"bad\"",
        "\"bad\"=",
        "\"bad\"=hex(",
        "\"bad\"=hex(zz):00",
        "\"bad\"=hex(1",
        "\"bad\"=hex(123456789):00",
        "\"bad\"=hex:0g",
        "\"bad\"=hex:,",
        "\"bad\"=str(2):\"x",
        "\"bad\"=str(2)\"x\"",
        "\"bad\"=dword:12345678x",
        "\"bad\"=\"x\\",
        "@",
        "@=",
        "=\"x\"",
        "\x01\x02\xff\xfe garbage",
        "\"bad\"=\"x\"\"",
    };
    for (const char* bad : badLines) {
        SCOPED_TRACE(bad);
        // A line that looks like a value and cannot be read is said by its
        // number (and name, when it can be read), never by its data; stray
        // text is skipped without a word.
        const bool valueLine = bad[0] == '"' || bad[0] == '@';
        const bool named = std::string(bad).rfind("\"bad\"", 0) == 0;
        for (const auto& [file, line] :
             {std::pair{settings("\"before\"=\"1\"\r\n"s + bad + "\r\n\"after\"=\"2\""), 5},
              std::pair{wine("[Software\\\\Habitorium\\\\Settings]\n\"before\"=\"1\"\n"s + bad + "\n\"after\"=\"2\""),
                        6}}) {
            auto registry = RegistryFile::fromText(file, false);
            EXPECT_EQ(lookUp(*registry, settingsKey, "before"), text("1"));
            EXPECT_EQ(lookUp(*registry, settingsKey, "bad"), std::nullopt);
            EXPECT_EQ(lookUp(*registry, settingsKey, "after"), text("2"));
            std::vector<std::string> said;
            if (valueLine)
                said.push_back("Line " + std::to_string(line) +
                               (named           ? " (the value \"bad\")"
                                : bad[0] == '@' ? " (the default value)"
                                                : "") +
                               " cannot be read as a value; it is left out.");
            EXPECT_EQ(registry->problems(), said);
        }
    }
}

TEST(RegistryFileDamage, KeyLinesThatCannotBeReadAreSaidOnceForAllTheirValues) {
    const struct {
        const char* what;
        std::string file;
        std::vector<std::string> problems;
    } cases[] = {
        {"unclosed key line",
         settings("\"a\"=\"1\"\r\n[HKLM\\SOFTWARE\\Habitorium\\Settings\r\n\"b\"=\"2\"\r\n\"c\"=\"3\""),
         {"Line 5 cannot be read as a key; the values under it are left out."}},
        {"unknown root",
         editor("[HKEY_NOWHERE\\SOFTWARE]\n\"a\"=\"1\"\n[HKLM\\SOFTWARE]\n\"b\"=x"),
         {"Line 3 cannot be read as a key; the values under it are left out.",
          "Line 6 (the value \"b\") cannot be read as a value; it is left out."}},
        {"value before any key", editor("\"a\"=\"1\""), {"Line 3 holds a value outside any key; it is left out."}},
        {"values of a deleted key go without a word", editor("[-HKLM\\SOFTWARE\\Old]\n\"a\"=\"1\""), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RegistryFile::fromText(c.file, false)->problems(), c.problems);
    }
}

TEST(RegistryFileDamage, TenMegabyteLinesReadInLinearTime) {
    const std::size_t size = 10 * 1024 * 1024;
    std::string hex;
    hex.reserve(size);
    while (hex.size() < size)
        hex += "ab,";
    std::string deepKey = "[HKLM";
    while (deepKey.size() < size)
        deepKey += "\\a";
    std::string longText(size, 'x');
    const struct {
        const char* what;
        std::string file;
        const char* name;
        std::size_t bytes;
    } cases[] = {
        {"hex value", settings("\"big\"=hex:" + hex + "\r\n\"after\"=\"2\""), "big", hex.size() / 3},
        {"continued hex value", settings("\"big\"=hex:" + hex + "\\\r\n  01\r\n\"after\"=\"2\""), "big",
         hex.size() / 3 + 1},
        {"text value", settings("\"big\"=\"" + longText + "\"\r\n\"after\"=\"2\""), "big", size + 1},
        {"unterminated text", settings("\"big\"=\"" + longText + "\r\n\"after\"=\"2\""), "big", 0},
        {"long name", settings("\"" + longText + "\"=\"1\"\r\n\"after\"=\"2\""), "big", 0},
        {"deep key", settings("\"after\"=\"2\"\r\n" + deepKey + "]\r\n\"v\"=\"1\"\r\n" + deepKey + "]"), "big", 0},
        {"wine escapes",
         wine("[Software\\\\Habitorium\\\\Settings]\n\"after\"=\"2\"\n\"big\"=\"" + std::string(size, '\\') + "\""),
         "big", size / 2 + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto start = std::chrono::steady_clock::now();
        auto registry = RegistryFile::fromText(c.file, false);
        std::optional<Found> big = lookUp(*registry, settingsKey, c.name);
        EXPECT_EQ(big ? big->bytes.size() : 0, c.bytes);
        EXPECT_EQ(lookUp(*registry, settingsKey, "after"), text("2"));
        // Seconds even for a slow sanitised build; a quadratic reader takes hours.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
}

TEST(RegistryFileDamage, RandomDamageNeitherCrashesNorHangs) {
    std::ifstream in(registryData + "wine-system.reg", std::ios::binary);
    std::string wineFile((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ifstream in16(registryData + "regedit5-utf16-crlf.reg", std::ios::binary);
    std::string utf16File((std::istreambuf_iterator<char>(in16)), std::istreambuf_iterator<char>());
    const std::string seeds[] = {wineFile, utf16File, settings("\"a\"=hex:01,\\\r\n 02\r\n\"b\"=dword:1\r\n@=\"x\"")};
    const std::string alphabet = "[]\\\"@=:,-;#()\r\n0123456789abcdefhxdworst \t\xff\xfe";

    std::mt19937 random(20240611);
    for (int round = 0; round < 10000; ++round) {
        std::string file = seeds[round % std::size(seeds)];
        int edits = 1 + static_cast<int>(random() % 12);
        for (int e = 0; e < edits && !file.empty(); ++e) {
            std::size_t at = random() % file.size();
            switch (random() % 4) {
            case 0:
                file[at] = alphabet[random() % alphabet.size()];
                break;
            case 1:
                file.insert(at, 1, static_cast<char>(random() % 256));
                break;
            case 2:
                file.erase(at, 1 + random() % 8);
                break;
            default:
                file.resize(at); // cut short
                break;
            }
        }
        auto registry = RegistryFile::fromText(file, round % 2 == 0);
        for (const char* name : {"", "a", "b", "DatabaseLocation", "Blob", "Caf\u00e9"})
            lookUp(*registry, settingsKey, name);
        ASSERT_EQ(registry->openKeyCount(), 0u);
    }
}
