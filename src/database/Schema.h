#pragma once
// Tables and columns of the host application's property database. These are
// the names fields are read and written by; a statement writes a name with a
// space in brackets ([property code]).

namespace schema {

// tenancy: one row per tenancy.
inline constexpr const char* tenancy = "tenancy";
inline constexpr const char* tenancyReference = "reference";
inline constexpr const char* tenancyName = "name";
inline constexpr const char* tenancyPropertyCode = "property code";
inline constexpr const char* tenancyWhenStarted = "when started";

// options: the host's settings; the first row only.
inline constexpr const char* options = "options";
inline constexpr const char* optionsRentGroup = "rent_group";

// glcodes: ledger codes.
inline constexpr const char* glcodes = "glcodes";
inline constexpr const char* glcodesCode = "gl_code";
inline constexpr const char* glcodesPayExtraCharges = "pay_extra_charges";

// revenues: income transactions.
inline constexpr const char* revenues = "revenues";
inline constexpr const char* revenuesTenantCode = "tenant_code";
inline constexpr const char* revenuesRevenueGroup = "revenue group";
inline constexpr const char* revenuesAmount = "amount";
inline constexpr const char* revenuesDate = "date";
inline constexpr const char* revenuesPropertyCode = "property code";

// rent_periods: the rows the repairs rewrite.
inline constexpr const char* rentPeriods = "rent_periods";
inline constexpr const char* rentPeriodsTenantCode = "tenant_code";
inline constexpr const char* rentPeriodsPeriodFrom = "period_from";
inline constexpr const char* rentPeriodsRentDue = "rent_due";
inline constexpr const char* rentPeriodsPaid = "paid";
inline constexpr const char* rentPeriodsExtraCharges = "extra_charges";
inline constexpr const char* rentPeriodsExtraChargesPaid = "extra_charges_paid";

// rent_periods_charges: the individual extra charges of each period.
inline constexpr const char* rentPeriodsCharges = "rent_periods_charges";
inline constexpr const char* rentPeriodsChargesTenantCode = "tenantcode";
inline constexpr const char* rentPeriodsChargesPeriodFrom = "period_from";
inline constexpr const char* rentPeriodsChargesValue = "value";

} // namespace schema
