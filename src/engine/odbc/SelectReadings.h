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
// whatever it holds, or stays in its text. A value that stays in the text (in
// a group by, say) is put in its pattern as it is, so that texts holding it
// share a pattern; a pattern whose markers are not each one parameter is not
// used, and such a text is read afresh each time.

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
    // A pattern's reading; for each of its parameters the quoted value of
    // the text it stands for (-1: a value of the pattern's own); and the
    // quoted values whose markers stayed in its text, which a pattern of the
    // text with those values put in takes as its own.
    struct Pattern {
        bool usable = false;
        SelectReading reading;
        std::vector<int> valueOf;
        std::vector<bool> kept;
    };
    // The pattern of key, whose quoted values are markers but for those
    // asTheyAre names.
    const Pattern& pattern(const std::string& key, const std::vector<bool>& asTheyAre);

    ReadAfresh afresh_;
    std::unordered_map<std::string, Pattern> patterns_;
};

} // namespace engine::odbc
