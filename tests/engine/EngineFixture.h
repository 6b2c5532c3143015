#pragma once
// A small property database in a temporary folder, opened through the engine
// and, beside it, through SQLite directly (PropertyDb) to check the file.

#include "Backends.h"
#include "PropertyDb.h"
#include "Recorders.h"

#include "engine/DBEngine.h"
#include "engine/EngineError.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The EngineError that f raises, or nothing.
inline std::optional<engine::EngineError> errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const engine::EngineError& e) {
        return e;
    }
    return std::nullopt;
}

inline std::int32_t errorNumberOf(const std::function<void()>& f) {
    const auto e = errorOf(f);
    return e ? e->number : 0;
}

class EngineTest : public testing::Test {
protected:
    TempDir dir;
    PropertyDb db{dir.file("property.mdb")};
    engine::DBEngine dbEngine;

    std::shared_ptr<engine::Database> open() { return dbEngine.OpenDatabase(db.path()); }

    // The single value of the first row of a read-only query.
    engine::Variant scalar(engine::Database& database, const std::string& sql, const std::string& field) {
        auto rs = database.OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
        EXPECT_FALSE(rs->Eof()) << sql;
        return rs->Eof() ? engine::Variant() : rs->Fields(field).Value();
    }
};

// The same, on each backend in turn (a test parameter): the tables made on
// the backend, opened through the engine by their location.
class BackendTest : public testing::TestWithParam<Backend> {
protected:
    TempDir dir;
    PropertyDb db{GetParam(), dir.file("property.mdb")};
    engine::DBEngine dbEngine;

    BackendTraits traits() const { return traitsOf(GetParam()); }
    std::shared_ptr<engine::Database> open() { return dbEngine.OpenDatabase(db.location()); }

    engine::Variant scalar(engine::Database& database, const std::string& sql, const std::string& field) {
        auto rs = database.OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
        EXPECT_FALSE(rs->Eof()) << sql;
        return rs->Eof() ? engine::Variant() : rs->Fields(field).Value();
    }
};

// Runs the suite's TEST_Ps once per backend, named after it.
#define INSTANTIATE_FOR_EVERY_BACKEND(suite)                                                                           \
    INSTANTIATE_TEST_SUITE_P(Backends, suite, testing::ValuesIn(allBackends()),                                        \
                             [](const testing::TestParamInfo<Backend>& info) { return backendName(info.param); })
