#pragma once
// The analysis figures of every tenant of the list, read before a batch that
// analyses tenant after tenant, so that the batch need not ask the database
// for each tenant's.
//
// On a database file each table is read once, in its stored order, and added
// up here per tenant exactly as the analysis's statement adds up one tenant's
// rows (a tenant's periods at its turn, held compactly until then). A
// tenant's figures are handed out only while the database holds what it held
// when they were read (no other user has committed since, and this connection
// has changed no row but those of tenants whose figures it has let go); for a
// tenant whose figures could not be made sure of here, and once the database
// has changed, there are none, and the analysis reads the tenant's own
// statements as it always has. A tenant that the repair would leave as it is
// is then passed over, as on a server (below): the database holds exactly
// what its repair would read, so nothing is read again and nothing written.
//
// On a database server, which cannot say whether another user has committed,
// the server adds the tables up by tenant in one snapshot of the database. A
// tenant's figures are worked out at its turn and handed out only when the
// repair would leave its periods as they are (the repair then need not read
// them again, nor work itself out again). Such a tenant is passed over as
// the database stood at the reading: what another user records for it
// meanwhile is seen by its next analysis, as it would be had it been recorded
// after the batch had passed the tenant, and nothing is written from those
// figures. A tenant that the repair would change has no figures here: it is
// analysed and repaired from what its rows hold at its turn, inside its own
// transaction, as it always has been.

#include "engine/Database.h"
#include "platform/Seams.h"
#include "rent/CheckAll.h"
#include "rent/StoredPeriods.h"
#include "rent/TenantCodes.h"
#include "rent/TenantFigures.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rent {

class ListFigures {
public:
    // The figures of the tenants (the references of the list). Nothing where
    // the database can neither tell whether it has changed nor be read in one
    // snapshot, or a table cannot be read whole; a lost connection raises its
    // engine::EngineError.
    static std::optional<ListFigures> Read(engine::Database& database, const std::vector<std::string>& tenants,
                                           const Ledger& ledger, const platform::Locale& locale);

    // The tenant's figures as its analysis would read them now (on a server:
    // as they stood at the reading, for a tenant the repair leaves as it is),
    // its tenancy's fields with them; nothing when they are not known for
    // sure. On a file, once the database has changed beyond what Written()
    // was told, every figure is let go.
    const AnalysisTotals* Find(engine::Database& database, const std::string& tenant);

    // Whether the figures still hold, the database unchanged since they were
    // read beyond what Written() was told; once not, every figure is let go.
    bool Current(engine::Database& database);

    // The repair (without the rebuild) of the tenant last found (Find),
    // worked out from its figures as read, when it changes none of its
    // periods: the income captions it allocated, and what it said of the
    // periods it left out. On a file it stands for the database only while
    // the figures still hold (Current).
    struct AgreedRepair {
        IncomeTotals shown;
        std::vector<std::string> leftOut;
    };
    const AgreedRepair* Agreed(const std::string& tenant) const;

    // This connection has written (or may have written) the tenant's rows
    // since Current() was last asked: its figures are let go, and the
    // database's changes since then are taken to be that writing.
    void Written(engine::Database& database, const std::string& tenant);

private:
    explicit ListFigures(std::size_t tenants) : codes_(tenants) {}

    static std::optional<ListFigures> readOnServer(engine::Database& database, const std::vector<std::string>& tenants,
                                                   const Ledger& ledger, const platform::Locale& locale);

    // The tenant's figures worked out from what was read, at its turn; on a
    // server kept only if the repair changes none of its periods.
    void settle(std::size_t number, const std::string& tenant);

    TenantCodes codes_;
    std::vector<std::optional<AnalysisTotals>> figures_; // by the number of the tenant's code
    std::optional<engine::ChangeMark> mark_;             // on a file; none on a server
    bool valid_ = true;
    // Each tenant's periods until its figures are worked out, whether they
    // have been, and the repair of the last that agrees.
    std::optional<StoredPeriods> stored_;
    std::vector<std::uint8_t> settled_;
    std::optional<std::pair<std::size_t, AgreedRepair>> agreed_;
    const platform::Locale* locale_ = nullptr;
};

} // namespace rent
