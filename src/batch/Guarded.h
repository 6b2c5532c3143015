#pragma once
// The guard around a handler's body: a failure that no database wrapper
// caught (a field read or write of a recordset, an amount outside the currency
// range) is reported once under the label instead of ending the program.

#include "database/Database.h"

#include <string>

// Returns true when body ran to its end.
template <typename Body> bool runGuarded(Database& database, const std::string& label, Body body) {
    try {
        body();
        return true;
    } catch (...) {
        database.report(label, CurrentFailure());
    }
    return false;
}
