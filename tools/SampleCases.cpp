#include "SampleCases.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace sample {

namespace {

constexpr Day on(int year, int month, int day) {
    return dayFromCivil(year, month, day);
}

// Properties by index: P001 is 0.
constexpr std::uint32_t P001 = 0, P002 = 1, P003 = 2, P004 = 3;

// The deposit the agency takes: five weeks' rent, to the penny.
Cents fiveWeeksRent(Cents monthly) {
    return (monthly * 60 * 2 + 52) / 104;
}

TenancyPlan planFor(const char* reference, const char* name, std::uint32_t property, Day start, Cents rent) {
    TenancyPlan plan;
    plan.reference = reference;
    plan.name = name;
    plan.property = property;
    plan.start = start;
    plan.rent = rent;
    plan.deposit = fiveWeeksRent(rent);
    return plan;
}

// The income row of the ledger received within ten days of the given day.
RevenueDraft& revenueNear(TenancyDraft& draft, Ledger ledger, Day around) {
    for (RevenueDraft& revenue : draft.revenues) {
        if (revenue.ledger == ledger && revenue.date >= around - 10 && revenue.date <= around + 10) {
            return revenue;
        }
    }
    throw std::logic_error("no " + std::string(ledgerCode(ledger).code) + " income of " + draft.tenancy.reference +
                           " near " + isoDate(around));
}

void removeRevenues(TenancyDraft& draft, Ledger ledger, Day from, Day to) {
    std::erase_if(draft.revenues, [&](const RevenueDraft& revenue) {
        return revenue.ledger == ledger && revenue.date >= from && revenue.date <= to;
    });
}

void removeCharges(PeriodDraft& period, Ledger ledger) {
    std::erase_if(period.charges, [&](const ChargeDraft& charge) { return charge.ledger == ledger; });
}

TenancyDraft apostropheInReference(SampleRandom& random) {
    TenancyPlan plan = planFor("O'NEIL01", "Mr Sean O'Neil", P002, on(2024, 3, 1), 70000);
    plan.parkingFee = 3000;
    TenancyDraft draft = buildTenancy(plan, random);
    // The parking payment for March 2025 came in but was never allocated.
    draft.period(on(2025, 3, 1)).extraChargesPaid = 0;
    return draft;
}

TenancyDraft paymentOnTheWrongPeriod(SampleRandom& random) {
    TenancyPlan plan = planFor("HAR001", "Mrs Joan Harper", P001, on(2023, 9, 1), 65000);
    plan.serviceCharge = 4500;
    TenancyDraft draft = buildTenancy(plan, random);
    // March 2024's rent was allocated to April: the totals agree, the periods do not.
    draft.period(on(2024, 3, 1)).paid = 0;
    draft.period(on(2024, 4, 1)).paid += 65000;
    return draft;
}

TenancyDraft missedAllocation(SampleRandom& random) {
    TenancyPlan plan = planFor("EVA001", "Ms Rhian Evans", P003, on(2024, 6, 14), 59500);
    plan.scheme = PeriodScheme::Anniversary;
    TenancyDraft draft = buildTenancy(plan, random);
    draft.period(on(2025, 2, 14)).paid = 0;
    return draft;
}

TenancyDraft chargePaidAsRent(SampleRandom& random) {
    TenancyPlan plan = planFor("KHA001", "Mr Imran Khan", P002, on(2024, 1, 1), 72500);
    plan.serviceCharge = 5500;
    plan.parkingFee = 3000;
    TenancyDraft draft = buildTenancy(plan, random);
    // November 2024's service charge payment was booked against the rent.
    PeriodDraft& period = draft.period(on(2024, 11, 1));
    period.paid += 5500;
    period.extraChargesPaid -= 5500;
    return draft;
}

TenancyDraft staleExtraCharges(SampleRandom& random) {
    TenancyPlan plan = planFor("MOR001", "Mr Daniel & Mrs Kate Morris", P001, on(2023, 7, 1), 85000);
    plan.serviceCharge = 4500;
    plan.parkingFee = 2500;
    TenancyDraft draft = buildTenancy(plan, random);
    // The parking space was given up from January 2025: its charges went,
    // but January's and February's totals still include them.
    removeRevenues(draft, Ledger::Parking, on(2024, 12, 20), sampleDate);
    for (PeriodDraft& period : draft.periods) {
        if (period.from >= on(2025, 1, 1)) {
            removeCharges(period, Ledger::Parking);
            period.extraCharges = period.from <= on(2025, 2, 1) ? 7000 : 4500;
            period.extraChargesPaid = 4500;
        }
    }
    // A key fob charged in April 2025 and paid, but never added to the period's total.
    PeriodDraft& april = draft.period(on(2025, 4, 1));
    april.charges.push_back({Ledger::Sundry, "Replacement key fob", 3000, {}});
    const Day paidOn = revenueNear(draft, Ledger::Rent, april.from).date;
    draft.revenues.push_back({Ledger::Sundry, 3000, paidOn, "Replacement key fob April 2025", {}, false});
    return draft;
}

TenancyDraft overpayment(SampleRandom& random) {
    TenancyDraft draft = buildTenancy(planFor("WIL001", "Miss Amy Wilson", P003, on(2024, 9, 1), 62500), random);
    // The standing order ran twice in May 2025; the second payment is unallocated.
    const Day paidOn = revenueNear(draft, Ledger::Rent, on(2025, 5, 1)).date;
    draft.revenues.push_back({Ledger::Rent, 62500, paidOn + 1, "Rent May 2025", {}, false});
    return draft;
}

TenancyDraft incomeWithoutPeriods(SampleRandom& random) {
    TenancyPlan plan = planFor("ZHA001", "Mr Wei Zhang", P004, on(2025, 5, 1), 72000);
    plan.setUpFee = 15000;
    TenancyDraft draft = buildTenancy(plan, random);
    // The rent has been coming in, but nobody set up the rental periods.
    draft.periods.clear();
    return draft;
}

TenancyDraft periodsWithoutIncome(SampleRandom& random) {
    TenancyPlan plan = planFor("QUI001", "Ms Laura Quinn", P001, on(2025, 4, 1), 61000);
    plan.deposit = 0;
    TenancyDraft draft = buildTenancy(plan, random);
    // No money received at all, yet April 2025 was marked as paid.
    draft.revenues.clear();
    for (PeriodDraft& period : draft.periods) {
        period.paid = period.from == on(2025, 4, 1) ? period.rentDue : 0;
    }
    return draft;
}

TenancyDraft negativeRentDue(SampleRandom& random) {
    TenancyDraft draft = buildTenancy(planFor("LEE001", "Mr Jun Lee", P003, on(2024, 2, 1), 64000), random);
    draft.period(on(2024, 10, 1)).rentDue = -64000;
    return draft;
}

TenancyDraft creditCharges(SampleRandom& random) {
    TenancyPlan plan = planFor("GRE001", "Ms Olivia Green", P001, on(2024, 4, 1), 69000);
    plan.serviceCharge = 4500;
    TenancyDraft draft = buildTenancy(plan, random);
    // December 2024: a credit against the service charge, the net 30.00 paid.
    PeriodDraft& december = draft.period(on(2024, 12, 1));
    december.charges.push_back({Ledger::ServiceCharge, "Service charge credit (lift out of order)", -1500, {}});
    december.extraCharges = 3000;
    december.extraChargesPaid = 3000;
    revenueNear(draft, Ledger::ServiceCharge, december.from).amount = 3000;
    // February 2025: no service charge, only a refund of last year's overcharge.
    PeriodDraft& february = draft.period(on(2025, 2, 1));
    february.charges = {{Ledger::ServiceCharge, "Service charge refund (year end 2024)", -2000, {}}};
    february.extraCharges = -2000;
    february.extraChargesPaid = 0;
    const Day paidOn = revenueNear(draft, Ledger::ServiceCharge, february.from).date;
    removeRevenues(draft, Ledger::ServiceCharge, paidOn, paidOn);
    return draft;
}

TenancyDraft refundedDuplicate(SampleRandom& random) {
    TenancyPlan plan = planFor("DAV001", "Mrs Megan Davies", P002, on(2023, 11, 1), 67500);
    plan.serviceCharge = 5500;
    TenancyDraft draft = buildTenancy(plan, random);
    const Day paidOn = revenueNear(draft, Ledger::Rent, on(2024, 8, 1)).date;
    draft.revenues.push_back({Ledger::Rent, 67500, paidOn + 1, "Rent August 2024", {}, false});
    draft.revenues.push_back({Ledger::Rent, -67500, on(2024, 8, 20), "Refund of duplicate payment", {}, false});
    return draft;
}

TenancyDraft movedProperty(SampleRandom& random) {
    // Moved from a flat at P002 to a larger one at P004 in October 2024; the
    // tenancy (and its reference) carried on, at the new rent.
    TenancyDraft draft = buildTenancy(planFor("ROB001", "Mr Paul Roberts", P004, on(2023, 10, 1), 65000), random);
    const Day moved = on(2024, 10, 1);
    for (PeriodDraft& period : draft.periods) {
        if (period.from >= moved) {
            period.rentDue = 78000;
            period.paid = 78000;
        }
    }
    for (RevenueDraft& revenue : draft.revenues) {
        if (revenue.date < moved - 10) {
            revenue.property = P002;
        } else if (revenue.ledger == Ledger::Rent) {
            revenue.amount = 78000;
        }
    }
    return draft;
}

TenancyDraft lowerCaseTenantCode(SampleRandom& random) {
    TenancyPlan plan = planFor("BRO001", "Mr Ben Brown", P002, on(2024, 5, 1), 60000);
    plan.parkingFee = 2500;
    TenancyDraft draft = buildTenancy(plan, random);
    // The rent payments for January 2025 onwards were keyed in as "bro001".
    for (RevenueDraft& revenue : draft.revenues) {
        revenue.lowerCaseCode = revenue.ledger == Ledger::Rent && revenue.date >= on(2024, 12, 25);
    }
    return draft;
}

TenancyDraft periodsStartLate(SampleRandom& random) {
    TenancyPlan plan = planFor("FOS001", "Ms Grace Foster", P003, on(2024, 4, 1), 65500);
    plan.deposit = 0;
    TenancyDraft draft = buildTenancy(plan, random);
    // The tenancy began on 10 March 2024 and the part month was paid, but the
    // periods were only set up from April.
    draft.tenancy.started = on(2024, 3, 10);
    draft.revenues.push_back({Ledger::Deposit, fiveWeeksRent(65500), on(2024, 3, 4), "Deposit", {}, false});
    draft.revenues.push_back({Ledger::Rent, 46484, on(2024, 3, 8), "Rent 10 to 31 March 2024", {}, false});
    return draft;
}

TenancyDraft chargeOnNoPeriod(SampleRandom& random) {
    TenancyPlan plan = planFor("PAT001", "Mrs Priya Patel", P001, on(2024, 1, 1), 66000);
    plan.serviceCharge = 4500;
    TenancyDraft draft = buildTenancy(plan, random);
    // Window cleaning entered against 15 September 2024, a day no period starts on.
    draft.period(on(2024, 9, 1)).charges.push_back({Ledger::Sundry, "Window cleaning", 1250, on(2024, 9, 15)});
    draft.revenues.push_back({Ledger::Sundry, 1250, on(2024, 9, 18), "Window cleaning September 2024", {}, false});
    return draft;
}

TenancyDraft rentFreeFirstMonth(SampleRandom& random) {
    TenancyDraft draft = buildTenancy(planFor("CLA001", "Mr Ryan Clarke", P004, on(2024, 7, 1), 70000), random);
    PeriodDraft& first = draft.period(on(2024, 7, 1));
    first.rentDue = 0;
    first.paid = 0;
    removeRevenues(draft, Ledger::Rent, on(2024, 6, 1), on(2024, 7, 10));
    return draft;
}

TenancyDraft notStartedYet(SampleRandom&) {
    TenancyDraft draft;
    draft.tenancy = {"YOU001", "Mr Tom Young", P004, on(2025, 7, 1), {}};
    draft.revenues.push_back({Ledger::Deposit, fiveWeeksRent(70000), on(2025, 6, 10), "Deposit", {}, false});
    return draft;
}

constexpr std::array<SpecialCase, 17> cases = {{
    {"O'NEIL01", "apostrophe in the reference; the March 2025 parking payment was not allocated",
     apostropheInReference},
    {"HAR001", "March 2024's rent allocated to April 2024: the totals agree, two periods are wrong",
     paymentOnTheWrongPeriod},
    {"EVA001", "periods from the 14th; the payment for the period from 14 February 2025 was not allocated",
     missedAllocation},
    {"KHA001", "two charges a period; November 2024's service charge payment booked as rent paid", chargePaidAsRent},
    {"MOR001", "extra charges of January to April 2025 disagree with the charges of those periods", staleExtraCharges},
    {"WIL001", "overpaid: May 2025's rent received twice, the second payment unallocated", overpayment},
    {"ZHA001", "rent received, but no rental periods", incomeWithoutPeriods},
    {"QUI001", "no income at all, but April 2025 marked as paid", periodsWithoutIncome},
    {"LEE001", "rent due of October 2024 stored as a negative amount", negativeRentDue},
    {"GRE001", "negative charges (credits), one period with negative extra charges", creditCharges},
    {"DAV001", "a duplicate payment and its refund (a negative income row); figures agree", refundedDuplicate},
    {"ROB001", "moved property: the first year's income is under P002, the tenancy is at P004", movedProperty},
    {"BRO001", "rent for January 2025 onwards received under the tenant code in lower case", lowerCaseTenantCode},
    {"FOS001", "tenancy started 10 March 2024, periods only from April; the part month's rent unallocated",
     periodsStartLate},
    {"PAT001", "a charge dated 15 September 2024, a day on which no period starts", chargeOnNoPeriod},
    {"CLA001", "first month rent free: a period with no rent due; figures agree", rentFreeFirstMonth},
    {"YOU001", "starts after the sample date: no periods and only a deposit", notStartedYet},
}};

} // namespace

std::span<const SpecialCase> specialCases() {
    return cases;
}

} // namespace sample
