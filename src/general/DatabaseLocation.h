#pragma once
// Module General: the choice of the property database from the settings, as
// the tool makes it at start, with its fallbacks.

#include "platform/Registry.h"
#include "platform/Seams.h"

#include <string>

// The database location from the settings Networkable, DatabaseLocation and
// APPPath (section "Settings"). Networked: DatabaseLocation (default the
// program's folder + property.mdb) when a file is there or it is a connection
// text ("ODBC;..."), else the program's folder's property.mdb, else APPPath's
// (untested), and a message saying what was not found and what is used
// instead. Local: the folder above the program's folder when it has a
// property.mdb, else the program's own, else APPPath's (untested), without a
// message. A settings store that cannot be read and a Networkable that is not
// a number are said in messages too (the defaults apply). Returns the
// location as read, any password included; never fails.
std::string ChooseDatabaseLocation(platform::Registry& registry, platform::FileSystem& files,
                                   platform::MessageBox& messages);
