#pragma once
// The user's locale as Qt knows it (the default QLocale).

#include "platform/Seams.h"

class QtLocale : public platform::Locale {
public:
    // QLocale's short date form of the date ("07/12/2026" in the United Kingdom).
    std::string shortDate(int year, int month, int day) const override;
    // QLocale's short time form ("14:05" in the United Kingdom).
    std::string shortTime(int hour, int minute) const override;
    std::string monthAbbreviation(int month) const override;
    // QLocale's form of the amount with two decimals ("1,250.50" in the United
    // Kingdom, "1.250,50" in Germany).
    std::string amount(double value) const override;
};
