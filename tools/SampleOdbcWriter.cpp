#include "SampleOdbcWriter.h"

#include "PropertySchema.h"
#include "SampleWriter.h"

#include "engine/ConnectionText.h"
#include "engine/odbc/Odbc.h"
#include "engine/odbc/OdbcDialect.h"

#include <cstdio>
#include <functional>

namespace sample {

namespace {

using namespace engine::odbc;

// Rows per insert statement: large enough that the round trips do not count.
constexpr std::size_t rowsPerInsert = 500;

class Session {
public:
    explicit Session(const std::string& connectionString) : shown_(engine::MaskPassword("ODBC;" + connectionString)) {
        env_ = allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        Handle dbc = allocate(SQL_HANDLE_DBC, env_.get());
        std::u16string text = toWide(connectionString);
        const SQLRETURN rc =
            SQLDriverConnectW(dbc.get(), nullptr, wideArg(text), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            const std::string message = odbcError(SQL_HANDLE_DBC, dbc.get(), "connect").description;
            SQLFreeHandle(SQL_HANDLE_DBC, dbc.release());
            throw SampleWriteError("cannot connect to " + shown_ + ": " + message);
        }
        dbc_ = std::move(dbc);
        SQLWCHAR dbms[256] = {};
        SQLSMALLINT length = 0;
        SQLGetInfoW(dbc_.get(), SQL_DBMS_NAME, dbms, sizeof dbms, &length);
        dbmsName_ = fromWide(dbms, static_cast<std::size_t>(length) / sizeof(SQLWCHAR));
    }

    const std::string& dbmsName() const { return dbmsName_; }
    const std::string& shown() const { return shown_; }

    // Runs sql; the driver's message on failure, empty on success.
    std::string tryRun(const std::string& sql) {
        Handle stmt = allocate(SQL_HANDLE_STMT, dbc_.get());
        std::u16string text = toWide(sql);
        const SQLRETURN rc = SQLExecDirectW(stmt.get(), wideArg(text), SQL_NTS);
        if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
            return {};
        return odbcError(SQL_HANDLE_STMT, stmt.get(), "SQLExecDirect").description;
    }
    void run(const std::string& sql, const std::string& doing) {
        const std::string message = tryRun(sql);
        if (!message.empty())
            throw SampleWriteError(doing + " in " + shown_ + ": " + message);
    }
    void autocommit(bool on) {
        const auto value = static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
        SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0);
    }
    void end(bool commit) {
        if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), commit ? SQL_COMMIT : SQL_ROLLBACK)) && commit)
            throw SampleWriteError("committing the sample in " + shown_ + ": " +
                                   odbcError(SQL_HANDLE_DBC, dbc_.get(), "SQLEndTran").description);
    }

private:
    std::string shown_;
    std::string dbmsName_;
    Handle env_;
    Handle dbc_;
};

std::string text(const std::string& value) {
    std::string out = "'";
    for (char c : value)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string date(Day day) {
    return "'" + isoDate(day) + "'";
}

// Pence as an exact decimal: 65000 is 650.00.
std::string money(Cents cents) {
    char buffer[32];
    const unsigned long long magnitude =
        cents < 0 ? 0ULL - static_cast<unsigned long long>(cents) : static_cast<unsigned long long>(cents);
    std::snprintf(buffer, sizeof buffer, "%s%llu.%02llu", cents < 0 ? "-" : "", magnitude / 100, magnitude % 100);
    return buffer;
}

std::string lowerCase(std::string value) {
    for (char& c : value) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return value;
}

// Inserts count rows, rowsPerInsert to a statement; row(i) gives the
// parenthesised values of row i.
void insertRows(Session& session, const std::string& head, std::size_t count,
                const std::function<std::string(std::size_t)>& row, const char* what) {
    std::string sql;
    for (std::size_t i = 0; i < count; ++i) {
        sql += sql.empty() ? head + " values " : ", ";
        sql += row(i);
        if ((i + 1) % rowsPerInsert == 0 || i + 1 == count) {
            session.run(sql, std::string("writing the ") + what);
            sql.clear();
        }
    }
}

} // namespace

void writeSampleOdbc(const SampleData& data, const std::string& connectionString, bool replace) {
    Session session(connectionString);
    const Dialect dialect = DialectOf(session.dbmsName());
    const bool postgres = dialect == Dialect::PostgreSql;
    if (!postgres && dialect != Dialect::Sqlite)
        throw SampleWriteError(session.shown() + " is a " + session.dbmsName() +
                               " database; the sample's tables are written for PostgreSQL and SQLite only.");
    // Names with spaces as the database quotes them.
    auto q = [&](const std::string& name) { return QuoteName(dialect, name); };

    if (session.tryRun("select count(*) from rent_periods").empty()) {
        if (!replace)
            throw SampleWriteError(session.shown() +
                                   " already holds a property database (table rent_periods); --force replaces it");
    }
    session.autocommit(false);
    try {
        if (postgres) {
            session.run(property_schema::postgresDropTables, "dropping the old tables");
            session.run(property_schema::postgresTableDefinitions, "creating the tables");
        } else {
            for (const char* table :
                 {"tenancy", "options", "glcodes", "revenues", "rent_periods", "rent_periods_charges"})
                session.run(std::string("drop table if exists ") + table, "dropping the old tables");
            // The SQLite driver runs one statement at a time.
            const std::string tables = property_schema::tableDefinitions;
            std::size_t start = 0;
            for (std::size_t end; (end = tables.find(';', start)) != std::string::npos; start = end + 1)
                session.run(tables.substr(start, end - start), "creating the tables");
        }

        session.run("insert into options (company_name, rent_group) values (" + text(companyName) + ", " +
                        text(rentGroup) + ")",
                    "writing the options");
        insertRows(
            session, "insert into glcodes (gl_code, description, pay_extra_charges)", ledgerCodes.size(),
            [&](std::size_t i) {
                const LedgerCode& code = ledgerCodes[i];
                return "(" + text(code.code) + ", " + text(code.description) + ", " +
                       (code.paysExtraCharges ? "-1" : "0") + ")";
            },
            "ledger codes");
        insertRows(
            session,
            "insert into tenancy (reference, name, " + q("property code") + ", " + q("when started") + ", " +
                q("when ended") + ")",
            data.tenancies.size(),
            [&](std::size_t i) {
                const Tenancy& row = data.tenancies[i];
                return "(" + text(row.reference) + ", " + text(row.name) + ", " +
                       text(data.properties[row.property].code) + ", " + date(row.started) + ", " +
                       (row.ended ? date(*row.ended) : "null") + ")";
            },
            "tenancies");
        insertRows(
            session,
            "insert into rent_periods (tenant_code, period_from, period_to, rent_due, paid, extra_charges, "
            "extra_charges_paid)",
            data.periods.size(),
            [&](std::size_t i) {
                const PeriodRow& row = data.periods[i];
                return "(" + text(data.tenancies[row.tenant].reference) + ", " + date(row.from) + ", " + date(row.to) +
                       ", " + money(row.rentDue) + ", " + money(row.paid) + ", " + money(row.extraCharges) + ", " +
                       money(row.extraChargesPaid) + ")";
            },
            "rent periods");
        insertRows(
            session, "insert into rent_periods_charges (tenantcode, period_from, description, value)",
            data.charges.size(),
            [&](std::size_t i) {
                const ChargeRow& row = data.charges[i];
                return "(" + text(data.tenancies[row.tenant].reference) + ", " + date(row.periodFrom) + ", " +
                       text(data.texts.text(row.description)) + ", " + money(row.value) + ")";
            },
            "period charges");
        insertRows(
            session,
            "insert into revenues (tenant_code, " + q("revenue group") + ", amount, date, " + q("property code") +
                ", description)",
            data.revenues.size(),
            [&](std::size_t i) {
                const RevenueRow& row = data.revenues[i];
                const std::string& reference = data.tenancies[row.tenant].reference;
                return "(" + text(row.lowerCaseCode ? lowerCase(reference) : reference) + ", " +
                       text(ledgerCode(row.ledger).code) + ", " + money(row.amount) + ", " + date(row.date) + ", " +
                       text(data.properties[row.property].code) + ", " + text(data.texts.text(row.description)) + ")";
            },
            "revenues");

        const std::string indexes =
            postgres ? property_schema::postgresIndexDefinitions : property_schema::indexDefinitions;
        std::size_t start = 0;
        for (std::size_t end; (end = indexes.find(';', start)) != std::string::npos; start = end + 1)
            session.run(indexes.substr(start, end - start), "creating the indexes");
        if (postgres)
            session.run("analyze", "gathering statistics");
        session.end(true);
    } catch (...) {
        session.end(false);
        throw;
    }
    session.autocommit(true);
}

} // namespace sample
