#include "EngineFixture.h"

#include "engine/Database.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>

using namespace engine;

namespace {

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A Jet or ACE header: four bytes, then the engine's name.
std::string accessHeader(const std::string& name) {
    std::string bytes("\x00\x01\x00\x00", 4);
    bytes += name;
    bytes += std::string(2048, '\0');
    return bytes;
}

struct FileCase {
    const char* name;
    std::function<std::string(const std::string& validDatabase)> bytes;
    std::int32_t number;
    const char* descriptionHolds; // besides the path
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class OpenRefuses : public EngineTest, public testing::WithParamInterface<FileCase> {};

TEST_P(OpenRefuses, WithAClearError) {
    // A real database with enough rows to span many pages, as the source of truncated copies.
    db.exec("begin");
    for (int i = 0; i < 300; ++i)
        db.addRevenue("T" + std::to_string(i), "RENT", i, "2025-01-05", std::string(40, 'p'));
    db.exec("commit");
    const std::string valid = readFile(db.path());
    ASSERT_GT(valid.size(), 20000u);

    const std::string path = dir.file("other.mdb");
    writeFile(path, GetParam().bytes(valid));
    // Refused at the open itself, not at the first query.
    const auto error = errorOf([&] { dbEngine.OpenDatabase(path); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, GetParam().number) << error->description;
    EXPECT_NE(error->description.find(path), std::string::npos) << error->description;
    EXPECT_NE(error->description.find(GetParam().descriptionHolds), std::string::npos) << error->description;
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenRefuses,
    testing::Values(
        FileCase{"JetDatabase", [](const std::string&) { return accessHeader("Standard Jet DB"); }, errNotADatabase,
                 "an Access database (Standard Jet DB). This build cannot open an Access file itself: open it with the "
                 "Windows build"},
        FileCase{"AceDatabase", [](const std::string&) { return accessHeader("Standard ACE DB"); }, errNotADatabase,
                 "DatabaseLocation to \"ODBC;DSN=<data source>\""},
        FileCase{"TextFile", [](const std::string&) { return std::string("tenant,amount\nA1,100\n"); }, errNotADatabase,
                 "is not a database file"},
        FileCase{"EmptyFile", [](const std::string&) { return std::string(); }, errNotADatabase, "is empty"},
        FileCase{"HeaderOnly", [](const std::string& v) { return v.substr(0, 16); }, errNotADatabase,
                 "damaged or truncated"},
        FileCase{"CutInsideTheHeader", [](const std::string& v) { return v.substr(0, 60); }, errNotADatabase,
                 "damaged or truncated"},
        FileCase{"CutInsideTheFirstPage", [](const std::string& v) { return v.substr(0, 1000); }, errNotADatabase,
                 "damaged or truncated"},
        FileCase{"CutAfterTheFirstPage", [](const std::string& v) { return v.substr(0, 4096); }, errNotADatabase,
                 "damaged or truncated"},
        FileCase{"CutInTheMiddle", [](const std::string& v) { return v.substr(0, v.size() / 2); }, errNotADatabase,
                 "damaged or truncated"}));

TEST_F(EngineTest, MissingFileIsNotFound) {
    const std::string path = dir.file("missing.mdb");
    const auto error = errorOf([&] { dbEngine.OpenDatabase(path); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, errNotFound);
    EXPECT_EQ(error->source, engineSource);
    EXPECT_EQ(error->description, "Could not find file '" + path + "'.");
    EXPECT_FALSE(std::filesystem::exists(path)) << "the open must never create the file";
}

TEST_F(EngineTest, FolderIsNotADatabase) {
    const auto error = errorOf([&] { dbEngine.OpenDatabase(dir.path().string()); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, errNotADatabase);
}

TEST_F(EngineTest, DamagedPageFailsOnQueryWithTheSqliteError) {
    db.exec("begin");
    for (int i = 0; i < 300; ++i)
        db.addRevenue("T" + std::to_string(i), "RENT", i, "2025-01-05", std::string(40, 'p'));
    db.exec("commit");
    std::string bytes = readFile(db.path());
    // Scribble over the pages after the schema's, keeping the file's length.
    for (std::size_t i = 3 * 4096; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(0xA5);
    const std::string path = dir.file("damaged.mdb");
    writeFile(path, bytes);
    const auto error = errorOf([&] {
        auto database = dbEngine.OpenDatabase(path);
        database->OpenRecordset("select sum(amount) as s from revenues", dbOpenForwardOnly, dbReadOnly);
    });
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->number == SQLITE_CORRUPT || error->number == errNotADatabase) << error->description;
}

TEST_F(EngineTest, ValidFileOpensReadWriteAndShared) {
    db.addTenancy("A1");
    auto database = open();
    EXPECT_EQ(database->Name(), db.path());
    database->Execute("update tenancy set name = 'Changed' where reference = 'A1'");
    EXPECT_EQ(db.scalarText("select name from tenancy"), "Changed");
    // No lock is held while idle: another connection writes at once.
    db.exec("update tenancy set name = 'Again'");
    EXPECT_EQ(scalar(*database, "select name from tenancy", "name"), Variant("Again"));
}

TEST_F(EngineTest, ReadOnlyOpenRefusesWrites) {
    db.addTenancy("A1");
    auto database = dbEngine.OpenDatabase(db.path(), false, true);
    EXPECT_EQ(errorNumberOf([&] { database->Execute("update tenancy set name = 'x'"); }), SQLITE_READONLY);
    EXPECT_EQ(db.scalarText("select name from tenancy"), "A Tenant");
}

TEST_F(EngineTest, OnlyWorkspaceZero) {
    EXPECT_EQ(dbEngine.Workspaces(0).index(), 0);
    EXPECT_EQ(&dbEngine.Workspaces(0), &dbEngine.Workspaces(0));
    EXPECT_EQ(errorNumberOf([&] { dbEngine.Workspaces(1); }), errNoSuchField);
}

} // namespace
