#pragma once
// The desktop versions of the seams that need the window system or Qt's
// knowledge of the desktop: message boxes, ending the program, letting pending
// window events run, and the user's data folder and login name.

#include "platform/Seams.h"

class QtMessageBox : public platform::MessageBox {
public:
    // Modal, OK only, no icon, the application's title; CR LF pairs become line breaks.
    void showMessage(const std::string& text) override;
    // The same box with OK (the default) and Cancel.
    bool confirm(const std::string& text) override;
};

class QtProgram : public platform::Program {
public:
    // Leaves the event loop as soon as the running handler returns; main
    // returns exitStatus.
    void endProgram(int exitStatus) override;
    bool endRequested() const override { return ended_; }
    // The status asked for by the last endProgram; 0 until then.
    int exitStatus() const { return exitStatus_; }
    void letPendingEventsRun() override;

private:
    bool ended_ = false;
    int exitStatus_ = 0;
};

class QtUserAccount : public platform::UserAccount {
public:
    // Qt's application data folder (QStandardPaths::AppDataLocation: on Linux
    // ~/.local/share/<application name>, on Windows %LOCALAPPDATA%), native separators.
    std::string dataFolder() override;
    // On Linux $XDG_STATE_HOME/habitorium-rent-analysis, else
    // ~/.local/state/habitorium-rent-analysis; elsewhere Qt's local
    // application data folder.
    std::string stateFolder() override;
    // The login name of the effective user (USERNAME on Windows).
    std::string loginName() override;
};
