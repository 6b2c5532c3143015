#pragma once
// Writing a sample through an ODBC connection: a PostgreSQL database (or an
// SQLite one through its ODBC driver), with the tables of the documented
// schema for that database.

#include "SampleData.h"

#include <string>

namespace sample {

// Creates the property tables in the database that connectionString reaches
// and writes the sample into them: one transaction, rows in multi-row
// inserts, the indexes made after the rows are in. A database that already
// holds the tables is refused unless replace is set, which drops them first.
// A failure rolls everything back, so the database never holds half a
// sample. Throws SampleWriteError (a password in the text is never shown).
void writeSampleOdbc(const SampleData& data, const std::string& connectionString, bool replace);

} // namespace sample
