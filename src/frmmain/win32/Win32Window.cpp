#include "frmmain/win32/Win32Window.h"

#include "frmmain/win32/Win32Dpi.h"
#include "frmmain/win32/Win32ListWindow.h"

#include "platform/WideText.h"

#include <shobjidl.h>

#include <utility>

namespace {

constexpr const wchar_t* windowClassName = L"HabitoriumFrmMain";
// Posted when the window first appears: Form_Activate runs from the loop.
constexpr UINT activateMessage = WM_APP + 1;
// How far a drop-down list opens below its box, in pixels at 96 DPI.
constexpr int dropDownHeight = 200;

std::string windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return platform::narrow(text);
}

void setWindowText(HWND hwnd, const std::string& text) {
    SetWindowTextW(hwnd, platform::widen(text).c_str());
}

class Win32Label : public Win32Window::Control, public controls::Label {
public:
    std::string caption() const override { return windowText(hwnd); }
    void setCaption(const std::string& text) override { setWindowText(hwnd, text); }
};

class Win32Button : public Win32Window::Control, public controls::Button {
public:
    bool enabled() const override { return IsWindowEnabled(hwnd) != FALSE; }
    void setEnabled(bool enabled) override { EnableWindow(hwnd, enabled ? TRUE : FALSE); }
};

class Win32ComboBox : public Win32Window::Control, public controls::ComboBox {
public:
    std::string text() const override { return list(listIndex()); }
    void clear() override { SendMessageW(hwnd, CB_RESETCONTENT, 0, 0); }
    void addItem(const std::string& text) override {
        // The list is not sorted (no CBS_SORT): entries stay in the order added.
        const std::wstring wide = platform::widen(text);
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    int listCount() const override { return static_cast<int>(SendMessageW(hwnd, CB_GETCOUNT, 0, 0)); }
    std::string list(int index) const override {
        if (index < 0 || index >= listCount())
            return {};
        const LRESULT length = SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length == CB_ERR)
            return {};
        std::wstring entry(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT copied =
            SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
        return platform::narrow(entry);
    }
    int listIndex() const override { return static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0)); }
    void setListIndex(int index) override {
        // CB_SETCURSEL sends no notification: the click is raised here.
        SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        if (click)
            click();
    }
};

void registerWindowClass(WNDPROC procedure) {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // The program's own icon, for the title bar (small) and the taskbar and
    // Alt+Tab (large).
    windowClass.hIcon = win32::applicationIcon(GetSystemMetrics(SM_CXICON));
    windowClass.hIconSm = win32::applicationIcon(GetSystemMetrics(SM_CXSMICON));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = windowClassName;
    registered = RegisterClassExW(&windowClass) != 0;
}

constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD windowExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

Win32Window::Win32Window(const platform::Platform& platform) {
    dpi_ = win32::screenDpi();
    form_ = std::make_unique<frmMain>(platform, *this);
}

Win32Window::Win32Window(const platform::Platform& platform, platform::FileDialog& fileDialog,
                         platform::Clipboard& clipboard)
    : fileDialog_(&fileDialog), clipboard_(&clipboard) {
    dpi_ = win32::screenDpi();
    form_ = std::make_unique<frmMain>(platform, *this);
}

std::unique_ptr<controls::SecondWindow> Win32Window::openWindow() {
    auto window = std::make_unique<Win32ListWindow>(
        window_, dpi_, [this](Win32ListWindow* closed) { std::erase(secondWindows_, closed); });
    secondWindows_.push_back(window.get());
    return window;
}

Win32Window::~Win32Window() {
    if (taskbar_)
        static_cast<ITaskbarList3*>(taskbar_)->Release();
    win32::destroyOwnWindow(window_);
    if (font_)
        DeleteObject(font_);
}

int Win32Window::pixels(int twips) const {
    return win32::pixelsAt(twips, dpi_);
}

HWND Win32Window::control(const std::string& name) const {
    auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : found->second->hwnd;
}

controls::Window& Win32Window::createWindow(const std::string&, const std::string& caption, int width, int height) {
    registerWindowClass(&Win32Window::windowProcedure);
    // A fixed dialog frame: a title and a close box, no resizing, no minimise
    // or maximise; the client area is the form's size at the window's DPI.
    width_ = width;
    height_ = height;
    const SIZE frame = win32::frameSize(pixels(width), pixels(height), windowStyle, windowExtendedStyle, dpi_);
    window_ = CreateWindowExW(windowExtendedStyle, windowClassName, platform::widen(caption).c_str(), windowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.cx, frame.cy, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    // The place the system chose may be on a monitor of another DPI than the
    // primary one: the window takes that monitor's.
    const int dpi = win32::windowDpi(window_);
    if (dpi != dpi_) {
        dpi_ = dpi;
        RECT placed{};
        GetWindowRect(window_, &placed);
        const SIZE scaled = win32::frameSize(pixels(width), pixels(height), windowStyle, windowExtendedStyle, dpi_);
        SetWindowPos(window_, nullptr, placed.left, placed.top, scaled.cx, scaled.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    fitClientArea();
    font_ = win32::dialogFont(dpi_);
    return *this;
}

void Win32Window::fitClientArea() {
    // The frame was reckoned from the system's metrics for the DPI; what the
    // window ended up with is measured, and any difference taken up, so the
    // client area is exactly the form's.
    RECT client{};
    RECT frame{};
    if (!GetClientRect(window_, &client) || !GetWindowRect(window_, &frame))
        return;
    const int dx = pixels(width_) - (client.right - client.left);
    const int dy = pixels(height_) - (client.bottom - client.top);
    if (dx != 0 || dy != 0)
        SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left + dx, frame.bottom - frame.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Win32Window::createChild(const wchar_t* className, const std::string& text, DWORD style, controls::TwipRect place,
                              int extraHeight) {
    const int id = nextId_++;
    const HWND child =
        CreateWindowExW(0, className, platform::widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, pixels(place.left),
                        pixels(place.top), pixels(place.width), pixels(place.height) + MulDiv(extraHeight, dpi_, 96),
                        window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (child && font_)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return child;
}

void Win32Window::applyDpi(int dpi, const RECT* suggested) {
    if (dpi <= 0)
        return;
    dpi_ = dpi;
    // The window keeps its client area in twips: the frame around it follows
    // the new DPI, at the place the system suggests.
    const SIZE frame = win32::frameSize(pixels(width_), pixels(height_), windowStyle, windowExtendedStyle, dpi_);
    RECT at{};
    if (suggested)
        at = *suggested;
    else
        GetWindowRect(window_, &at);
    SetWindowPos(window_, nullptr, at.left, at.top, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    fitClientArea();
    // Each control from the twips it was made with, in the font for the new DPI.
    const HFONT old = font_;
    font_ = win32::dialogFont(dpi_);
    for (const auto& control : controls_) {
        const controls::TwipRect& p = control->place;
        SetWindowPos(control->hwnd, nullptr, pixels(p.left), pixels(p.top), pixels(p.width),
                     pixels(p.height) + MulDiv(control->extraHeight, dpi_, 96), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    if (old)
        DeleteObject(old);
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32Window::remember(const std::string& name, controls::TwipRect place, int extraHeight,
                           std::unique_ptr<Control> control) {
    control->place = place;
    control->extraHeight = extraHeight;
    const int id = GetDlgCtrlID(control->hwnd);
    byName_[name] = control.get();
    byId_[id] = control.get();
    controls_.push_back(std::move(control));
}

controls::Label& Win32Window::addLabel(const std::string& name, const std::string& caption, controls::TwipRect place,
                                       bool wraps) {
    auto label = std::make_unique<Win32Label>();
    // No access keys: an ampersand in a caption shows as itself.
    label->hwnd = createChild(L"STATIC", caption, (wraps ? SS_LEFT : SS_LEFTNOWORDWRAP) | SS_NOPREFIX, place, 0);
    Win32Label& result = *label;
    remember(name, place, 0, std::move(label));
    return result;
}

controls::Button& Win32Window::addButton(const std::string& name, const std::string& caption, controls::TwipRect place,
                                         std::function<void()> click) {
    auto button = std::make_unique<Win32Button>();
    button->hwnd = createChild(L"BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP, place, 0);
    button->click = std::move(click);
    Win32Button& result = *button;
    remember(name, place, 0, std::move(button));
    return result;
}

controls::ComboBox& Win32Window::addComboBox(const std::string& name, controls::TwipRect place,
                                             std::function<void()> click) {
    auto combo = std::make_unique<Win32ComboBox>();
    // The height given is the box's; the window's height also holds the open list.
    combo->hwnd = createChild(L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, place, dropDownHeight);
    combo->click = std::move(click);
    Win32ComboBox& result = *combo;
    remember(name, place, dropDownHeight, std::move(combo));
    return result;
}

void Win32Window::setTabOrder(const std::vector<std::string>& names) {
    // Tab follows the windows' z-order: the named controls go to the top in turn.
    tabOrder_ = names;
    std::vector<HWND> controls;
    for (const std::string& name : names)
        controls.push_back(control(name));
    win32::stackInTabOrder(controls);
}

std::string Win32Window::caption() const {
    return windowText(window_);
}

void Win32Window::setCaption(const std::string& text) {
    setWindowText(window_, text);
}

void* Win32Window::taskbar() {
    if (!taskbar_ && !taskbarTried_) {
        // COM is the program's (WinMain); without it, or without a taskbar
        // (an old system, a session without the shell), nothing is shown.
        taskbarTried_ = true;
        ITaskbarList3* list = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                       reinterpret_cast<void**>(&list))) &&
            list) {
            if (SUCCEEDED(list->HrInit()))
                taskbar_ = list;
            else
                list->Release();
        }
    }
    return taskbar_;
}

void Win32Window::showProgress(long long done, long long total) {
    progress_ = {Progress::State::Normal, done, total};
    if (auto* list = static_cast<ITaskbarList3*>(taskbar())) {
        list->SetProgressState(window_, TBPF_NORMAL);
        list->SetProgressValue(window_, static_cast<ULONGLONG>(done < 0 ? 0 : done),
                               static_cast<ULONGLONG>(total < 1 ? 1 : total));
    }
}

void Win32Window::showProgressFailed() {
    progress_.state = Progress::State::Error;
    if (auto* list = static_cast<ITaskbarList3*>(taskbar()))
        list->SetProgressState(window_, TBPF_ERROR);
}

void Win32Window::clearProgress() {
    progress_ = {};
    if (auto* list = static_cast<ITaskbarList3*>(taskbar()))
        list->SetProgressState(window_, TBPF_NOPROGRESS);
}

void Win32Window::show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    if (!tabOrder_.empty())
        SetFocus(control(tabOrder_.front()));
    if (!activated_) {
        activated_ = true;
        PostMessageW(window_, activateMessage, 0, 0);
    }
}

bool Win32Window::preTranslate(MSG& msg) {
    for (Win32ListWindow* second : secondWindows_)
        if (second->preTranslate(msg))
            return true;
    if (!window_ || (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)))
        return false;
    // Escape anywhere in the window: stops Check All.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
        if (form_)
            form_->mnuStop_Click();
        return true;
    }
    // Ctrl+Z anywhere in the window: Undo.
    if (msg.message == WM_KEYDOWN && msg.wParam == 'Z' && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0) {
        if (form_)
            form_->mnuUndo_Click();
        return true;
    }
    // Ctrl+H anywhere in the window: the History window.
    if (msg.message == WM_KEYDOWN && msg.wParam == 'H' && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0) {
        if (form_)
            form_->cmdHistory_Click();
        return true;
    }
    return IsDialogMessageW(window_, &msg) != FALSE;
}

int Win32Window::run() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(msg.wParam);
        if (got == -1)
            return 1;
        if (preTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

LRESULT CALLBACK Win32Window::windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->window_ != hwnd)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case activateMessage:
        if (form_)
            form_->Form_Activate();
        return 0;
    case WM_COMMAND: {
        const auto found = byId_.find(LOWORD(wParam));
        if (found == byId_.end() || !found->second->click || !form_)
            break;
        const WORD code = HIWORD(wParam);
        const bool isCombo = dynamic_cast<Win32ComboBox*>(found->second) != nullptr;
        // A button's press, or a user's choice in the drop-down.
        if ((!isCombo && code == BN_CLICKED) || (isCombo && code == CBN_SELCHANGE))
            found->second->click();
        return 0;
    }
    case WM_CLOSE:
        // The form may keep the window open (a batch says what it did first).
        if (form_ && form_->Form_QueryUnload())
            return 0;
        ShowWindow(window_, SW_HIDE);
        return 0;
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI, or its DPI changed: laid out
        // again from the twips, at the place the system suggests.
        applyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        // Labels on the dialog's face colour, as the window itself.
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}
