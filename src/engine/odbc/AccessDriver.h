#pragma once
// The ODBC driver that opens the host application's Access file: the drivers
// of this program's bitness as the driver manager lists them, the one chosen
// by the file's header, and what is said when none of them fits. A 64-bit
// program loads only 64-bit drivers, and the Jet driver every Windows has is
// a 32-bit one; the drivers of the other bitness are read from the registry.

#include "platform/Registry.h"

#include <optional>
#include <string>
#include <vector>

namespace engine::odbc {

inline constexpr const char* aceDriverName = "Microsoft Access Driver (*.mdb, *.accdb)";
inline constexpr const char* jetDriverName = "Microsoft Access Driver (*.mdb)";

// The names of the drivers the ODBC driver manager has (SQLDrivers), in its
// order. Raises the driver manager's failure when it cannot list them.
std::vector<std::string> InstalledDrivers();

// The driver for a file whose header (at byte 4) is header: for "Standard
// Jet DB" the first of aceDriverName and jetDriverName among installed, for
// "Standard ACE DB" (.accdb) aceDriverName only. Names are matched without
// regard to case; the installed spelling is returned. Nothing when none is
// installed.
std::optional<std::string> ChooseAccessDriver(const std::string& header, const std::vector<std::string>& installed);

// The drivers registered for programs of the other bitness than bits (this
// program's, 32 or 64): the value names of the key
// HKEY_LOCAL_MACHINE\SOFTWARE\ODBC\ODBCINST.INI\ODBC Drivers in the other
// registry view. Nothing when that key cannot be read (no such view, or a
// registry that does not list values).
std::optional<std::vector<std::string>> DriversOfOtherBitness(platform::Registry& registry, int bits);

// What is said when no installed driver opens the file at path: what the file
// is (header), that this bits-bit program found no Access driver of its own
// bitness, which Access drivers the other bitness has when otherDrivers
// (every driver of the other bitness) is known, and what to install: the
// other build of the tool where its bitness has the driver, else the build
// and the Access Database Engine that go with the bitness of Office.
std::string NoAccessDriverText(const std::string& path, const std::string& header, int bits,
                               const std::optional<std::vector<std::string>>& otherDrivers);

} // namespace engine::odbc
