#include "frmmain/QtPlatform.h"

#include <QApplication>
#include <QMessageBox>

void QtMessageBox::showMessage(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), shown, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtProgram::endProgram(int exitStatus) {
    ended_ = true;
    exitStatus_ = exitStatus;
    QCoreApplication::exit(exitStatus);
}

void QtProgram::letPendingEventsRun() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
