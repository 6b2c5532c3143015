#include "engine/DBEngine.h"

#include "engine/ConnectionText.h"
#include "engine/EngineError.h"
#include "engine/odbc/OdbcConnection.h"
#include "platform/Seams.h"

#ifdef _WIN32
#include "engine/odbc/AccessDriver.h"
#include "platform/Registry.h"
#endif

#ifdef HABITORIUM_HAVE_SQLITE
#include "engine/sqlite/SqliteConnection.h"
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace engine {

namespace {

[[noreturn]] void notADatabase(const std::string& description) {
    throw EngineError(errNotADatabase, engineSource, description);
}

enum class FileKind { Sqlite, Jet };

// The file's first bytes decide what it is: an SQLite file, or a Jet/ACE
// file (whose header is named in jetHeader). Everything else that can be
// told from the header alone is refused here, before any driver sees the file.
FileKind checkHeader(const std::string& path, std::string& jetHeader) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = platform::nativePath(path);
    const fs::file_status status = fs::status(file, ec);
    if (path.empty() || status.type() == fs::file_type::not_found)
        throw EngineError(errNotFound, engineSource, "Could not find file '" + path + "'.");
    if (ec)
        throw EngineError(errCannotOpen, engineSource, "Could not open '" + path + "': " + ec.message() + ".");
    if (status.type() == fs::file_type::directory)
        notADatabase("'" + path + "' is a folder, not a database file.");

    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw EngineError(errCannotOpen, engineSource, "Could not open '" + path + "' for reading.");
    char header[100] = {};
    in.read(header, sizeof header);
    const auto got = static_cast<std::size_t>(in.gcount());
    const std::uintmax_t size = fs::file_size(file, ec);

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
        return FileKind::Sqlite;
    }
    for (const char* jet : {"Standard Jet DB", "Standard ACE DB"}) {
        if (got >= 4 + std::strlen(jet) && std::memcmp(header + 4, jet, std::strlen(jet)) == 0) {
            jetHeader = jet;
            return FileKind::Jet;
        }
    }
    notADatabase("'" + path + "' is not a database file.");
}

#ifdef _WIN32
// The host application's own file, used in place through the Access driver
// of this program's bitness that opens files with this header.
std::shared_ptr<Database> openAccessFile(const std::string& name, const std::string& header, bool readOnly) {
    constexpr int bits = sizeof(void*) == 8 ? 64 : 32;
    const std::optional<std::string> driver = odbc::ChooseAccessDriver(header, odbc::InstalledDrivers());
    if (!driver) {
        // Asked for by name, a missing driver only gets the driver manager's
        // "data source name not found": say what is missing and what to do.
        const std::unique_ptr<platform::Registry> registry = platform::systemRegistry();
        notADatabase(odbc::NoAccessDriverText(name, header, bits, odbc::DriversOfOtherBitness(*registry, bits)));
    }
    // Braces keep a ";" in the path inside the value.
    std::string path;
    for (char c : name)
        path += c == '}' ? std::string("}}") : std::string(1, c);
    try {
        auto connection =
            std::make_shared<odbc::OdbcConnection>("Driver={" + *driver + "};DBQ={" + path + "};", name, readOnly);
        return std::make_shared<Database>(std::move(connection));
    } catch (const EngineError& e) {
        // The driver's own words follow, with their SQLSTATE.
        throw EngineError(e.number, e.source,
                          "'" + name + "' is an Access database (" + header + "); the ODBC driver \"" + *driver +
                              "\" could not open it.\r\n" + e.description);
    }
}
#endif

} // namespace

Workspace& DBEngine::Workspaces(std::int16_t index) {
    if (index != 0)
        throw EngineError(errNoSuchField, engineSource, "Item not found in this collection.");
    return workspace0_;
}

std::shared_ptr<Database> DBEngine::OpenDatabase(const std::string& name, bool exclusive, bool readOnly) {
    if (IsConnectionText(name)) {
        auto connection =
            std::make_shared<odbc::OdbcConnection>(OdbcConnectionString(name), MaskPassword(name), readOnly);
        return std::make_shared<Database>(std::move(connection));
    }
    std::string jetHeader;
    if (checkHeader(name, jetHeader) == FileKind::Jet) {
#ifdef _WIN32
        return openAccessFile(name, jetHeader, readOnly);
#else
        notADatabase("'" + name + "' is an Access database (" + jetHeader +
                     "). This build cannot open an Access file itself: open it with the Windows build of the tool "
                     "(through the Microsoft Access ODBC driver), or reach it through an ODBC data source by setting "
                     "DatabaseLocation to \"ODBC;DSN=<data source>\".");
#endif
    }

#ifdef HABITORIUM_HAVE_SQLITE
    auto connection = std::make_shared<SqliteConnection>(name, exclusive, readOnly);
    return std::make_shared<Database>(std::move(connection));
#else
    // A build without SQLite (the Windows cross build here) still tells the
    // user what the file is rather than failing on it later.
    (void)exclusive;
    (void)readOnly;
    notADatabase("'" + name + "' is an SQLite database; this build has no SQLite engine.");
#endif
}

} // namespace engine
