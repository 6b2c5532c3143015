#pragma once
// One tenancy of the sample as the host application would have recorded it:
// its rental periods, their charges, the money received, and the paid figures
// the host allocated, oldest period first. The special cases of the sample
// start from such a tenancy and then spoil it the way real data gets spoiled.

#include "SampleData.h"
#include "SampleRandom.h"

#include <string>
#include <vector>

namespace sample {

// The last day on which the sample records anything: periods start on or
// before it, money received is dated on or before it.
inline constexpr Day sampleDate = dayFromCivil(2025, 6, 15);

enum class PeriodScheme {
    FirstOfMonth, // calendar months, after a part month when the tenancy starts later than the 1st
    Anniversary,  // from the start day of each month
};

struct ChargeDraft {
    Ledger ledger;
    std::string description;
    Cents value;
    std::optional<Day> periodFrom; // unset: the period's own start
};

struct PeriodDraft {
    Day from;
    Day to;
    Cents rentDue;
    Cents paid = 0;
    Cents extraCharges = 0;
    Cents extraChargesPaid = 0;
    std::vector<ChargeDraft> charges;
};

struct RevenueDraft {
    Ledger ledger;
    Cents amount;
    Day date;
    std::string description;
    std::optional<std::uint32_t> property; // unset: the tenancy's property
    bool lowerCaseCode = false;
};

struct TenancyDraft {
    Tenancy tenancy;
    std::vector<PeriodDraft> periods;
    std::vector<RevenueDraft> revenues;

    // The period starting on the given day; throws std::logic_error when
    // there is none, since the special cases are written against known dates.
    PeriodDraft& period(Day from);
};

struct TenancyPlan {
    std::string reference;
    std::string name;
    std::uint32_t property = 0;
    Day start = 0;
    PeriodScheme scheme = PeriodScheme::FirstOfMonth;
    // The number of periods; 0 for every period starting on or before the
    // sample date.
    int periods = 0;
    bool ended = false; // the tenancy ended with its last period

    Cents rent = 0;
    bool annualReview = false; // rent rises about 3% (to the next 5.00) each year
    Cents serviceCharge = 0;   // per calendar-month period, 0 for none
    Cents parkingFee = 0;
    int sundryChargePerMille = 0; // chance of a one-off charge in a period

    // The money: paid in full on a day near the start of each period, unless
    // the last unpaidPeriods periods are in arrears (partPayment paid towards
    // the first of them).
    int payDayFrom = -3; // days from the period start
    int payDayTo = 2;
    bool twoInstalments = false;
    int unpaidPeriods = 0;
    Cents partPayment = 0;
    Cents deposit = 0;
    Cents setUpFee = 0;
};

// The tenancy of the plan, every figure consistent with the money received:
// the paid columns are what a reallocation oldest period first would write.
TenancyDraft buildTenancy(const TenancyPlan& plan, SampleRandom& random);

// Appends a tenancy's rows to the sample, its periods, charges and income
// under the new tenancy's index.
void addTenancy(SampleData& data, TenancyDraft draft);

} // namespace sample
