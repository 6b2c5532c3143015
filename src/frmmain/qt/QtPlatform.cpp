#include "frmmain/qt/QtPlatform.h"

#include "platform/LocalSystem.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

QMessageBox::StandardButton showBox(const std::string& text, QMessageBox::StandardButtons buttons) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), shown, buttons,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    if (buttons & QMessageBox::Cancel) {
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void QtMessageBox::showMessage(const std::string& text) {
    showBox(text, QMessageBox::Ok);
}

bool QtMessageBox::confirm(const std::string& text) {
    return showBox(text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void QtProgram::endProgram(int exitStatus) {
    ended_ = true;
    exitStatus_ = exitStatus;
    QCoreApplication::exit(exitStatus);
}

void QtProgram::letPendingEventsRun() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::string QtUserAccount::dataFolder() {
    // The local folder, not a roaming one: the journal belongs to this machine.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return QDir::toNativeSeparators(folder).toStdString();
}

std::string QtUserAccount::stateFolder() {
#ifdef _WIN32
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return QDir::toNativeSeparators(folder).toStdString();
#else
    return platform::xdgStateFolder("habitorium-rent-analysis");
#endif
}

std::string QtUserAccount::loginName() {
#ifdef _WIN32
    return qEnvironmentVariable("USERNAME").toStdString();
#else
    // The account the process runs as, not what the environment claims.
    if (const passwd* account = getpwuid(geteuid()))
        return account->pw_name;
    return qEnvironmentVariable("USER").toStdString();
#endif
}
