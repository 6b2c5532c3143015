#include "frmmain/qt/QtDesktop.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

std::string QtFileDialog::saveFileName(const std::string& title, const std::string& suggestedName,
                                       const std::string& typeName, const std::string& extension) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString ext = QString::fromStdString(extension);
    const QString filter = QString::fromStdString(typeName) + " (*." + ext + ")";
    QString path = QFileDialog::getSaveFileName(QApplication::activeWindow(), QString::fromStdString(title),
                                                QDir(folder).filePath(QString::fromStdString(suggestedName)), filter);
    if (path.isEmpty())
        return {};
    if (QFileInfo(path).suffix().isEmpty())
        path += "." + ext;
    return QDir::toNativeSeparators(path).toUtf8().toStdString();
}

void QtClipboard::setText(const std::string& text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
#ifdef _WIN32
    shown.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
#endif
    QApplication::clipboard()->setText(shown);
}
