#pragma once
// The three registry operations the settings reader uses, in the shape of
// advapi32's ANSI functions: status 0 is success, any other value a failure.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

using RegistryKey = std::uintptr_t; // 0 is "no key"

inline constexpr std::uint32_t HKEY_CLASSES_ROOT_ROOT = 0x80000000u;
inline constexpr std::uint32_t HKEY_CURRENT_USER_ROOT = 0x80000001u;
inline constexpr std::uint32_t HKEY_LOCAL_MACHINE_ROOT = 0x80000002u;
inline constexpr std::uint32_t HKEY_USERS_ROOT = 0x80000003u;
inline constexpr std::uint32_t HKEY_CURRENT_CONFIG_ROOT = 0x80000005u;
inline constexpr std::uint32_t KEY_READ_ACCESS = 0x20019u; // READ_CONTROL | QUERY_VALUE | ENUMERATE_SUB_KEYS | NOTIFY
// KEY_WOW64_64KEY and KEY_WOW64_32KEY choose a registry view; they ask for no
// right. On 64-bit Windows what a 32-bit program writes under
// HKEY_LOCAL_MACHINE\SOFTWARE lies in the 32-bit view, which a 64-bit program
// without KEY_WOW64_32KEY does not see.
inline constexpr std::uint32_t KEY_WOW64_64KEY_VIEW = 0x100u;
inline constexpr std::uint32_t KEY_WOW64_32KEY_VIEW = 0x200u;
inline constexpr std::uint32_t KEY_WOW64_VIEW_FLAGS = KEY_WOW64_64KEY_VIEW | KEY_WOW64_32KEY_VIEW;
inline constexpr std::uint32_t REG_NONE_TYPE = 0;
inline constexpr std::uint32_t REG_SZ_TYPE = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ_TYPE = 2;
inline constexpr std::uint32_t REG_BINARY_TYPE = 3;
inline constexpr std::uint32_t REG_DWORD_TYPE = 4;
inline constexpr std::uint32_t REG_MULTI_SZ_TYPE = 7;

inline constexpr long REGISTRY_OK = 0;
inline constexpr long REGISTRY_FILE_NOT_FOUND = 2;
inline constexpr long REGISTRY_ACCESS_DENIED = 5;
inline constexpr long REGISTRY_INVALID_HANDLE = 6;
inline constexpr long REGISTRY_NOT_SUPPORTED = 50;
inline constexpr long REGISTRY_MORE_DATA = 234;

class Registry {
public:
    virtual ~Registry() = default;
    // Opens subKey under root. Access rights beyond reading are refused when
    // the store cannot be written. On success key is set and 0 returned; on
    // failure key is 0.
    virtual long openKey(std::uint32_t root, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                         RegistryKey& key) = 0;
    // Copies the value's bytes into data (capacity count bytes), sets type and
    // count. A value that does not fit returns REGISTRY_MORE_DATA. The empty
    // value name is the key's default value. Texts are UTF-8.
    virtual long queryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type, unsigned char* data,
                            std::uint32_t& count) = 0;
    // Releases a key that openKey gave out; 0 and unknown keys are ignored.
    virtual void closeKey(RegistryKey key) = 0;
    // The names of the key's values (UTF-8), as they were written. A store
    // that cannot list them answers REGISTRY_NOT_SUPPORTED, with no names.
    virtual long valueNames(RegistryKey key, std::vector<std::string>& names) {
        (void)key;
        names.clear();
        return REGISTRY_NOT_SUPPORTED;
    }

    // Where the values come from, to name it in a message (a registry file's
    // path); empty when there is nothing to name.
    virtual std::string location() const { return {}; }
    // What of the store could not be read, one plain sentence each (a file
    // that cannot be read or has no registry header, a line left out); empty
    // when everything was read. A store that does not exist has no problems.
    virtual std::vector<std::string> problems() const { return {}; }
};

// The registry of this platform: advapi32 on Windows; elsewhere the registry
// file named by HABITORIUM_REGISTRY, or /etc/habitorium/registry.reg.
std::unique_ptr<Registry> systemRegistry();

} // namespace platform
