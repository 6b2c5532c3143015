#pragma once
// The list of "Check All" as a CSV file that Excel and LibreOffice open
// without questions: UTF-8 with a byte-order mark, CR LF line ends, commas,
// fields quoted as RFC 4180 says (a field holding a comma, a quote, CR or LF
// between quotes, a quote inside doubled), "." as the decimal point, dates as
// yyyy-mm-dd. One header line:
//
//   tenant,name,rent_received,rent_paid,extra_received,extra_paid,charges,
//   charges_in_periods,due_now,due_after,periods_changed,first_unpaid_now,
//   first_unpaid_after,problem
//
// then one line a listed tenant, in the order of the list. A tenant that could
// not be checked has its reason in problem and its other cells empty where
// they could not be worked out.

#include "rent/CheckAll.h"

#include <ostream>
#include <string>

namespace rent {

// The header line's names, in order.
extern const char* const checkCsvColumns[14];

// Writes the byte-order mark, the header line and a line a listed tenant.
void WriteCheckCsv(std::ostream& out, const CheckResult& result);

// One field as the file holds it: quoted when it must be.
std::string CsvField(const std::string& text);

// A date as the file holds it: a date as its ISO date, yyyy-mm-dd (a time of
// day left out), text as it is, a number in its plain text form, nothing for
// Empty or Null.
std::string CsvDate(const engine::Variant& value);

} // namespace rent
