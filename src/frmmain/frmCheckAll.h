#pragma once
// The list of tenants that disagree with the money received, as "Check All"
// found them: a second window beside frmMain. One line sums the check up;
// the list has a row a listed tenant, sorted by a click on a heading; a
// double-click (or Enter) selects the tenant in the main window; "Fix these"
// repairs the listed tenants; "Save as CSV..." writes the list to a file;
// Ctrl+C copies the selected rows. Written once, against the controls of
// Controls.h; the main window's front end makes the window.

#include "frmmain/Controls.h"
#include "frmmain/ListWindow.h"
#include "frmmain/SortedRows.h"
#include "platform/Seams.h"
#include "rent/CheckAll.h"

#include <optional>
#include <string>
#include <vector>

class frmCheckAll {
public:
    // What the list asks of the window whose tenants it lists.
    class Owner : public listwindow::Owner {
    public:
        // Repairs the tenants given, as one action; returns checked with its
        // list as it is now, or nothing when no batch ran.
        virtual std::optional<rent::CheckResult> FixThese(const std::vector<rent::TenantCheck>& tenants,
                                                          const rent::CheckResult& checked) = 0;
    };

    // Columns of the list, in order.
    enum Column {
        colTenant,
        colName,
        colRentReceived,
        colRentPaid,
        colExtraReceived,
        colExtraPaid,
        colCharges,
        colChargesInPeriods,
        colDueNow,
        colDueAfter,
        colPeriodsChanged,
        colFirstUnpaidNow,
        colFirstUnpaidAfter,
        colProblem,
        columnCount
    };

    // Builds the window's controls through ui (hidden until Show). main is
    // the window whose tenants are listed; it outlives this form.
    frmCheckAll(Owner& main, controls::SecondWindow& ui, platform::MessageBox& messages,
                platform::FileDialog& fileDialog, platform::Clipboard& clipboard, platform::Clock& clock,
                const platform::Locale& locale);
    frmCheckAll(const frmCheckAll&) = delete;
    frmCheckAll& operator=(const frmCheckAll&) = delete;

    // Shows result in the list, in the order of the tenant list, and the
    // window in front.
    void Show(rent::CheckResult result);
    const rent::CheckResult& result() const { return result_; }

    // Handlers, named as the control and event they answer.
    void Form_Resize();
    void lstTenants_HeadingClick(int column);
    // A double-click on the row shown at row, or Enter on it: the tenant is
    // selected in the main window, which analyses it.
    void lstTenants_DblClick(int row);
    // Ctrl+C: the selected rows, a line each, their cells separated by tabs.
    void lstTenants_Copy();
    void cmdFixThese_Click();
    void cmdSaveCsv_Click();
    void cmdClose_Click();

    // The cells of the row shown at row, as the list shows them (amounts as
    // money in the user's locale).
    std::vector<std::string> rowTexts(int row) const;

    controls::Window* Me;
    controls::Label* lblSummary;
    controls::Grid* lstTenants;
    controls::Button* cmdFixThese;
    controls::Button* cmdSaveCsv;
    controls::Button* cmdClose;

private:
    // The tenant's cells, plain (amounts as the captions hold them).
    std::vector<std::string> cells(const rent::TenantCheck& tenant) const;
    int repairable() const;

    Owner& main_;
    controls::SecondWindow& ui_;
    platform::MessageBox& messages_;
    platform::FileDialog& fileDialog_;
    platform::Clipboard& clipboard_;
    platform::Clock& clock_;
    const platform::Locale& locale_;

    rent::CheckResult result_;
    SortedRows rows_; // an entry a tenant of result_.listed
};
