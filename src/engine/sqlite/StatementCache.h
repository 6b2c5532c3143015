#pragma once
// The prepared statements of one SQLite connection, kept under their shape
// (see SqlShape.h) so that each shape is prepared once. The cache is bounded:
// past its capacity the least recently used statement is finalised, but never
// one that is still in use; while every statement is in use the cache holds
// more than its capacity, and gives the surplus back as they are returned.

#include "engine/sqlite/Sqlite.h"

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace engine {

// A prepared statement and what the connection learnt about it when it
// prepared it.
struct PreparedStatement {
    StatementHandle stmt;
    // A select opened for editing: its rows stand for rows of table (column 0
    // the rowid, then one table column per field).
    bool editable = false;
    std::string table;
    std::vector<std::string> columns;
    // The tables it reads (lower case), and whether its rows may be kept for
    // the next run with the same values (it reads tables only, through no view,
    // and calls no function that could give another answer on the same data).
    std::vector<std::string> tablesRead;
    bool rowsReusable = false;
};

class StatementCache {
    struct Entry {
        std::string key;
        PreparedStatement prepared;
        int borrowed = 0;
        // Prepared while the statement kept under key was still in use (a
        // statement run while another's rows are being read): it is not
        // kept, and is finalised when its borrow ends.
        bool transient = false;
    };

public:
    // How many statement shapes a connection keeps: the tool uses about thirty.
    static constexpr std::size_t defaultCapacity = 64;

    explicit StatementCache(std::size_t capacity) : capacity_(capacity) {}
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // A statement borrowed from the cache. It is handed out reset, and reset
    // again when the borrow ends, so it holds no lock between uses; until
    // then the cache never finalises it. A borrower binds every parameter.
    class Lease {
    public:
        Lease() = default;
        Lease(StatementCache* cache, Entry* entry);
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&& other) noexcept;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();

        explicit operator bool() const { return entry_ != nullptr; }
        sqlite3_stmt* get() const { return entry_->prepared.stmt.get(); }
        const PreparedStatement& prepared() const { return entry_->prepared; }

    private:
        void release();
        StatementCache* cache_ = nullptr;
        Entry* entry_ = nullptr;
    };

    // The statement kept under key, now the most recently used; empty when
    // there is none, or when it is in use (its rows still being read), so
    // that a statement is never stepped for two readers at once.
    Lease find(const std::string& key);
    // Keeps prepared under key and lends it out; while the statement kept
    // under key is in use, lends prepared out for this borrow only.
    Lease insert(const std::string& key, PreparedStatement prepared);

    void setCapacity(std::size_t capacity);
    std::size_t capacity() const { return capacity_; }
    std::size_t size() const { return entries_.size(); }
    // Finalises every statement not in use.
    void clear();

private:
    void trim();
    void releaseTransient(Entry* entry);

    std::size_t capacity_;
    std::list<Entry> entries_; // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

} // namespace engine
