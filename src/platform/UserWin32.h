#pragma once
// The user the tool runs for, as Windows knows them. Windows only.

#include "platform/Seams.h"

namespace platform {

class Win32UserAccount : public UserAccount {
public:
    // "Habitorium Rent Analysis" in the user's local application data
    // folder (FOLDERID_LocalAppData, else %LOCALAPPDATA%); empty when neither is known.
    std::string dataFolder() override;
    // "Habitorium Rent Analysis" in the user's local application data folder
    // (FOLDERID_LocalAppData, else %LOCALAPPDATA%), which does not roam with
    // the profile; empty when neither is known.
    std::string stateFolder() override;
    // GetUserNameW's name; else %USERNAME%.
    std::string loginName() override;
};

} // namespace platform
