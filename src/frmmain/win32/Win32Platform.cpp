#include "frmmain/win32/Win32Platform.h"

#include "platform/WideText.h"

#include <windows.h>

namespace {

int showBox(const std::string& text, UINT buttons) {
    // Owned by the tool's window when it is active, so the window waits for it.
    const HWND owner = GetActiveWindow();
    return MessageBoxW(owner, platform::widen(text).c_str(), platform::widen(win32ApplicationTitle).c_str(),
                       buttons | (owner ? 0u : static_cast<UINT>(MB_TASKMODAL)) | MB_SETFOREGROUND);
}

} // namespace

void Win32MessageBox::showMessage(const std::string& text) {
    showBox(text, MB_OK);
}

bool Win32MessageBox::confirm(const std::string& text) {
    return showBox(text, MB_OKCANCEL | MB_DEFBUTTON1) == IDOK;
}

void Win32Program::endProgram(int exitStatus) {
    ended_ = true;
    exitStatus_ = exitStatus;
    PostQuitMessage(exitStatus);
}

void Win32Program::letPendingEventsRun() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (preTranslate && preTranslate(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
