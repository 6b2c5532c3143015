#pragma once
// The controls of a form, as its handlers see them: small interfaces shaped
// like the controls they stand for, free of any toolkit. A front end (Qt,
// Win32) makes the real controls and hands these out; the handlers are
// written once against them.
//
// Text is UTF-8 throughout; a front end converts at its own boundary.

#include <functional>
#include <string>
#include <vector>

namespace controls {

// A place on the form in twips: 1440 to the inch, so 15 to a pixel at 96 DPI.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual std::string caption() const = 0;
    // Shows text as it is (no markup, no access keys).
    virtual void setCaption(const std::string& text) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

// A drop-down list the user picks from (no typing).
class ComboBox {
public:
    virtual ~ComboBox() = default;
    // The selected entry's text; empty when nothing is selected.
    virtual std::string text() const = 0;
    // Removes every entry; nothing is selected afterwards.
    virtual void clear() = 0;
    // Adds an entry at the end of the list; the selection stays as it was
    // (nothing selected stays nothing selected).
    virtual void addItem(const std::string& text) = 0;
    virtual int listCount() const = 0;
    // The entry of index (0 to listCount() - 1); empty for any other index.
    virtual std::string list(int index) const = 0;
    // The selected entry's index, -1 when nothing is selected.
    virtual int listIndex() const = 0;
    // Selects the entry of index (-1: nothing) and, as a user's choice does,
    // raises the drop-down's click. The caller keeps index within -1 to
    // listCount() - 1.
    virtual void setListIndex(int index) = 0;
};

// The form's own window.
class Window {
public:
    virtual ~Window() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;

    // A batch's progress where the desktop shows it beside the window (the
    // taskbar button on Windows): done of total, then the error state when
    // the batch stopped on a failure, then cleared. A window with no such
    // place shows it nowhere else (the caption already says it).
    virtual void showProgress(long long done, long long total) {
        static_cast<void>(done);
        static_cast<void>(total);
    }
    virtual void showProgressFailed() {}
    virtual void clearProgress() {}
};

// What a front end does for a form being built: one fixed-size window, then
// its controls in creation order (each named as the form names it), then the
// keyboard order. A click, the user's or one raised from code, calls the
// handler given with the control. The references returned live as long as
// the front end.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // The window: a fixed dialog frame with a title and a close box, a client
    // area of width by height twips.
    virtual Window& createWindow(const std::string& name, const std::string& caption, int width, int height) = 0;
    // A label takes no focus; a wrapping label breaks its caption at blanks
    // over the lines its height holds.
    virtual Label& addLabel(const std::string& name, const std::string& caption, TwipRect place, bool wraps) = 0;
    virtual Button& addButton(const std::string& name, const std::string& caption, TwipRect place,
                              std::function<void()> click) = 0;
    virtual ComboBox& addComboBox(const std::string& name, TwipRect place, std::function<void()> click) = 0;
    // Tab moves through the named controls in this order; the first has the
    // focus when the window appears.
    virtual void setTabOrder(const std::vector<std::string>& names) = 0;
};

} // namespace controls
