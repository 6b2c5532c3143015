#pragma once
// The Windows versions of the seams that need the window system: message
// boxes (MessageBoxW), ending the program (the message loop's WM_QUIT), and
// letting pending window messages run.

#include "platform/Seams.h"

#include <functional>

class Win32MessageBox : public platform::MessageBox {
public:
    // Modal over the active window, OK only, no icon, the application's title.
    void showMessage(const std::string& text) override;
    // The same box with OK (the default) and Cancel.
    bool confirm(const std::string& text) override;
};

class Win32Program : public platform::Program {
public:
    // Posts WM_QUIT: the message loop ends as soon as the running handler
    // returns, and the program's exit status is exitStatus.
    void endProgram(int exitStatus) override;
    bool endRequested() const override { return ended_; }
    // The status asked for by the last endProgram; 0 until then.
    int exitStatus() const { return exitStatus_; }
    // Runs the messages waiting in the thread's queue, each offered to
    // preTranslate first (the window's keys: Tab, Ctrl+Z), then returns. A
    // WM_QUIT met on the way is posted again for the main loop.
    void letPendingEventsRun() override;

    // What the window does with a message before it is dispatched; true when
    // it has handled the message.
    std::function<bool(void* msg)> preTranslate;

private:
    bool ended_ = false;
    int exitStatus_ = 0;
};

// The application's title, the boxes' caption.
inline constexpr const char* win32ApplicationTitle = "Habitorium Rent Analysis";
