#include "frmmain/ListWindow.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

namespace listwindow {

void SaveAsCsv(platform::FileDialog& fileDialog, platform::MessageBox& messages, platform::Clock& clock,
               const std::string& stem, const std::string& what, const std::function<void(std::ostream&)>& write) {
    const platform::LocalTime today = clock.now();
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", today.year, today.month, today.day);
    const std::string path = fileDialog.saveFileName("Save as CSV", stem + "-" + date + ".csv", "CSV files", "csv");
    if (path.empty())
        return;
    std::ofstream out(platform::nativePath(path), std::ios::binary | std::ios::trunc);
    if (!out) {
        messages.showMessage(what + " could not be saved: " + path + " cannot be opened for writing (" +
                             std::strerror(errno) + ").");
        return;
    }
    try {
        write(out);
    } catch (const std::exception& error) {
        messages.showMessage(what + " could not be saved completely to " + path + " (" + error.what() +
                             "). The file is not complete.");
        return;
    }
    out.close();
    if (!out)
        messages.showMessage(what + " could not be saved completely to " + path +
                             " (the disk may be full). The file is not complete.");
}

} // namespace listwindow
