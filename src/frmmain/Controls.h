#pragma once
// The controls of a form, as its handlers see them: small interfaces shaped
// like the controls they stand for, free of any toolkit. A front end (Qt,
// Win32) makes the real controls and hands these out; the handlers are
// written once against them.
//
// Text is UTF-8 throughout; a front end converts at its own boundary.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Clipboard;
class FileDialog;
} // namespace platform

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

// A box of one line that the user types text into.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
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

// A list of rows under column headings, as a list view in report mode shows
// it. Rows are numbered 0 upwards in the order shown; the form sorts them
// itself and hands them over in the order it wants them shown.
class Grid {
public:
    struct Column {
        std::string heading;
        int width = 0;      // twips
        bool right = false; // aligned to the right (amounts)
    };
    // What the user does to the list: a click on a column's heading, a
    // double-click on a row or Enter on the current row, Ctrl+C; and a change
    // of the selected rows (by the user, or by setRows and setSelectedRows).
    struct Events {
        std::function<void(int column)> headingClick;
        std::function<void(int row)> activate;
        std::function<void()> copy;
        std::function<void()> selectionChanged;
    };

    virtual ~Grid() = default;
    // Replaces the columns (and with them every row).
    virtual void setColumns(const std::vector<Column>& columns) = 0;
    // Replaces the rows, each a text a column; nothing is selected afterwards.
    virtual void setRows(const std::vector<std::vector<std::string>>& rows) = 0;
    virtual int rowCount() const = 0;
    // The rows the user has selected, in the order shown.
    virtual std::vector<int> selectedRows() const = 0;
    // Selects exactly these rows; the first becomes the current row.
    virtual void setSelectedRows(const std::vector<int>& rows) = 0;
    // Marks column (-1: none) as the one the rows are sorted by.
    virtual void setSortIndicator(int column, bool ascending) = 0;
};

// A second window of the program, owned by the main window (it stays above
// it) and made by the main window's front end: resizable, its controls laid
// out by its form, which is told of every change of size. The close box
// hides it; the form can show it again.
class SecondWindow {
public:
    struct Size {
        int width = 0; // twips
        int height = 0;
    };
    virtual ~SecondWindow() = default;
    // The window: a resizable frame with a title and a close box, a client
    // area of size twips, never smaller than minimum. resized runs whenever
    // the client area changes size; closing when the user closes the window
    // (its close box, or Escape), before it is hidden.
    virtual Window& createWindow(const std::string& name, const std::string& caption, Size size, Size minimum,
                                 std::function<void()> resized, std::function<void()> closing) = 0;
    virtual Label& addLabel(const std::string& name, const std::string& caption, TwipRect place) = 0;
    virtual Button& addButton(const std::string& name, const std::string& caption, TwipRect place,
                              std::function<void()> click) = 0;
    virtual Grid& addGrid(const std::string& name, TwipRect place, Grid::Events events) = 0;
    // A text box; accessibleName is what a screen reader calls it (the label
    // before it says the same); enter runs on Enter in it.
    virtual TextBox& addTextBox(const std::string& name, const std::string& accessibleName, TwipRect place,
                                std::function<void()> enter) = 0;
    virtual void setTabOrder(const std::vector<std::string>& names) = 0;
    // The client area's size now, in twips.
    virtual Size clientSize() const = 0;
    // Moves the named control.
    virtual void place(const std::string& name, TwipRect place) = 0;
    // Shows the window, or brings it to the front when it is shown, with the
    // focus on the first control of the tab order.
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool visible() const = 0;
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

    // A second window beside this one, empty until its form builds it; it
    // lives as long as the pointer, at most as long as this front end.
    virtual std::unique_ptr<SecondWindow> openWindow() = 0;
    // The desktop's file dialog and clipboard, for the form and its second windows.
    virtual platform::FileDialog& fileDialog() = 0;
    virtual platform::Clipboard& clipboard() = 0;
};

} // namespace controls
