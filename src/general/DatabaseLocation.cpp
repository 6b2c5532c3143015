#include "general/DatabaseLocation.h"

#include "engine/ConnectionText.h"
#include "engine/NumberText.h"
#include "general/Settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace {

constexpr const char* databaseFileName = "property.mdb";

// The setting's text as a 32-bit number: decimal (a fraction rounds half to
// even) or "&h" hexadecimal, blanks around it ignored. Nothing for any other text.
std::optional<std::int32_t> settingNumber(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::nullopt;
    const std::string t = text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'h' || t[1] == 'H')) {
        std::uint32_t value = 0;
        const char* last = t.data() + t.size();
        auto [end, error] = std::from_chars(t.data() + 2, last, value, 16);
        if (error != std::errc() || end != last)
            return std::nullopt;
        return static_cast<std::int32_t>(value); // &hFFFFFFFF is -1, as the platform reads it
    }
    // Only a sign, digits and one point; the reading itself ignores the locale.
    const std::string body = t.substr(t[0] == '+' || t[0] == '-' ? 1 : 0);
    const auto points = std::count(body.begin(), body.end(), '.');
    if (body.find_first_not_of("0123456789.") != std::string::npos || points > 1 ||
        body.size() == static_cast<std::size_t>(points))
        return std::nullopt;
    const double value = std::nearbyint(engine::LeadingNumber(t));
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

std::string ChooseDatabaseLocation(platform::Registry& registry, platform::FileSystem& files,
                                   platform::MessageBox& messages) {
    const std::string folder = files.programFolder();
    const std::string programDatabase = platform::joinPath(folder, databaseFileName);

    // A settings file that exists but cannot be read is said once, before
    // anything else; the defaults then apply as for a missing file.
    const std::string settingsProblem =
        SettingsProblemText(registry, "Settings", {"Networkable", "DatabaseLocation", "APPPath"});
    if (!settingsProblem.empty())
        messages.showMessage(settingsProblem);

    std::string networkable = GetAppSetting(registry, "Settings", "Networkable", "0");
    std::optional<std::int32_t> networked = settingNumber(networkable);
    if (!networked) {
        // A setting that is not a number must not stop the tool from starting.
        messages.showMessage("The setting Networkable has the value \"" + networkable +
                             "\", which is not a number. The local database is used.");
        networked = 0;
    }

    std::string path;
    if (*networked != 0) {
        path = GetAppSetting(registry, "Settings", "DatabaseLocation", programDatabase);
        // A connection text ("ODBC;...") names a database server, not a file:
        // it has no existence test and no fallbacks.
        if (!engine::IsConnectionText(path) && !files.isNormalFile(path)) {
            const std::string failed = path;
            path = programDatabase;
            if (files.isFolder(failed)) {
                // A folder is said to be one. With no database in the program's
                // folder to turn to, the folder stays the path, so the start
                // fails naming it rather than some other missing file.
                if (files.isNormalFile(path))
                    messages.showMessage(failed + " is a folder, not a database file.\r\nReverting back to \r\n" +
                                         path);
                else
                    path = failed;
            } else {
                if (!files.isNormalFile(path))
                    path = platform::joinPath(GetAppSetting(registry, "Settings", "APPPath", ""), databaseFileName);
                messages.showMessage("Unable to access \r\n" + failed + "\r\nReverting back to \r\n" + path);
            }
        }
    } else {
        path = programDatabase;
        // The folder above the program's folder wins over the program's own.
        const std::string parentDatabase = platform::joinPath(platform::joinPath(folder, ".."), databaseFileName);
        if (files.isNormalFile(parentDatabase))
            path = parentDatabase;
        if (!files.isNormalFile(path))
            path = platform::joinPath(GetAppSetting(registry, "Settings", "APPPath", ""), databaseFileName);
    }
    return path;
}
