#pragma once
// The SQLite backend's reading of statement texts, kept. A text is translated
// from the Jet dialect, tokenised, counted and shaped (SqlShape.h) once; the
// tool's texts differ from tenant to tenant only in their quoted values, so a
// text whose quoted values alone are new is read from the reading of its
// pattern (the text with its quoted values left out) with the values put in.
//
// That stands on what the translation and the shaping do with a quoted value:
// the translation copies it as it is, and the shaping takes it as one value
// wherever it stands, whatever it holds. A pattern whose shape keeps a quoted
// value in its text (a value in a list of result columns, say) is not used;
// such a text is read afresh each time it is new.

#include "engine/sqlite/SqlShape.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace engine {

struct StatementText {
    std::string text; // translated from the Jet dialect
    std::size_t statements = 0;
    bool plainReadOrWrite = false; // a select, update, insert, delete, replace or with
    SqlShape shape;                // when the text holds one statement
};

class StatementTexts {
public:
    // The reading of jetSql; valid until the next call.
    const StatementText& read(const std::string& jetSql);

    // The reading of jetSql worked out from the start.
    static StatementText readAfresh(const std::string& jetSql);

    // How many texts and patterns are kept before they are forgotten.
    static constexpr std::size_t capacity = 64;

private:
    // A pattern's reading: for each value of its shape, the quoted value of
    // the text it stands for (or -1: a value of the pattern itself), and where
    // each quoted value stands in the translated text; usable when each quoted
    // value stands there once and is one parameter of the shape.
    struct Pattern {
        bool usable = false;
        StatementText reading;
        std::vector<int> valueOf;
        std::vector<std::pair<std::size_t, std::size_t>> placeIn; // begin, end in reading.text, by quoted value
    };
    const Pattern& pattern(const std::string& key, std::size_t quotedValues);

    std::unordered_map<std::string, StatementText> texts_;
    std::unordered_map<std::string, Pattern> patterns_;
};

} // namespace engine
