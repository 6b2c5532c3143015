#include "platform/Console.h"
#include "platform/WideText.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

bool leadsSomewhere(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

HANDLE consoleOutput() {
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// A program of the GUI subsystem has no console of its own: it writes to the
// handles it was given (a redirect, a pipe) or to its parent's console.
class Win32Console : public Console {
public:
    Win32Console() {
        output_ = GetStdHandle(STD_OUTPUT_HANDLE);
        error_ = GetStdHandle(STD_ERROR_HANDLE);
        const bool haveOutput = leadsSomewhere(output_);
        const bool haveError = leadsSomewhere(error_);
        if ((!haveOutput || !haveError) && AttachConsole(ATTACH_PARENT_PROCESS)) {
            if (!haveOutput)
                output_ = opened_[0] = consoleOutput();
            if (!haveError)
                error_ = opened_[1] = consoleOutput();
        }
    }
    ~Win32Console() override {
        for (HANDLE handle : opened_)
            if (leadsSomewhere(handle))
                CloseHandle(handle);
    }
    Win32Console(const Win32Console&) = delete;
    Win32Console& operator=(const Win32Console&) = delete;

    bool write(Stream stream, const std::string& bytes) override {
        const HANDLE handle = stream == Stream::Output ? output_ : error_;
        if (!leadsSomewhere(handle))
            return false;
        DWORD mode = 0;
        if (GetConsoleMode(handle, &mode)) {
            // A console shows Unicode whatever its code page.
            const std::wstring text = widen(bytes);
            std::size_t done = 0;
            while (done < text.size()) {
                DWORD n = 0;
                const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
                if (!WriteConsoleW(handle, text.data() + done, chunk, &n, nullptr) || n == 0)
                    return false;
                done += n;
            }
            return true;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD n = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
            if (!WriteFile(handle, bytes.data() + done, chunk, &n, nullptr) || n == 0)
                return false;
            done += n;
        }
        return true;
    }

private:
    HANDLE output_ = nullptr;
    HANDLE error_ = nullptr;
    HANDLE opened_[2] = {nullptr, nullptr};
};

} // namespace

std::unique_ptr<Console> processConsole() {
    return std::make_unique<Win32Console>();
}

} // namespace platform
