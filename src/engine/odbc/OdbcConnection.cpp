#include "engine/odbc/OdbcConnection.h"

#include "engine/odbc/BoundParameters.h"
#include "engine/odbc/ResultRows.h"

#include "engine/NumberText.h"
#include "engine/ResultColumns.h"

#include <algorithm>
#include <new>
#include <optional>
#include <set>
#include <type_traits>

namespace engine::odbc {

namespace {

constexpr const char* fenceName = "habitorium_statement";

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(const std::string& s) {
    std::string out;
    for (char c : s)
        out += lower(c);
    return out;
}

bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$' ||
           u >= 0x80;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// ---- the shape of a Jet select, read from its tokens

struct Token {
    enum Kind { Word, Name, Quoted, Symbol } kind;
    std::string text; // a word in lower case; a bracketed name without brackets
    std::size_t begin;
    std::size_t end;
};

std::vector<Token> tokens(const std::string& sql) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (isSpace(c)) {
            ++i;
        } else if (c == '\'' || c == '"' || c == '[') {
            const char closer = c == '[' ? ']' : c;
            std::size_t j = i + 1;
            while (j < sql.size()) {
                if (sql[j] == closer) {
                    if (closer != ']' && j + 1 < sql.size() && sql[j + 1] == closer) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const std::size_t end = j < sql.size() ? j + 1 : sql.size();
            if (c == '[')
                out.push_back({Token::Name, sql.substr(i + 1, j - i - 1), i, end});
            else
                out.push_back({Token::Quoted, sql.substr(i, end - i), i, end});
            i = end;
        } else if (isWordChar(c)) {
            std::size_t j = i;
            while (j < sql.size() && isWordChar(sql[j]))
                ++j;
            out.push_back({Token::Word, lowered(sql.substr(i, j - i)), i, j});
            i = j;
        } else {
            out.push_back({Token::Symbol, std::string(1, c), i, i + 1});
            ++i;
        }
    }
    return out;
}

// Refuses what a recordset cannot stand on: no statement, several, or one
// that changes data.
void checkRecordsetStatement(const std::vector<Token>& t) {
    std::size_t last = t.size();
    while (last > 0 && t[last - 1].kind == Token::Symbol && t[last - 1].text == ";")
        --last;
    if (last == 0)
        throw EngineError(errInvalidOperation, engineSource, "Invalid operation: the SQL text holds no statement.");
    for (std::size_t i = 0; i < last; ++i) {
        if (t[i].kind == Token::Symbol && t[i].text == ";")
            throw EngineError(errInvalidOperation, engineSource,
                              "Invalid operation: a recordset is opened on one statement only.");
    }
    std::size_t first = 0;
    while (first < last && t[first].kind == Token::Symbol && t[first].text == "(")
        ++first;
    bool changes = first >= last || t[first].kind != Token::Word || t[first].text != "select";
    for (std::size_t i = 0; i < last && !changes; ++i)
        changes = t[i].kind == Token::Word && t[i].text == "into";
    if (changes)
        throw EngineError(errInvalidOperation, engineSource,
                          "Invalid operation: a recordset cannot be opened on a statement that changes data.");
}

// A select whose rows stand one for one for rows of one table, and whose
// columns are the table's own: "select [top N] * | a, [b c] from t [where
// ...] [order by ...]".
struct PlainSelect {
    std::size_t listBegin; // where the select list starts in the text
    std::vector<std::string> list;
    std::string table;
};

std::optional<PlainSelect> plainSelect(const std::vector<Token>& t) {
    if (t.empty() || t[0].kind != Token::Word || t[0].text != "select")
        return std::nullopt;
    for (const Token& token : t) {
        if (token.kind == Token::Word &&
            (token.text == "group" || token.text == "distinct" || token.text == "distinctrow" ||
             token.text == "union" || token.text == "join" || token.text == "having" || token.text == "intersect" ||
             token.text == "except" || token.text == "transform" || token.text == "pivot"))
            return std::nullopt;
    }
    std::size_t i = 1;
    if (i + 1 < t.size() && t[i].kind == Token::Word && t[i].text == "top")
        i += 2;
    if (i >= t.size())
        return std::nullopt;
    PlainSelect shape;
    shape.listBegin = t[i].begin;
    for (;;) {
        if (i >= t.size())
            return std::nullopt;
        const Token& item = t[i];
        if (item.kind == Token::Symbol && item.text == "*")
            shape.list.push_back("*");
        else if (item.kind == Token::Name || (item.kind == Token::Word && item.text != "from"))
            shape.list.push_back(item.text);
        else
            return std::nullopt;
        ++i;
        if (i < t.size() && t[i].kind == Token::Symbol && t[i].text == ",") {
            ++i;
            continue;
        }
        break;
    }
    if (i + 1 >= t.size() || t[i].kind != Token::Word || t[i].text != "from")
        return std::nullopt;
    const Token& table = t[i + 1];
    if (table.kind != Token::Name && table.kind != Token::Word)
        return std::nullopt;
    shape.table = table.kind == Token::Name ? table.text : table.text;
    if (i + 2 < t.size()) {
        const Token& next = t[i + 2];
        const bool fine = (next.kind == Token::Symbol && next.text == ";") ||
                          (next.kind == Token::Word && (next.text == "where" || next.text == "order"));
        if (!fine)
            return std::nullopt;
    }
    return shape;
}

// The tables a select reads, subqueries' too, each named after "from" or
// "join", in lower case; empty when that cannot be told (a union, a list of
// tables) or it reads none.
std::vector<std::string> tablesRead(const std::vector<Token>& t) {
    std::vector<std::string> tables;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Token::Word)
            continue;
        if (t[i].text == "union")
            return {};
        if (t[i].text == "from" || t[i].text == "join") {
            // A subquery in the from list names its own tables.
            if (i + 1 < t.size() && t[i + 1].kind == Token::Symbol && t[i + 1].text == "(")
                continue;
            if (i + 1 >= t.size() || (t[i + 1].kind != Token::Word && t[i + 1].kind != Token::Name))
                return {};
            tables.push_back(lowered(t[i + 1].text));
            if (i + 2 < t.size() && t[i + 2].kind == Token::Symbol && t[i + 2].text == ",")
                return {};
        }
    }
    return tables;
}

// The table an update, insert or delete writes, in lower case; empty when
// that cannot be told.
std::string tableWritten(const std::vector<Token>& t) {
    if (t.size() >= 2 && t[0].kind == Token::Word && t[0].text == "update" &&
        (t[1].kind == Token::Word || t[1].kind == Token::Name))
        return lowered(t[1].text);
    if (t.size() >= 3 && t[0].kind == Token::Word && (t[0].text == "delete" || t[0].text == "insert") &&
        (t[2].kind == Token::Word || t[2].kind == Token::Name))
        return lowered(t[2].text);
    return {};
}

std::u16string wide(const std::string& text) {
    return toWide(text);
}

// Runs sql; false when it answered SQL_NO_DATA (a searched update or delete
// that matched no row, with no result to read).
bool execDirect(SQLHSTMT stmt, const std::string& sql) {
    std::u16string text = wide(sql);
    const SQLRETURN rc = SQLExecDirectW(stmt, wideArg(text), SQL_NTS);
    check(rc, SQL_HANDLE_STMT, stmt, "SQLExecDirect", true);
    return rc != SQL_NO_DATA;
}

long long rowCount(SQLHSTMT stmt) {
    SQLLEN count = 0;
    if (SQLRowCount(stmt, &count) != SQL_SUCCESS)
        return 0;
    return count < 0 ? 0 : static_cast<long long>(count);
}

// A PostgreSQL statement with the quoted values it compares against turned
// into parameters, so that the statements the tool builds for one tenant and
// the next share one prepared statement. Only a value compared (after =, <>,
// <, >, or in an "in (...)" list) in a where clause (not in a group by,
// having or order by that follows it), or in a result column that "as" names
// in a select without group by (ResultColumns.h), becomes a parameter:
// PostgreSQL reads an untyped parameter there exactly as it reads the quoted
// value (its type is the column's), and DATE '...' and every other value stay
// in the text.
struct ParameterShape {
    std::string text;
    std::vector<Variant> values;
};

// What the token t[i] is to the lists of result columns.
ListMark listMark(const std::vector<Token>& t, std::size_t i) {
    const Token& token = t[i];
    if (token.kind == Token::Symbol) {
        if (token.text == "(")
            return ListMark::Open;
        if (token.text == ")")
            return ListMark::Close;
        return token.text == "," ? ListMark::Comma : ListMark::Other;
    }
    if (token.kind == Token::Name || (token.kind == Token::Quoted && token.text[0] == '"'))
        return ListMark::Name;
    if (token.kind != Token::Word)
        return ListMark::Other;
    return WordMark(token.text, i > 0 && t[i - 1].kind == Token::Word && t[i - 1].text == "group");
}

ParameterShape parameterShape(const std::string& sql) {
    const std::vector<Token> t = tokens(sql);
    ParameterShape shape;
    for (const Token& token : t) {
        // A statement with markers of its own is sent as it is.
        if (token.kind == Token::Symbol && token.text == "?")
            return {sql, {}};
    }
    std::vector<ListMark> marks;
    marks.reserve(t.size());
    for (std::size_t i = 0; i < t.size(); ++i)
        marks.push_back(listMark(t, i));
    const ResultListPlaces places = PlacesInResultLists(marks);
    std::size_t copied = 0;
    bool afterWhere = false;
    int listDepth = -1; // the parenthesis depth of an open "in (" list
    int depth = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Token& token = t[i];
        if (token.kind == Token::Word && token.text == "where")
            afterWhere = true;
        // A value in a group by, having or order by stays in the text: there
        // it may be one of the select list's expressions, which must read the
        // same to the server.
        if (token.kind == Token::Word && (token.text == "group" || token.text == "having" || token.text == "order"))
            afterWhere = false;
        if (token.kind == Token::Symbol && token.text == "(") {
            ++depth;
            if (i > 0 && t[i - 1].kind == Token::Word && t[i - 1].text == "in" && listDepth < 0)
                listDepth = depth;
        } else if (token.kind == Token::Symbol && token.text == ")") {
            if (depth == listDepth)
                listDepth = -1;
            --depth;
        }
        const bool place = places.lists[i] > 0 ? places.named[i] == places.lists[i] : afterWhere;
        if (!place || token.kind != Token::Quoted || token.text.empty() || token.text[0] != '\'' || i == 0)
            continue;
        const Token& before = t[i - 1];
        const bool compared =
            before.kind == Token::Symbol && (before.text == "=" || before.text == ">" || before.text == "<" ||
                                             ((before.text == "(" || before.text == ",") && listDepth == depth));
        if (!compared || token.text.size() < 2 || token.text.back() != '\'')
            continue;
        std::string value;
        for (std::size_t k = 1; k + 1 < token.text.size(); ++k) {
            value += token.text[k];
            if (token.text[k] == '\'')
                ++k; // a doubled quote stands for one
        }
        shape.text += sql.substr(copied, token.begin - copied) + "?";
        copied = token.end;
        shape.values.emplace_back(std::move(value));
    }
    shape.text += sql.substr(copied);
    return shape;
}

} // namespace

SelectReading ReadPostgresSelect(const std::string& jetSql) {
    const std::vector<Token> t = tokens(jetSql);
    checkRecordsetStatement(t);
    ParameterShape shape = parameterShape(Translate(Dialect::PostgreSql, jetSql));
    return {tablesRead(t), std::move(shape.text), std::move(shape.values)};
}

OdbcConnection::OdbcConnection(const std::string& connectionString, std::string shownName, bool readOnly)
    : name_(std::move(shownName)), connectionString_(connectionString), readOnly_(readOnly),
      selects_(ReadPostgresSelect) {
    env_ = allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    check(SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, env_.get(), "SQLSetEnvAttr");
    connect(connectionString, readOnly);
    const std::string given = lowered(connectionString);
    if (dialect_ == Dialect::PostgreSql) {
        std::string extra;
        // The PostgreSQL driver's own recovery from a failed statement rolls
        // the whole transaction back when the statement does not parse (so a
        // "Fix All" would lose the tenants before it). The engine fences each
        // statement itself; the driver is asked to leave errors alone.
        if (given.find("protocol") == std::string::npos)
            extra += "Protocol=7.4-0;";
        // A connection whose packets are dropped is found dead by the
        // driver's TCP keepalives: idle 10 s, then a probe every 2 s. The
        // user's connection text wins where it sets them.
        if (given.find("keepalive") == std::string::npos)
            extra += "KeepaliveTime=10;KeepaliveInterval=2;";
        if (!extra.empty()) {
            dbc_.reset();
            connectionString_ += (connectionString.empty() || connectionString.back() == ';' ? "" : ";") + extra;
            connect(connectionString_, readOnly);
        }
    }
    setBusyTimeout(defaultBusyTimeoutMs);
    // No statement waits for ever: the server ends one that runs longer
    // (unless the user's connection text sets its own limit).
    if (dialect_ == Dialect::PostgreSql && given.find("statement_timeout") == std::string::npos)
        run("SET statement_timeout = " + std::to_string(std::chrono::milliseconds(statementTimeout).count()));
    // The tool's statements read a tenant's rows, or add a table up once:
    // compiling one first (PostgreSQL's JIT, which the estimates of a large
    // table switch on) costs more than running it. Check All of 10,000
    // tenants spent 0.75 s of its 1.2 s income statement compiling it. A
    // server without JIT (before version 11) refuses the setting, and goes on
    // without it.
    if (dialect_ == Dialect::PostgreSql && given.find("jit") == std::string::npos) {
        try {
            run("SET jit = off");
        } catch (const EngineError& error) {
            if (error.connectionLost)
                throw;
        }
    }
}

void OdbcConnection::connect(const std::string& connectionString, bool readOnly) {
    // The connection handle is freed (after a disconnect) before the environment.
    Handle dbc = allocate(SQL_HANDLE_DBC, env_.get());
    SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    if (readOnly)
        SQLSetConnectAttrW(dbc.get(), SQL_ATTR_ACCESS_MODE,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_MODE_READ_ONLY)), 0);
    std::u16string text = toWide(connectionString);
    SQLWCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    const std::set<SocketId> socketsBefore = NetworkWatch::openSockets();
    ++roundTrips_;
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, wideArg(text), static_cast<SQLSMALLINT>(text.size()),
                                           completed, 1024, &completedLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        const EngineError error = odbcError(SQL_HANDLE_DBC, dbc.get(), "SQLDriverConnect");
        // Not connected: free the handle without a disconnect.
        SQLFreeHandle(SQL_HANDLE_DBC, dbc.release());
        EngineError shown(error.number, error.source, error.description + " ('" + name_ + "')");
        shown.connectionLost = error.connectionLost;
        throw shown;
    }
    dbc_ = std::move(dbc);
    watch_.watch(socketsBefore);

    SQLWCHAR dbms[256] = {};
    SQLSMALLINT dbmsLength = 0;
    check(SQLGetInfoW(dbc_.get(), SQL_DBMS_NAME, dbms, sizeof dbms, &dbmsLength), SQL_HANDLE_DBC, dbc_.get(),
          "SQLGetInfo");
    dbmsName_ = fromWide(dbms, static_cast<std::size_t>(dbmsLength) / sizeof(SQLWCHAR));
    dialect_ = DialectOf(dbmsName_);
    // Where it was measured: half the time of reading a long result there.
    fetchesInBlocks_ = dialect_ == Dialect::PostgreSql && FetchesInBlocks(dbc_.get());
}

std::shared_ptr<Connection> OdbcConnection::openAnother() const {
    // A server's; a file reached through its driver (Access, SQLite) would
    // only have two connections wait for each other's locks.
    if (dialect_ != Dialect::PostgreSql)
        return nullptr;
    auto another = std::make_shared<OdbcConnection>(connectionString_, name_, readOnly_);
    another->setNetworkWaitLimit(waitLimit_);
    return another;
}

OdbcConnection::~OdbcConnection() {
    prepared_.clear();
    // Work not committed is not kept, as when the process ends. A lost
    // connection has nothing to roll back.
    if (inTransaction_ && dbc_ && !lost_)
        SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
}

Handle OdbcConnection::statement() {
    checkUsable(false);
    return allocate(SQL_HANDLE_STMT, dbc_.get());
}

void OdbcConnection::checkUsable(bool spoiledToo) const {
    if (lost_)
        throw *lost_;
    if (spoiledToo && spoiled_)
        throw *spoiled_;
}

EngineError OdbcConnection::cutOffError() const {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waitLimit_).count();
    EngineError error(3151, odbcSource,
                      "[08S01] The database server did not answer for " + std::to_string(seconds) +
                          (seconds == 1 ? " second" : " seconds") + "; the connection to it was closed.");
    error.connectionLost = true;
    error.serverSilent = true;
    return error;
}

template <typename F> auto OdbcConnection::network(F&& f) -> decltype(f()) {
    checkUsable(false);
    ++roundTrips_;
    // A call that came back as its sockets were being cut stands, and the
    // connection is lost all the same.
    const auto cutAfterAll = [this] {
        if (watch_.fired() && !lost_) {
            lost_ = cutOffError();
            pending_.clear();
        }
    };
    try {
        if constexpr (std::is_void_v<decltype(f())>) {
            {
                NetworkWait wait(watch_, waitLimit_);
                f();
            }
            cutAfterAll();
        } else {
            std::optional<NetworkWait> wait(std::in_place, watch_, waitLimit_);
            auto result = f();
            wait.reset();
            cutAfterAll();
            return result;
        }
    } catch (EngineError& error) {
        SQLUINTEGER dead = SQL_CD_FALSE;
        const bool cutOff = watch_.fired();
        if (!error.connectionLost && !cutOff)
            SQLGetConnectAttrW(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
        if (error.connectionLost || cutOff || dead == SQL_CD_TRUE) {
            if (cutOff)
                error = cutOffError();
            error.connectionLost = true;
            lost_ = error;
            // What was held back is gone with the connection. Its statements
            // are freed once no call is under way (releaseLost): a reading
            // of rows may still hold one.
            pending_.clear();
        }
        throw;
    }
}

bool OdbcConnection::releaseLost() {
    if (!lost_)
        return true;
    if (readingRows_ > 0)
        return false;
    prepared_.clear();
    watch_.forget();
    dbc_.reset();
    return true;
}

long long OdbcConnection::run(const std::string& sql) {
    Handle stmt = statement();
    return network([&] {
        execDirect(stmt.get(), sql);
        return rowCount(stmt.get());
    });
}

OdbcConnection::Prepared& OdbcConnection::prepared(const std::string& sql) {
    checkUsable(false);
    auto found = prepared_.find(sql);
    if (found != prepared_.end()) {
        // Its parameters stay bound: the next execution writes only values.
        SQLFreeStmt(found->second->handle.get(), SQL_CLOSE);
        return *found->second;
    }
    // A bound on what is kept: the shapes of one tenant's work are a few dozen.
    if (prepared_.size() >= 200)
        prepared_.clear();
    auto made = std::make_unique<Prepared>();
    made->handle = statement();
    std::u16string text = wide(sql);
    network([&] {
        check(SQLPrepareW(made->handle.get(), wideArg(text), SQL_NTS), SQL_HANDLE_STMT, made->handle.get(),
              "SQLPrepare");
    });
    return *prepared_.emplace(sql, std::move(made)).first->second;
}

bool OdbcConnection::executePrepared(Prepared& statement, const std::vector<const Variant*>& values) {
    SQLHSTMT stmt = statement.handle.get();
    try {
        statement.parameters.bind(stmt, values);
        return network([&] {
            const SQLRETURN rc = SQLExecute(stmt);
            check(rc, SQL_HANDLE_STMT, stmt, "SQLExecute", true);
            return rc != SQL_NO_DATA;
        });
    } catch (const EngineError&) {
        // A statement that failed is not kept: it may not even parse.
        for (auto it = prepared_.begin(); it != prepared_.end(); ++it) {
            if (it->second.get() == &statement) {
                prepared_.erase(it);
                break;
            }
        }
        throw;
    }
}

std::vector<Column> OdbcConnection::columnsOf(Prepared& statement) {
    // A prepared statement's result has the same columns at every execution
    // (the server refuses one whose result would change).
    if (!statement.described) {
        statement.columns = DescribeColumns(statement.handle.get(), dialect_);
        statement.described = true;
    }
    return statement.columns;
}

bool OdbcConnection::insideWhole() const {
    for (const OpenSavepoint& savepoint : savepoints_)
        if (savepoint.whole)
            return true;
    return false;
}

OdbcConnection::OpenSavepoint* OdbcConnection::deferredWhole() {
    for (OpenSavepoint& savepoint : savepoints_)
        if (savepoint.deferred)
            return &savepoint;
    return nullptr;
}

void OdbcConnection::sendSavepoint(const std::string& name) {
    // The fence is released in the same round trip: a caller's savepoint
    // never lies above it.
    run((fenceExists_ ? "RELEASE SAVEPOINT " + QuoteName(dialect_, fenceName) + "; " : std::string()) + "SAVEPOINT " +
        QuoteName(dialect_, name));
    fenceExists_ = fenceValid_ = false;
}

void OdbcConnection::sendDeferred() {
    OpenSavepoint* savepoint = deferredWhole();
    if (!savepoint)
        return;
    sendSavepoint(savepoint->name);
    savepoint->deferred = false;
}

void OdbcConnection::spoil(const EngineError& error) {
    if (!spoiled_ && !error.connectionLost)
        spoiled_ = error;
}

template <typename F> auto OdbcConnection::guarded(bool writes, F&& f) -> decltype(f()) {
    checkUsable();
    if (!inTransaction_ || !FailureAbortsTransaction(dialect_))
        return f();
    // A whole-or-nothing savepoint is sent before the first write under it;
    // until then its reads stand on the fence, and a failure spoils it all the same.
    if (writes)
        sendDeferred();
    const bool deferred = deferredWhole() != nullptr;
    if (insideWhole() && !deferred) {
        // The caller rolls back to its savepoint after any failure: nothing
        // here needs a fence of its own.
        try {
            return f();
        } catch (const EngineError& error) {
            spoil(error);
            throw;
        }
    }
    // A fence that nothing was written after serves a run of reads; the
    // fence before it, if any, is released in the same round trip.
    const std::string name = QuoteName(dialect_, fenceName);
    if (!fenceValid_) {
        run((fenceExists_ ? "RELEASE SAVEPOINT " + name + "; SAVEPOINT " : "SAVEPOINT ") + name);
        fenceExists_ = fenceValid_ = true;
    }
    try {
        if constexpr (std::is_void_v<decltype(f())>) {
            f();
            if (writes)
                fenceValid_ = false;
        } else {
            auto result = f();
            if (writes)
                fenceValid_ = false;
            return result;
        }
    } catch (const EngineError& error) {
        undoStatement(name);
        if (deferred)
            spoil(error);
        throw;
    } catch (...) {
        undoStatement(name);
        throw;
    }
}

void OdbcConnection::undoStatement(const std::string& fence) {
    try {
        // Undoes the failed statement alone; the fence stays in place.
        run("ROLLBACK TO SAVEPOINT " + fence);
    } catch (const EngineError&) {
        // The statement's own error is the one to report.
    }
}

long long OdbcConnection::execute(const std::string& jetSql) {
    // One statement only: a text holding a second one runs nothing.
    const std::vector<Token> t = tokens(jetSql);
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Token::Symbol || t[i].text != ";")
            continue;
        for (std::size_t j = i + 1; j < t.size(); ++j) {
            if (t[j].kind != Token::Symbol || t[j].text != ";")
                throw EngineError(errInvalidOperation, engineSource,
                                  "Invalid operation: Execute runs one statement at a time; nothing was run.");
        }
    }
    const std::string sql = Translate(dialect_, jetSql);
    flushPending();
    wrote(tableWritten(t));
    return guarded(true, [&] {
        if (dialect_ != Dialect::PostgreSql)
            return run(sql);
        const ParameterShape shape = parameterShape(sql);
        std::vector<const Variant*> values;
        for (const Variant& value : shape.values)
            values.push_back(&value);
        Prepared& stmt = prepared(shape.text);
        return executePrepared(stmt, values) ? rowCount(stmt.handle.get()) : 0LL;
    });
}

const OdbcConnection::TableInfo* OdbcConnection::tableInfo(const std::string& table) {
    const std::string key = lowered(table);
    auto found = tables_.find(key);
    if (found != tables_.end())
        return found->second.name.empty() ? nullptr : &found->second;
    TableInfo info;
    {
        Handle stmt = statement();
        std::u16string name = toWide(table);
        network([&] {
            check(SQLColumnsW(stmt.get(), nullptr, 0, nullptr, 0, wideArg(name), static_cast<SQLSMALLINT>(name.size()),
                              nullptr, 0),
                  SQL_HANDLE_STMT, stmt.get(), "SQLColumns");
        });
        const Column textColumn{"", SQL_WVARCHAR, false};
        std::string schema;
        bool first = true;
        while (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
            // The table name is a pattern ("_" matches any character): keep
            // only the table itself, in the first schema that has it.
            const Variant tableSchema = ColumnValue(stmt.get(), 2, textColumn);
            const Variant tableName = ColumnValue(stmt.get(), 3, textColumn);
            const Variant columnName = ColumnValue(stmt.get(), 4, textColumn);
            const Variant typeName = ColumnValue(stmt.get(), 6, textColumn);
            if (tableName.kind() != Variant::Kind::Text || lowered(tableName.text()) != key ||
                columnName.kind() != Variant::Kind::Text)
                continue;
            const std::string thisSchema = tableSchema.kind() == Variant::Kind::Text ? tableSchema.text() : "";
            if (first) {
                schema = thisSchema;
                info.name = tableName.text();
                first = false;
            } else if (thisSchema != schema || tableName.text() != info.name) {
                continue;
            }
            info.columns.push_back(columnName.text());
            info.types.push_back(typeName.kind() == Variant::Kind::Text ? typeName.text() : std::string());
        }
    }
    if (!info.name.empty()) {
        Handle stmt = statement();
        std::u16string name = toWide(info.name);
        const SQLRETURN rc = network([&] {
            return SQLPrimaryKeysW(stmt.get(), nullptr, 0, nullptr, 0, wideArg(name),
                                   static_cast<SQLSMALLINT>(name.size()));
        });
        // A driver without primary keys answers with an error here.
        if (SQL_SUCCEEDED(rc)) {
            const Column textColumn{"", SQL_WVARCHAR, false};
            std::vector<std::pair<std::int64_t, std::string>> keyColumns;
            while (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
                const Variant columnName = ColumnValue(stmt.get(), 4, textColumn);
                const Variant sequence = ColumnValue(stmt.get(), 5, Column{"", SQL_INTEGER, false});
                if (columnName.kind() == Variant::Kind::Text)
                    keyColumns.emplace_back(sequence.kind() == Variant::Kind::Integer ? sequence.integer() : 0,
                                            columnName.text());
            }
            std::stable_sort(keyColumns.begin(), keyColumns.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (const auto& column : keyColumns)
                info.primaryKey.push_back(column.second);
        }
    }
    if (!info.name.empty() && info.primaryKey.empty() && dialect_ != Dialect::Sqlite) {
        // Drivers that know no primary keys (the Access driver) still list a
        // table's unique indexes; the first one serves as its key.
        Handle stmt = statement();
        std::u16string name = toWide(info.name);
        if (SQL_SUCCEEDED(network([&] {
                return SQLStatisticsW(stmt.get(), nullptr, 0, nullptr, 0, wideArg(name),
                                      static_cast<SQLSMALLINT>(name.size()), SQL_INDEX_UNIQUE, SQL_QUICK);
            }))) {
            const Column textColumn{"", SQL_WVARCHAR, false};
            std::string index;
            std::vector<std::pair<std::int64_t, std::string>> keyColumns;
            while (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
                const Variant type = ColumnValue(stmt.get(), 7, Column{"", SQL_SMALLINT, false});
                const Variant indexName = ColumnValue(stmt.get(), 6, textColumn);
                const Variant position = ColumnValue(stmt.get(), 8, Column{"", SQL_SMALLINT, false});
                const Variant columnName = ColumnValue(stmt.get(), 9, textColumn);
                if (type.kind() != Variant::Kind::Integer || type.integer() == SQL_TABLE_STAT ||
                    indexName.kind() != Variant::Kind::Text || columnName.kind() != Variant::Kind::Text)
                    continue;
                if (index.empty())
                    index = indexName.text();
                if (indexName.text() == index)
                    keyColumns.emplace_back(position.kind() == Variant::Kind::Integer ? position.integer() : 0,
                                            columnName.text());
            }
            std::stable_sort(keyColumns.begin(), keyColumns.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (const auto& column : keyColumns)
                info.primaryKey.push_back(column.second);
        }
    }
    // SQLite keeps a rowid for a table without a key, as its own backend uses.
    if (!info.primaryKey.empty())
        info.rowKey = info.primaryKey;
    else if (dialect_ == Dialect::Sqlite)
        info.rowKey = {"rowid"};
    else
        info.rowKey = info.columns;
    info.byValues = info.primaryKey.empty() && dialect_ != Dialect::Sqlite;
    auto stored = tables_.emplace(key, std::move(info)).first;
    return stored->second.name.empty() ? nullptr : &stored->second;
}

SelectReading OdbcConnection::readSelect(const std::string& jetSql) {
    if (dialect_ == Dialect::PostgreSql)
        return selects_.read(jetSql);
    const std::vector<Token> t = tokens(jetSql);
    checkRecordsetStatement(t);
    return {tablesRead(t), Translate(dialect_, jetSql), {}};
}

OdbcConnection::Selected OdbcConnection::runSelect(const SelectReading& reading, Handle& direct) {
    if (dialect_ == Dialect::PostgreSql) {
        // Prepared once per shape, its quoted values bound.
        std::vector<const Variant*> values;
        for (const Variant& value : reading.values)
            values.push_back(&value);
        Prepared& stmt = prepared(reading.text);
        executePrepared(stmt, values);
        return {stmt.handle.get(), columnsOf(stmt)};
    }
    direct = statement();
    SQLHSTMT stmt = direct.get();
    network([&] { execDirect(stmt, reading.text); });
    return {stmt, DescribeColumns(stmt, dialect_)};
}

Rows OdbcConnection::query(const std::string& jetSql, bool wantEditable) {
    // A read kept in the open transaction (see below) is found by its text
    // before the text is read at all.
    if (!wantEditable && inTransaction_ && dialect_ == Dialect::PostgreSql && !reads_.empty()) {
        checkUsable();
        auto found = reads_.find(jetSql);
        if (found != reads_.end())
            return found->second.rows;
    }
    // An editable recordset is read again below, with its key columns.
    std::vector<Token> t;
    SelectReading select;
    if (wantEditable) {
        t = tokens(jetSql);
        checkRecordsetStatement(t);
    } else {
        select = readSelect(jetSql);
    }
    checkUsable();
    // Whatever reads the table must see the rows written before.
    flushPending();

    // An editable recordset asks for the row's key columns first (the primary
    // key, or every column of a table without one), as the SQLite backend
    // asks for the rowid.
    std::string text = jetSql;
    const TableInfo* table = nullptr;
    std::vector<std::string> keyColumns;
    if (wantEditable) {
        if (std::optional<PlainSelect> shape = plainSelect(t)) {
            table = tableInfo(shape->table);
            if (table) {
                keyColumns = table->rowKey;
                std::string keys;
                for (const std::string& column : keyColumns)
                    keys += "[" + column + "], ";
                text = jetSql.substr(0, shape->listBegin) + keys + jetSql.substr(shape->listBegin);
            }
        }
        select = readSelect(text);
    }

    // Inside a transaction a read made before in it, of a table this
    // connection has not written since, has the same rows: on SQLite the
    // transaction keeps other writers out, so the analysis after a repair
    // sees the same income as the one before it; here it is not asked again.
    const std::vector<std::string> readsTables = table == nullptr && inTransaction_ && dialect_ == Dialect::PostgreSql
                                                     ? select.tablesRead
                                                     : std::vector<std::string>();
    if (!readsTables.empty() && wantEditable) {
        // A read-only recordset was looked for before its text was read;
        // an editable one asked of a statement that cannot be edited is
        // read only too.
        auto found = reads_.find(jetSql);
        if (found != reads_.end())
            return found->second.rows;
    }
    Rows read = guarded(false, [&] {
        Rows rows;
        Handle direct;
        const auto [stmt, columns] = runSelect(select, direct);
        const std::size_t first = table ? keyColumns.size() : 0;
        if (columns.size() < first)
            throw EngineError(errInvalidOperation, engineSource, "Invalid operation: the statement returns no rows.");
        for (std::size_t i = first; i < columns.size(); ++i)
            rows.names.push_back(columns[i].name);
        bool editable = table != nullptr;
        if (editable) {
            // Every field must be a column of the table to be written back.
            for (std::size_t i = first; i < columns.size() && editable; ++i) {
                std::string found;
                for (const std::string& column : table->columns) {
                    if (lowered(column) == lowered(columns[i].name))
                        found = column;
                }
                editable = !found.empty();
                rows.columns.push_back(found);
            }
        }
        FetchRows(stmt, columns, fetchesInBlocks_, [&](std::vector<Variant>& values) {
            const auto keyEnd = values.begin() + static_cast<std::ptrdiff_t>(first);
            rows.values.emplace_back(std::make_move_iterator(keyEnd), std::make_move_iterator(values.end()));
            if (editable)
                rows.keys.emplace_back(std::make_move_iterator(values.begin()), std::make_move_iterator(keyEnd));
            return true;
        });
        if (editable) {
            rows.table = table->name;
            rows.keyColumns = keyColumns;
        } else {
            rows.columns.clear();
            rows.keys.clear();
        }
        return rows;
    });
    if (!readsTables.empty()) {
        if (reads_.size() >= 256)
            reads_.clear();
        reads_[jetSql] = Read{readsTables, read};
    }
    return read;
}

void OdbcConnection::forEachRow(const std::string& jetSql, const RowReader& row) {
    // While its statement is open the connection is not released.
    struct Reading {
        int& count;
        ~Reading() { --count; }
    } reading{++readingRows_};
    const SelectReading select = readSelect(jetSql);
    checkUsable();
    flushPending();
    // The statement runs fenced as any read; its rows are then fetched one
    // at a time (the driver holds what the server sent), so that row may
    // run statements of its own meanwhile, each on its own handle.
    Handle direct;
    SQLHSTMT stmt = nullptr;
    std::vector<Column> columns;
    guarded(false, [&] {
        Selected selected = runSelect(select, direct);
        stmt = selected.stmt;
        columns = std::move(selected.columns);
    });
    std::vector<std::string> names;
    for (const Column& column : columns)
        names.push_back(column.name);
    FetchRows(stmt, columns, fetchesInBlocks_, [&](std::vector<Variant>& values) { return row(names, values); });
    SQLFreeStmt(stmt, SQL_CLOSE);
}

void OdbcConnection::wrote(const std::string& table) {
    if (table.empty()) {
        reads_.clear();
        return;
    }
    for (auto it = reads_.begin(); it != reads_.end();) {
        if (std::find(it->second.tables.begin(), it->second.tables.end(), table) != it->second.tables.end())
            it = reads_.erase(it);
        else
            ++it;
    }
}

bool OdbcConnection::mayHoldBack(const Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) {
    // Only PostgreSQL sends many rows in one statement, and only inside a
    // savepoint the caller undoes whole on any failure, for a table with a
    // primary key whose columns carry their type names.
    if (dialect_ != Dialect::PostgreSql || !inTransaction_ || !insideWhole())
        return false;
    const TableInfo* table = tableInfo(rows.table);
    if (!table || table->byValues || table->types.size() != table->columns.size())
        return false;
    auto typeOf = [&](const std::string& column) {
        for (std::size_t c = 0; c < table->columns.size(); ++c)
            if (lowered(table->columns[c]) == lowered(column))
                return table->types[c];
        return std::string();
    };
    for (std::size_t k = 0; k < rows.keyColumns.size(); ++k) {
        const Variant& value = rows.keys.at(row)[k];
        if (value.isNull() || value.isEmpty() || typeOf(rows.keyColumns[k]).empty())
            return false;
    }
    for (std::size_t i = 0; i < edits.size(); ++i) {
        if (!edits[i])
            continue;
        if (typeOf(rows.columns[i]).empty())
            return false;
        for (const std::string& key : rows.keyColumns)
            if (lowered(key) == lowered(rows.columns[i]))
                return false; // a key that changes is written on its own
    }
    return true;
}

void OdbcConnection::writePending(const Rows& rows) {
    for (const PendingWrite& write : pending_) {
        if (write.rows == &rows) {
            flushPending();
            return;
        }
    }
}

void OdbcConnection::forgetPending(const Rows& rows) noexcept {
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&](const PendingWrite& write) { return write.rows == &rows; }),
                   pending_.end());
}

void OdbcConnection::flushPending() {
    if (pending_.empty())
        return;
    std::vector<PendingWrite> writes;
    writes.swap(pending_);
    // One statement for each recordset and set of columns written, in the
    // order the rows were first written.
    std::vector<bool> done(writes.size(), false);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        if (done[i])
            continue;
        std::vector<PendingWrite*> group;
        for (std::size_t j = i; j < writes.size(); ++j) {
            bool same =
                !done[j] && writes[j].rows == writes[i].rows && writes[j].edits.size() == writes[i].edits.size();
            for (std::size_t c = 0; same && c < writes[i].edits.size(); ++c)
                same = writes[j].edits[c].has_value() == writes[i].edits[c].has_value();
            if (same) {
                group.push_back(&writes[j]);
                done[j] = true;
            }
        }
        // A few hundred rows a statement keeps its parameters well within bounds.
        constexpr std::size_t most = 200;
        for (std::size_t from = 0; from < group.size(); from += most) {
            const std::vector<PendingWrite*> part(group.begin() + static_cast<std::ptrdiff_t>(from),
                                                  group.begin() +
                                                      static_cast<std::ptrdiff_t>(std::min(group.size(), from + most)));
            writeTogether(*writes[i].rows, part);
        }
    }
}

void OdbcConnection::writeTogether(Rows& rows, const std::vector<PendingWrite*>& writes) {
    const TableInfo* table = tableInfo(rows.table);
    auto typeOf = [&](const std::string& column) {
        for (std::size_t c = 0; c < table->columns.size(); ++c)
            if (lowered(table->columns[c]) == lowered(column))
                return table->types[c];
        return std::string();
    };
    auto quotedType = [](const std::string& type) {
        // A type name as the driver gives it ("numeric", "citext", "int4").
        for (char c : type)
            if (!isWordChar(c) && c != ' ')
                throw EngineError(errInvalidOperation, engineSource, "Invalid operation: column type " + type);
        return type;
    };
    const std::vector<std::optional<Variant>>& shape = writes.front()->edits;
    const std::string t = "t";
    // UPDATE table AS t SET column = v.c0, ... FROM (VALUES (1, key, value, ...), ...)
    // AS v (o, k0, ..., c0, ...) WHERE t.key = v.k0 ... RETURNING v.o, the key, every field.
    std::string sql = "UPDATE " + QuoteName(dialect_, rows.table) + " AS t SET ";
    std::string names = "\"o\"";
    bool firstSet = true;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (!shape[i])
            continue;
        sql += (firstSet ? "" : ", ") + QuoteName(dialect_, rows.columns[i]) + " = v.\"c" + std::to_string(i) + "\"";
        firstSet = false;
    }
    for (std::size_t k = 0; k < rows.keyColumns.size(); ++k)
        names += ", \"k" + std::to_string(k) + "\"";
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i])
            names += ", \"c" + std::to_string(i) + "\"";
    sql += " FROM (VALUES ";
    std::vector<const Variant*> values;
    for (std::size_t w = 0; w < writes.size(); ++w) {
        sql += (w ? ", (" : "(") + std::to_string(w + 1);
        for (std::size_t k = 0; k < rows.keyColumns.size(); ++k) {
            sql += ", CAST(? AS " + quotedType(typeOf(rows.keyColumns[k])) + ")";
            values.push_back(&rows.keys.at(writes[w]->row)[k]);
        }
        for (std::size_t i = 0; i < shape.size(); ++i) {
            if (!shape[i])
                continue;
            sql += ", CAST(? AS " + quotedType(typeOf(rows.columns[i])) + ")";
            values.push_back(&*writes[w]->edits[i]);
        }
        sql += ")";
    }
    sql += ") AS v (" + names + ") WHERE ";
    for (std::size_t k = 0; k < rows.keyColumns.size(); ++k)
        sql += (k ? " AND t." : "t.") + QuoteName(dialect_, rows.keyColumns[k]) + " = v.\"k" + std::to_string(k) + "\"";
    sql += " RETURNING v.\"o\"";
    for (const std::string& key : rows.keyColumns)
        sql += ", t." + QuoteName(dialect_, key);
    for (const std::string& column : rows.columns)
        sql += ", t." + QuoteName(dialect_, column);
    (void)t;

    guarded(true, [&] {
        Prepared& statement = prepared(sql);
        SQLHSTMT stmt = statement.handle.get();
        const bool answered = executePrepared(statement, values);
        std::vector<bool> written(writes.size(), false);
        if (answered) {
            const std::vector<Column> columns = columnsOf(statement);
            while (SQL_SUCCEEDED(SQLFetch(stmt))) {
                const Variant ordinal = ColumnValue(stmt, 1, columns[0]);
                const long long o = ordinal.kind() == Variant::Kind::Integer ? ordinal.integer() : 0;
                if (o < 1 || o > static_cast<long long>(writes.size()) || columns.size() < 1 + rows.keyColumns.size())
                    continue;
                PendingWrite& write = *writes[static_cast<std::size_t>(o - 1)];
                written[static_cast<std::size_t>(o - 1)] = true;
                // The row as the table now holds it.
                std::vector<Variant>& key = rows.keys.at(write.row);
                for (std::size_t k = 0; k < rows.keyColumns.size(); ++k)
                    key[k] = ColumnValue(stmt, static_cast<SQLUSMALLINT>(2 + k), columns[1 + k]);
                for (std::size_t i = 0; i < rows.columns.size() && 1 + rows.keyColumns.size() + i < columns.size();
                     ++i) {
                    const std::size_t c = 1 + rows.keyColumns.size() + i;
                    rows.values[write.row][i] = ColumnValue(stmt, static_cast<SQLUSMALLINT>(c + 1), columns[c]);
                }
            }
        }
        for (bool done : written)
            if (!done)
                throw EngineError(errRecordDeleted, engineSource,
                                  "Record is deleted: a row edited in " + rows.table +
                                      " is no longer in its table; nothing of the rows edited with it was kept.");
    });
}

void OdbcConnection::updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) {
    checkUsable();
    bool any = false;
    for (const auto& edit : edits)
        any = any || edit.has_value();
    if (!any)
        return;
    wrote(lowered(rows.table));
    if (mayHoldBack(rows, row, edits)) {
        // Sent with the others before anything reads the table again; the
        // row shows the values given until then.
        for (PendingWrite& write : pending_) {
            if (write.rows == &rows && write.row == row) {
                // Written again before it was sent: the later values win.
                bool sameColumns = true;
                for (std::size_t i = 0; i < edits.size(); ++i)
                    sameColumns = sameColumns && edits[i].has_value() == write.edits[i].has_value();
                if (sameColumns) {
                    write.edits = edits;
                    for (std::size_t i = 0; i < edits.size(); ++i)
                        if (edits[i])
                            rows.values[row][i] = *edits[i];
                    return;
                }
                flushPending(); // another set of columns: the first is sent before
                break;
            }
        }
        pending_.push_back({&rows, row, edits});
        for (std::size_t i = 0; i < edits.size(); ++i)
            if (edits[i])
                rows.values[row][i] = *edits[i];
        return;
    }
    flushPending();

    const TableInfo* table = tableInfo(rows.table);
    const bool byValues = !table || table->byValues;
    std::vector<Variant>& key = rows.keys.at(row);

    std::string sql;
    std::vector<const Variant*> values;
    for (std::size_t i = 0; i < edits.size(); ++i) {
        if (!edits[i])
            continue;
        sql += sql.empty() ? "UPDATE " + QuoteName(dialect_, rows.table) + " SET " : ", ";
        sql += QuoteName(dialect_, rows.columns[i]) + " = ?";
        values.push_back(&*edits[i]);
    }
    // The row is found by its key; a Null in a key (a table without one) is
    // matched with "is null", never bound.
    auto where = [&](const std::vector<Variant>& keyValues, std::vector<const Variant*>& bound) {
        std::string text;
        for (std::size_t k = 0; k < rows.keyColumns.size(); ++k) {
            text += (k ? " AND " : " WHERE ") + QuoteName(dialect_, rows.keyColumns[k]);
            if (keyValues[k].isNull() || keyValues[k].isEmpty()) {
                text += " IS NULL";
            } else {
                text += " = ?";
                bound.push_back(&keyValues[k]);
            }
        }
        return text;
    };
    sql += where(key, values);

    // The key once written: a key column that was edited takes its new value.
    std::vector<Variant> newKey = key;
    for (std::size_t k = 0; k < rows.keyColumns.size(); ++k) {
        for (std::size_t i = 0; i < edits.size(); ++i) {
            if (edits[i] && lowered(rows.columns[i]) == lowered(rows.keyColumns[k]))
                newKey[k] = *edits[i];
        }
    }

    // What the row holds once written: the key columns, then the fields.
    std::string readBack;
    for (std::size_t k = 0; k < rows.keyColumns.size(); ++k)
        readBack += QuoteName(dialect_, rows.keyColumns[k]) + ", ";
    for (std::size_t i = 0; i < rows.columns.size(); ++i)
        readBack += (i ? ", " : "") + QuoteName(dialect_, rows.columns[i]);
    // PostgreSQL hands the written row back with the write itself.
    const bool returning = dialect_ == Dialect::PostgreSql;
    if (returning)
        sql += " RETURNING " + readBack;
    std::vector<Variant> values2;
    bool found = false;

    auto write = [&] {
        Handle direct;
        BoundParameters parameters;
        Prepared* kept = nullptr;
        SQLHSTMT stmt = nullptr;
        bool answered = false;
        if (returning) {
            kept = &prepared(sql);
            stmt = kept->handle.get();
            answered = executePrepared(*kept, values);
        } else {
            direct = statement();
            stmt = direct.get();
            parameters.bind(stmt, values);
            answered = network([&] { return execDirect(stmt, sql); });
        }
        long long changed = 0;
        if (returning && answered) {
            const std::vector<Column> columns = columnsOf(*kept);
            values2.clear();
            while (SQL_SUCCEEDED(SQLFetch(stmt))) {
                if (changed++ == 0) {
                    for (std::size_t i = 0; i < columns.size(); ++i)
                        values2.push_back(ColumnValue(stmt, static_cast<SQLUSMALLINT>(i + 1), columns[i]));
                }
            }
            found = changed == 1;
        } else if (answered) {
            changed = rowCount(stmt);
        }
        if (changed == 0) {
            if (byValues)
                throw EngineError(errRowChanged, engineSource,
                                  "The row was changed or deleted by another user since it was read; nothing was "
                                  "written.");
            throw EngineError(errRecordDeleted, engineSource, "Record is deleted.");
        }
        if (changed > 1)
            throw EngineError(errRowChanged, engineSource,
                              "More than one row matches the row's original values; nothing was written.");
    };
    // A write that matched more than one row must leave nothing behind: it
    // runs where it can be undone (its own transaction, or a savepoint).
    if (!inTransaction_) {
        beginTrans();
        try {
            write();
        } catch (...) {
            try {
                rollback();
            } catch (const EngineError&) {
            }
            throw;
        }
        commitTrans();
    } else if (HasSavepoints(dialect_) && !FailureAbortsTransaction(dialect_)) {
        const std::string name = QuoteName(dialect_, fenceName);
        run("SAVEPOINT " + name);
        try {
            write();
        } catch (...) {
            try {
                run("ROLLBACK TO SAVEPOINT " + name);
                run("RELEASE SAVEPOINT " + name);
            } catch (const EngineError&) {
            }
            throw;
        }
        run("RELEASE SAVEPOINT " + name);
    } else if (byValues && !HasSavepoints(dialect_)) {
        // No savepoint to undo with: count the matching rows first.
        std::vector<const Variant*> bound;
        const std::string count = "SELECT COUNT(*) FROM " + QuoteName(dialect_, rows.table) + where(key, bound);
        Handle stmt = statement();
        BoundParameters parameters;
        parameters.bind(stmt.get(), bound);
        network([&] { execDirect(stmt.get(), count); });
        SQLBIGINT matching = 0;
        SQLLEN indicator = 0;
        if (SQL_SUCCEEDED(SQLFetch(stmt.get())))
            SQLGetData(stmt.get(), 1, SQL_C_SBIGINT, &matching, sizeof matching, &indicator);
        if (matching > 1)
            throw EngineError(errRowChanged, engineSource,
                              "More than one row matches the row's original values; nothing was written.");
        write();
    } else {
        guarded(true, [&] { write(); });
    }

    // Read the row back, so the recordset shows what the table now holds.
    std::vector<const Variant*> bound;
    const std::string select = "SELECT " + readBack + " FROM " + QuoteName(dialect_, rows.table) + where(newKey, bound);
    try {
        if (!returning)
            guarded(false, [&] {
                Handle stmt = statement();
                BoundParameters parameters;
                parameters.bind(stmt.get(), bound);
                network([&] { execDirect(stmt.get(), select); });
                const std::vector<Column> columns = DescribeColumns(stmt.get(), dialect_);
                if (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
                    for (std::size_t i = 0; i < columns.size(); ++i)
                        values2.push_back(ColumnValue(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), columns[i]));
                    found = true;
                }
            });
    } catch (const EngineError& error) {
        // The write stands; the recordset shows the values given. A lost
        // connection is said all the same.
        if (error.connectionLost)
            throw;
    }
    const std::size_t k = rows.keyColumns.size();
    if (found && values2.size() == k + rows.columns.size()) {
        key.assign(values2.begin(), values2.begin() + static_cast<std::ptrdiff_t>(k));
        for (std::size_t i = 0; i < rows.columns.size(); ++i)
            rows.values[row][i] = values2[k + i];
    } else {
        key = newKey;
        for (std::size_t i = 0; i < edits.size(); ++i) {
            if (edits[i])
                rows.values[row][i] = *edits[i];
        }
    }
}

void OdbcConnection::setAutocommit(bool on) {
    const auto value = static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    check(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0), SQL_HANDLE_DBC,
          dbc_.get(), "SQLSetConnectAttr");
}

void OdbcConnection::beginTrans() {
    checkUsable(false);
    if (inTransaction_)
        throw EngineError(errInvalidOperation, odbcSource, "A transaction is already open.");
    flushPending();
    setAutocommit(false);
    inTransaction_ = true;
    fenceExists_ = fenceValid_ = false;
    reads_.clear();
}

bool OdbcConnection::beginSnapshot() {
    if (dialect_ != Dialect::PostgreSql)
        return false;
    beginTrans();
    // The first statement of the transaction, before any that reads.
    try {
        run("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    } catch (const EngineError&) {
        endTransaction(SQL_ROLLBACK);
        throw;
    }
    return true;
}

void OdbcConnection::endTransaction(SQLSMALLINT completion) {
    if (lost_) {
        // The server undid the transaction when the connection went: a
        // rollback has nothing left to do, a commit says what was lost.
        inTransaction_ = false;
        savepoints_.clear();
        pending_.clear();
        spoiled_.reset();
        reads_.clear();
        if (completion == SQL_ROLLBACK)
            return;
        throw *lost_;
    }
    if (!inTransaction_)
        throw EngineError(errInvalidOperation, odbcSource,
                          completion == SQL_COMMIT ? "Cannot commit: no transaction is open."
                                                   : "Cannot roll back: no transaction is open.");
    // What a commit keeps is written first; a rollback drops it unsent.
    std::optional<EngineError> failure;
    if (completion == SQL_COMMIT) {
        try {
            flushPending();
        } catch (const EngineError& error) {
            failure = error;
        }
        if (spoiled_ && !failure)
            failure = *spoiled_;
    }
    pending_.clear();
    spoiled_.reset();
    reads_.clear();
    fenceExists_ = fenceValid_ = false; // the transaction's end ends its savepoints
    const SQLSMALLINT how = failure ? static_cast<SQLSMALLINT>(SQL_ROLLBACK) : completion;
    std::optional<EngineError> endFailure;
    try {
        network([&] { check(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), how), SQL_HANDLE_DBC, dbc_.get(), "SQLEndTran"); });
    } catch (const EngineError& error) {
        endFailure = error;
    }
    if (endFailure || failure) {
        // A commit that failed leaves nothing half-done: what it held is undone.
        if (completion == SQL_COMMIT && !lost_)
            SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
        inTransaction_ = false;
        savepoints_.clear();
        try {
            if (!lost_)
                setAutocommit(true);
        } catch (const EngineError&) {
        }
        // A rollback on a lost connection has nothing left to undo.
        if (completion == SQL_ROLLBACK && !failure && endFailure && endFailure->connectionLost)
            return;
        throw failure ? *failure : *endFailure;
    }
    inTransaction_ = false;
    savepoints_.clear();
    setAutocommit(true);
}

void OdbcConnection::commitTrans() {
    endTransaction(SQL_COMMIT);
}

void OdbcConnection::rollback() {
    endTransaction(SQL_ROLLBACK);
}

void OdbcConnection::savepoint(const std::string& name) {
    if (!supportsSavepoints())
        throw EngineError(errInvalidOperation, odbcSource, "This database has no savepoints.");
    checkUsable();
    flushPending();
    if (!inTransaction_) {
        beginTrans();
        savepoints_.push_back({name, true, false});
        return;
    }
    sendDeferred();
    sendSavepoint(name);
    savepoints_.push_back({name, false, false});
}

void OdbcConnection::savepointWhole(const std::string& name) {
    // Inside a batch transaction on PostgreSQL the savepoint waits for the
    // first write: a tenant whose repair only reads (one that already agrees)
    // then costs no round trip for it, and the fence keeps its reads safe.
    if (inTransaction_ && FailureAbortsTransaction(dialect_) && savepoints_.empty() && supportsSavepoints()) {
        checkUsable();
        flushPending();
        savepoints_.push_back({name, false, true, true});
        return;
    }
    savepoint(name);
    savepoints_.back().whole = true;
}

void OdbcConnection::releaseSavepoint(const std::string& name) {
    if (!supportsSavepoints())
        throw EngineError(errInvalidOperation, odbcSource, "This database has no savepoints.");
    for (std::size_t i = savepoints_.size(); i-- > 0;) {
        if (savepoints_[i].name != name)
            continue;
        checkUsable(false);
        std::optional<EngineError> failure;
        try {
            flushPending();
        } catch (const EngineError& error) {
            failure = error;
        }
        if (!failure && spoiled_)
            failure = *spoiled_;
        if (failure && insideWhole()) {
            // Nothing of a spoiled savepoint is kept: it is rolled back.
            const EngineError error = *failure;
            rollbackToSavepoint(name);
            throw error;
        }
        if (savepoints_[i].startedTransaction) {
            commitTrans();
            return;
        }
        if (savepoints_[i].deferred) {
            // Nothing was written under it: there is nothing to send.
            savepoints_.resize(i);
            return;
        }
        // A fence is set again in the same round trip, for the reads that follow.
        const bool fence = FailureAbortsTransaction(dialect_);
        run("RELEASE SAVEPOINT " + QuoteName(dialect_, name) +
            (fence ? "; SAVEPOINT " + QuoteName(dialect_, fenceName) : std::string()));
        fenceExists_ = fenceValid_ = fence;
        savepoints_.resize(i);
        return;
    }
    throw EngineError(errInvalidOperation, odbcSource, "no such savepoint: " + name);
}

void OdbcConnection::rollbackToSavepoint(const std::string& name) {
    if (!supportsSavepoints())
        throw EngineError(errInvalidOperation, odbcSource, "This database has no savepoints.");
    for (std::size_t i = savepoints_.size(); i-- > 0;) {
        if (savepoints_[i].name != name)
            continue;
        // What was held back is undone unsent, and so is the failure that
        // spoiled a savepoint from this one on; what was read since may be undone.
        pending_.clear();
        reads_.clear();
        bool undoesSpoiled = false;
        for (std::size_t j = 0; j <= i; ++j)
            undoesSpoiled = undoesSpoiled || savepoints_[j].whole;
        if (undoesSpoiled)
            spoiled_.reset();
        if (savepoints_[i].startedTransaction) {
            rollback();
            return;
        }
        if (savepoints_[i].deferred) {
            // Nothing was written under it, and a read that failed was undone
            // to the fence at once.
            savepoints_.resize(i);
            return;
        }
        checkUsable(false);
        const std::string quoted = QuoteName(dialect_, name);
        const bool fence = FailureAbortsTransaction(dialect_);
        run("ROLLBACK TO SAVEPOINT " + quoted + "; RELEASE SAVEPOINT " + quoted +
            (fence ? "; SAVEPOINT " + QuoteName(dialect_, fenceName) : std::string()));
        fenceExists_ = fenceValid_ = fence;
        savepoints_.resize(i);
        return;
    }
    throw EngineError(errInvalidOperation, odbcSource, "no such savepoint: " + name);
}

void OdbcConnection::setBusyTimeout(int milliseconds) {
    const int ms = milliseconds < 0 ? 0 : milliseconds;
    switch (dialect_) {
    case Dialect::PostgreSql:
        // A lock wait that runs out fails with SQLSTATE 55P03, reported as
        // the busy case. 0 would mean waiting for ever; 1 ms is the least.
        flushPending();
        guarded(false, [&] { run("SET lock_timeout = " + std::to_string(ms > 0 ? ms : 1)); });
        break;
    case Dialect::Sqlite:
        try {
            run("PRAGMA busy_timeout = " + std::to_string(ms));
        } catch (const EngineError& error) {
            // The driver's own timeout stays in force.
            if (error.connectionLost)
                throw;
        }
        break;
    case Dialect::Access:
    case Dialect::Other:
        break;
    }
}

} // namespace engine::odbc
