#pragma once
// Small property databases for tests, written and read with SQLite directly
// (not through the tool's engine), so a test checks the tool against the file.

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

struct PeriodRow {
    std::string tenant;
    std::string periodFrom;
    double rentDue = 0;
    double paid = 0;
    double extraCharges = 0;
    double extraChargesPaid = 0;
};

class PropertyDb {
public:
    // Creates the tables at path (an existing file is replaced), with one
    // options row holding rentGroup.
    explicit PropertyDb(std::string path, const std::string& rentGroup = "RENT");
    ~PropertyDb();
    PropertyDb(const PropertyDb&) = delete;
    PropertyDb& operator=(const PropertyDb&) = delete;

    const std::string& path() const { return path_; }

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

    std::string path_;
    sqlite3* db_ = nullptr;
};
