#pragma once
// The Win32 front end of frmMain: a window of the system's own controls
// (STATIC, BUTTON, COMBOBOX with CBS_DROPDOWNLIST) in a fixed dialog frame,
// placed from the form's twips at the DPI of the monitor it is on, in the
// dialog font at that DPI, and laid out again when that DPI changes
// (WM_DPICHANGED). A batch's progress shows on its taskbar button.
// Tab runs through the controls in the form's order; Ctrl+Z is Undo, Ctrl+H
// the History window; the close box asks the form first.

#include "frmmain/Controls.h"
#include "frmmain/frmMain.h"
#include "frmmain/win32/Win32Desktop.h"
#include "platform/Platform.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

class Win32ListWindow;

class Win32Window : public controls::FrontEnd, public controls::Window {
public:
    // Builds the window (hidden) and its form, which runs Form_Load.
    explicit Win32Window(const platform::Platform& platform);
    // The same with the file dialog and the clipboard given (a test's recorders).
    Win32Window(const platform::Platform& platform, platform::FileDialog& fileDialog, platform::Clipboard& clipboard);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    frmMain& form() { return *form_; }
    HWND handle() const { return window_; }
    // The child window of the control named name, or nullptr.
    HWND control(const std::string& name) const;

    // Shows the window with the focus on the first control of the tab order;
    // Form_Activate runs once, as the first message after the window appears.
    void show();
    // The message loop, until WM_QUIT; returns its exit status.
    int run();
    // Handles the window's own keys in msg (Tab and its kin, Ctrl+Z, Ctrl+H, Escape),
    // and those of its second windows; true when msg needs nothing more.
    bool preTranslate(MSG& msg);

    // Pixels at the window's DPI for a length in twips.
    int pixels(int twips) const;
    int dpi() const { return dpi_; }
    // The font of the window's controls.
    HFONT font() const { return font_; }

    // What the taskbar button was last asked to show.
    struct Progress {
        enum class State { None, Normal, Error };
        State state = State::None;
        long long done = 0;
        long long total = 0;
    };
    Progress progress() const { return progress_; }

    // controls::FrontEnd
    controls::Window& createWindow(const std::string& name, const std::string& caption, int width, int height) override;
    controls::Label& addLabel(const std::string& name, const std::string& caption, controls::TwipRect place,
                              bool wraps) override;
    controls::Button& addButton(const std::string& name, const std::string& caption, controls::TwipRect place,
                                std::function<void()> click) override;
    controls::ComboBox& addComboBox(const std::string& name, controls::TwipRect place,
                                    std::function<void()> click) override;
    void setTabOrder(const std::vector<std::string>& names) override;
    // A Win32ListWindow owned by this window.
    std::unique_ptr<controls::SecondWindow> openWindow() override;
    platform::FileDialog& fileDialog() override { return *fileDialog_; }
    platform::Clipboard& clipboard() override { return *clipboard_; }

    // controls::Window
    std::string caption() const override;
    void setCaption(const std::string& text) override;
    // ITaskbarList3: the value, then the error state, then none.
    void showProgress(long long done, long long total) override;
    void showProgressFailed() override;
    void clearProgress() override;

    // A control made by this front end: its window and what a click does.
    struct Control {
        virtual ~Control() = default;
        HWND hwnd = nullptr;
        std::function<void()> click;
        // Where the form put it, and any height more at 96 DPI (a drop-down's list).
        controls::TwipRect place;
        int extraHeight = 0;
    };

private:
    static LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND createChild(const wchar_t* className, const std::string& text, DWORD style, controls::TwipRect place,
                     int extraHeight);
    void remember(const std::string& name, controls::TwipRect place, int extraHeight, std::unique_ptr<Control> control);
    // Lays the window and every control out again at dpi, the frame at
    // suggested when given (WM_DPICHANGED's rectangle), else where it is.
    void applyDpi(int dpi, const RECT* suggested);
    // Resizes the frame so the client area is the form's size at the window's DPI.
    void fitClientArea();
    // The shell's ITaskbarList3, made when first needed; nullptr when there is none.
    void* taskbar();

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    int width_ = 0; // the client area in twips
    int height_ = 0;
    void* taskbar_ = nullptr; // ITaskbarList3
    bool taskbarTried_ = false;
    Progress progress_;
    int nextId_ = 100;
    bool activated_ = false;
    std::vector<std::unique_ptr<Control>> controls_;
    std::map<std::string, Control*> byName_;
    std::map<int, Control*> byId_;
    std::vector<std::string> tabOrder_;
    Win32FileDialog desktopFileDialog_;
    Win32Clipboard desktopClipboard_;
    platform::FileDialog* fileDialog_ = &desktopFileDialog_;
    platform::Clipboard* clipboard_ = &desktopClipboard_;
    std::vector<Win32ListWindow*> secondWindows_; // open, for their keys
    std::unique_ptr<frmMain> form_;               // last: its controls are the ones above
};
