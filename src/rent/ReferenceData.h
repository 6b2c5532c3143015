#pragma once
// What the tenant list is loaded with: the tenant references and the ledger
// settings that the figures of every tenant depend on.

#include "database/Database.h"
#include "platform/Seams.h"

#include <string>
#include <vector>

namespace rent {

struct ReferenceData {
    // The tenancies' references in the database's order of them; a tenancy
    // without one is left out (it can be neither selected nor repaired).
    std::vector<std::string> references;
    // The rent_group of the first row of options.
    std::string rentGroup;
    // The quoted codes of the ledger codes that pay extra charges, for an
    // "in (...)" list, after the placeholder code 'xcvdfgsdfs'.
    std::string extraChargeCodes;
};

// Reads the three into data through the Database module's wrappers, which
// report a statement that fails (it then counts as one without rows). Each
// part is written as it is read: references are appended to what data holds;
// rentGroup keeps its value when options has no row; extraChargeCodes is set
// to the placeholder once the tenant list and options have been read. A
// failure outside the wrappers (a field read) is raised, leaving data as far
// as it got.
void ReadReferenceData(Database& database, const platform::Locale& locale, ReferenceData& data);

} // namespace rent
