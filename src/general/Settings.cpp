#include "general/Settings.h"

#include "platform/RegistryView.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t bufferSize = 1024;
constexpr std::string_view applicationKey = "SOFTWARE\\Habitorium\\";
constexpr std::string_view emptyTextSentinel = "vbNullString";
// Problems named in the message; the rest are counted.
constexpr std::size_t problemsShown = 10;

// "&h" and the bytes as two upper-case hex digits each, last byte first: the
// little-endian number from its most significant kept byte down.
std::string dwordText(const unsigned char* bytes, std::size_t count) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text = "&h";
    for (std::size_t i = count; i-- > 0;) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string applicationSubKey(const std::string& section) {
    std::string subKey(applicationKey);
    subKey += section;
    return subKey;
}

// What opening subKey under HKEY_LOCAL_MACHINE in the view answers.
long openStatus(platform::Registry& registry, const std::string& subKey, std::uint32_t view) {
    platform::RegistryKey key = 0;
    const long status =
        registry.openKey(platform::HKEY_LOCAL_MACHINE_ROOT, subKey, 0, platform::KEY_READ_ACCESS | view, key);
    registry.closeKey(key);
    return status;
}

// The view the settings under subKey are read from, every value from the
// same one: the 32-bit view, where the host application (a 32-bit program)
// writes them on 64-bit Windows, unless the key is missing there; then the
// 64-bit view. A key that is there but cannot be opened still counts as
// there, so the values are never taken from another key instead.
std::uint32_t settingsView(platform::Registry& registry, const std::string& subKey) {
    return openStatus(registry, subKey, platform::KEY_WOW64_32KEY_VIEW) == platform::REGISTRY_FILE_NOT_FOUND
               ? platform::KEY_WOW64_64KEY_VIEW
               : platform::KEY_WOW64_32KEY_VIEW;
}

} // namespace

int ReadRegistryValue(platform::Registry& registry, std::uint32_t root, const std::string& subKey,
                      const std::string& valueName, std::string& result) {
    result.clear();
    int answer = 0;
    platform::RegistryKey key = 0;
    // Read access only: an account that may read the key but not change it
    // must still get its values.
    if (registry.openKey(root, subKey, 0, platform::KEY_READ_ACCESS, key) == platform::REGISTRY_OK) {
        std::array<unsigned char, bufferSize> buffer{};
        std::uint32_t type = 0;
        std::uint32_t count = bufferSize;
        if (registry.queryValue(key, valueName, type, buffer.data(), count) == platform::REGISTRY_OK) {
            // Never trust a count beyond the buffer that was handed in.
            std::size_t kept = std::min<std::size_t>(count, bufferSize);
            // Exactly one trailing NUL goes; NULs before it stay in the text.
            // A zero-byte value keeps nothing and reads as the empty text,
            // whatever its type.
            if (kept > 0 && buffer[kept - 1] == 0)
                --kept;
            if (type == platform::REG_SZ_TYPE)
                result.assign(reinterpret_cast<const char*>(buffer.data()), kept);
            else if (type == platform::REG_DWORD_TYPE && kept > 0)
                result = dwordText(buffer.data(), kept);
            answer = -1;
        }
    }
    // Closed on every path; after a failed open the key is 0, which is ignored.
    registry.closeKey(key);
    return answer;
}

std::string GetAppSetting(platform::Registry& registry, const std::string& section, const std::string& valueName,
                          const std::string& defaultValue) {
    std::string result;
    const std::string subKey = applicationSubKey(section);
    platform::RegistryView view(registry, settingsView(registry, subKey));
    if (ReadRegistryValue(view, platform::HKEY_LOCAL_MACHINE_ROOT, subKey, valueName, result) != -1)
        result = defaultValue;
    // Runs after the default step, so a default of "vbNullString" is empty too.
    if (result == emptyTextSentinel)
        result.clear();
    return result;
}

std::string SettingsProblemText(platform::Registry& registry, const std::string& section,
                                const std::vector<std::string>& valueNames) {
    std::vector<std::string> problems = registry.problems();
    const std::string subKey = applicationSubKey(section);
    const std::uint32_t viewFlag = settingsView(registry, subKey);
    platform::RegistryView view(registry, viewFlag);
    for (const std::string& name : valueNames) {
        platform::RegistryKey key = 0;
        if (view.openKey(platform::HKEY_LOCAL_MACHINE_ROOT, subKey, 0, platform::KEY_READ_ACCESS, key) ==
            platform::REGISTRY_OK) {
            std::array<unsigned char, bufferSize> buffer{};
            std::uint32_t type = 0;
            std::uint32_t count = bufferSize;
            if (view.queryValue(key, name, type, buffer.data(), count) == platform::REGISTRY_MORE_DATA)
                problems.push_back("The value " + name + " is longer than the " + std::to_string(bufferSize - 1) +
                                   " characters a setting may have; it is left out.");
        }
        view.closeKey(key);
    }
    if (problems.empty())
        return {};

    const std::string location = registry.location();
    std::string text = location.empty() ? "The settings cannot be read as they should be:"
                                        : "The settings file " + location + " cannot be read as it should be:";
    for (std::size_t i = 0; i < problems.size() && i < problemsShown; ++i)
        text += "\r\n" + problems[i];
    if (problems.size() > problemsShown)
        text += "\r\n... and " + std::to_string(problems.size() - problemsShown) + " more.";
    // Values read from the 64-bit view are not where a 32-bit host keeps
    // them: whoever mends the settings must know which key was read.
    if (viewFlag == platform::KEY_WOW64_64KEY_VIEW && openStatus(registry, subKey, viewFlag) == platform::REGISTRY_OK)
        text += "\r\nThe settings were read from the 64-bit view of the registry, HKEY_LOCAL_MACHINE\\" + subKey +
                ", since the 32-bit view, where a 32-bit host application keeps them "
                "(HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Habitorium\\" +
                section + "), has no such key.";
    text += "\r\nThe default settings are used for what cannot be read.";
    return text;
}
