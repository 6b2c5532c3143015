// Habitorium Rent Analysis: builds the real platform pieces, creates the
// window and runs the event loop; with arguments, runs the command line.

#include "cli/CheckCommand.h"
#include "frmmain/qt/QtLocale.h"
#include "frmmain/qt/QtPlatform.h"
#include "frmmain/qt/QtWindow.h"
#include "platform/LocalSystem.h"

#include <QApplication>
#include <QIcon>

#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    // The command line needs no display: it runs before any application object
    // exists. Its repair journal is the window's, in the folder named after the
    // application.
    QApplication::setApplicationName(QStringLiteral("Habitorium Rent Analysis"));
    if (argc > 1) {
        QtUserAccount user;
        return cli::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), QtLocale(), user);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Habitorium Rent Analysis"));
    // The menu entry's name, so the desktop pairs the window with it; the
    // icon in every size drawn at build time.
    QGuiApplication::setDesktopFileName(QStringLiteral("habitorium-rent-analysis"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/habitorium-rent-analysis-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    QtMessageBox messages;
    QtProgram program;
    platform::SystemClock clock;
    platform::LocalFileSystem files;
    QtUserAccount user;
    QtLocale locale;
    std::unique_ptr<platform::Registry> registry = platform::systemRegistry();
    platform::Platform platform{messages, program, clock, files, *registry, user, locale};

    QtWindow window(platform);
    if (program.endRequested())
        return program.exitStatus();
    window.show();
    const int status = application.exec();
    // A failed start may end the program before the event loop has begun.
    return program.endRequested() ? program.exitStatus() : status;
}
