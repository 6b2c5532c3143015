#pragma once
// Small property databases for tests, written and read with SQLite directly
// or with plain ODBC calls (not through the tool's engine), so a test checks
// the tool against what the database holds.

#include "Backends.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
class OdbcSession;

struct PeriodRow {
    std::string tenant;
    std::string periodFrom;
    double rentDue = 0;
    double paid = 0;
    double extraCharges = 0;
    double extraChargesPaid = 0;
};

// Every row of table in the SQLite file at path, in rowid order, each as one
// text that tells every column's storage class and exact value, so two
// listings are equal only when the rows are exactly equal.
std::vector<std::string> TableRows(const std::string& path, const std::string& table);

// Runs sql on the SQLite file at path through a connection of its own, as
// another program does; raises std::runtime_error with SQLite's reason.
void RunSql(const std::string& path, const std::string& sql);

class PropertyDb {
public:
    // Creates the tables at path (an existing file is replaced), with one
    // options row holding rentGroup.
    explicit PropertyDb(std::string path, const std::string& rentGroup = "RENT");
    // The same tables on backend: an SQLite file at path (opened directly or
    // through its ODBC driver), or the tests' PostgreSQL database (path
    // unused; its tables are made afresh).
    PropertyDb(Backend backend, std::string path, const std::string& rentGroup = "RENT");
    ~PropertyDb();
    PropertyDb(const PropertyDb&) = delete;
    PropertyDb& operator=(const PropertyDb&) = delete;

    const std::string& path() const { return path_; }
    // What the engine opens: the path, or "ODBC;<connection string>".
    const std::string& location() const { return location_; }
    Backend backend() const { return backend_; }
    // The ODBC connection string of the database (empty for SQLite directly).
    const std::string& connectionString() const { return connection_; }

    void exec(const std::string& sql);
    void addTenancy(const std::string& reference, const std::string& name = "A Tenant",
                    const std::string& property = "P1", const std::string& started = "2025-01-01");
    void addGlCode(const std::string& code, bool paysExtraCharges);
    void addRevenue(const std::string& tenant, const std::string& group, double amount,
                    const std::string& date = "2025-01-05", const std::string& property = "P1");
    void addPeriod(const PeriodRow& row);
    void addPeriod(const std::string& tenant, const std::string& from, double rentDue, double paid = 0,
                   double extraCharges = 0, double extraChargesPaid = 0);
    void addCharge(const std::string& tenant, const std::string& from, double value);

    // The tenant's periods, earliest first.
    std::vector<PeriodRow> periods(const std::string& tenant);
    // Every period of every tenant, in file order.
    std::vector<PeriodRow> allPeriods();
    std::string scalarText(const std::string& sql);

private:
    std::vector<PeriodRow> query(const std::string& sql, const std::string& tenant, bool bindTenant);
    void insert(const std::string& sql, const std::vector<std::string>& values);
    PropertyDb(std::string path, const std::string& rentGroup, Backend backend);

    std::string path_;
    std::string location_;
    std::string connection_;
    Backend backend_ = Backend::Sqlite;
    sqlite3* db_ = nullptr;
    std::unique_ptr<OdbcSession> odbc_; // the PostgreSQL database
};
