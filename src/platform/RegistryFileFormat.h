#pragma once
// The text of a registry file read into keys and values: the registry editor's
// export ("Windows Registry Editor Version 5.00", usually UTF-16LE, or
// "REGEDIT4") and Wine's hive files ("WINE REGISTRY Version 2").

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A value as stored: its type code and its exact bytes, and its name as it
// was last written.
struct RegistryValue {
    std::uint32_t type = 0;
    std::string data;
    std::string name;
};

// The values of one key by folded name (ASCII lower case); "" is the default value.
using RegistryValues = std::map<std::string, RegistryValue>;

// Keys by folded name (see foldedKeyName). A key above a listed key exists
// without values of its own and is not listed.
using RegistryKeys = std::map<std::string, RegistryValues>;

// The folded name of a root key: its handle value in decimal.
std::string foldedRootName(std::uint32_t root);

// Appends the components of path to the folded key name: "\" and each
// non-empty component in ASCII lower case, so names that differ only in the
// case of ASCII letters or in empty components ("A\\B\") meet.
void appendFoldedPath(std::string& name, std::string_view path);

// ASCII lower case of text; other bytes (UTF-8 sequences) stay as they are.
std::string foldCase(std::string_view text);

// The root handle value named by text (HKEY_LOCAL_MACHINE, HKLM, HKEY_CURRENT_USER,
// HKCU, ...) without regard to case; 0 when no root has that name.
std::uint32_t registryRootNamed(std::string_view name);

// Reads the text of a registry file: raw bytes, UTF-16LE when they begin with
// its byte-order mark, otherwise 8-bit (a UTF-8 mark is skipped); CR LF or LF.
// Without one of the three headers on the first line the result has no keys.
// What cannot be read is skipped without a word: a bad value line loses that
// value, a bad key line the values under it up to the next key line.
// Texts become UTF-8 plus one NUL; hex data keeps its exact bytes. The
// registry editor's deletions ("name"=- and [-key]) are applied in order.
// Wine hive keys lie under HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER when the
// hive says its keys are relative to \User. Time is linear in text's length.
RegistryKeys parseRegistryText(std::string_view text);
// The same, and what could not be read is said in problems, one plain
// sentence each: a text without a header (empty, UTF-16 without its mark, or
// something else), a key line or a value line left out (by line number and
// value name; the data is never repeated, since it may hold a password).
RegistryKeys parseRegistryText(std::string_view text, std::vector<std::string>& problems);

} // namespace platform
