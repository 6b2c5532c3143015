#include "engine/sqlite/StatementCache.h"

#include <utility>

namespace engine {

StatementCache::Lease::Lease(StatementCache* cache, Entry* entry) : cache_(cache), entry_(entry) {
    // A statement is reset whenever a borrow ends, so it is handed out reset.
    ++entry_->borrowed;
}

StatementCache::Lease::Lease(Lease&& other) noexcept
    : cache_(std::exchange(other.cache_, nullptr)), entry_(std::exchange(other.entry_, nullptr)) {}

StatementCache::Lease& StatementCache::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        release();
        cache_ = std::exchange(other.cache_, nullptr);
        entry_ = std::exchange(other.entry_, nullptr);
    }
    return *this;
}

StatementCache::Lease::~Lease() {
    release();
}

void StatementCache::Lease::release() {
    if (!entry_)
        return;
    // Every use binds all of the statement's parameters afresh.
    sqlite3_reset(get());
    --entry_->borrowed;
    if (entry_->transient)
        cache_->releaseTransient(entry_);
    entry_ = nullptr;
    cache_->trim();
}

StatementCache::Lease StatementCache::find(const std::string& key) {
    const auto found = index_.find(key);
    if (found == index_.end() || found->second->borrowed > 0)
        return {};
    entries_.splice(entries_.begin(), entries_, found->second);
    return Lease(this, &*found->second);
}

StatementCache::Lease StatementCache::insert(const std::string& key, PreparedStatement prepared) {
    const bool inUse = index_.count(key) > 0;
    entries_.push_front(Entry{key, std::move(prepared), 0, inUse});
    if (!inUse)
        index_[key] = entries_.begin();
    Lease lease(this, &entries_.front());
    trim();
    return lease;
}

void StatementCache::releaseTransient(Entry* entry) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (&*it == entry) {
            entries_.erase(it);
            return;
        }
    }
}

void StatementCache::setCapacity(std::size_t capacity) {
    capacity_ = capacity;
    trim();
}

void StatementCache::clear() {
    const std::size_t keep = capacity_;
    capacity_ = 0;
    trim();
    capacity_ = keep;
}

void StatementCache::trim() {
    // From the least recently used end, past any statement still in use.
    auto it = entries_.end();
    while (entries_.size() > capacity_ && it != entries_.begin()) {
        --it;
        if (it->borrowed > 0)
            continue;
        index_.erase(it->key);
        it = entries_.erase(it);
    }
}

} // namespace engine
