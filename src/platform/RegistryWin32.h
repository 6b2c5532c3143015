#pragma once
// The registry of Windows itself, through advapi32's ANSI functions.

#include "platform/Registry.h"

namespace platform {

// RegOpenKeyExA, RegQueryValueExA and RegCloseKey. Key paths, value names and
// text data cross the interface as UTF-8 and are converted to and from the
// ANSI code page when that is not UTF-8 already; the byte counts are those
// of the UTF-8 text. KEY_WOW64_64KEY_VIEW opens nothing on 32-bit Windows,
// which has no 64-bit view.
class RegistryWin32 : public Registry {
public:
    long openKey(std::uint32_t root, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                 RegistryKey& key) override;
    long queryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& count) override;
    void closeKey(RegistryKey key) override;
    long valueNames(RegistryKey key, std::vector<std::string>& names) override;
};

} // namespace platform
