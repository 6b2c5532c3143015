#pragma once
// What every window of the Win32 front end needs to look as Windows programs
// do at any DPI: the DPI of the monitor a window is on, the frame around a
// client area at a DPI, the dialog font at a DPI, and the program's icon.
// A window lays itself out from twips with these and again on WM_DPICHANGED.

#include <windows.h>

#include <vector>

namespace win32 {

// The DPI of the screen as the process sees it (the system's, for a
// per-monitor aware process); 96 when it cannot be told.
int screenDpi();

// The DPI of the monitor window is on: the monitor's own when the process is
// per-monitor aware (the program's manifest says so); on a system before
// Windows 10 1607, or for no window, screenDpi().
int windowDpi(HWND window);

// twips (1,440 an inch) as pixels at dpi, and back.
inline int pixelsAt(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}
inline int twipsAt(int pixels, int dpi) {
    return MulDiv(pixels, 1440, dpi);
}

// Destroys a window of the program's own that may already be gone (an owned
// window goes with its owner), first forgetting the object its messages reach.
inline void destroyOwnWindow(HWND window) {
    if (window && IsWindow(window)) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
}

// The outer size of a window of style and extendedStyle (no menu) whose
// client area is width by height pixels at dpi.
SIZE frameSize(int width, int height, DWORD style, DWORD extendedStyle, int dpi);

// A new font (the caller deletes it): the system's dialog face at 8 points,
// the size the forms are laid out for, at dpi.
HFONT dialogFont(int dpi);

// The program's icon (its resources' first icon group) at size by size
// pixels; the system's blank program icon in a program without one.
HICON applicationIcon(int size);

// Puts the controls on top of their window's z-order in this order, which is
// the order Tab moves through them (none is skipped over).
void stackInTabOrder(const std::vector<HWND>& controls);

} // namespace win32
