#pragma once
// Module General: the settings reader over the host application's registry key.

#include "platform/Registry.h"

#include <cstdint>
#include <string>
#include <vector>

// Reads valueName of subKey under root into result as text: a REG_SZ as its
// bytes less one trailing NUL, a REG_DWORD as "&h" and its hex digits, any
// other type as the empty text. Returns -1 when the key opened and the value
// was read, 0 otherwise (result is then empty). Never reports anything.
int ReadRegistryValue(platform::Registry& registry, std::uint32_t root, const std::string& subKey,
                      const std::string& valueName, std::string& result);

// The value of valueName in HKEY_LOCAL_MACHINE\SOFTWARE\Habitorium\<section>,
// or defaultValue when it cannot be read; "vbNullString" becomes the empty
// text. Never fails. The key is read in the 32-bit registry view, where the
// host application (a 32-bit program) writes it on 64-bit Windows, or in the
// 64-bit view when the 32-bit view has no such key; a value missing from the
// view read is the default, never a value of the other view.
std::string GetAppSetting(platform::Registry& registry, const std::string& section, const std::string& valueName,
                          const std::string& defaultValue);

// The one message to show at start when the settings cannot all be read: it
// names the store (the settings file) and says what is wrong with it (a file
// that cannot be read or parsed, lines left out) and which of valueNames in
// section hold data too long to read, and, when the key was read in the
// 64-bit view, that it was. The empty text when there is nothing to say: a
// missing file, key or value is no problem.
std::string SettingsProblemText(platform::Registry& registry, const std::string& section,
                                const std::vector<std::string>& valueNames);
