// A helper of the end-to-end checks under Wine: waits for the tool's window
// (its class and title) and prints, in physical pixels, what a user sees of
// its size: the client area, the Exit button's place in it, and the height
// of the drop-down's box, which follows the font. Exit status 0 when the
// window was found, 3 when it did not appear within the seconds given.
//
//   window-metrics.exe [SECONDS]
//
// prints "client W H", "exit LEFT TOP WIDTH HEIGHT", "combo HEIGHT" and
// "tenants N", the entries of the drop-down (0 until the database is open).

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
    // Per-monitor aware, so the system hands out the window's real pixels
    // rather than ones scaled for a program that knows no DPI.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const int seconds = argc > 1 ? _wtoi(argv[1]) : 20;
    HWND window = nullptr;
    for (int i = 0; i < seconds * 10 && !window; ++i) {
        window = FindWindowW(L"HabitoriumFrmMain", L"Habitorium Rent Analysis");
        if (!window || !IsWindowVisible(window)) {
            window = nullptr;
            Sleep(100);
        }
    }
    if (!window) {
        std::fprintf(stderr, "no window of the tool appeared\n");
        return 3;
    }
    RECT client{};
    GetClientRect(window, &client);
    std::printf("client %ld %ld\n", client.right - client.left, client.bottom - client.top);
    if (const HWND exit = FindWindowExW(window, nullptr, L"Button", L"Exit")) {
        RECT r{};
        GetWindowRect(exit, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        std::printf("exit %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    if (const HWND combo = FindWindowExW(window, nullptr, L"ComboBox", nullptr)) {
        RECT r{};
        GetWindowRect(combo, &r);
        std::printf("combo %ld\n", r.bottom - r.top);
        std::printf("tenants %ld\n", static_cast<long>(SendMessageW(combo, CB_GETCOUNT, 0, 0)));
    }
    return 0;
}
