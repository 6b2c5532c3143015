#pragma once
// The Win32 front end of a second window (the list of Check All, the History): a
// resizable WS_OVERLAPPEDWINDOW owned by the main window, with the system's
// own controls (a grid is a SysListView32 in report mode), placed from the
// form's twips with the screen's DPI, in the dialog font. Tab runs through
// its controls; Enter on the list activates the current row, Ctrl+C copies,
// Escape closes the window as its close box does.

#include "frmmain/Controls.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Win32ListWindow : public controls::SecondWindow, public controls::Window {
public:
    // owner: the main window, which the window stays above; dpi: the
    // screen's; forget runs with this window when it is destroyed.
    Win32ListWindow(HWND owner, int dpi, std::function<void(Win32ListWindow*)> forget);
    ~Win32ListWindow() override;
    Win32ListWindow(const Win32ListWindow&) = delete;
    Win32ListWindow& operator=(const Win32ListWindow&) = delete;

    HWND handle() const { return window_; }
    // The child window of the control named name, or nullptr.
    HWND control(const std::string& name) const;
    // Handles the window's own keys in msg; true when msg needs nothing more.
    bool preTranslate(MSG& msg);

    // controls::SecondWindow
    controls::Window& createWindow(const std::string& name, const std::string& caption, Size size, Size minimum,
                                   std::function<void()> resized, std::function<void()> closing) override;
    controls::Label& addLabel(const std::string& name, const std::string& caption, controls::TwipRect place) override;
    controls::Button& addButton(const std::string& name, const std::string& caption, controls::TwipRect place,
                                std::function<void()> click) override;
    controls::Grid& addGrid(const std::string& name, controls::TwipRect place, controls::Grid::Events events) override;
    // An EDIT control; Enter in it runs enter.
    controls::TextBox& addTextBox(const std::string& name, const std::string& accessibleName, controls::TwipRect place,
                                  std::function<void()> enter) override;
    void setTabOrder(const std::vector<std::string>& names) override;
    Size clientSize() const override;
    void place(const std::string& name, controls::TwipRect place) override;
    void show() override;
    void hide() override;
    bool visible() const override;

    // controls::Window
    std::string caption() const override;
    void setCaption(const std::string& text) override;

    // A control made by this front end.
    struct Control {
        virtual ~Control() = default;
        HWND hwnd = nullptr;
        std::function<void()> click;
    };

private:
    static LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND createChild(const wchar_t* className, const std::string& text, DWORD style, DWORD extendedStyle,
                     controls::TwipRect place);
    void remember(const std::string& name, std::unique_ptr<Control> control);
    int pixels(int twips) const;
    int twips(int pixels) const;

    HWND owner_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_;
    int nextId_ = 100;
    SIZE minimum_{0, 0}; // the frame's smallest size, in pixels
    std::function<void(Win32ListWindow*)> forget_;
    std::function<void()> resized_;
    std::function<void()> closing_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::map<std::string, Control*> byName_;
    std::map<int, Control*> byId_;
    std::vector<std::string> tabOrder_;
};
