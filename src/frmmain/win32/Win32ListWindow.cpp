#include "frmmain/win32/Win32ListWindow.h"
#include "frmmain/win32/Win32Dpi.h"

#include "platform/WideText.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace {

constexpr const wchar_t* windowClassName = L"HabitoriumListWindow";
// What a column takes beside its heading's text, in twips: the header's
// margins and the sort mark.
constexpr int headingMargin = 360;

std::string windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return platform::narrow(text);
}

class ListLabel : public Win32ListWindow::Control, public controls::Label {
public:
    std::string caption() const override { return windowText(hwnd); }
    void setCaption(const std::string& text) override { SetWindowTextW(hwnd, platform::widen(text).c_str()); }
};

class ListButton : public Win32ListWindow::Control, public controls::Button {
public:
    bool enabled() const override { return IsWindowEnabled(hwnd) != FALSE; }
    void setEnabled(bool enabled) override { EnableWindow(hwnd, enabled ? TRUE : FALSE); }
};

// An EDIT control of one line; click is what Enter in it does.
class ListTextBox : public Win32ListWindow::Control, public controls::TextBox {
public:
    std::string text() const override { return windowText(hwnd); }
    void setText(const std::string& text) override { SetWindowTextW(hwnd, platform::widen(text).c_str()); }
    void setEnabled(bool enabled) override { EnableWindow(hwnd, enabled ? TRUE : FALSE); }
};

// A list view in report mode; the rows in the order the form gives them.
class ListGrid : public Win32ListWindow::Control, public controls::Grid {
public:
    Events events;
    std::function<int(int)> pixels;

    void setColumns(const std::vector<Column>& columns) override {
        SendMessageW(hwnd, LVM_DELETEALLITEMS, 0, 0);
        while (SendMessageW(hwnd, LVM_DELETECOLUMN, 0, 0))
            ;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            std::wstring heading = platform::widen(columns[i].heading);
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
            // The first column of a list view is always on the left.
            column.fmt = columns[i].right && i > 0 ? LVCFMT_RIGHT : LVCFMT_LEFT;
            // Wide enough for its heading in the list's font, with the margins
            // and the sort mark beside it.
            const int headingWidth =
                static_cast<int>(SendMessageW(hwnd, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(heading.c_str())));
            column.cx = std::max(pixels(columns[i].width), headingWidth + pixels(headingMargin));
            column.pszText = heading.data();
            column.iSubItem = static_cast<int>(i);
            SendMessageW(hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        }
        columns_ = static_cast<int>(columns.size());
    }
    void setRows(const std::vector<std::vector<std::string>>& rows) override {
        SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
        SendMessageW(hwnd, LVM_DELETEALLITEMS, 0, 0);
        SendMessageW(hwnd, LVM_SETITEMCOUNT, rows.size(), 0);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t c = 0; c < rows[r].size() && static_cast<int>(c) < columns_; ++c) {
                std::wstring text = platform::widen(rows[r][c]);
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = static_cast<int>(r);
                item.iSubItem = static_cast<int>(c);
                item.pszText = text.data();
                SendMessageW(hwnd, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, c == 0 ? 0 : r,
                             reinterpret_cast<LPARAM>(&item));
            }
        }
        SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    int rowCount() const override { return static_cast<int>(SendMessageW(hwnd, LVM_GETITEMCOUNT, 0, 0)); }
    std::vector<int> selectedRows() const override {
        std::vector<int> rows;
        for (int i = next(-1, LVNI_SELECTED); i >= 0; i = next(i, LVNI_SELECTED))
            rows.push_back(i);
        return rows;
    }
    void setSelectedRows(const std::vector<int>& rows) override {
        setState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        bool first = true;
        for (int row : rows) {
            setState(row, LVIS_SELECTED | (first ? LVIS_FOCUSED : 0u), LVIS_SELECTED | LVIS_FOCUSED);
            if (first)
                SendMessageW(hwnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
            first = false;
        }
    }
    void setSortIndicator(int column, bool ascending) override {
        const HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
        for (int i = 0; i < columns_; ++i) {
            HDITEMW item{};
            item.mask = HDI_FORMAT;
            SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
            if (i == column)
                item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
            SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
    }
    int focused() const { return next(-1, LVNI_FOCUSED); }

private:
    int next(int from, UINT flags) const {
        return static_cast<int>(SendMessageW(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(from), MAKELPARAM(flags, 0)));
    }
    void setState(int row, UINT state, UINT mask) {
        LVITEMW item{};
        item.stateMask = mask;
        item.state = state;
        SendMessageW(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    int columns_ = 0;
};

void registerWindowClass(WNDPROC procedure) {
    static bool registered = false;
    if (registered)
        return;
    INITCOMMONCONTROLSEX common{};
    common.dwSize = sizeof common;
    common.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&common);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = windowClassName;
    registered = RegisterClassExW(&windowClass) != 0;
}

} // namespace

Win32ListWindow::Win32ListWindow(HWND owner, int dpi, std::function<void(Win32ListWindow*)> forget)
    : owner_(owner), dpi_(dpi > 0 ? dpi : 96), forget_(std::move(forget)) {}

Win32ListWindow::~Win32ListWindow() {
    // The main window may have destroyed its owned windows already.
    win32::destroyOwnWindow(window_);
    if (forget_)
        forget_(this);
}

int Win32ListWindow::pixels(int twips) const {
    return win32::pixelsAt(twips, dpi_);
}

int Win32ListWindow::twips(int pixels) const {
    return win32::twipsAt(pixels, dpi_);
}

HWND Win32ListWindow::control(const std::string& name) const {
    auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : found->second->hwnd;
}

controls::Window& Win32ListWindow::createWindow(const std::string&, const std::string& caption, Size size, Size minimum,
                                                std::function<void()> resized, std::function<void()> closing) {
    registerWindowClass(&Win32ListWindow::windowProcedure);
    resized_ = std::move(resized);
    closing_ = std::move(closing);
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const DWORD extendedStyle = WS_EX_CONTROLPARENT;
    RECT frame{0, 0, pixels(size.width), pixels(size.height)};
    AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
    RECT smallest{0, 0, pixels(minimum.width), pixels(minimum.height)};
    AdjustWindowRectEx(&smallest, style, FALSE, extendedStyle);
    minimum_ = {smallest.right - smallest.left, smallest.bottom - smallest.top};
    window_ = CreateWindowExW(extendedStyle, windowClassName, platform::widen(caption).c_str(), style, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, owner_, nullptr,
                              GetModuleHandleW(nullptr), this);
    font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return *this;
}

HWND Win32ListWindow::createChild(const wchar_t* className, const std::string& text, DWORD style, DWORD extendedStyle,
                                  controls::TwipRect place) {
    const int id = nextId_++;
    const HWND child =
        CreateWindowExW(extendedStyle, className, platform::widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                        pixels(place.left), pixels(place.top), pixels(place.width), pixels(place.height), window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (child && font_)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return child;
}

void Win32ListWindow::remember(const std::string& name, std::unique_ptr<Control> control) {
    const int id = GetDlgCtrlID(control->hwnd);
    byName_[name] = control.get();
    byId_[id] = control.get();
    controls_.push_back(std::move(control));
}

controls::Label& Win32ListWindow::addLabel(const std::string& name, const std::string& caption,
                                           controls::TwipRect place) {
    auto label = std::make_unique<ListLabel>();
    label->hwnd = createChild(L"STATIC", caption, SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, 0, place);
    ListLabel& result = *label;
    remember(name, std::move(label));
    return result;
}

controls::Button& Win32ListWindow::addButton(const std::string& name, const std::string& caption,
                                             controls::TwipRect place, std::function<void()> click) {
    auto button = std::make_unique<ListButton>();
    button->hwnd = createChild(L"BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP, 0, place);
    button->click = std::move(click);
    ListButton& result = *button;
    remember(name, std::move(button));
    return result;
}

controls::Grid& Win32ListWindow::addGrid(const std::string& name, controls::TwipRect place,
                                         controls::Grid::Events events) {
    auto grid = std::make_unique<ListGrid>();
    grid->hwnd = createChild(WC_LISTVIEWW, "", LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE, place);
    SendMessageW(grid->hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    grid->events = std::move(events);
    grid->pixels = [this](int twips) { return pixels(twips); };
    ListGrid& result = *grid;
    remember(name, std::move(grid));
    return result;
}

controls::TextBox& Win32ListWindow::addTextBox(const std::string& name, const std::string&, controls::TwipRect place,
                                               std::function<void()> enter) {
    // A screen reader names it by the label made before it.
    auto box = std::make_unique<ListTextBox>();
    box->hwnd = createChild(L"EDIT", "", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, place);
    box->click = std::move(enter);
    ListTextBox& result = *box;
    remember(name, std::move(box));
    return result;
}

void Win32ListWindow::setTabOrder(const std::vector<std::string>& names) {
    // Tab follows the windows' z-order: the named controls go to the top in turn.
    tabOrder_ = names;
    std::vector<HWND> controls;
    for (const std::string& name : names)
        controls.push_back(control(name));
    win32::stackInTabOrder(controls);
}

controls::SecondWindow::Size Win32ListWindow::clientSize() const {
    RECT client{};
    GetClientRect(window_, &client);
    return {twips(client.right - client.left), twips(client.bottom - client.top)};
}

void Win32ListWindow::place(const std::string& name, controls::TwipRect place) {
    if (const HWND hwnd = control(name))
        MoveWindow(hwnd, pixels(place.left), pixels(place.top), pixels(place.width), pixels(place.height), TRUE);
}

void Win32ListWindow::show() {
    if (IsIconic(window_))
        ShowWindow(window_, SW_RESTORE);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    if (!tabOrder_.empty())
        SetFocus(control(tabOrder_.front()));
}

void Win32ListWindow::hide() {
    ShowWindow(window_, SW_HIDE);
}

bool Win32ListWindow::visible() const {
    return IsWindowVisible(window_) != FALSE;
}

std::string Win32ListWindow::caption() const {
    return windowText(window_);
}

void Win32ListWindow::setCaption(const std::string& text) {
    SetWindowTextW(window_, platform::widen(text).c_str());
}

bool Win32ListWindow::preTranslate(MSG& msg) {
    if (!window_ || (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)))
        return false;
    if (msg.message == WM_KEYDOWN) {
        auto found = byId_.find(GetDlgCtrlID(msg.hwnd));
        auto* grid =
            found != byId_.end() && found->second->hwnd == msg.hwnd ? dynamic_cast<ListGrid*>(found->second) : nullptr;
        if (grid && msg.wParam == VK_RETURN) {
            if (grid->events.activate && grid->focused() >= 0)
                grid->events.activate(grid->focused());
            return true;
        }
        if (grid && msg.wParam == 'C' && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0) {
            if (grid->events.copy)
                grid->events.copy();
            return true;
        }
        if (msg.wParam == VK_ESCAPE) {
            SendMessageW(window_, WM_CLOSE, 0, 0);
            return true;
        }
        auto* box = found != byId_.end() && found->second->hwnd == msg.hwnd ? dynamic_cast<ListTextBox*>(found->second)
                                                                            : nullptr;
        if (box && msg.wParam == VK_RETURN) {
            if (box->click)
                box->click();
            return true;
        }
    }
    return IsDialogMessageW(window_, &msg) != FALSE;
}

LRESULT CALLBACK Win32ListWindow::windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32ListWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || (self->window_ && self->window_ != hwnd))
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (!self->window_)
        self->window_ = hwnd; // messages sent while CreateWindowExW runs
    return self->handle(message, wParam, lParam);
}

LRESULT Win32ListWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const auto found = byId_.find(LOWORD(wParam));
        if (found != byId_.end() && found->second->click && HIWORD(wParam) == BN_CLICKED) {
            found->second->click();
            return 0;
        }
        break;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        const auto found = byId_.find(static_cast<int>(header->idFrom));
        auto* grid = found != byId_.end() ? dynamic_cast<ListGrid*>(found->second) : nullptr;
        if (!grid)
            break;
        if (header->code == LVN_COLUMNCLICK && grid->events.headingClick) {
            grid->events.headingClick(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
            return 0;
        }
        if (header->code == LVN_ITEMCHANGED && grid->events.selectionChanged) {
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
            if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_SELECTED))
                grid->events.selectionChanged();
            return 0;
        }
        if (header->code == NM_DBLCLK && grid->events.activate) {
            const int row = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
            if (row >= 0)
                grid->events.activate(row);
            return 0;
        }
        break;
    }
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED && resized_ && !controls_.empty())
            resized_();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = minimum_.cx;
        info->ptMinTrackSize.y = minimum_.cy;
        return 0;
    }
    case WM_CLOSE:
        if (closing_)
            closing_();
        ShowWindow(window_, SW_HIDE);
        return 0;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}
