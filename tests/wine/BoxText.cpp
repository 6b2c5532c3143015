// A helper of the end-to-end checks under Wine: waits for a message box titled
// as the tool (a dialog of class #32770), prints its text as UTF-8 and presses
// its OK button. Exit status 0 when a box was found, 3 when none came within
// the seconds given (default 20).
//
//   box-text.exe [SECONDS]

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const wchar_t* title = L"Habitorium Rent Analysis";
constexpr int messageTextId = 0xFFFF; // the static control that holds a message box's text

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring windowText(HWND hwnd) {
    wchar_t buffer[4096] = {};
    GetWindowTextW(hwnd, buffer, 4096);
    return buffer;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int seconds = argc > 1 ? _wtoi(argv[1]) : 20;
    for (int waited = 0; waited < seconds * 10; ++waited) {
        const HWND box = FindWindowW(L"#32770", title);
        if (box && IsWindowVisible(box)) {
            const HWND text = GetDlgItem(box, messageTextId);
            std::string shown = utf8(windowText(text));
            std::fwrite(shown.data(), 1, shown.size(), stdout);
            std::fflush(stdout);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            // Gone before the next look.
            for (int i = 0; i < 50 && IsWindow(box); ++i)
                Sleep(100);
            return 0;
        }
        Sleep(100);
    }
    return 3;
}
