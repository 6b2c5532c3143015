#pragma once
// The desktop's file dialog (GetSaveFileNameW) and clipboard (CF_UNICODETEXT)
// on Windows.

#include "platform/Seams.h"

class Win32FileDialog : public platform::FileDialog {
public:
    // The system's Save As dialog over the active window; it asks before a
    // file is overwritten and adds the extension to a name without one.
    std::string saveFileName(const std::string& title, const std::string& suggestedName, const std::string& typeName,
                             const std::string& extension) override;
};

class Win32Clipboard : public platform::Clipboard {
public:
    // The text as CF_UNICODETEXT, its lines ended by CR LF.
    void setText(const std::string& text) override;
};
