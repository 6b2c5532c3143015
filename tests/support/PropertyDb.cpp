#include "PropertyDb.h"

#include "OdbcSession.h"
#include "tools/PropertySchema.h"

#ifdef HABITORIUM_HAVE_SQLITE
#include <sqlite3.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

#ifdef HABITORIUM_HAVE_SQLITE
void check(sqlite3* db, int rc, const std::string& what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const std::string& sql) {
        check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), sql);
    }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement& text(int i, const std::string& v) {
        sqlite3_bind_text(stmt, i, v.c_str(), -1, SQLITE_TRANSIENT);
        return *this;
    }
    Statement& real(int i, double v) {
        sqlite3_bind_double(stmt, i, v);
        return *this;
    }
};

#endif

std::string literal(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string number(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// A stored date as the SQLite form writes it: "YYYY-MM-DD" for a date alone.
std::string dateText(const std::string& text) {
    if (text.size() == 19 && text.compare(10, 9, " 00:00:00") == 0)
        return text.substr(0, 10);
    return text;
}

} // namespace

PropertyDb::PropertyDb(Backend backend, std::string path, const std::string& rentGroup)
    : PropertyDb(backend == Backend::Postgres ? std::string() : std::move(path), rentGroup, backend) {}

PropertyDb::PropertyDb(std::string path, const std::string& rentGroup)
    : PropertyDb(std::move(path), rentGroup, Backend::Sqlite) {}

PropertyDb::PropertyDb(std::string path, const std::string& rentGroup, Backend backend)
    : path_(std::move(path)), backend_(backend) {
    if (backend == Backend::Postgres) {
        connection_ = postgresConnection();
        location_ = "ODBC;" + connection_;
        odbc_ = std::make_unique<OdbcSession>(connection_);
        odbc_->exec(property_schema::postgresDropTables);
        odbc_->exec(property_schema::postgresTableDefinitions);
        odbc_->exec(property_schema::postgresIndexDefinitions);
        odbc_->exec("insert into options (company_name, rent_group) values ('Test Lettings', " + literal(rentGroup) +
                    ")");
        return;
    }
    location_ = path_;
    if (backend == Backend::SqliteOdbc) {
        connection_ = sqliteOdbcConnection(path_);
        location_ = "ODBC;" + connection_;
    }
    std::filesystem::remove(path_);
#ifdef HABITORIUM_HAVE_SQLITE
    check(db_, sqlite3_open(path_.c_str(), &db_), "open " + path_);
    exec(property_schema::createTables);
    Statement s(db_, "insert into options (company_name, rent_group) values ('Test Lettings', ?)");
    s.text(1, rentGroup);
    check(db_, sqlite3_step(s.stmt), "options");
#else
    // A build without SQLite (the Windows one) makes the file through the
    // SQLite ODBC driver, one statement at a time.
    if (backend != Backend::SqliteOdbc)
        throw std::runtime_error("This build has no SQLite: only the ODBC backends can be tested.");
    odbc_ = std::make_unique<OdbcSession>(connection_);
    const std::string tables = property_schema::createTables;
    for (std::size_t start = 0, end; start < tables.size(); start = end + 1) {
        end = std::min(tables.find(';', start), tables.size());
        if (tables.find_first_not_of(" \r\n", start) < end)
            odbc_->exec(tables.substr(start, end - start));
    }
    odbc_->exec("insert into options (company_name, rent_group) values ('Test Lettings', " + literal(rentGroup) + ")");
#endif
}

PropertyDb::~PropertyDb() {
#ifdef HABITORIUM_HAVE_SQLITE
    sqlite3_close_v2(db_);
#endif
}

void PropertyDb::exec(const std::string& sql) {
    if (odbc_) {
        odbc_->exec(sql);
        return;
    }
#ifdef HABITORIUM_HAVE_SQLITE
    char* error = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error ? error : "";
    sqlite3_free(error);
    if (rc != SQLITE_OK)
        throw std::runtime_error(sql + ": " + message);
#endif
}

void PropertyDb::insert(const std::string& sql, const std::vector<std::string>& values) {
    std::string text = sql.substr(0, sql.find("values")) + "values (";
    for (std::size_t i = 0; i < values.size(); ++i)
        text += (i ? ", " : "") + values[i];
    odbc_->exec(text + ")");
}

void PropertyDb::addTenancy(const std::string& reference, const std::string& name, const std::string& property,
                            const std::string& started) {
    if (odbc_)
        return insert("insert into tenancy (reference, name, \"property code\", \"when started\") values",
                      {literal(reference), literal(name), literal(property), literal(started)});
#ifdef HABITORIUM_HAVE_SQLITE
    Statement s(db_, "insert into tenancy (reference, name, [property code], [when started]) values (?, ?, ?, ?)");
    s.text(1, reference).text(2, name).text(3, property).text(4, started);
    check(db_, sqlite3_step(s.stmt), "tenancy");
#endif
}

void PropertyDb::addGlCode(const std::string& code, bool paysExtraCharges) {
    if (odbc_)
        return insert("insert into glcodes (gl_code, description, pay_extra_charges) values",
                      {literal(code), "'code'", paysExtraCharges ? "-1" : "0"});
#ifdef HABITORIUM_HAVE_SQLITE
    Statement s(db_, "insert into glcodes (gl_code, description, pay_extra_charges) values (?, 'code', ?)");
    s.text(1, code).real(2, paysExtraCharges ? -1 : 0);
    check(db_, sqlite3_step(s.stmt), "glcodes");
#endif
}

void PropertyDb::addRevenue(const std::string& tenant, const std::string& group, double amount, const std::string& date,
                            const std::string& property) {
    if (odbc_)
        return insert("insert into revenues (tenant_code, \"revenue group\", amount, date, \"property code\") values",
                      {literal(tenant), literal(group), number(amount), literal(date), literal(property)});
#ifdef HABITORIUM_HAVE_SQLITE
    Statement s(db_, "insert into revenues (tenant_code, [revenue group], amount, date, [property code]) "
                     "values (?, ?, ?, ?, ?)");
    s.text(1, tenant).text(2, group).real(3, amount).text(4, date).text(5, property);
    check(db_, sqlite3_step(s.stmt), "revenues");
#endif
}

void PropertyDb::addPeriod(const PeriodRow& row) {
    if (odbc_)
        return insert("insert into rent_periods (tenant_code, period_from, rent_due, paid, extra_charges, "
                      "extra_charges_paid) values",
                      {literal(row.tenant), literal(row.periodFrom), number(row.rentDue), number(row.paid),
                       number(row.extraCharges), number(row.extraChargesPaid)});
#ifdef HABITORIUM_HAVE_SQLITE
    Statement s(db_, "insert into rent_periods (tenant_code, period_from, rent_due, paid, extra_charges, "
                     "extra_charges_paid) values (?, ?, ?, ?, ?, ?)");
    s.text(1, row.tenant).text(2, row.periodFrom).real(3, row.rentDue).real(4, row.paid);
    s.real(5, row.extraCharges).real(6, row.extraChargesPaid);
    check(db_, sqlite3_step(s.stmt), "rent_periods");
#endif
}

void PropertyDb::addPeriod(const std::string& tenant, const std::string& from, double rentDue, double paid,
                           double extraCharges, double extraChargesPaid) {
    addPeriod(PeriodRow{tenant, from, rentDue, paid, extraCharges, extraChargesPaid});
}

void PropertyDb::addCharge(const std::string& tenant, const std::string& from, double value) {
    if (odbc_)
        return insert("insert into rent_periods_charges (tenantcode, period_from, description, value) values",
                      {literal(tenant), literal(from), "'charge'", number(value)});
#ifdef HABITORIUM_HAVE_SQLITE
    Statement s(db_, "insert into rent_periods_charges (tenantcode, period_from, description, value) "
                     "values (?, ?, 'charge', ?)");
    s.text(1, tenant).text(2, from).real(3, value);
    check(db_, sqlite3_step(s.stmt), "rent_periods_charges");
#endif
}

std::vector<PeriodRow> PropertyDb::query(const std::string& sql, const std::string& tenant, bool bindTenant) {
    if (odbc_) {
        std::string text = sql;
        if (bindTenant)
            text.replace(text.find('?'), 1, literal(tenant));
        std::vector<PeriodRow> rows;
        for (const auto& r : odbc_->rows(text)) {
            auto value = [&](std::size_t i) { return r[i] ? std::strtod(r[i]->c_str(), nullptr) : 0.0; };
            rows.push_back({r[0].value_or(""), dateText(r[1].value_or("")), value(2), value(3), value(4), value(5)});
        }
        return rows;
    }
#ifdef HABITORIUM_HAVE_SQLITE
    Statement s(db_, sql);
    if (bindTenant)
        s.text(1, tenant);
    std::vector<PeriodRow> rows;
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        auto text = [&](int i) {
            const unsigned char* t = sqlite3_column_text(s.stmt, i);
            return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
        };
        rows.push_back({text(0), text(1), sqlite3_column_double(s.stmt, 2), sqlite3_column_double(s.stmt, 3),
                        sqlite3_column_double(s.stmt, 4), sqlite3_column_double(s.stmt, 5)});
    }
    check(db_, rc, sql);
    return rows;
#else
    return {};
#endif
}

std::vector<PeriodRow> PropertyDb::periods(const std::string& tenant) {
    if (backend_ == Backend::Postgres)
        return query("select tenant_code, period_from, rent_due, paid, extra_charges, extra_charges_paid "
                     "from rent_periods where tenant_code::text = ? order by period_from",
                     tenant, true);
    return query("select tenant_code, period_from, rent_due, paid, extra_charges, extra_charges_paid "
                 "from rent_periods where tenant_code = ? collate binary order by period_from",
                 tenant, true);
}

std::vector<PeriodRow> PropertyDb::allPeriods() {
    if (backend_ == Backend::Postgres)
        return query("select tenant_code, period_from, rent_due, paid, extra_charges, extra_charges_paid "
                     "from rent_periods order by id",
                     {}, false);
    return query("select tenant_code, period_from, rent_due, paid, extra_charges, extra_charges_paid "
                 "from rent_periods order by rowid",
                 {}, false);
}

std::string PropertyDb::scalarText(const std::string& sql) {
    if (odbc_) {
        const auto rows = odbc_->rows(sql);
        return rows.empty() || rows[0].empty() ? std::string() : rows[0][0].value_or("");
    }
#ifdef HABITORIUM_HAVE_SQLITE
    Statement s(db_, sql);
    int rc = sqlite3_step(s.stmt);
    check(db_, rc, sql);
    if (rc != SQLITE_ROW)
        return {};
    const unsigned char* t = sqlite3_column_text(s.stmt, 0);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
#else
    return {};
#endif
}

std::vector<std::string> TableRows(const std::string& path, const std::string& table) {
#ifndef HABITORIUM_HAVE_SQLITE
    // The Windows build's helpers read SQLite files through ODBC only.
    throw std::runtime_error("TableRows(" + path + ", " + table + "): this build's test helpers have no SQLite");
#else
    sqlite3* db = nullptr;
    check(db, sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), "open " + path);
    std::vector<std::string> rows;
    {
        // quote() writes a real with all its digits, text between apostrophes, NULL as NULL.
        Statement columns(db, "select group_concat('quote(\"' || name || '\")', ' || ''|'' || ') from "
                              "pragma_table_info('" +
                                  table + "')");
        check(db, sqlite3_step(columns.stmt), "columns of " + table);
        const std::string list = reinterpret_cast<const char*>(sqlite3_column_text(columns.stmt, 0));
        Statement select(db, "select " + list + " from \"" + table + "\" order by rowid");
        int rc;
        while ((rc = sqlite3_step(select.stmt)) == SQLITE_ROW)
            rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(select.stmt, 0)));
        check(db, rc, "rows of " + table);
    }
    sqlite3_close(db);
    return rows;
#endif
}

void RunSql(const std::string& path, const std::string& sql) {
#ifndef HABITORIUM_HAVE_SQLITE
    static_cast<void>(sql);
    throw std::runtime_error("RunSql(" + path + "): this build's test helpers have no SQLite");
#else
    sqlite3* db = nullptr;
    check(db, sqlite3_open(path.c_str(), &db), "open " + path);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string why = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error("RunSql(" + path + "): " + why);
#endif
}
