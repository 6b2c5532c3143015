#pragma once
// The desktop's file dialog and clipboard as Qt offers them.

#include "platform/Seams.h"

class QtFileDialog : public platform::FileDialog {
public:
    // QFileDialog::getSaveFileName over the active window, starting in the
    // user's documents folder; the extension is added to a name without one.
    std::string saveFileName(const std::string& title, const std::string& suggestedName, const std::string& typeName,
                             const std::string& extension) override;
};

class QtClipboard : public platform::Clipboard {
public:
    // QClipboard's text (on Windows with CR LF line ends).
    void setText(const std::string& text) override;
};
