// The Win32 front end under Wine: the same form as the Qt window shows, made
// of the system's own controls and read back from them with GetWindowTextW;
// the database is an SQLite file reached through Wine's odbc32 and the host's
// SQLite ODBC driver.

#include "FakeRegistry.h"
#include "PropertyDb.h"
#include "Recorders.h"

#include "frmmain/win32/Win32Window.h"
#include "platform/LocaleWin32.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring wideText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 4 + 1, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                      static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return out;
}

struct Win32Harness {
    RecordingMessages messages;
    RecordingProgram program;
    FixedClock clock;
    TestFileSystem files;
    FakeRegistry registry;
    FixedUser user;
    BritishLocale locale;
    std::unique_ptr<Win32Window> window;

    explicit Win32Harness(const std::string& folder) : files(folder), user(folder + "\\journal") {}
    platform::Platform platform() { return {messages, program, clock, files, registry, user, locale}; }

    Win32Window& create() {
        window = std::make_unique<Win32Window>(platform());
        return *window;
    }
    // The window on the database at location, shown, its activation run.
    Win32Window& open(const std::string& location) {
        registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
        registry.setting("DatabaseLocation", location);
        create();
        window->show();
        pump();
        return *window;
    }
    // Lets the window's pending messages run (the activation among them).
    void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (window && window->preTranslate(msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    std::string text(const char* control) { return utf8(wideText(window->control(control))); }
    // Picks reference in the drop-down as a user does: the selection, then
    // the notification the control sends its window.
    void choose(const std::string& reference) {
        const HWND combo = window->control("Combo1");
        const std::wstring wide(reference.begin(), reference.end());
        const LRESULT index =
            SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide.c_str()));
        ASSERT_NE(index, CB_ERR) << reference;
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(window->handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }
    void click(const char* button) { SendMessageW(window->control(button), BM_CLICK, 0, 0); }
};

class Win32WindowTest : public ::testing::Test {
protected:
    TempDir dir;
    PropertyDb db{Backend::SqliteOdbc, dir.file("property.mdb")};
    Win32Harness h{dir.path().string()};

    void SetUp() override {
        db.addGlCode("RENT", false);
        db.addGlCode("410", true);
    }

    void expectPaid(const std::string& tenant, const std::vector<std::pair<double, double>>& paid) {
        const auto rows = db.periods(tenant);
        ASSERT_EQ(rows.size(), paid.size()) << tenant;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_NEAR(rows[i].paid, paid[i].first, 0.00005) << tenant << " " << rows[i].periodFrom;
            EXPECT_NEAR(rows[i].extraChargesPaid, paid[i].second, 0.00005) << tenant << " " << rows[i].periodFrom;
        }
    }
    // Three monthly periods of 100, February with extra charges of 20.
    void workedExampleTenant(const std::string& tenant) {
        db.addTenancy(tenant);
        db.addPeriod(tenant, "2025-01-01", 100, 0);
        db.addPeriod(tenant, "2025-02-01", 100, 0, 20, 0);
        db.addPeriod(tenant, "2025-03-01", 100, 0);
        db.addRevenue(tenant, "RENT", 250);
        db.addRevenue(tenant, "410", 30);
    }
};

struct Place {
    const char* name;
    const wchar_t* className;
    int left, top, width, height;
};

TEST_F(Win32WindowTest, AFixedDialogFrameOf501By384WithTheControlsAtTheirTwips) {
    Win32Window& window = h.create();
    ASSERT_EQ(window.pixels(1440), 96) << "the test expects the screen at 96 DPI";
    EXPECT_EQ(wideText(window.handle()), L"Habitorium Rent Analysis");
    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right - client.left, 501);
    EXPECT_EQ(client.bottom - client.top, 384);
    const LONG_PTR style = GetWindowLongPtrW(window.handle(), GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));

    const Place places[] = {
        {"Command1", L"Button", 5520, 3960, 1695, 375},    {"cmdFixAll", L"Button", 240, 4320, 1695, 375},
        {"cmdFix", L"Button", 5520, 3120, 1695, 375},      {"Combo1", L"ComboBox", 2160, 960, 2175, 315},
        {"cmdExit", L"Button", 3120, 4320, 1455, 375},     {"Label6", L"Static", 2760, 2880, 1215, 255},
        {"Label4", L"Static", 240, 2880, 2415, 255},       {"lblDatabase", L"Static", 1800, 240, 5655, 495},
        {"cmdCheckAll", L"Button", 5520, 4320, 1695, 375}, {"cmdHistory", L"Button", 5520, 4800, 1695, 375},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.name);
        const HWND control = window.control(p.name);
        ASSERT_NE(control, nullptr);
        wchar_t className[64] = {};
        GetClassNameW(control, className, 64);
        EXPECT_EQ(std::wstring(className), p.className);
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, window.handle(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, p.left / 15);
        EXPECT_EQ(r.top, p.top / 15);
        EXPECT_EQ(r.right - r.left, p.width / 15);
        // A drop-down list's closed height is the system's, from its font.
        if (std::wstring(p.className) != L"ComboBox") {
            EXPECT_EQ(r.bottom - r.top, p.height / 15);
        }
    }
    EXPECT_EQ(GetWindowLongPtrW(window.control("Combo1"), GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(h.text("Label4"), "Total of income transactions paid");
    EXPECT_EQ(h.text("cmdFixAll"), "Fix All");

    // Tab runs from Exit through the list and the buttons, as in the Qt window.
    std::vector<std::string> order;
    HWND at = window.control("cmdExit");
    for (int i = 0; i < 7; ++i, at = GetNextDlgTabItem(window.handle(), at, FALSE))
        for (const char* name : {"cmdExit", "Combo1", "cmdFix", "cmdFixAll", "Command1", "cmdCheckAll", "cmdHistory"})
            if (window.control(name) == at)
                order.push_back(name);
    EXPECT_EQ(order, (std::vector<std::string>{"cmdExit", "Combo1", "cmdFix", "cmdFixAll", "Command1", "cmdCheckAll",
                                               "cmdHistory"}));

    // UTF-8 inside, UTF-16 in the control.
    window.form().Label2->setCaption("Zo\xc3\xab");
    EXPECT_EQ(wideText(window.control("Label2")), L"Zo\u00eb");
    EXPECT_EQ(window.form().Label2->caption(), "Zo\xc3\xab");
}

// Moved to a monitor of 144 DPI and back: the window is laid out again from
// its twips, every control in the font made for the new DPI.
TEST_F(Win32WindowTest, WmDpiChangedLaysTheWindowOutAgain) {
    Win32Window& window = h.create();
    ASSERT_EQ(window.dpi(), 96) << "the test expects the screen at 96 DPI";
    const auto change = [&](int dpi) {
        RECT suggested{};
        GetWindowRect(window.handle(), &suggested);
        SendMessageW(window.handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    };
    const auto client = [&] {
        RECT r{};
        GetClientRect(window.handle(), &r);
        return std::pair<LONG, LONG>(r.right - r.left, r.bottom - r.top);
    };
    const auto place = [&](const char* name) {
        RECT r{};
        GetWindowRect(window.control(name), &r);
        MapWindowPoints(nullptr, window.handle(), reinterpret_cast<POINT*>(&r), 2);
        return std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    const auto fontHeight = [&](const char* name) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window.control(name), WM_GETFONT, 0, 0)), sizeof font, &font);
        return font.lfHeight;
    };
    const LONG height96 = fontHeight("Label4");

    change(144);
    EXPECT_EQ(client(), (std::pair<LONG, LONG>(752, 576)));
    EXPECT_EQ(place("cmdExit"), (std::vector<LONG>{312, 432, 146, 38}));
    EXPECT_EQ(place("Label4"), (std::vector<LONG>{24, 288, 242, 26}));
    EXPECT_EQ(fontHeight("Label4"), -16);
    EXPECT_EQ(fontHeight("cmdExit"), -16);
    EXPECT_LT(fontHeight("Label4"), height96) << "the font is no taller at 144 DPI";

    change(96);
    EXPECT_EQ(client(), (std::pair<LONG, LONG>(501, 384)));
    EXPECT_EQ(place("cmdExit"), (std::vector<LONG>{208, 288, 97, 25}));
    EXPECT_EQ(fontHeight("Label4"), height96);
}

TEST_F(Win32WindowTest, TheAnalysisOfAChosenTenantInTheLabels) {
    db.addTenancy("SMI001", "Jane Smith", "P1", "2025-01-03");
    db.addRevenue("SMI001", "RENT", 650, "2025-01-05");
    db.addRevenue("SMI001", "RENT", 650.5, "2025-02-05");
    db.addRevenue("SMI001", "410", 25, "2025-02-06");
    db.addPeriod("SMI001", "2025-01-03", 650, 600, 25, 0);
    db.addPeriod("SMI001", "2025-02-03", 650, 650, 0, 10);
    db.addCharge("SMI001", "2025-01-03", 20);
    db.addCharge("SMI001", "2025-01-03", 5.25);

    h.open(db.location());
    h.choose("SMI001");
    EXPECT_EQ(h.text("Combo1"), "SMI001");
    EXPECT_EQ(h.text("Label2"), "Jane Smith");
    EXPECT_EQ(h.text("Label13"), "03/01/2025");
    EXPECT_EQ(h.text("Label11"), "05/01/2025");
    EXPECT_EQ(h.text("Label10"), "03/01/2025");
    EXPECT_EQ(h.text("Label6"), "1300.5");
    EXPECT_EQ(h.text("Label20"), "25");
    EXPECT_EQ(h.text("Label21"), "25.25");
    EXPECT_EQ(h.text("Label22"), "25");
    EXPECT_EQ(h.text("Label7"), "1250");
    EXPECT_EQ(h.text("Label19"), "10");
    EXPECT_EQ(h.text("Label14"), "65");
    EXPECT_TRUE(IsWindowEnabled(h.window->control("cmdFix")));
    EXPECT_TRUE(h.messages.texts.empty()) << h.messages.texts.front();
}

TEST_F(Win32WindowTest, ARepairByItsButtonAndTheRepairedTotals) {
    workedExampleTenant("A1");
    h.open(db.location());
    h.choose("A1");
    ASSERT_EQ(h.text("Label6"), "250");
    h.click("cmdFix");
    expectPaid("A1", {{100, 0}, {100, 20}, {60, 0}});
    EXPECT_EQ(h.text("Label7"), "260");
    EXPECT_EQ(h.text("Label19"), "20");
    EXPECT_EQ(h.text("Label14"), "40");
    EXPECT_TRUE(h.messages.texts.empty()) << h.messages.texts.front();
}

TEST_F(Win32WindowTest, FixAllToTheEndOfTheList) {
    for (const char* tenant : {"A1", "B2", "C3"})
        workedExampleTenant(tenant);
    h.open(db.location());
    std::vector<std::string> titles;
    std::vector<long long> progress;
    h.program.whileEventsRun = [&] {
        titles.push_back(utf8(wideText(h.window->handle())));
        const Win32Window::Progress shown = h.window->progress();
        if (shown.state == Win32Window::Progress::State::Normal && shown.total == 3)
            progress.push_back(shown.done);
    };
    h.click("cmdFixAll");
    for (const char* tenant : {"A1", "B2", "C3"})
        expectPaid(tenant, {{100, 0}, {100, 20}, {60, 0}});
    EXPECT_EQ(h.text("Combo1"), "C3");
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.front(), "Fix All: A1 (1 of 3) - Habitorium Rent Analysis");
    // The taskbar button's progress went with the title, and is cleared at the end.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 1);
    EXPECT_EQ(h.window->progress().state, Win32Window::Progress::State::None);
    EXPECT_EQ(utf8(wideText(h.window->handle())), "Habitorium Rent Analysis");
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"Fix All repaired 3 of 3 tenants."});
}

std::string listText(HWND list, int row, int column) {
    std::wstring text(256, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<std::size_t>(n));
    return utf8(text);
}

TEST_F(Win32WindowTest, CheckAllListsTheTenantsThatDisagreeInAResizableListView) {
    workedExampleTenant("A1");
    workedExampleTenant("C3");
    db.addTenancy("B2"); // no money, no periods: agrees
    h.open(db.location());
    h.click("cmdCheckAll");
    h.pump();
    const HWND listWindow = FindWindowW(L"HabitoriumListWindow", nullptr);
    ASSERT_NE(listWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(listWindow));
    EXPECT_EQ(GetWindow(listWindow, GW_OWNER), h.window->handle());
    EXPECT_TRUE(GetWindowLongPtrW(listWindow, GWL_STYLE) & WS_THICKFRAME);
    const HWND list = FindWindowExW(listWindow, nullptr, L"SysListView32", nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(listText(list, 0, 0), "A1");
    EXPECT_EQ(listText(list, 1, 0), "C3");
    EXPECT_EQ(listText(list, 0, 2), "250.00"); // rent received, as money
    // Its charges disagree (no charge rows, 20 in the periods): the rebuild
    // clears them, and the 30 received for them goes onto the latest period.
    EXPECT_EQ(listText(list, 0, 9), "20.00"); // due after the repair
    // Every heading whole: no column narrower than its heading's text.
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    ASSERT_EQ(columns, 14);
    for (int c = 0; c < columns; ++c) {
        wchar_t heading[128] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = heading;
        column.cchTextMax = 128;
        SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
        EXPECT_GT(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0),
                  SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(heading)))
            << utf8(heading);
    }
    EXPECT_EQ(utf8(wideText(h.window->handle())), "Habitorium Rent Analysis");

    // The controls follow the frame: Close stays at the right edge.
    RECT frame{};
    GetWindowRect(listWindow, &frame);
    SetWindowPos(listWindow, nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 100,
                 SWP_NOMOVE | SWP_NOZORDER);
    h.pump();
    const HWND close = FindWindowExW(listWindow, nullptr, L"Button", L"Close");
    ASSERT_NE(close, nullptr);
    RECT client{};
    RECT button{};
    GetClientRect(listWindow, &client);
    GetWindowRect(close, &button);
    MapWindowPoints(nullptr, listWindow, reinterpret_cast<POINT*>(&button), 2);
    EXPECT_EQ(button.right, client.right - 120 / 15);
    EXPECT_EQ(button.bottom, client.bottom - 120 / 15);

    // Enter on a row selects its tenant in the main window.
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    SetFocus(list);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    h.pump();
    EXPECT_EQ(h.text("Combo1"), "C3");
    EXPECT_EQ(h.text("Label6"), "250");
    EXPECT_TRUE(h.messages.texts.empty()) << h.messages.texts.front();
}

// The rows of a list view, each a text a column.
std::vector<std::vector<std::string>> listRows(HWND list) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); ++r) {
        rows.emplace_back();
        for (int c = 0; c < columns; ++c)
            rows.back().push_back(listText(list, r, c));
    }
    return rows;
}

// Selects the row alone, as a click on it does.
void pickRow(HWND list, int row) {
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

// The History window on Win32, opened by Ctrl+H: every action newest first,
// the periods of the one selected, and Undo this action for an undo (its
// tenants repaired again but one a later action changed, which is named) and
// for an older repair; a note typed and Enter, there again after a restart.
TEST_F(Win32WindowTest, TheHistoryWindowListsEveryActionAndUndoesAnyOfThem) {
    for (const char* tenant : {"A1", "B2", "C3"})
        workedExampleTenant(tenant);
    const auto original = db.allPeriods();
    h.open(db.location());
    h.choose("A1");
    h.click("cmdFix");
    h.clock.time.minute = 9;
    h.click("cmdFixAll"); // B2 and C3: A1 agrees
    const auto afterFixAll = db.allPeriods();
    h.clock.time.minute = 12;
    h.window->form().mnuUndo_Click(); // Fix All
    h.clock.time.minute = 15;
    h.choose("C3");
    h.click("Command1"); // C3 has no charges behind its extra charges
    h.messages.texts.clear();

    // Ctrl+H, as the keyboard gives it.
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    PostMessageW(h.window->control("Combo1"), WM_KEYDOWN, 'H', 0);
    h.pump();
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    const HWND historyWindow = FindWindowW(L"HabitoriumListWindow", L"History - Habitorium Rent Analysis");
    ASSERT_NE(historyWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(historyWindow));
    EXPECT_EQ(GetWindow(historyWindow, GW_OWNER), h.window->handle());
    const HWND actions = FindWindowExW(historyWindow, nullptr, L"SysListView32", nullptr);
    const HWND periods = FindWindowExW(historyWindow, actions, L"SysListView32", nullptr);
    const HWND undo = FindWindowExW(historyWindow, nullptr, L"Button", L"Undo this action");
    ASSERT_TRUE(actions && periods && undo);
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(listRows(actions),
              (Rows{{"07/12/2026 14:15", "tester", "Rebuild of C3", "1", "3", "", ""},
                    {"07/12/2026 14:12", "tester", "Undo of Fix All of 07/12/2026 14:09 (tester)", "2", "6", "", ""},
                    {"07/12/2026 14:09", "tester", "Fix All", "2", "6", "07/12/2026 14:12", ""},
                    {"07/12/2026 14:05", "tester", "Repair of A1", "1", "3", "", ""}}));
    pickRow(actions, 3);
    h.pump();
    EXPECT_EQ(
        listRows(periods),
        (Rows{{"A1", "01/01/2025", "100.00", "100.00", "0.00", "100.00", "0.00", "0.00", "0.00", "0.00", "paid"},
              {"A1", "01/02/2025", "100.00", "100.00", "0.00", "100.00", "20.00", "20.00", "0.00", "20.00",
               "paid, extra charges paid"},
              {"A1", "01/03/2025", "100.00", "100.00", "0.00", "60.00", "0.00", "0.00", "0.00", "0.00", "paid"}}));

    // The undo of Fix All, undone: B2 repaired again, C3 left as the rebuild left it.
    h.clock.time.minute = 18;
    pickRow(actions, 1);
    h.pump();
    SendMessageW(undo, BM_CLICK, 0, 0);
    h.pump();
    ASSERT_EQ(h.messages.texts.size(), 2u);
    EXPECT_EQ(h.messages.texts[1], "1 tenant was not undone because its periods have changed since: C3 by the "
                                   "rebuild of 07/12/2026 14:15 (tester).");
    expectPaid("B2", {{100, 0}, {100, 20}, {60, 0}});
    expectPaid("C3", {{100, 0}, {100, 0}, {80, 0}});

    // The oldest: A1 as it was, while later actions changed the others.
    pickRow(actions, 4);
    h.pump();
    SendMessageW(undo, BM_CLICK, 0, 0);
    h.pump();
    EXPECT_EQ(h.messages.texts.back(), "Undo the repair of tenant A1 of 07/12/2026 14:05?");
    expectPaid("A1", {{0, 0}, {0, 0}, {0, 0}});
    ASSERT_EQ(SendMessageW(actions, LVM_GETITEMCOUNT, 0, 0), 6);
    EXPECT_EQ(listText(actions, 5, 5), "07/12/2026 14:18");

    // A note, Enter, and the tool started again.
    pickRow(actions, 5);
    h.pump();
    const HWND note = FindWindowExW(historyWindow, nullptr, L"Edit", nullptr);
    ASSERT_NE(note, nullptr);
    SetWindowTextW(note, L"Asked by Zo\u00eb, the landlord");
    SetFocus(note);
    PostMessageW(note, WM_KEYDOWN, VK_RETURN, 0);
    h.pump();
    EXPECT_EQ(listText(actions, 5, 6), "Asked by Zo\xc3\xab, the landlord");
    h.window.reset();
    h.open(db.location());
    h.click("cmdHistory");
    h.pump();
    const HWND reopened = FindWindowW(L"HabitoriumListWindow", L"History - Habitorium Rent Analysis");
    ASSERT_NE(reopened, nullptr);
    const HWND list = FindWindowExW(reopened, nullptr, L"SysListView32", nullptr);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 6);
    EXPECT_EQ(listText(list, 5, 6), "Asked by Zo\xc3\xab, the landlord");
}

// Money as each locale writes it: its decimal point, thousands separator,
// grouping (India's lakhs) and negative form, always two decimals.
TEST(Win32Locale, AmountsInTheLocalesOwnForm) {
    const struct {
        const wchar_t* locale;
        double amount;
        std::string text;
    } cases[] = {
        {L"en-GB", 10289.844, "10,289.84"},    {L"en-US", -464.8, "-464.80"},         {L"en-US", -0.001, "0.00"},
        {L"de-DE", 1234567.5, "1.234.567,50"}, {L"en-IN", 1234567.5, "12,34,567.50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::AmountIn(c.locale, c.amount), c.text) << utf8(c.locale) << " " << c.amount;
}

} // namespace
