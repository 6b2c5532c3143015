// "Check All" against the real repair, on every tenant of the sample: the
// tenants it lists are exactly those whose rows the repair their figures call
// for changes, and every figure it gives is the caption the window shows.
// Then the button and its list window as a user meets them: the rows, their
// sorting, a double-click, Ctrl+C, Save as CSV, and "Fix these".

#include "Programs.h"
#include "PropertyDb.h"
#include "WindowHarness.h"

#include "database/SqlText.h"
#include "engine/NumberText.h"
#include "engine/sqlite/SqliteConnection.h"
#include "frmmain/frmCheckAll.h"
#include "general/Lookup.h"
#include "general/TextForm.h"
#include "rent/CheckAll.h"
#include "rent/CheckCsv.h"
#include "rent/ListFigures.h"
#include "rent/TenantFigures.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

#include <sqlite3.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace {

// The sample as generated, and with periods the check cannot take in the
// order the table holds them: stored latest first, one under another spelling
// of its tenant stored last, the latest start held twice (the period stored
// first in the form with a time, which the database puts second, so that the
// rent falls short on the other), a start with a time of day.
struct SampleCase {
    const char* what;
    const char* change; // SQL run on the sample first
};
const SampleCase sampleCases[] = {
    {"as generated", ""},
    {"periods stored out of order",
     "create temp table moved as select * from rent_periods where tenant_code in ('HAR001', 'KHA001');"
     "delete from rent_periods where tenant_code in ('HAR001', 'KHA001');"
     "insert into rent_periods (tenant_code, period_from, period_to, rent_due, paid, extra_charges, "
     "extra_charges_paid) select case when id = (select min(id) from moved where tenant_code = 'KHA001') then "
     "'kha001' else tenant_code end, period_from, period_to, rent_due, paid, extra_charges, extra_charges_paid "
     "from moved order by tenant_code = 'KHA001' and id = (select min(id) from moved where tenant_code = 'KHA001'), "
     "period_from desc;"
     "create temp table latest as select max(id) as id from rent_periods where tenant_code = 'DAV001';"
     "insert into rent_periods (tenant_code, period_from, period_to, rent_due, paid, extra_charges, "
     "extra_charges_paid) select tenant_code, period_from, period_to, rent_due, 0, 0, 0 from rent_periods "
     "where id = (select id from latest);"
     "update rent_periods set period_from = period_from || ' 00:00:00' where id = (select id from latest);"
     "update rent_periods set period_from = period_from || ' 12:00:00' where id = (select max(id) from "
     "rent_periods where tenant_code = 'CLA001');"},
    // The first rent transaction among rows of the property under another
    // spelling, with a time of day, and without a date.
    {"rent on the property under another spelling, a time of day, no date",
     "update revenues set [property code] = lower([property code]), date = date || ' 23:00:00' where id = "
     "(select id from revenues where tenant_code = 'BRO001' and [revenue group] = 'RENT' order by date limit 1);"
     "update revenues set date = null where id = (select id from revenues where tenant_code = 'DAV001' and "
     "[revenue group] = 'RENT' order by date limit 1);"
     "update revenues set date = substr(date, 1, 10) || ' 00:00:00' where tenant_code = 'ROB001';"},
};

void checkAgreesWithTheRealRepair(const SampleCase& sampleCase);

// A statement run by another user of the database, committed.
void otherUserWrites(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST(CheckAll, AgreesWithTheRealRepairOnEveryTenantOfTheSample) {
    for (const SampleCase& sampleCase : sampleCases) {
        SCOPED_TRACE(sampleCase.what);
        checkAgreesWithTheRealRepair(sampleCase);
    }
}

std::string sampleOf(const TempDir& dir, const SampleCase& sampleCase) {
    const std::string path = dir.file("property.mdb");
    const std::string generate = ProgramCommand(HABITORIUM_SAMPLE_DB) + " \"" + path + "\" >/dev/null";
    EXPECT_EQ(std::system(generate.c_str()), 0) << generate;
    if (*sampleCase.change) {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sampleCase.change, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
    return path;
}

void checkAgreesWithTheRealRepair(const SampleCase& sampleCase) {
    TempDir dir;
    const std::string path = sampleOf(dir, sampleCase);
    const auto original = TableRows(path, "rent_periods");

    WindowHarness h(dir.path().string());
    frmMain& form = h.open(path);
    std::vector<std::string> tenants;
    for (int i = 0; i < form.Combo1->listCount(); ++i)
        tenants.push_back(form.Combo1->list(i));
    ASSERT_GE(tenants.size(), 17u);
    const rent::CheckResult result =
        rent::CheckAll(*form.database().CurrentDatabase, tenants, {form.rentGroup, form.extraChargeCodes}, h.locale);
    // Nothing was written by the check.
    EXPECT_EQ(TableRows(path, "rent_periods"), original);
    EXPECT_EQ(result.tenants, static_cast<int>(tenants.size()));
    EXPECT_FALSE(result.stopped);
    std::map<std::string, rent::TenantCheck> listed;
    for (const rent::TenantCheck& c : result.listed)
        listed[c.tenant] = c;

    std::set<std::string> changedByRepair;
    int periodsChanged = 0;
    for (int i = 0; i < static_cast<int>(tenants.size()); ++i) {
        const std::string tenant = tenants[static_cast<std::size_t>(i)];
        SCOPED_TRACE(tenant);
        form.SetListIndex(i);
        const std::vector<std::string> shown = {
            form.Label6->caption(),  form.Label7->caption(),  form.Label20->caption(), form.Label19->caption(),
            form.Label21->caption(), form.Label22->caption(), form.Label14->caption()};
        const bool rebuild = shown[4] != shown[5];
        const auto before = TableRows(path, "rent_periods");
        if (rebuild)
            form.Command1_Click();
        else
            form.cmdFix_Click();
        const auto after = TableRows(path, "rent_periods");
        ASSERT_EQ(after.size(), before.size());
        int changed = 0;
        for (std::size_t r = 0; r < before.size(); ++r)
            changed += before[r] != after[r];
        if (changed > 0 || rebuild)
            changedByRepair.insert(tenant);
        periodsChanged += changed;

        auto found = listed.find(tenant);
        ASSERT_EQ(found != listed.end(), changed > 0 || rebuild) << changed << " rows changed";
        if (found == listed.end())
            continue;
        const rent::TenantCheck& c = found->second;
        EXPECT_TRUE(c.checked()) << c.problem;
        EXPECT_EQ((std::vector<std::string>{c.rentReceived, c.rentPaid, c.extraReceived, c.extraPaid, c.charges,
                                            c.chargesInPeriods, c.dueNow}),
                  shown);
        EXPECT_EQ(c.rebuild, rebuild);
        EXPECT_EQ(c.periodsChanged, changed);
        EXPECT_EQ(c.dueAfter, form.Label14->caption());
        EXPECT_EQ(c.name, form.Label2->caption());
    }
    EXPECT_EQ(result.periodsChanged(), periodsChanged);
    // Totals that agree with money on the wrong periods are listed; tenants
    // that agree are not.
    for (const char* tenant : {"HAR001", "LEE001", "EVA001", "MOR001", "O'NEIL01"})
        EXPECT_TRUE(listed.count(tenant)) << tenant;
    if (!*sampleCase.change) {
        for (const char* tenant : {"BRO001", "DAV001", "ROB001", "CLA001"})
            EXPECT_FALSE(listed.count(tenant)) << tenant;
    }
    EXPECT_EQ(result.summary(), std::to_string(result.disagreeing()) + " of " + std::to_string(tenants.size()) +
                                    " tenants disagree with the money received; a repair would change " +
                                    std::to_string(periodsChanged) + " of their periods.");
}

// The figures "Fix All" reads ahead for every tenant are, caption for
// caption, those the tenant's own statements give; they are let go when the
// database changes beyond the rows of a tenant the batch has said it wrote.
TEST(ListFigures, AreTheAnalysisOwnOnEveryTenantOfTheSampleUntilTheDatabaseChanges) {
    for (const SampleCase& sampleCase : sampleCases) {
        SCOPED_TRACE(sampleCase.what);
        TempDir dir;
        const std::string path = sampleOf(dir, sampleCase);
        WindowHarness h(dir.path().string());
        frmMain& form = h.open(path);
        engine::Database& db = *form.database().CurrentDatabase;
        std::vector<std::string> tenants;
        for (int i = 0; i < form.Combo1->listCount(); ++i)
            tenants.push_back(form.Combo1->list(i));
        std::optional<rent::ListFigures> figures = rent::ListFigures::Read(db, tenants, form.ledger(), h.locale);
        ASSERT_TRUE(figures);
        const auto text = [&](const engine::Variant& v, const engine::Variant& none) {
            return TextForm(ValueOrDefault(v, none), h.locale);
        };
        std::size_t known = 0;
        std::string other; // a tenant known, not BRO001
        for (const std::string& tenant : tenants) {
            SCOPED_TRACE(tenant);
            const rent::AnalysisTotals* ahead = figures->Find(db, tenant);
            if (!ahead)
                continue;
            ++known;
            if (tenant != "BRO001")
                other = tenant;
            auto rs = db.OpenRecordset("select [when started], name, [property code] from tenancy where reference = " +
                                           SqlQuote(tenant),
                                       engine::dbOpenForwardOnly, engine::dbReadOnly);
            ASSERT_FALSE(rs->Eof());
            ASSERT_TRUE(ahead->tenancy);
            const std::string property = text(rs->Fields("property code").Value(), std::string());
            EXPECT_EQ(text(ahead->tenancy->whenStarted, std::string()),
                      text(rs->Fields("when started").Value(), std::string()));
            EXPECT_EQ(text(ahead->tenancy->name, std::string()), text(rs->Fields("name").Value(), std::string()));
            EXPECT_EQ(text(ahead->tenancy->propertyCode, std::string()), property);
            const std::optional<rent::AnalysisTotals> own =
                rent::ReadAnalysisTotals(db, form.ledger(), tenant, property);
            ASSERT_TRUE(own);
            for (std::size_t i = 0; i < own->totals.size(); ++i)
                EXPECT_EQ(text(ahead->totals[i], 0), text(own->totals[i], 0)) << "total " << i;
            EXPECT_EQ(text(ahead->firstPeriod, ""), text(own->firstPeriod, ""));
            EXPECT_EQ(text(ahead->firstTransaction, ""), text(own->firstTransaction, ""));
        }
        // Only a tenant whose periods' order is in doubt is left to its own statements.
        EXPECT_GE(known + (*sampleCase.change ? 4 : 0), tenants.size());

        // A row this connection changes, not told of: every figure is let go.
        db.Execute("update rent_periods set paid = paid where tenant_code = 'BRO001'");
        EXPECT_EQ(figures->Find(db, other), nullptr);
        // Told of: only that tenant's.
        figures = rent::ListFigures::Read(db, tenants, form.ledger(), h.locale);
        ASSERT_TRUE(figures);
        db.Execute("update rent_periods set paid = paid where tenant_code = 'bro001'");
        figures->Written(db, "BRO001");
        EXPECT_EQ(figures->Find(db, "BRO001"), nullptr);
        EXPECT_NE(figures->Find(db, other), nullptr);
        // Another user's commit: every figure is let go.
        otherUserWrites(path, "update tenancy set name = name || '.' where reference = 'HAR001'");
        EXPECT_EQ(figures->Find(db, other), nullptr);
    }
}

} // namespace

namespace {

std::string makeSample(const TempDir& dir, const std::string& arguments = {}) {
    const std::string path = dir.file("property.mdb");
    const std::string generate =
        ProgramCommand(HABITORIUM_SAMPLE_DB) + " \"" + path + "\" " + arguments + " >/dev/null";
    EXPECT_EQ(std::system(generate.c_str()), 0) << generate;
    return path;
}

// A statement on the database as another user of the host application runs it.
void otherUser(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << sql;
    sqlite3_free(error);
    sqlite3_close(db);
}

// A database file that says it is not one: "Check All" then reads it as it
// reads a database server, the database adding the tables up and ordering
// the periods by itself.
class AsOnAServer : public engine::Connection {
public:
    explicit AsOnAServer(const std::string& path) : file_(path, false, true) {}
    const std::string& name() const override { return file_.name(); }
    long long execute(const std::string& sql) override { return file_.execute(sql); }
    engine::Rows query(const std::string& sql, bool editable) override { return file_.query(sql, editable); }
    void forEachRow(const std::string& sql, const engine::RowReader& row) override { file_.forEachRow(sql, row); }
    void updateRow(engine::Rows& rows, std::size_t row,
                   const std::vector<std::optional<engine::Variant>>& edits) override {
        file_.updateRow(rows, row, edits);
    }
    void beginTrans() override { file_.beginTrans(); }
    void commitTrans() override { file_.commitTrans(); }
    void rollback() override { file_.rollback(); }
    void savepoint(const std::string& name) override { file_.savepoint(name); }
    void releaseSavepoint(const std::string& name) override { file_.releaseSavepoint(name); }
    void rollbackToSavepoint(const std::string& name) override { file_.rollbackToSavepoint(name); }
    bool inTransaction() const override { return file_.inTransaction(); }
    bool supportsSavepoints() const override { return true; }
    void setBusyTimeout(int milliseconds) override { file_.setBusyTimeout(milliseconds); }

private:
    engine::SqliteConnection file_;
};

// A large sample with much for the check to meet: most tenants disagree (a
// cent paid too much, extra charges unpaid, income and charges added), rent
// due negative, an amount that is not a number or is missing, periods stored
// out of order, a start held twice or with a time of day, codes in another
// case in every table, and tenancy references longer than eight bytes;
// income that is not a number of two tenants, which the check made as on a
// database server meets in the statement of a group of 250 tenants, and then
// reads those tenants one at a time.
const char* const largeSampleChanges =
    "update rent_periods set paid = paid + 0.01 where id % 7 = 0;"
    "update rent_periods set extra_charges_paid = 0 where id % 11 = 0;"
    "update rent_periods set rent_due = -rent_due where id % 997 = 0;"
    "update revenues set amount = amount + 0.5 where id % 13 = 0;"
    "update rent_periods_charges set value = value + 1 where id % 17 = 0;"
    "update rent_periods_charges set value = null where id % 4001 = 0;"
    "update rent_periods set paid = 'x' where id % 7919 = 0;"
    "update rent_periods set period_from = period_from || ' 10:00:00' where id % 6007 = 0;"
    "insert into rent_periods (tenant_code, period_from, period_to, rent_due, paid, extra_charges, "
    "extra_charges_paid) select tenant_code, period_from, period_to, rent_due, 0, 0, 0 from rent_periods "
    "where id % 5011 = 0;"
    "create temp table reversed as select * from rent_periods where tenant_code in (select reference from "
    "tenancy where rowid % 97 = 0);"
    "delete from rent_periods where id in (select id from reversed);"
    "insert into rent_periods (tenant_code, period_from, period_to, rent_due, paid, extra_charges, "
    "extra_charges_paid) select tenant_code, period_from, period_to, rent_due, paid, extra_charges, "
    "extra_charges_paid from reversed order by period_from desc;"
    "update rent_periods set tenant_code = lower(tenant_code) where id % 41 = 0;"
    "update revenues set tenant_code = lower(tenant_code) where id % 37 = 0;"
    "update rent_periods_charges set tenantcode = lower(substr(tenantcode, 1, 2)) || substr(tenantcode, 3) "
    "where id % 43 = 0;"
    "create temp table longer as select reference from tenancy where rowid % 50 = 0;"
    "update tenancy set reference = reference || '-Long' where reference in (select reference from longer);"
    "update revenues set tenant_code = tenant_code || '-LONG' where tenant_code in (select reference from longer);"
    "update rent_periods set tenant_code = tenant_code || (case when id % 2 = 0 then '-long' else '-Long' end) "
    "where tenant_code in (select reference from longer);"
    "update rent_periods_charges set tenantcode = tenantcode || '-long' where tenantcode in (select reference "
    "from longer);"
    "update revenues set amount = 'abc' where id in (select max(id) from revenues where tenant_code in "
    "(select reference from tenancy where rowid in (5, 6)) group by tenant_code);";

// The list that --check-all writes of a large sample, every tenant read by
// whole-table scans, is byte for byte the list of the check made as on a
// server, group by group, the database adding up and ordering.
TEST(CheckAll, TheProgramsListOfALargeSampleIsTheOneTheDatabaseWorksOut) {
    TempDir dir;
    const std::string path = makeSample(dir, "--tenants 3000");
    otherUser(path, largeSampleChanges);
    const std::string registry = dir.file("registry.reg");
    {
        std::ofstream out(registry, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings]\n"
               "\"Networkable\"=dword:00000001\n\"DatabaseLocation\"=\""
            << path << "\"\n";
    }
    const std::string list = dir.file("list.csv");
    const std::string command = "HABITORIUM_REGISTRY=\"" + registry + "\" " + ProgramCommand(HABITORIUM_TOOL) +
                                " --check-all \"" + list + "\" >/dev/null";
    // Exit status 1: tenants are listed.
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << command;
    std::ifstream written(list, std::ios::binary);
    const std::string programs((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());

    WindowHarness h(dir.path().string());
    frmMain& form = h.open(path);
    std::vector<std::string> tenants;
    for (int i = 0; i < form.Combo1->listCount(); ++i)
        tenants.push_back(form.Combo1->list(i));
    engine::Database onAServer(std::make_shared<AsOnAServer>(path));
    const rent::CheckResult reference = rent::CheckAll(onAServer, tenants, form.ledger(), h.locale);
    EXPECT_GT(reference.disagreeing(), 2500);
    EXPECT_GT(reference.notChecked(), 5);
    std::ostringstream csv(std::ios::binary);
    rent::WriteCheckCsv(csv, reference);
    // Line for line, so that a difference shows where it is.
    std::istringstream a(programs), b(csv.str());
    for (int line = 1;; ++line) {
        std::string x, y;
        const bool more = static_cast<bool>(std::getline(a, x));
        const bool moreToo = static_cast<bool>(std::getline(b, y));
        if (!more && !moreToo)
            break;
        ASSERT_EQ(more ? x : "(no line)", moreToo ? y : "(no line)") << "line " << line;
    }
    EXPECT_TRUE(programs == csv.str()); // the ends of their lines too
}

void mouse(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void key(QWidget* w, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, code, modifiers);
    QApplication::sendEvent(w, &event);
}

class CheckAllWindow : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = makeSample(dir);
    WindowHarness h{dir.path().string()};
    frmMain* form = nullptr;

    void SetUp() override { form = &h.open(path); }

    std::vector<std::string> tenants() const {
        std::vector<std::string> list;
        for (int i = 0; i < form->Combo1->listCount(); ++i)
            list.push_back(form->Combo1->list(i));
        return list;
    }
    rent::CheckResult checkNow() const {
        return rent::CheckAll(*form->database().CurrentDatabase, tenants(), form->ledger(), h.locale);
    }
    // Presses Check All as a user does and returns the list it shows.
    QTreeWidget* pressCheckAll() {
        qobject_cast<QPushButton*>(h.window->control("cmdCheckAll"))->click();
        auto* list = h.window->findChild<QTreeWidget*>("lstTenants");
        if (list) {
            // Wide enough to show every heading.
            list->window()->resize(1700, 500);
            QApplication::processEvents();
        }
        return list;
    }
    std::vector<std::string> column(QTreeWidget* list, int c) const {
        std::vector<std::string> cells;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            cells.push_back(list->topLevelItem(i)->text(c).toStdString());
        return cells;
    }
    void clickHeading(QTreeWidget* list, int c) {
        QHeaderView* header = list->header();
        const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2, header->height() / 2);
        mouse(header->viewport(), QEvent::MouseButtonPress, at);
        mouse(header->viewport(), QEvent::MouseButtonRelease, at);
    }
    void doubleClickRow(QTreeWidget* list, int row) {
        const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                  QEvent::MouseButtonRelease})
            mouse(list->viewport(), type, at);
    }
    void pressButton(const char* name) {
        auto* button = h.window->findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
};

TEST_F(CheckAllWindow, ListsTheTenantsThatDisagreeWritingNothing) {
    const auto before = TableRows(path, "rent_periods");
    const rent::CheckResult expected = checkNow();
    ASSERT_GT(expected.disagreeing(), 2);
    std::vector<std::string> titles;
    h.program.whileEventsRun = [&] { titles.push_back(h.window->windowTitle().toStdString()); };

    QTreeWidget* list = pressCheckAll();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(TableRows(path, "rent_periods"), before);
    // The window's name last, the numbers with their thousands separators.
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles.front(), "Check All: " + tenants().front() + " (1 of " + std::to_string(tenants().size()) +
                                  ") - Habitorium Rent Analysis");
    EXPECT_EQ(h.window->windowTitle(), "Habitorium Rent Analysis");
    EXPECT_TRUE(list->window()->isVisible());
    // Laid out for the size it was given: Close at the bottom right corner,
    // the list between the summary and the buttons.
    const QRect close = list->window()->findChild<QPushButton*>("cmdClose")->geometry();
    EXPECT_EQ(close.right() + 1, 1700 - 120 / 15);
    EXPECT_EQ(close.bottom() + 1, 500 - 120 / 15);
    EXPECT_EQ(list->geometry().bottom() + 1, close.top() - 120 / 15);
    EXPECT_EQ(list->window()->findChild<QLabel*>("lblSummary")->text().toStdString(), expected.summary());
    EXPECT_EQ(list->columnCount(), frmCheckAll::columnCount);
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(expected.listed.size()));
    for (std::size_t i = 0; i < expected.listed.size(); ++i) {
        const rent::TenantCheck& c = expected.listed[i];
        SCOPED_TRACE(c.tenant);
        QTreeWidgetItem* row = list->topLevelItem(static_cast<int>(i));
        std::vector<std::string> cells;
        for (int col = 0; col < list->columnCount(); ++col)
            cells.push_back(row->text(col).toStdString());
        const auto date = [&](const engine::Variant& v) {
            return v.isEmpty() ? std::string() : ShortDate(v.toDate(), h.locale);
        };
        // The amounts as money, two decimals with the locale's separators.
        const auto money = [&](const std::string& caption) { return h.locale.amount(std::stod(caption)); };
        EXPECT_EQ(cells, (std::vector<std::string>{c.tenant, c.name, money(c.rentReceived), money(c.rentPaid),
                                                   money(c.extraReceived), money(c.extraPaid), money(c.charges),
                                                   money(c.chargesInPeriods), money(c.dueNow), money(c.dueAfter),
                                                   std::to_string(c.periodsChanged), date(c.firstUnpaidNow),
                                                   date(c.firstUnpaidAfter), c.problem}));
        EXPECT_EQ(cells[frmCheckAll::colRentReceived].find('.'), cells[frmCheckAll::colRentReceived].size() - 3);
    }
    EXPECT_TRUE(h.messages.texts.empty()) << h.messages.texts.front();
}

TEST_F(CheckAllWindow, AHeadingSortsItsColumnNumbersAsNumbersDatesAsDates) {
    const rent::CheckResult expected = checkNow();
    std::map<std::string, rent::TenantCheck> byTenant;
    for (const rent::TenantCheck& c : expected.listed)
        byTenant[c.tenant] = c;
    QTreeWidget* list = pressCheckAll();
    ASSERT_NE(list, nullptr);

    struct Case {
        int column;
        std::function<double(const rent::TenantCheck&)> key;
    };
    const Case cases[] = {
        {frmCheckAll::colDueNow, [](const rent::TenantCheck& c) { return std::stod(c.dueNow); }},
        {frmCheckAll::colRentReceived, [](const rent::TenantCheck& c) { return std::stod(c.rentReceived); }},
        {frmCheckAll::colFirstUnpaidNow,
         [](const rent::TenantCheck& c) {
             return c.firstUnpaidNow.isEmpty() ? -1e9 : c.firstUnpaidNow.toDate().serial();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        for (bool ascending : {true, false}) {
            clickHeading(list, c.column);
            EXPECT_EQ(list->header()->sortIndicatorSection(), c.column);
            std::vector<double> keys;
            for (const std::string& tenant : column(list, frmCheckAll::colTenant))
                keys.push_back(c.key(byTenant.at(tenant)));
            ASSERT_EQ(keys.size(), expected.listed.size());
            if (ascending)
                EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
            else
                EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend()));
        }
    }
    // The sorted list holds the same rows.
    std::vector<std::string> shown = column(list, frmCheckAll::colTenant);
    std::sort(shown.begin(), shown.end());
    std::vector<std::string> listed;
    for (const rent::TenantCheck& c : expected.listed)
        listed.push_back(c.tenant);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(shown, listed);
}

// A period whose start is text that is no date shows as that text, and its
// column still sorts: the text with the empty cells, before every date.
TEST_F(CheckAllWindow, AStartThatIsNoDateSortsWithTheEmptyCells) {
    otherUser(path, "insert into tenancy values ('TXT01', 'Text Date', 'P001', '2025-01-01', null);"
                    "insert into rent_periods (tenant_code, period_from, period_to, rent_due, paid, extra_charges, "
                    "extra_charges_paid) values ('TXT01', 'soon', '2025-01-31', 500, 0, 0, 0);"
                    "insert into revenues (tenant_code, [revenue group], amount, date, [property code], description) "
                    "values ('TXT01', 'RENT', 100, '2025-01-02', 'P001', 'Rent')");
    form->LoadReferenceData();
    QTreeWidget* list = pressCheckAll();
    ASSERT_NE(list, nullptr);
    clickHeading(list, frmCheckAll::colFirstUnpaidNow);
    const std::vector<std::string> starts = column(list, frmCheckAll::colFirstUnpaidNow);
    const std::vector<std::string> tenants = column(list, frmCheckAll::colTenant);
    const auto at = std::find(tenants.begin(), tenants.end(), "TXT01");
    ASSERT_NE(at, tenants.end());
    EXPECT_EQ(starts[static_cast<std::size_t>(at - tenants.begin())], "soon");
    const auto firstDate =
        std::find_if(starts.begin(), starts.end(), [](const std::string& s) { return !s.empty() && s != "soon"; });
    EXPECT_LT(at - tenants.begin(), firstDate - starts.begin());
}

TEST_F(CheckAllWindow, ADoubleClickOrEnterSelectsTheTenantInTheMainWindow) {
    QTreeWidget* list = pressCheckAll();
    ASSERT_NE(list, nullptr);
    ASSERT_GE(list->topLevelItemCount(), 2);
    clickHeading(list, frmCheckAll::colDueNow); // the form's rows, not the list's order
    for (int row : {1, 0}) {
        const std::string tenant = list->topLevelItem(row)->text(frmCheckAll::colTenant).toStdString();
        SCOPED_TRACE(tenant);
        if (row == 1) {
            doubleClickRow(list, row);
        } else {
            list->setCurrentItem(list->topLevelItem(row));
            key(list, Qt::Key_Return);
        }
        EXPECT_EQ(form->Combo1->text(), tenant);
        // The analysis ran, as a pick from the drop-down runs it.
        EXPECT_EQ(ShownAmount(engine::Variant(form->Label6->caption()), h.locale),
                  list->topLevelItem(row)->text(frmCheckAll::colRentReceived).toStdString());
        EXPECT_EQ(ShownAmount(engine::Variant(form->Label14->caption()), h.locale),
                  list->topLevelItem(row)->text(frmCheckAll::colDueNow).toStdString());
    }
}

TEST_F(CheckAllWindow, CtrlCCopiesTheSelectedRowsAndSaveAsCsvWritesTheList) {
    QTreeWidget* list = pressCheckAll();
    ASSERT_NE(list, nullptr);
    ASSERT_GE(list->topLevelItemCount(), 3);
    list->clearSelection();
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    key(list, Qt::Key_C, Qt::ControlModifier);
    std::string expected;
    for (int row : {0, 2}) {
        for (int c = 0; c < list->columnCount(); ++c)
            expected += (c ? "\t" : "") + list->topLevelItem(row)->text(c).toStdString();
        expected += "\n";
    }
    EXPECT_EQ(h.clipboard.texts, std::vector<std::string>{expected});

    // Cancelled: nothing written, nothing said.
    h.fileDialog.path.clear();
    pressButton("cmdSaveCsv");
    ASSERT_EQ(h.fileDialog.suggested, std::vector<std::string>{"check-all-2026-12-07.csv"});
    h.fileDialog.path = dir.file("list.csv");
    pressButton("cmdSaveCsv");
    std::ifstream in(h.fileDialog.path, std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFtenant,name,", 0), 0u) << csv.substr(0, 40);
    EXPECT_EQ(static_cast<int>(std::count(csv.begin(), csv.end(), '\n')), list->topLevelItemCount() + 1);
    // A folder that does not exist: said, not a silent loss.
    h.fileDialog.path = dir.file("no such folder/list.csv");
    pressButton("cmdSaveCsv");
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_NE(h.messages.texts.front().find("could not be saved"), std::string::npos) << h.messages.texts.front();
}

TEST_F(CheckAllWindow, FixTheseRepairsExactlyTheListedTenantsAndOneCtrlZUndoesThem) {
    const auto original = TableRows(path, "rent_periods");
    const rent::CheckResult expected = checkNow();
    std::set<std::string> listed;
    for (const rent::TenantCheck& c : expected.listed)
        listed.insert(c.tenant);
    QTreeWidget* list = pressCheckAll();
    ASSERT_NE(list, nullptr);
    // Cancel: nothing written.
    h.messages.confirmAnswer = false;
    pressButton("cmdFixThese");
    EXPECT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(TableRows(path, "rent_periods"), original);
    h.messages.texts.clear();
    h.messages.confirmAnswer = true;
    pressButton("cmdFixThese");
    ASSERT_EQ(h.messages.texts.size(), 2u);
    EXPECT_EQ(h.messages.texts[0], "Fix these: repair " + std::to_string(expected.disagreeing()) +
                                       " tenants, changing " + std::to_string(expected.periodsChanged()) +
                                       " rental periods? Ctrl+Z in the main window undoes it afterwards.");
    int repaired = 0;
    for (const rent::TenantCheck& c : expected.listed)
        repaired += c.periodsChanged > 0;
    EXPECT_EQ(h.messages.texts[1].rfind("Fix these repaired " + std::to_string(repaired) + " of " +
                                            std::to_string(expected.disagreeing()) + " tenants",
                                        0),
              0u)
        << h.messages.texts[1];
    // Only the listed tenants' rows changed, and none of them is left with
    // anything a repair would change; the list shows them as they are now.
    const auto after = TableRows(path, "rent_periods");
    ASSERT_EQ(after.size(), original.size());
    const auto lower = [](std::string text) {
        for (char& ch : text)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return text;
    };
    int changedRows = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] == original[i])
            continue;
        ++changedRows;
        bool ofListed = false;
        for (const std::string& tenant : listed)
            ofListed = ofListed || lower(after[i]).find(lower(SqlQuote(tenant))) != std::string::npos;
        EXPECT_TRUE(ofListed) << after[i];
    }
    EXPECT_EQ(changedRows, expected.periodsChanged());
    const rent::CheckResult now = checkNow();
    for (const rent::TenantCheck& c : now.listed)
        EXPECT_EQ(c.periodsChanged, 0) << c.tenant;
    EXPECT_EQ(list->topLevelItemCount(), static_cast<int>(now.listed.size()));

    h.messages.texts.clear();
    h.window->findChild<QAction*>("mnuUndo")->trigger();
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0].rfind("Undo Fix these of ", 0), 0u) << h.messages.texts[0];
    EXPECT_EQ(TableRows(path, "rent_periods"), original);
}

TEST_F(CheckAllWindow, FixTheseChecksAgainATenantWhoseFiguresChangedSinceTheCheck) {
    const rent::CheckResult expected = checkNow();
    // paid: a tenant another user records a payment for, so it still
    // disagrees, with new figures; repaired: one another user repairs meanwhile.
    const rent::TenantCheck* paid = nullptr;
    const rent::TenantCheck* repaired = nullptr;
    for (const rent::TenantCheck& c : expected.listed) {
        if (!c.checked() || c.rebuild)
            continue;
        if (!repaired && c.dueAfter != c.dueNow)
            repaired = &c;
        else if (!paid)
            paid = &c;
    }
    ASSERT_TRUE(paid && repaired);
    QTreeWidget* list = pressCheckAll();
    ASSERT_NE(list, nullptr);

    otherUser(path, "insert into revenues (tenant_code, [revenue group], amount, date, [property code]) values (" +
                        SqlQuote(paid->tenant) + ", " + SqlQuote(form->rentGroup) + ", 12.5, '2025-06-01', 'P1')");
    ASSERT_TRUE(form->SelectTenant(repaired->tenant));
    form->cmdFix_Click();
    ASSERT_NE(form->Label14->caption(), repaired->dueNow);
    h.messages.texts.clear();

    pressButton("cmdFixThese");
    ASSERT_EQ(h.messages.texts.size(), 2u);
    const std::string& summary = h.messages.texts[1];
    EXPECT_NE(summary.find("1 no longer disagreed with the money received and was skipped: " + repaired->tenant + "."),
              std::string::npos)
        << summary;
    EXPECT_EQ(summary.find("could not be repaired"), std::string::npos) << summary;
    // The new payment was allocated: nothing left for a repair to change.
    for (const rent::TenantCheck& c : checkNow().listed)
        EXPECT_EQ(c.periodsChanged, 0) << c.tenant;
    ASSERT_TRUE(form->SelectTenant(paid->tenant));
    EXPECT_EQ(engine::LeadingNumber(form->Label6->caption()), engine::LeadingNumber(paid->rentReceived) + 12.5);
}

// Escape, Exit and the close box stop the check after the group of tenants in
// hand; Escape shows what was checked until then, the others end the program
// once it has stopped, showing nothing.
TEST(CheckAllStop, EscapeExitAndTheCloseBoxStopTheCheck) {
    TempDir dir;
    const std::string path = makeSample(dir, "--tenants 600");
    enum class By { Escape, Exit, CloseBox };
    for (By by : {By::Escape, By::Exit, By::CloseBox}) {
        SCOPED_TRACE(static_cast<int>(by));
        WindowHarness h(dir.path().string());
        frmMain& form = h.open(path);
        const int tenants = form.Combo1->listCount();
        ASSERT_GT(tenants, 500);
        std::vector<std::string> titles;
        h.program.whileEventsRun = [&] {
            titles.push_back(h.window->windowTitle().toStdString());
            if (by == By::Escape)
                h.window->findChild<QAction*>("mnuStop")->trigger();
            else if (by == By::Exit)
                qobject_cast<QPushButton*>(h.window->control("cmdExit"))->click();
            else
                h.window->close();
        };
        form.cmdCheckAll_Click();
        ASSERT_EQ(titles.size(), 1u);
        EXPECT_EQ(titles.front().rfind("Check All: ", 0), 0u) << titles.front();
        // The first progress comes after a group of tenants or a quarter of a
        // second, whichever is first: on a slow machine before the group's end.
        const std::string of = " of " + GroupedCount(tenants) + ") - Habitorium Rent Analysis";
        const std::size_t open = titles.front().rfind(" (");
        ASSERT_NE(open, std::string::npos) << titles.front();
        ASSERT_NE(titles.front().find(of, open), std::string::npos) << titles.front();
        const int shown = std::stoi(titles.front().substr(open + 2));
        EXPECT_GE(shown, 1) << titles.front();
        EXPECT_LE(shown, 251) << titles.front();
        EXPECT_EQ(h.window->windowTitle(), "Habitorium Rent Analysis");
        if (by == By::Escape) {
            EXPECT_EQ(h.program.endRequests, 0);
            ASSERT_NE(form.checkAllForm(), nullptr);
            EXPECT_EQ(form.checkAllForm()->lblSummary->caption().rfind("The check was stopped after " +
                                                                           GroupedCount(shown - 1) + " of " +
                                                                           GroupedCount(tenants) + " tenants. ",
                                                                       0),
                      0u)
                << form.checkAllForm()->lblSummary->caption();
        } else {
            EXPECT_EQ(h.program.endRequests, 1);
            EXPECT_EQ(form.checkAllForm(), nullptr);
        }
        EXPECT_TRUE(h.messages.texts.empty()) << h.messages.texts.front();
    }
}

} // namespace
