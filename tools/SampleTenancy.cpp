#include "SampleTenancy.h"

#include <array>
#include <stdexcept>

namespace sample {

namespace {

struct SundryCharge {
    const char* description;
    Cents value;
};

constexpr std::array<SundryCharge, 5> sundryCharges = {{
    {"Replacement key fob", 3000},
    {"Bulk waste collection", 4500},
    {"Window cleaning", 1250},
    {"Lock change", 8500},
    {"Carpet cleaning", 6000},
}};

// A yearly review: about 3%, rounded to the nearest 5.00.
Cents reviewedRent(Cents rent) {
    return rent + (rent * 3 / 100 + 250) / 500 * 500;
}

// rent * part / whole, rounded half up to the penny.
Cents proportion(Cents rent, Cents part, Cents whole) {
    return (rent * part * 2 + whole) / (whole * 2);
}

class TenancyBuilder {
public:
    TenancyBuilder(const TenancyPlan& plan, SampleRandom& random) : plan_(plan), random_(random) {
        draft_.tenancy = {plan.reference, plan.name, plan.property, plan.start, {}};
    }

    TenancyDraft build() {
        layOutPeriods();
        receiveMoney();
        if (plan_.ended && !draft_.periods.empty()) {
            const Day ended = draft_.periods.back().to;
            draft_.tenancy.ended = ended;
            if (plan_.deposit > 0) {
                receive(Ledger::Deposit, -plan_.deposit, ended + static_cast<Day>(random_.between(10, 21)),
                        "Deposit returned");
            }
        }
        return std::move(draft_);
    }

private:
    bool startsWithPartMonth() const {
        return plan_.scheme != PeriodScheme::Anniversary && civilFromDay(plan_.start).day != 1;
    }

    Day periodStart(int index) const {
        if (index == 0) {
            return plan_.start;
        }
        const int month = monthIndex(plan_.start) + index;
        return plan_.scheme == PeriodScheme::Anniversary ? dayInMonth(month, civilFromDay(plan_.start).day)
                                                         : firstOfMonth(month);
    }

    void layOutPeriods() {
        const bool partMonth = startsWithPartMonth();
        for (int index = 0;; ++index) {
            const Day from = periodStart(index);
            if (plan_.periods > 0 ? index >= plan_.periods : from > sampleDate) {
                break;
            }
            PeriodDraft period{from, periodStart(index + 1) - 1, 0, 0, 0, 0, {}};
            const int fullMonths = partMonth ? index - 1 : index;
            Cents rent = plan_.rent;
            for (int year = 0; plan_.annualReview && year < fullMonths / 12; ++year) {
                rent = reviewedRent(rent);
            }
            if (fullMonths < 0) {
                const CivilDate start = civilFromDay(from);
                period.rentDue = proportion(rent, period.to - from + 1, daysInMonth(start.year, start.month));
            } else {
                period.rentDue = rent;
                addCharges(period);
            }
            draft_.periods.push_back(std::move(period));
        }
    }

    void addCharges(PeriodDraft& period) {
        if (plan_.serviceCharge != 0) {
            period.charges.push_back({Ledger::ServiceCharge, "Service charge", plan_.serviceCharge, {}});
        }
        if (plan_.parkingFee != 0) {
            period.charges.push_back({Ledger::Parking, "Parking space", plan_.parkingFee, {}});
        }
        if (plan_.sundryChargePerMille > 0 && random_.chance(plan_.sundryChargePerMille)) {
            const auto& sundry = sundryCharges[static_cast<std::size_t>(random_.between(0, sundryCharges.size() - 1))];
            period.charges.push_back({Ledger::Sundry, sundry.description, sundry.value, {}});
        }
        for (const ChargeDraft& charge : period.charges) {
            period.extraCharges += charge.value;
        }
    }

    // Money arrives on or before the sample date; later payments have not
    // been received yet, so the periods they were for stay unpaid.
    bool receive(Ledger ledger, Cents amount, Day date, const std::string& description) {
        if (date > sampleDate) {
            return false;
        }
        draft_.revenues.push_back({ledger, amount, date, description, {}, false});
        return true;
    }

    void receiveMoney() {
        if (plan_.deposit > 0 || plan_.setUpFee > 0) {
            const Day signedOn = plan_.start - static_cast<Day>(random_.between(3, 14));
            if (plan_.deposit > 0) {
                receive(Ledger::Deposit, plan_.deposit, signedOn, "Deposit");
            }
            if (plan_.setUpFee > 0) {
                receive(Ledger::SetUpFee, plan_.setUpFee, signedOn, "Tenancy set-up fee");
            }
        }
        const auto paidPeriods = static_cast<int>(draft_.periods.size()) - plan_.unpaidPeriods;
        for (int index = 0; index < static_cast<int>(draft_.periods.size()); ++index) {
            PeriodDraft& period = draft_.periods[static_cast<std::size_t>(index)];
            const std::string month = monthLabel(period.from);
            if (index < paidPeriods) {
                // The first month is paid when the agreement is signed.
                const Day payDay =
                    index == 0 ? period.from - static_cast<Day>(random_.between(0, 5))
                               : period.from + static_cast<Day>(random_.between(plan_.payDayFrom, plan_.payDayTo));
                payRent(period, payDay, "Rent " + month);
                if (period.extraCharges != 0 && payDay <= sampleDate) {
                    for (const ChargeDraft& charge : period.charges) {
                        receive(charge.ledger, charge.value, payDay, charge.description + " " + month);
                        period.extraChargesPaid += charge.value;
                    }
                }
            } else if (index == paidPeriods && plan_.partPayment > 0 && plan_.partPayment < period.rentDue) {
                const Day payDay = period.from + static_cast<Day>(random_.between(5, 20));
                if (receive(Ledger::Rent, plan_.partPayment, payDay, "Part payment rent " + month)) {
                    period.paid = plan_.partPayment;
                }
            }
        }
        if (plan_.unpaidPeriods > 0 && random_.chance(400)) {
            receive(Ledger::LateFee, 2500, sampleDate - static_cast<Day>(random_.between(20, 60)),
                    "Late payment charge");
        }
    }

    void payRent(PeriodDraft& period, Day payDay, const std::string& description) {
        if (period.rentDue <= 0) {
            return;
        }
        // Two instalments a fortnight apart: the second may not have arrived
        // yet, which leaves the period part paid.
        const bool split = plan_.twoInstalments && period.to - period.from >= 27;
        const Cents first = split ? period.rentDue / 2 : period.rentDue;
        if (receive(Ledger::Rent, first, payDay, description)) {
            period.paid += first;
        }
        if (split && receive(Ledger::Rent, period.rentDue - first, payDay + 14, description)) {
            period.paid += period.rentDue - first;
        }
    }

    const TenancyPlan& plan_;
    SampleRandom& random_;
    TenancyDraft draft_;
};

} // namespace

PeriodDraft& TenancyDraft::period(Day from) {
    for (PeriodDraft& candidate : periods) {
        if (candidate.from == from) {
            return candidate;
        }
    }
    throw std::logic_error("no period of " + tenancy.reference + " starts on " + isoDate(from));
}

TenancyDraft buildTenancy(const TenancyPlan& plan, SampleRandom& random) {
    return TenancyBuilder(plan, random).build();
}

void addTenancy(SampleData& data, TenancyDraft draft) {
    const auto tenant = static_cast<std::uint32_t>(data.tenancies.size());
    const std::uint32_t property = draft.tenancy.property;
    for (const PeriodDraft& period : draft.periods) {
        data.periods.push_back({tenant, period.from, period.to, period.rentDue, period.paid, period.extraCharges,
                                period.extraChargesPaid});
        for (const ChargeDraft& charge : period.charges) {
            data.charges.push_back(
                {tenant, charge.periodFrom.value_or(period.from), data.texts.intern(charge.description), charge.value});
        }
    }
    for (const RevenueDraft& revenue : draft.revenues) {
        data.revenues.push_back({tenant, revenue.ledger, revenue.lowerCaseCode, revenue.property.value_or(property),
                                 data.texts.intern(revenue.description), revenue.amount, revenue.date});
    }
    data.tenancies.push_back(std::move(draft.tenancy));
}

} // namespace sample
