// Habitorium Rent Analysis for Windows: builds the real platform pieces,
// creates the window and runs the message loop; with arguments, runs the
// command line.

#include "cli/CheckCommand.h"
#include "frmmain/win32/Win32Platform.h"
#include "frmmain/win32/Win32Window.h"
#include "platform/LocalSystem.h"
#include "platform/LocaleWin32.h"
#include "platform/UserWin32.h"
#include "platform/WideText.h"

#include <objbase.h>
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // With arguments the program is the command line: no window, no box.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> arguments;
    for (int i = 1; argv && i < argc; ++i)
        arguments.push_back(platform::narrow(argv[i]));
    LocalFree(argv);
    if (!arguments.empty()) {
        platform::Win32UserAccount user;
        return cli::RunCommandLine(arguments, platform::Win32Locale(), user);
    }

    // The DPI awareness (per monitor), the common controls of visual styles
    // and the version of Windows the program is written for come from its
    // manifest (packaging/windows). COM, for the taskbar button's progress.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    Win32MessageBox messages;
    Win32Program program;
    platform::SystemClock clock;
    platform::LocalFileSystem files;
    platform::Win32UserAccount user;
    platform::Win32Locale locale;
    std::unique_ptr<platform::Registry> registry = platform::systemRegistry();
    platform::Platform platform{messages, program, clock, files, *registry, user, locale};

    int status = 0;
    {
        Win32Window window(platform);
        // The window's keys (Tab, Ctrl+Z) also work while a batch lets events run.
        program.preTranslate = [&window](void* msg) { return window.preTranslate(*static_cast<MSG*>(msg)); };
        // A failed start may end the program before the message loop has begun.
        if (!program.endRequested()) {
            window.show();
            status = window.run();
        }
        program.preTranslate = nullptr;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return program.endRequested() ? program.exitStatus() : status;
}
