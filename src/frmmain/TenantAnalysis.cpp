// The figures of the selected tenant: what the income transactions say was
// paid against what the tenant's rental periods record as paid and due.

#include "frmmain/Guarded.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "general/Lookup.h"
#include "general/TextForm.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

QString caption(const engine::Variant& value) {
    return QString::fromStdString(TextForm(value));
}

} // namespace

void frmMain::Combo1_Click() {
    const std::string tenant = tenantReference();
    const std::string quotedTenant = SqlQuote(tenant);
    incomeTotalsTenant_.reset();

    propertyCode.clear();
    tenancyStart = engine::Date::fromParts(platform_.clock.now()).dateOnly();

    bool rentIncomeShown = false;
    bool extraChargeIncomeShown = false;
    runGuarded(database_, "Tenant Analysis", [&] {
        RecordsetRef rs =
            openReadOnly("select [when started], name, [property code] from tenancy where reference= " + quotedTenant);
        if (hasRow(rs)) {
            // A tenancy row with empty fields shows empty captions.
            Label2->setText(caption(ValueOrDefault(rs->Fields(schema::tenancyName).Value(), std::string())));
            propertyCode = TextForm(ValueOrDefault(rs->Fields(schema::tenancyPropertyCode).Value(), std::string()));
            engine::Variant started = rs->Fields(schema::tenancyWhenStarted).Value();
            if (started.isNull()) {
                Label13->setText(QString());
            } else {
                tenancyStart = started.toDate();
                Label13->setText(QString::fromStdString(ShortDate(tenancyStart)));
            }
        }

        struct Total {
            std::string sql;
            const char* field;
            QLabel* label;
            bool* shown;
        };
        const Total totals[] = {
            {"select sum(amount)+0 as paid from revenues where [revenue group] = " + SqlQuote(rentGroup) +
                 " and tenant_code = " + quotedTenant,
             "paid", Label6, &rentIncomeShown},
            {"select sum(amount)+0 as paid from revenues where [revenue group] in (" + extraChargeCodes +
                 ")  and [revenue group]  <> " + SqlQuote(rentGroup) + " and tenant_code = " + quotedTenant,
             "paid", Label20, &extraChargeIncomeShown},
            {"select sum(value)+0 as paid from rent_periods_charges where tenantcode = " + quotedTenant, "paid",
             Label21, nullptr},
            {"select sum(extra_charges) as amount from rent_periods where tenant_code = " + quotedTenant, "amount",
             Label22, nullptr},
            {"select sum(paid) as amount from rent_periods where tenant_code = " + quotedTenant, "amount", Label7,
             nullptr},
            {"select sum(extra_charges_paid) as amount from rent_periods where tenant_code = " + quotedTenant, "amount",
             Label19, nullptr},
            {"select sum(rent_due + extra_charges - paid - extra_charges_paid) as amount from rent_periods where "
             "tenant_code = " +
                 quotedTenant,
             "amount", Label14, nullptr},
        };
        for (const Total& total : totals) {
            rs = openReadOnly(total.sql);
            if (!hasRow(rs))
                continue; // the label keeps its text
            total.label->setText(caption(ValueOrDefault(rs->Fields(total.field).Value(), 0)));
            if (total.shown)
                *total.shown = true;
        }
        rs.reset();

        Label11->setText(QString::fromStdString(LookupValue(database_, "min(date)", "revenues",
                                                            "where [revenue group] = " + SqlQuote(rentGroup) +
                                                                " and [property code] = " + SqlQuote(propertyCode) +
                                                                " and tenant_code = " + quotedTenant)));
        Label10->setText(QString::fromStdString(
            LookupValue(database_, "min(period_from)", "rent_periods", "where tenant_code = " + quotedTenant)));
    });
    cmdFix->setEnabled(true);
    if (rentIncomeShown && extraChargeIncomeShown)
        incomeTotalsTenant_ = tenant;
}
