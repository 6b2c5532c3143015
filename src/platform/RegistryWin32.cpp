#include "platform/RegistryWin32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace platform {

namespace {

bool isPredefinedRoot(std::uint32_t root) {
    return root >= 0x80000000u && root <= 0x80000006u;
}

// The predefined roots are 32-bit values that HKEY carries sign-extended.
HKEY rootHkey(std::uint32_t root) {
    if (isPredefinedRoot(root))
        return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root));
}

HKEY openedHkey(RegistryKey key) {
    return reinterpret_cast<HKEY>(key);
}

bool isAscii(const char* text, std::size_t size) {
    return std::all_of(text, text + size, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool ansiIsUtf8() {
    return GetACP() == CP_UTF8;
}

// Text from one code page to another through UTF-16; embedded NULs pass.
std::string convert(const char* text, std::size_t size, UINT from, UINT to) {
    if (size == 0)
        return {};
    int length = static_cast<int>(size);
    int wide = MultiByteToWideChar(from, 0, text, length, nullptr, 0);
    if (wide <= 0)
        return std::string(text, size);
    std::vector<wchar_t> units(static_cast<std::size_t>(wide));
    MultiByteToWideChar(from, 0, text, length, units.data(), wide);
    int bytes = WideCharToMultiByte(to, 0, units.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string(text, size);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(to, 0, units.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string toAnsi(const std::string& utf8) {
    if (ansiIsUtf8() || isAscii(utf8.data(), utf8.size()))
        return utf8;
    return convert(utf8.data(), utf8.size(), CP_UTF8, CP_ACP);
}

std::string fromAnsi(const char* text, std::size_t size) {
    if (ansiIsUtf8() || isAscii(text, size))
        return std::string(text, size);
    return convert(text, size, CP_ACP, CP_UTF8);
}

bool isText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// 32-bit Windows has one registry, which KEY_WOW64_64KEY would open again
// as if it were the 64-bit view (the flag is ignored there).
bool hasNoSixtyFourBitView() {
#ifdef _WIN64
    return false;
#else
    BOOL wow64 = FALSE;
    return !IsWow64Process(GetCurrentProcess(), &wow64) || !wow64;
#endif
}

} // namespace

long RegistryWin32::openKey(std::uint32_t root, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                            RegistryKey& key) {
    key = 0;
    if ((access & KEY_WOW64_64KEY_VIEW) != 0 && hasNoSixtyFourBitView())
        return ERROR_FILE_NOT_FOUND;
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(rootHkey(root), toAnsi(subKey).c_str(), static_cast<DWORD>(options),
                                static_cast<REGSAM>(access), &opened);
    key = status == ERROR_SUCCESS ? reinterpret_cast<RegistryKey>(opened) : 0;
    return status;
}

long RegistryWin32::queryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type, unsigned char* data,
                               std::uint32_t& count) {
    const std::uint32_t capacity = count;
    DWORD valueType = REG_NONE;
    DWORD size = capacity;
    LONG status = RegQueryValueExA(openedHkey(key), toAnsi(valueName).c_str(), nullptr, &valueType, data, &size);
    type = valueType;
    count = size;
    if (status != ERROR_SUCCESS || data == nullptr || !isText(valueType) || ansiIsUtf8() ||
        isAscii(reinterpret_cast<const char*>(data), size))
        return status;
    // The caller reads UTF-8: convert the ANSI text in place when it still fits.
    std::string utf8 = convert(reinterpret_cast<const char*>(data), size, CP_ACP, CP_UTF8);
    if (utf8.size() > capacity) {
        count = static_cast<std::uint32_t>(utf8.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, utf8.data(), utf8.size());
    count = static_cast<std::uint32_t>(utf8.size());
    return ERROR_SUCCESS;
}

void RegistryWin32::closeKey(RegistryKey key) {
    // Closing a predefined root (what an open of the empty path gives back) does nothing.
    if (key != 0)
        RegCloseKey(openedHkey(key));
}

long RegistryWin32::valueNames(RegistryKey key, std::vector<std::string>& names) {
    names.clear();
    // A value name has at most 16,383 characters.
    std::vector<char> name(16384 * 2);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG status =
            RegEnumValueA(openedHkey(key), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) {
            names.clear();
            return status;
        }
        names.push_back(fromAnsi(name.data(), length));
    }
}

std::unique_ptr<Registry> systemRegistry() {
    return std::make_unique<RegistryWin32>();
}

} // namespace platform
