#pragma once
// The ODBC backend's reading of the read-only selects it sends to a server,
// kept. A select is read (tokenised, checked, translated, its quoted values
// made parameters) once; the tool's selects differ from tenant to tenant only
// in their quoted values, so a text whose quoted values alone are new is read
// from the reading of its pattern (the text with each quoted value replaced by
// a marker) with its own values in the markers' parameters.
//
// That stands on what the reading does with a quoted value: it is copied by
// the translation as it is, and either becomes one parameter of the select
// whatever it holds, or stays in its text. A pattern one of whose markers is
// not exactly one parameter (a value in a group by stays in the text, say) is
// not used; such a text is read afresh each time.

#include "engine/Variant.h"

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace engine::odbc {

struct SelectReading {
    std::vector<std::string> tablesRead; // see tablesRead in OdbcConnection.cpp
    std::string text;                    // as sent, each parameter a "?"
    std::vector<Variant> values;         // the parameters, in order
};

// The reading of a read-only select of the tool as PostgreSQL is sent it,
// from the start: raises for one that a recordset cannot stand on.
// (OdbcConnection.cpp, where the reading's parts are.)
SelectReading ReadPostgresSelect(const std::string& jetSql);

class SelectReadings {
public:
    // afresh reads a select from the start, raising for one that a recordset
    // cannot stand on.
    using ReadAfresh = std::function<SelectReading(const std::string& jetSql)>;
    explicit SelectReadings(ReadAfresh afresh) : afresh_(std::move(afresh)) {}

    // The reading of jetSql, as afresh gives it; raises what afresh raises.
    SelectReading read(const std::string& jetSql);

    // How many patterns are kept before they are forgotten.
    static constexpr std::size_t capacity = 64;

private:
    // A pattern's reading, and for each of its parameters the quoted value
    // of the text it stands for (-1: a value of the pattern's own).
    struct Pattern {
        bool usable = false;
        SelectReading reading;
        std::vector<int> valueOf;
    };

    ReadAfresh afresh_;
    std::unordered_map<std::string, Pattern> patterns_;
};

} // namespace engine::odbc
