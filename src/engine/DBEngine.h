#pragma once
// The database engine, shaped like the data-access objects the tool was
// written against: DBEngine -> Workspaces(0), OpenDatabase -> Database ->
// OpenRecordset -> Recordset. Every failure is raised as an EngineError.

#include "engine/Database.h"

#include <cstdint>
#include <memory>
#include <string>

namespace engine {

class Workspace {
public:
    explicit Workspace(std::int16_t index) : index_(index) {}
    std::int16_t index() const { return index_; }

private:
    std::int16_t index_;
};

class DBEngine {
public:
    // The default workspace is 0; any other index raises errNoSuchField
    // ("Item not found in this collection.").
    Workspace& Workspaces(std::int16_t index);

    // Opens the database. A connection text ("ODBC;<connection string>") is
    // opened through ODBC, and Name() shows it with any password masked.
    // Otherwise name is a file whose first bytes decide: an SQLite file is
    // opened read-write (or read-only when asked) and shared with other
    // processes; a Jet/ACE file is opened on Windows through the installed
    // Access driver of the program's bitness that opens it (see
    // odbc/AccessDriver.h), or refused with a message saying what to install
    // when there is none, and refused elsewhere with a message saying how it
    // can be reached; any other file and a missing file raise an EngineError whose
    // description names the path and what it is. Nothing is ever written by
    // a refused open.
    std::shared_ptr<Database> OpenDatabase(const std::string& name, bool exclusive = false, bool readOnly = false);

private:
    Workspace workspace0_{0};
};

} // namespace engine
