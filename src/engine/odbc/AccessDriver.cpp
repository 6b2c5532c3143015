#include "engine/odbc/AccessDriver.h"

#include "engine/odbc/Odbc.h"
#include "platform/RegistryFileFormat.h"

#include <algorithm>

namespace engine::odbc {

namespace {

constexpr const char* aceHeader = "Standard ACE DB";
constexpr const char* engineName = "Microsoft Access Database Engine (2016 Redistributable)";

// The drivers that open a file with this header, the better first: the ACE
// driver opens both formats, the Jet driver only .mdb files.
std::vector<std::string> driversFor(const std::string& header) {
    if (header == aceHeader)
        return {aceDriverName};
    return {aceDriverName, jetDriverName};
}

std::optional<std::string> installedAs(const std::string& name, const std::vector<std::string>& installed) {
    const std::string wanted = platform::foldCase(name);
    for (const std::string& driver : installed)
        if (platform::foldCase(driver) == wanted)
            return driver;
    return std::nullopt;
}

// "A", "A" or "B", "A" and "B".
std::string quotedNames(const std::vector<std::string>& names, const char* joint) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? joint : ", ") + ("\"" + names[i] + "\"");
    return text;
}

} // namespace

std::vector<std::string> InstalledDrivers() {
    Handle env = allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    check(SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, env.get(), "SQLSetEnvAttr");
    std::vector<std::string> names;
    // A driver's name is short; a longer one is cut, and then fits nothing.
    std::vector<SQLWCHAR> name(512);
    std::vector<SQLWCHAR> attributes(4096);
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc =
            SQLDriversW(env.get(), direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                        attributes.data(), static_cast<SQLSMALLINT>(attributes.size()), &attributesLength);
        if (rc == SQL_NO_DATA)
            return names;
        check(rc, SQL_HANDLE_ENV, env.get(), "SQLDrivers");
        const auto length = static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0));
        names.push_back(fromWide(name.data(), std::min(length, name.size() - 1)));
    }
}

std::optional<std::string> ChooseAccessDriver(const std::string& header, const std::vector<std::string>& installed) {
    for (const std::string& wanted : driversFor(header))
        if (std::optional<std::string> driver = installedAs(wanted, installed))
            return driver;
    return std::nullopt;
}

std::optional<std::vector<std::string>> DriversOfOtherBitness(platform::Registry& registry, int bits) {
    const std::uint32_t view = bits == 64 ? platform::KEY_WOW64_32KEY_VIEW : platform::KEY_WOW64_64KEY_VIEW;
    platform::RegistryKey key = 0;
    std::vector<std::string> names;
    long status = registry.openKey(platform::HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", 0,
                                   platform::KEY_READ_ACCESS | view, key);
    if (status == platform::REGISTRY_OK)
        status = registry.valueNames(key, names);
    registry.closeKey(key);
    if (status != platform::REGISTRY_OK)
        return std::nullopt;
    return names;
}

std::string NoAccessDriverText(const std::string& path, const std::string& header, int bits,
                               const std::optional<std::vector<std::string>>& otherDrivers) {
    const bool ace = header == aceHeader;
    const std::string own = std::to_string(bits) + "-bit";
    const std::string other = bits == 64 ? "32-bit" : "64-bit";
    std::string text = "'" + path + "' is an Access database (" + header +
                       (ace ? ": the format of .accdb files, Access 2007 and later" : ": the format of .mdb files") +
                       "). This " + own + " program found no " + own +
                       " Access ODBC driver that opens it (it can load only " + own + " drivers): it needs " +
                       quotedNames(driversFor(header), " or ") + ".";

    std::optional<std::string> otherFits;
    if (otherDrivers) {
        std::vector<std::string> access;
        for (const char* name : {aceDriverName, jetDriverName})
            if (installedAs(name, *otherDrivers))
                access.emplace_back(name);
        text += access.empty() ? "\r\nNo Access driver is installed for " + other + " programs either."
                               : "\r\nInstalled for " + other + " programs: " + quotedNames(access, " and ") + ".";
        for (const std::string& wanted : driversFor(header))
            if (!otherFits && installedAs(wanted, *otherDrivers))
                otherFits = wanted;
    }

    if (otherFits)
        return text + "\r\nInstall the " + other + " build of this tool instead: it opens the file with \"" +
               *otherFits + "\".";
    if (!ace && bits == 64 && !otherDrivers)
        return text + "\r\nInstall the 32-bit build of this tool instead: it opens the file with \"" + jetDriverName +
               "\", which Windows has for 32-bit programs. Or, where Office is 64-bit or not installed, install the "
               "64-bit " +
               engineName + " for this build.";
    return text + "\r\nInstall the " + engineName +
           " of the bitness of Office (it will not install beside Office of the other bitness): the 32-bit engine, "
           "with the 32-bit build of this tool, where Office is 32-bit or not installed; the 64-bit engine, with "
           "the 64-bit build, where Office is 64-bit.";
}

} // namespace engine::odbc
