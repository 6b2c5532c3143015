#include "engine/odbc/OdbcDialect.h"

#include "engine/JetDialect.h"

namespace engine::odbc {

namespace {

std::string lowered(const std::string& text) {
    std::string out;
    for (char c : text)
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

} // namespace

Dialect DialectOf(const std::string& dbmsName) {
    const std::string name = lowered(dbmsName);
    if (name.find("access") != std::string::npos)
        return Dialect::Access;
    if (name.rfind("postgres", 0) == 0)
        return Dialect::PostgreSql;
    if (name.rfind("sqlite", 0) == 0)
        return Dialect::Sqlite;
    return Dialect::Other;
}

std::string Translate(Dialect dialect, const std::string& jetSql) {
    switch (dialect) {
    case Dialect::Access:
        return jetSql;
    case Dialect::Sqlite:
        return TranslateJetSql(jetSql, JetTarget::Sqlite);
    case Dialect::PostgreSql:
    case Dialect::Other:
        break;
    }
    return TranslateJetSql(jetSql, JetTarget::Ansi);
}

std::string QuoteName(Dialect dialect, const std::string& name) {
    if (dialect == Dialect::Access)
        return "[" + name + "]";
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

bool HasSavepoints(Dialect dialect) {
    return dialect == Dialect::PostgreSql || dialect == Dialect::Sqlite;
}

bool FailureAbortsTransaction(Dialect dialect) {
    return dialect == Dialect::PostgreSql;
}

} // namespace engine::odbc
