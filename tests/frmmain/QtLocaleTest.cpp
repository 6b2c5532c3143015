// Dates and month names of the default QLocale, as the Qt front end hands them on.

#include "frmmain/qt/QtLocale.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

class QtLocaleTest : public testing::Test {
protected:
    void TearDown() override { QLocale::setDefault(saved_); }
    QLocale saved_;
    QtLocale locale_;
};

TEST_F(QtLocaleTest, ShortFormsFollowTheDefaultLocale) {
    const struct {
        QLocale locale;
        std::string date;
        std::string time;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "07/12/2026", "08:05"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "12/7/26", "8:05 AM"},
        {QLocale(QLocale::German, QLocale::Germany), "07.12.26", "08:05"},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.locale);
        EXPECT_EQ(locale_.shortDate(2026, 12, 7), c.date) << c.locale.name().toStdString();
        EXPECT_EQ(locale_.shortTime(8, 5), c.time) << c.locale.name().toStdString();
    }
}

TEST_F(QtLocaleTest, AmountsTakeTheSeparatorsOfTheDefaultLocale) {
    const struct {
        QLocale locale;
        double amount;
        std::string text;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedKingdom), 10289.844, "10,289.84"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), -464.8, "-464.80"},
        {QLocale(QLocale::German, QLocale::Germany), 1234567.5, "1.234.567,50"},
        {QLocale(QLocale::German, QLocale::Germany), -0.001, "0,00"},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.locale);
        EXPECT_EQ(locale_.amount(c.amount), c.text) << c.locale.name().toStdString();
    }
}

TEST_F(QtLocaleTest, MonthNameFollowsTheDefaultLocale) {
    const struct {
        QLocale locale;
        int month;
        std::string name;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), 9, "Sep"},
        // English names are three letters, whatever the locale data says.
        {QLocale(QLocale::English, QLocale::UnitedKingdom), 9, "Sep"},
        {QLocale::c(), 5, "May"},
        // A locale that writes its abbreviations in lower case gets a capital.
        {QLocale(QLocale::French, QLocale::France), 12,
         "D\xc3\xa9"
         "c."},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.locale);
        EXPECT_EQ(locale_.monthAbbreviation(c.month), c.name) << c.locale.name().toStdString();
    }
}

} // namespace
