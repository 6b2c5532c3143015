#include "engine/DBEngine.h"

#include "engine/Sqlite.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace engine {

namespace {

[[noreturn]] void notADatabase(const std::string& description) {
    throw EngineError(errNotADatabase, engineSource, description);
}

// The file's first bytes decide what it is; only an SQLite file gets past.
// Everything that can be told from the header alone is refused here, before
// SQLite sees the file.
void checkHeader(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (path.empty() || status.type() == fs::file_type::not_found)
        throw EngineError(errNotFound, engineSource, "Could not find file '" + path + "'.");
    if (ec)
        throw EngineError(errCannotOpen, engineSource, "Could not open '" + path + "': " + ec.message() + ".");
    if (status.type() == fs::file_type::directory)
        notADatabase("'" + path + "' is a folder, not a database file.");

    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EngineError(errCannotOpen, engineSource, "Could not open '" + path + "' for reading.");
    char header[100] = {};
    in.read(header, sizeof header);
    const auto got = static_cast<std::size_t>(in.gcount());
    const std::uintmax_t size = fs::file_size(path, ec);

    if (got == 0)
        notADatabase("'" + path + "' is empty; it is not a database file.");
    if (got >= 16 && std::memcmp(header, "SQLite format 3\0", 16) == 0) {
        // The page size is at offset 16, big-endian; 1 stands for 65536.
        unsigned pageSize =
            got >= 18 ? (static_cast<unsigned char>(header[16]) << 8) | static_cast<unsigned char>(header[17]) : 0;
        if (pageSize == 1)
            pageSize = 65536;
        const bool powerOfTwo = pageSize >= 512 && pageSize <= 65536 && (pageSize & (pageSize - 1)) == 0;
        if (got < sizeof header || !powerOfTwo || ec || size < pageSize)
            notADatabase("'" + path + "' is a damaged or truncated SQLite database.");
        return;
    }
    for (const char* jet : {"Standard Jet DB", "Standard ACE DB"}) {
        if (got >= 4 + std::strlen(jet) && std::memcmp(header + 4, jet, std::strlen(jet)) == 0)
            notADatabase("'" + path + "' is a Jet/Access database (" + jet +
                         "); this build opens SQLite property databases only.");
    }
    notADatabase("'" + path + "' is not a database file.");
}

// Reads the schema so that a file SQLite cannot use fails now, at the open,
// rather than at the first query.
void verify(Connection& connection) {
    sqlite3* db = connection.db.get();
    try {
        run(db, "select count(*) from sqlite_master");
    } catch (const EngineError& error) {
        if (error.number == SQLITE_CORRUPT || error.number == SQLITE_NOTADB)
            notADatabase("'" + connection.path + "' is a damaged or truncated SQLite database (" + error.description +
                         ").");
        throw EngineError(error.number, error.source, error.description + " ('" + connection.path + "')");
    }
}

} // namespace

Workspace& DBEngine::Workspaces(std::int16_t index) {
    if (index != 0)
        throw EngineError(errNoSuchField, engineSource, "Item not found in this collection.");
    return workspace0_;
}

std::shared_ptr<Database> DBEngine::OpenDatabase(const std::string& name, bool exclusive, bool readOnly) {
    checkHeader(name);

    auto connection = std::make_shared<Connection>();
    connection->path = name;
    sqlite3* raw = nullptr;
    // Never create: the file must be the host application's.
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
    connection->db.reset(raw);
    if (rc != SQLITE_OK) {
        const EngineError error = sqliteError(raw);
        throw EngineError(error.number, error.source, error.description + " ('" + name + "')");
    }
    sqlite3_busy_timeout(raw, defaultBusyTimeoutMs);
    if (exclusive)
        run(raw, "pragma locking_mode = exclusive");
    verify(*connection);
    // A page cache of 32 MB keeps a large property database's tenant pages in
    // memory through a "Fix All" (the default is 2 MB). Another user's write
    // still invalidates it, as it must.
    run(raw, "pragma cache_size = -32768");
    return std::make_shared<Database>(std::move(connection));
}

} // namespace engine
