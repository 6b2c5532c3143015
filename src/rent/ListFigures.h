#pragma once
// The analysis figures of every tenant of the list, read before a batch that
// analyses tenant after tenant on a database file: each table read once, in
// its stored order, and added up here per tenant exactly as the analysis's
// statement adds up one tenant's rows. A tenant's figures are handed out only
// while the database holds what it held when they were read (no other user
// has committed since, and this connection has changed no row but those of
// tenants whose figures it has let go); for a tenant whose figures could not
// be made sure of here, and once the database has changed, there are none,
// and the analysis reads the tenant's own statements as it always has.

#include "engine/Database.h"
#include "platform/Seams.h"
#include "rent/CheckAll.h"
#include "rent/TenantCodes.h"
#include "rent/TenantFigures.h"

#include <optional>
#include <string>
#include <vector>

namespace rent {

class ListFigures {
public:
    // The figures of the tenants (the references of the list). Nothing where
    // the database cannot tell whether it has changed (a server) or a table
    // cannot be read whole; a lost connection raises its engine::EngineError.
    static std::optional<ListFigures> Read(engine::Database& database, const std::vector<std::string>& tenants,
                                           const Ledger& ledger, const platform::Locale& locale);

    // The tenant's figures as its analysis would read them now, its tenancy's
    // fields with them; nothing when they are not known for sure. Once the
    // database has changed beyond what Written() was told, every figure is
    // let go.
    const AnalysisTotals* Find(engine::Database& database, const std::string& tenant);

    // Whether the figures still hold, the database unchanged since they were
    // read beyond what Written() was told; once not, every figure is let go.
    bool Current(engine::Database& database);

    // This connection has written (or may have written) the tenant's rows
    // since Current() was last asked: its figures are let go, and the
    // database's changes since then are taken to be that writing.
    void Written(engine::Database& database, const std::string& tenant);

private:
    explicit ListFigures(std::size_t tenants) : codes_(tenants) {}

    TenantCodes codes_;
    std::vector<std::optional<AnalysisTotals>> figures_; // by the number of the tenant's code
    engine::ChangeMark mark_;
    bool valid_ = true;
};

} // namespace rent
