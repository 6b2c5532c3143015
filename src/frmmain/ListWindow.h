#pragma once
// What the list windows (Check All, History) share: their layout's measures,
// their owner's part, and the saving of a list as a CSV file.

#include "platform/Seams.h"

#include <functional>
#include <ostream>
#include <string>

namespace listwindow {

// Twips.
inline constexpr int margin = 120;
inline constexpr int gap = 120;
inline constexpr int labelHeight = 255;
inline constexpr int buttonHeight = 375;
inline constexpr int buttonWidth = 1695;
inline constexpr int closeWidth = 1455;

// What a list window asks of the window whose tenants it lists.
class Owner {
public:
    virtual ~Owner() = default;
    // True while a batch or a check runs there.
    virtual bool batchRunning() const = 0;
    // Selects the tenant there, as a user's choice does; false (said in a box)
    // when it is not in the tenant list.
    virtual bool SelectTenant(const std::string& tenant) = 0;
};

// "Save as CSV...": asks where, offering "<stem>-<today>.csv" in the user's
// documents folder, and writes the file through write. What could not be
// written (the file cannot be opened, write raised, the disk is full) is said
// in a box that begins with what ("The list", "The history"); nothing is said
// when the user cancels or all went well.
void SaveAsCsv(platform::FileDialog& fileDialog, platform::MessageBox& messages, platform::Clock& clock,
               const std::string& stem, const std::string& what, const std::function<void(std::ostream&)>& write);

} // namespace listwindow
