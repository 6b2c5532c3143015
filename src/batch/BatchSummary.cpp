#include "batch/BatchSummary.h"

#include "general/TextForm.h"

#include <utility>

namespace {

bool sameError(const engine::EngineError& a, const engine::EngineError& b) {
    return a.number == b.number && a.source == b.source && a.description == b.description;
}

// What the error means for the user, in plain words, where it is one that
// stops every repair alike; nothing for any other.
std::optional<std::string> plainMeaning(const engine::EngineError& error) {
    if (error.source != engine::sqliteSource)
        return std::nullopt;
    switch (error.number & 0xFF) { // the primary result code, also of an extended one
    case 5:                        // busy
    case 6:                        // locked
        return "the database is locked by another user";
    case 8: // read-only
        return "the database cannot be written to";
    case 10: // input or output
        return "the database file cannot be read or written";
    case 11: // corrupt
    case 26: // not a database
        return "the database file is damaged";
    case 13: // full
        return "the disk is full";
    default:
        return std::nullopt;
    }
}

// 1729 as "1,729", as the window writes its counts.
std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string count(std::size_t n, const char* one, const char* many) {
    return grouped(n) + " " + (n == 1 ? one : many);
}

// The driver's own words on a failure, without its SQLSTATE and details:
// "server closed the connection unexpectedly".
std::string firstWords(const std::string& description) {
    std::string text = description;
    if (text.size() > 2 && text[0] == '[' && text.find("] ") != std::string::npos)
        text = text.substr(text.find("] ") + 2);
    text = text.substr(0, text.find_first_of("\r\n"));
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == ';'))
        text.pop_back();
    return text;
}

} // namespace

BatchSummary::BatchSummary(ErrorReport& log, int tenantCount, std::string name)
    : log_(log), tenantCount_(tenantCount), name_(std::move(name)) {}

BatchSummary::~BatchSummary() {
    if (notLogged_ == 0)
        return;
    try {
        log_.WriteErrorLog("Fix All: " + count(notLogged_, "more failure was", "more failures were") +
                           " not written out; the first " + std::to_string(reportsLogged) + " are above.");
    } catch (...) {
    }
}

void BatchSummary::ReportError(const std::string& label, const engine::EngineError& error) {
    // A systematic failure (a lost server) must not flood the log: the first
    // reports in full, then a count.
    if (logged_ < reportsLogged) {
        log_.LogError(label, error);
        ++logged_;
    } else {
        ++notLogged_;
    }
    if (!firstError_)
        firstError_ = error;
    if (error.connectionLost && !lostError_)
        lostError_ = error;
}

void BatchSummary::log(const std::string& text) {
    if (logged_ < reportsLogged) {
        log_.WriteErrorLog(text);
        ++logged_;
    } else {
        ++notLogged_;
    }
}

void BatchSummary::beginTenant() {
    firstError_.reset();
}

void BatchSummary::tenantDone(int index, const std::string& tenant, bool kept, bool agreed) {
    auto [it, added] = entries_.try_emplace(index);
    if (added)
        order_.push_back(index);
    it->second.tenant = tenant;
    it->second.outcome = !kept ? Outcome::Failed : agreed ? Outcome::Agreed : Outcome::Waiting;
    it->second.cause = kept ? std::nullopt : firstError_;
    if (it->second.outcome == Outcome::Waiting)
        waiting_.push_back(index);
}

void BatchSummary::tenantSkipped(int index, const std::string& tenant) {
    tenantDone(index, tenant, true);
    entries_[index].outcome = Outcome::Skipped;
}

void BatchSummary::groupCommitted() {
    for (int index : std::exchange(waiting_, {})) {
        Entry& entry = entries_.at(index);
        if (entry.outcome == Outcome::Waiting)
            entry.outcome = Outcome::Repaired;
    }
}

void BatchSummary::groupLost(const engine::EngineError& error) {
    for (int index : std::exchange(waiting_, {})) {
        Entry& entry = entries_.at(index);
        if (entry.outcome == Outcome::Waiting) {
            entry.outcome = Outcome::Failed;
            entry.cause = error;
        }
    }
}

bool BatchSummary::shouldStop() const {
    if (order_.size() < sameFailureStop)
        return false;
    const Entry& first = entries_.at(order_.front());
    for (std::size_t i = 0; i < sameFailureStop; ++i) {
        const Entry& entry = entries_.at(order_[i]);
        if (entry.outcome != Outcome::Failed || !entry.cause || !first.cause || !sameError(*entry.cause, *first.cause))
            return false;
    }
    for (const auto& [index, entry] : entries_)
        if (entry.outcome != Outcome::Failed)
            return false;
    return true;
}

std::string BatchSummary::lostText() const {
    // The tenant done last met the loss; those whose group was lost with the
    // connection were repaired but never committed.
    std::size_t repaired = 0;
    std::size_t agreed = 0;
    std::size_t lostWithGroup = 0;
    std::vector<std::string> failed;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        const Entry& entry = entries_.at(order_[i]);
        if (entry.outcome == Outcome::Repaired)
            ++repaired;
        else if (entry.outcome == Outcome::Agreed)
            ++agreed;
        else if (i + 1 == order_.size())
            continue;
        else if (entry.outcome == Outcome::Waiting || (entry.cause && entry.cause->connectionLost))
            ++lostWithGroup;
        else
            failed.push_back(entry.tenant);
    }
    const std::size_t total = tenantCount_ > 0 ? static_cast<std::size_t>(tenantCount_) : 0;
    const std::size_t notTried = total > order_.size() ? total - order_.size() : 0;
    std::string text = "Fix All stopped: the connection to the database server was lost (" +
                       firstWords(lostError_->description) + "). " + count(repaired, "tenant was", "tenants were") +
                       " repaired; ";
    if (agreed > 0)
        text += grouped(agreed) + (agreed == 1 ? " already agreed and was left as it was; "
                                               : " already agreed and were left as they were; ");
    if (lostWithGroup > 0)
        text += "the " + grouped(lostWithGroup) +
                " repaired since the last commit and the tenant being repaired were "
                "left as they were; ";
    else if (!order_.empty())
        text += "the tenant being repaired was left as it was; ";
    text += grouped(notTried) + (notTried == 1 ? " was" : " were") + " not tried.";
    if (!failed.empty()) {
        text += " " + std::to_string(failed.size()) +
                (failed.size() == 1 ? " more could not be repaired and was left exactly as it was: "
                                    : " more could not be repaired and were left exactly as they were: ");
        for (std::size_t i = 0; i < failed.size() && i < namesShown; ++i)
            text += (i > 0 ? ", " : "") + failed[i];
        text += failed.size() > namesShown ? " and " + std::to_string(failed.size() - namesShown) + " more."
                                           : std::string(".");
    }
    return text + " What went wrong is written in the error log " + log_.logPath() + ".";
}

std::string BatchSummary::text(End end) const {
    if (end == End::ConnectionLost && lostError_)
        return lostText();
    std::size_t repaired = 0;
    std::size_t agreed = 0;
    std::vector<std::string> failed;
    std::vector<std::string> skipped;
    for (int index : order_) {
        const Entry& entry = entries_.at(index);
        if (entry.outcome == Outcome::Repaired)
            ++repaired;
        else if (entry.outcome == Outcome::Agreed)
            ++agreed;
        else if (entry.outcome == Outcome::Skipped)
            skipped.push_back(entry.tenant);
        else
            failed.push_back(entry.tenant);
    }
    const std::size_t total = tenantCount_ > 0 ? static_cast<std::size_t>(tenantCount_) : 0;
    const std::size_t notReached = total > order_.size() ? total - order_.size() : 0;
    const std::string logPath = log_.logPath();

    if (end == End::Stopped && !order_.empty()) {
        const engine::EngineError& error = *entries_.at(order_.front()).cause;
        return name_ + " stopped: " + plainMeaning(error).value_or("every tenant failed with the same error") + " (" +
               error.description + "). No tenant was changed. The first " + count(order_.size(), "tenant", "tenants") +
               " all failed with this error" +
               (notReached == 0   ? std::string(".")
                : notReached == 1 ? std::string(", so the last one was not tried.")
                                  : ", so the other " + std::to_string(notReached) + " were not tried.") +
               " Each failure is written in full in the error log " + logPath + ".";
    }

    std::string text = name_ + " repaired " + GroupedCount(static_cast<long long>(repaired)) + " of " +
                       GroupedCount(static_cast<long long>(total)) + (total == 1 ? " tenant" : " tenants");
    if (agreed > 0)
        text += "; " + GroupedCount(static_cast<long long>(agreed)) +
                (agreed == 1 ? " already agreed and was left as it was" : " already agreed and were left as they were");
    text += ".";
    if (!skipped.empty()) {
        // Checked again because their figures had changed since the check.
        text += " " + std::to_string(skipped.size()) +
                (skipped.size() == 1 ? " no longer disagreed with the money received and was skipped: "
                                     : " no longer disagreed with the money received and were skipped: ");
        for (std::size_t i = 0; i < skipped.size() && i < namesShown; ++i)
            text += (i > 0 ? ", " : "") + skipped[i];
        if (skipped.size() > namesShown)
            text += " and " + std::to_string(skipped.size() - namesShown) + " more";
        text += ".";
    }
    if (!failed.empty()) {
        text += " " + std::to_string(failed.size()) +
                (failed.size() == 1 ? " could not be repaired and was left exactly as it was: "
                                    : " could not be repaired and were left exactly as they were: ");
        for (std::size_t i = 0; i < failed.size() && i < namesShown; ++i)
            text += (i > 0 ? ", " : "") + failed[i];
        if (failed.size() > namesShown)
            text += " and " + std::to_string(failed.size() - namesShown) + " more; see " + logPath + ".";
        else
            text += ". What went wrong is written in the error log " + logPath + ".";
    }
    if (notReached > 0) {
        const char* why = end == End::ExitPressed     ? "Exit was pressed"
                          : end == End::WindowClosed  ? "the window was closed"
                          : end == End::JournalFailed ? "the repair journal could not be written"
                                                      : "the last tenant was selected during the batch";
        text += std::string(" It ended before the end of the list because ") + why + ": " +
                count(notReached, "tenant was", "tenants were") + " not reached.";
    }
    return text;
}
