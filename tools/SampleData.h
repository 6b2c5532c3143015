#pragma once
// The rows of a sample property database, held compactly until they are
// written: a benchmark sample has about a million income rows.

#include "SampleCalendar.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sample {

// Money in whole pence; written as pence / 100, the nearest double to the
// two-decimal amount, exactly as the host stores a typed 650.00.
using Cents = std::int64_t;

// The ledger codes of the sample's host application.
enum class Ledger : std::uint8_t { Rent, ServiceCharge, Parking, Sundry, Deposit, SetUpFee, LateFee };

struct LedgerCode {
    Ledger ledger;
    const char* code;
    const char* description;
    bool paysExtraCharges; // stored as -1 / 0
};

inline constexpr std::array<LedgerCode, 7> ledgerCodes = {{
    {Ledger::Rent, "RENT", "Rent", false},
    {Ledger::ServiceCharge, "410", "Service charge", true},
    {Ledger::Parking, "420", "Parking", true},
    {Ledger::Sundry, "430", "Sundry tenant charges", true},
    {Ledger::Deposit, "200", "Tenancy deposit", false},
    {Ledger::SetUpFee, "500", "Tenancy set-up fee", false},
    {Ledger::LateFee, "510", "Late payment charge", false},
}};

inline const LedgerCode& ledgerCode(Ledger ledger) {
    return ledgerCodes[static_cast<std::size_t>(ledger)];
}

inline constexpr const char* companyName = "Habitorium Lettings Ltd";
inline constexpr const char* rentGroup = "RENT";

struct Property {
    std::string code;
    Cents baseRent = 0;
    Cents serviceCharge = 0; // 0: the property has no service charge
    Cents parkingFee = 0;    // 0: no parking spaces to let
};

struct Tenancy {
    std::string reference;
    std::string name;
    std::uint32_t property = 0; // index into SampleData::properties
    Day started = 0;
    std::optional<Day> ended;
};

struct PeriodRow {
    std::uint32_t tenant; // index into SampleData::tenancies
    Day from;
    Day to;
    Cents rentDue;
    Cents paid;
    Cents extraCharges;
    Cents extraChargesPaid;
};

struct ChargeRow {
    std::uint32_t tenant;
    Day periodFrom;
    std::uint32_t description; // index into SampleData::texts
    Cents value;
};

struct RevenueRow {
    std::uint32_t tenant;
    Ledger ledger;
    bool lowerCaseCode; // the tenant code was typed in lower case
    std::uint32_t property;
    std::uint32_t description;
    Cents amount;
    Day date;
};

// Descriptions repeat ("Rent June 2025" thousands of times): each distinct
// text is kept once.
class TextTable {
public:
    std::uint32_t intern(const std::string& text);
    const std::string& text(std::uint32_t index) const { return texts_[index]; }

private:
    std::vector<std::string> texts_;
    std::unordered_map<std::string, std::uint32_t> indexes_;
};

struct SampleData {
    std::vector<Property> properties;
    std::vector<Tenancy> tenancies;
    std::vector<PeriodRow> periods;
    std::vector<ChargeRow> charges;
    std::vector<RevenueRow> revenues;
    TextTable texts;
};

} // namespace sample
