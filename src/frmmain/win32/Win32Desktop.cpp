#include "frmmain/win32/Win32Desktop.h"

#include "platform/WideText.h"

#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <vector>

std::string Win32FileDialog::saveFileName(const std::string& title, const std::string& suggestedName,
                                          const std::string& typeName, const std::string& extension) {
    const std::wstring ext = platform::widen(extension);
    // "CSV files (*.csv)", NUL, "*.csv", NUL, NUL.
    std::wstring filter = platform::widen(typeName) + L" (*." + ext + L")";
    filter.push_back(L'\0');
    filter += L"*." + ext;
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    std::vector<wchar_t> path(32768, L'\0');
    const std::wstring suggested = platform::widen(suggestedName);
    suggested.copy(path.data(), std::min(suggested.size(), path.size() - 1));
    const std::wstring caption = platform::widen(title);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = caption.c_str();
    dialog.lpstrDefExt = ext.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog))
        return {};
    return platform::narrow(std::wstring(path.data()));
}

void Win32Clipboard::setText(const std::string& text) {
    std::wstring wide;
    for (wchar_t c : platform::widen(text)) {
        if (c == L'\n')
            wide += L'\r';
        wide += c;
    }
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return;
    if (void* target = GlobalLock(memory)) {
        std::memcpy(target, wide.c_str(), bytes);
        GlobalUnlock(memory);
    }
    if (!OpenClipboard(GetActiveWindow())) {
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    // The clipboard owns the memory once it has taken it.
    if (!SetClipboardData(CF_UNICODETEXT, memory))
        GlobalFree(memory);
    CloseClipboard();
}
