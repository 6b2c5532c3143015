#include "frmmain/qt/QtLocale.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

std::string QtLocale::shortDate(int year, int month, int day) const {
    return QLocale().toString(QDate(year, month, day), QLocale::ShortFormat).toStdString();
}

std::string QtLocale::shortTime(int hour, int minute) const {
    return QLocale().toString(QTime(hour, minute), QLocale::ShortFormat).toStdString();
}

std::string QtLocale::monthAbbreviation(int month) const {
    // English names are three letters, as the log files have always been
    // named (British English data abbreviates September as "Sept"); other
    // languages keep their own abbreviation.
    const QLocale locale;
    QString name = locale.monthName(month, QLocale::ShortFormat);
    if (locale.language() == QLocale::English)
        name.truncate(3);
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return name.toStdString();
}

std::string QtLocale::amount(double value) const {
    return QLocale().toString(platform::AmountShown(value), 'f', 2).toStdString();
}
