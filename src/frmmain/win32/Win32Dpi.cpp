#include "frmmain/win32/Win32Dpi.h"

#include <cwchar>

namespace win32 {

namespace {

// The dialog font's size: the layout is drawn for it.
constexpr int dialogFontPoints = 8;
// The icon of the executable's resources (its first icon group).
constexpr int applicationIconId = 1;

// The DPI functions of Windows 10 (1607 and later), looked up at run time:
// on an older system the window takes the system's DPI, which it then keeps.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename Function> Function user32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

} // namespace

int screenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int windowDpi(HWND window) {
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : screenDpi();
}

SIZE frameSize(int width, int height, DWORD style, DWORD extendedStyle, int dpi) {
    static const auto adjustForDpi = user32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, width, height};
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, extendedStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

HFONT dialogFont(int dpi) {
    LOGFONTW font{};
    if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font))
        wcscpy(font.lfFaceName, L"MS Shell Dlg");
    font.lfHeight = -MulDiv(dialogFontPoints, dpi, 72);
    font.lfWidth = 0;
    return CreateFontIndirectW(&font);
}

HICON applicationIcon(int size) {
    HANDLE loaded = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(applicationIconId), IMAGE_ICON, size, size,
                               LR_DEFAULTCOLOR);
    if (!loaded)
        loaded = LoadImageW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION), IMAGE_ICON, size, size,
                            LR_SHARED | LR_DEFAULTCOLOR);
    return static_cast<HICON>(loaded);
}

void stackInTabOrder(const std::vector<HWND>& controls) {
    HWND previous = HWND_TOP;
    for (const HWND hwnd : controls) {
        if (!hwnd)
            continue;
        SetWindowPos(hwnd, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = hwnd;
    }
}

} // namespace win32
