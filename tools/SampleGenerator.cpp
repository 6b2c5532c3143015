#include "SampleGenerator.h"

#include "SampleCases.h"
#include "SampleTenancy.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

namespace sample {

namespace {

struct FirstName {
    const char* name;
    bool female;
};

constexpr std::array<FirstName, 32> firstNames = {{
    {"James", false},  {"Oliver", false}, {"Sarah", true},   {"Emma", true},        {"Mohammed", false},
    {"Aisha", true},   {"Thomas", false}, {"Hannah", true},  {"Daniel", false},     {"Sophie", true},
    {"Jack", false},   {"Chloé", true},   {"Lucy", true},    {"Aleksander", false}, {"Zoë", true},
    {"Ravi", false},   {"Grace", true},   {"Owen", false},   {"Niamh", true},       {"Tomasz", false},
    {"Fatima", true},  {"Liam", false},   {"Isla", true},    {"Ethan", false},      {"Megan", true},
    {"Kwame", false},  {"Joanna", true},  {"Siobhan", true}, {"Arjun", false},      {"Ellie", true},
    {"Gareth", false}, {"Ana", true},
}};

constexpr std::array<const char*, 64> surnames = {
    "Smith",    "Jones",    "Taylor", "Brown",  "Williams", "Wilson", "Johnson",  "Davies", "Robinson", "Wright",
    "Thompson", "Evans",    "Walker", "White",  "Roberts",  "Green",  "Hall",     "Wood",   "Jackson",  "Clarke",
    "Patel",    "Khan",     "Lewis",  "James",  "Phillips", "Mason",  "Mitchell", "Rose",   "Hughes",   "Edwards",
    "Turner",   "Harris",   "Martin", "Cooper", "Hill",     "Ward",   "Morris",   "King",   "Baker",    "Harrison",
    "Morgan",   "Allen",    "Young",  "Scott",  "Lee",      "Nowak",  "Kowalski", "Murphy", "Kelly",    "Ahmed",
    "Ali",      "Singh",    "Chen",   "Okafor", "Mensah",   "Silva",  "Santos",   "Costa",  "O'Connor", "McDonald",
    "Fraser",   "Campbell", "Dupont", "Nguyen",
};

// Parts of the sample draw from streams of their own.
constexpr std::uint64_t propertyStream = 0x70726f70ULL;
constexpr std::uint64_t specialCaseSeed = 0x5a3d1e0fULL;

// About five tenancies a property, P001 to P999.
std::uint32_t propertyCount(int tenancies) {
    return static_cast<std::uint32_t>(std::clamp((tenancies + 4) / 5, 4, 999));
}

std::vector<Property> makeProperties(int tenancies, std::uint64_t seed) {
    const std::uint32_t count = propertyCount(tenancies);
    std::vector<Property> properties;
    for (std::uint32_t index = 0; index < count; ++index) {
        SampleRandom random = SampleRandom::stream(seed ^ propertyStream, index);
        std::string number = std::to_string(index + 1);
        Property property;
        property.code = std::string(4 - number.size(), '0');
        property.code[0] = 'P';
        property.code += number;
        property.baseRent = 47500 + 2500 * random.between(0, 30);
        property.serviceCharge = random.chance(800) ? 2500 + 250 * random.between(0, 28) : 0;
        property.parkingFee = random.chance(700) ? 2500 + 500 * random.between(0, 3) : 0;
        properties.push_back(std::move(property));
    }
    return properties;
}

// References are the first three letters of the surname and a number, as the
// host suggests them: SMI001, SMI002, ...
class ReferenceBook {
public:
    ReferenceBook() {
        for (const SpecialCase& special : specialCases()) {
            taken_.insert(special.reference);
        }
    }

    // The next free reference for the surname, or empty when its prefix has
    // used up all thousand numbers.
    std::string next(const std::string& surname) {
        std::string prefix;
        for (char letter : surname) {
            if (std::isalpha(static_cast<unsigned char>(letter)) && prefix.size() < 3) {
                prefix += static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
            }
        }
        int& counter = counters_[prefix];
        while (counter < 999) {
            ++counter;
            std::string number = std::to_string(counter);
            std::string reference = prefix + std::string(3 - number.size(), '0') + number;
            if (taken_.insert(reference).second) {
                return reference;
            }
        }
        return {};
    }

private:
    std::set<std::string> taken_;
    std::map<std::string, int> counters_;
};

std::string tenantName(SampleRandom& random, const std::string& surname) {
    const FirstName& first = firstNames[static_cast<std::size_t>(random.between(0, firstNames.size() - 1))];
    const char* title = first.female ? (random.chance(500) ? "Ms" : random.chance(500) ? "Mrs" : "Miss") : "Mr";
    if (random.chance(40)) {
        title = "Dr";
    }
    const auto style = random.between(0, 99);
    if (style < 40) {
        return std::string(title) + " " + first.name + " " + surname;
    }
    if (style < 70) {
        return std::string(first.name) + " " + surname;
    }
    if (style < 85) {
        return std::string(title) + " " + first.name[0] + " " + surname;
    }
    const FirstName& partner = firstNames[static_cast<std::size_t>(random.between(0, firstNames.size() - 1))];
    return std::string(first.name) + " & " + partner.name + " " + surname;
}

TenancyPlan ordinaryPlan(SampleRandom& random, ReferenceBook& references, const std::vector<Property>& properties,
                         bool benchmark) {
    TenancyPlan plan;
    std::string surname;
    do {
        surname = surnames[static_cast<std::size_t>(random.between(0, surnames.size() - 1))];
        plan.reference = references.next(surname);
    } while (plan.reference.empty());
    plan.name = tenantName(random, surname);
    plan.property = static_cast<std::uint32_t>(random.between(0, static_cast<std::int64_t>(properties.size()) - 1));
    const Property& property = properties[plan.property];

    plan.ended = random.chance(100);
    plan.periods = benchmark    ? 36
                   : plan.ended ? static_cast<int>(random.between(6, 30))
                                : static_cast<int>(random.between(12, 36));
    const auto kind = random.between(0, 99);
    plan.scheme = kind < 75 ? PeriodScheme::FirstOfMonth : PeriodScheme::Anniversary;
    const int startDay = kind < 50 ? 1 : static_cast<int>(random.between(2, 28));
    // The last period starts in the sample's month (or, for an ended tenancy,
    // some months before), never after the sample date.
    int lastMonth = monthIndex(sampleDate) - (plan.ended ? static_cast<int>(random.between(1, 9)) : 0);
    if (plan.scheme == PeriodScheme::Anniversary && dayInMonth(lastMonth, startDay) > sampleDate) {
        --lastMonth;
    }
    plan.start = dayInMonth(lastMonth - (plan.periods - 1), startDay);

    plan.rent = std::max<Cents>(39500, property.baseRent + 2500 * random.between(-2, 4));
    plan.annualReview = random.chance(700);
    plan.serviceCharge = property.serviceCharge;
    plan.parkingFee = property.parkingFee != 0 && random.chance(450) ? property.parkingFee : 0;
    plan.sundryChargePerMille = 25;
    if (random.chance(150)) {
        plan.payDayFrom = 3;
        plan.payDayTo = 12;
    }
    plan.twoInstalments = random.chance(500);
    if (!plan.ended && random.chance(120)) {
        plan.unpaidPeriods = static_cast<int>(random.between(1, 2));
        plan.partPayment = random.chance(500) ? plan.rent * random.between(20, 60) / 100 / 100 * 100 : 0;
    }
    plan.deposit = (plan.rent * 60 * 2 + 52) / 104;
    plan.setUpFee = random.chance(400) ? 15000 : 0;
    return plan;
}

void putTenanciesInStartOrder(SampleData& data) {
    std::vector<std::uint32_t> order(data.tenancies.size());
    for (std::uint32_t index = 0; index < order.size(); ++index) {
        order[index] = index;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t left, std::uint32_t right) {
        return data.tenancies[left].started < data.tenancies[right].started;
    });
    std::vector<std::uint32_t> newIndex(order.size());
    std::vector<Tenancy> tenancies;
    tenancies.reserve(order.size());
    for (std::uint32_t position = 0; position < order.size(); ++position) {
        newIndex[order[position]] = position;
        tenancies.push_back(std::move(data.tenancies[order[position]]));
    }
    data.tenancies = std::move(tenancies);
    for (PeriodRow& row : data.periods) {
        row.tenant = newIndex[row.tenant];
    }
    for (ChargeRow& row : data.charges) {
        row.tenant = newIndex[row.tenant];
    }
    for (RevenueRow& row : data.revenues) {
        row.tenant = newIndex[row.tenant];
    }
}

} // namespace

SampleData generateSample(int tenancies, std::uint64_t seed) {
    if (tenancies < 0 || tenancies > maximumTenancies) {
        throw std::invalid_argument("number of tenancies out of range");
    }
    SampleData data;
    data.properties = makeProperties(tenancies, seed);

    const auto special = specialCases();
    const std::size_t specialCount = std::min(special.size(), static_cast<std::size_t>(tenancies));
    for (std::size_t index = 0; index < specialCount; ++index) {
        SampleRandom random = SampleRandom::stream(specialCaseSeed, index);
        addTenancy(data, special[index].build(random));
    }
    ReferenceBook references;
    const bool benchmark = tenancies > benchmarkTenancies;
    for (std::size_t index = specialCount; index < static_cast<std::size_t>(tenancies); ++index) {
        SampleRandom random = SampleRandom::stream(seed, index);
        addTenancy(data, buildTenancy(ordinaryPlan(random, references, data.properties, benchmark), random));
    }

    // The host adds a tenancy when it starts, and periods and income as the
    // months go by.
    putTenanciesInStartOrder(data);
    const auto byDay = [](auto day) {
        return [day](const auto& left, const auto& right) {
            return day(left) != day(right) ? day(left) < day(right) : left.tenant < right.tenant;
        };
    };
    std::stable_sort(data.periods.begin(), data.periods.end(), byDay([](const PeriodRow& row) { return row.from; }));
    std::stable_sort(data.charges.begin(), data.charges.end(),
                     byDay([](const ChargeRow& row) { return row.periodFrom; }));
    std::stable_sort(data.revenues.begin(), data.revenues.end(), byDay([](const RevenueRow& row) { return row.date; }));
    return data;
}

} // namespace sample
