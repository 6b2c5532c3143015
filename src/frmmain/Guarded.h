#pragma once
// The guard around a handler's body: a failure that no database wrapper
// caught (a field read or write of a recordset, an amount outside the currency
// range) is reported once under the label instead of ending the program.

#include "database/Database.h"
#include "engine/EngineError.h"

#include <exception>
#include <string>

// Returns true when body ran to its end.
template <typename Body> bool runGuarded(Database& database, const std::string& label, Body body) {
    try {
        body();
        return true;
    } catch (const engine::EngineError& error) {
        database.report(label, error);
    } catch (const std::exception& error) {
        database.report(label, engine::EngineError(-1, engine::engineSource, error.what()));
    }
    return false;
}
