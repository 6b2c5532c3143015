#include "engine/sqlite/SqliteMoney.h"

#include "engine/Currency.h"
#include "engine/NumberText.h"

#include <cstdint>
#include <cstring>

namespace engine {

namespace {

constexpr const char* currencyFunction = "jet_currency";
constexpr std::int64_t scale = 10000;

using Failure = std::optional<MoneyFailure>;

std::string valueText(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return NumberText(sqlite3_value_double(value));
    default: {
        const unsigned char* text = sqlite3_value_text(value);
        return "'" + std::string(text ? reinterpret_cast<const char*>(text) : "") + "'";
    }
    }
}

void fail(sqlite3_context* context, MoneyFailure failure) {
    auto* slot = static_cast<Failure*>(sqlite3_user_data(context));
    *slot = std::move(failure);
    sqlite3_result_error(context, "money value out of range or not a number", -1);
}

// The value as currency, scaled by 10,000: integers exactly, doubles rounded
// half to even to four places, text only when it is a number throughout.
// False, with failure set, for anything else.
bool scaledValue(sqlite3_context* context, sqlite3_value* value, const std::string& column, std::int64_t& scaled,
                 bool& integer) {
    const int type = sqlite3_value_numeric_type(value);
    integer = type == SQLITE_INTEGER;
    if (type == SQLITE_INTEGER) {
        if (!__builtin_mul_overflow(static_cast<std::int64_t>(sqlite3_value_int64(value)), scale, &scaled))
            return true;
        fail(context, {MoneyFailure::Kind::OutOfRange, valueText(value), column});
        return false;
    }
    if (type == SQLITE_FLOAT) {
        try {
            scaled = Currency::fromDouble(sqlite3_value_double(value)).scaled();
            return true;
        } catch (const EngineError&) {
            fail(context, {MoneyFailure::Kind::OutOfRange, valueText(value), column});
            return false;
        }
    }
    fail(context, {MoneyFailure::Kind::NotANumber, valueText(value), column});
    return false;
}

// A currency amount as a double: the double nearest the exact amount.
double fromScaled(std::int64_t scaled) {
    return static_cast<double>(scaled) / static_cast<double>(scale);
}

struct Total {
    std::int64_t scaled;
    std::int64_t count; // values added and not yet taken away
    std::int64_t nonIntegers;
};

void addValue(sqlite3_context* context, sqlite3_value* value, int sign) {
    if (sqlite3_value_type(value) == SQLITE_NULL)
        return;
    auto* total = static_cast<Total*>(sqlite3_aggregate_context(context, sizeof(Total)));
    if (!total) {
        sqlite3_result_error_nomem(context);
        return;
    }
    std::int64_t scaled = 0;
    bool integer = false;
    if (!scaledValue(context, value, {}, scaled, integer))
        return;
    const bool overflow = sign > 0 ? __builtin_add_overflow(total->scaled, scaled, &total->scaled)
                                   : __builtin_sub_overflow(total->scaled, scaled, &total->scaled);
    if (overflow) {
        fail(context, {MoneyFailure::Kind::TotalOutOfRange, {}, {}});
        return;
    }
    total->count += sign;
    if (!integer)
        total->nonIntegers += sign;
}

void sumStep(sqlite3_context* context, int, sqlite3_value** values) {
    addValue(context, values[0], +1);
}

void sumInverse(sqlite3_context* context, int, sqlite3_value** values) {
    addValue(context, values[0], -1);
}

void sumValue(sqlite3_context* context) {
    const auto* total = static_cast<Total*>(sqlite3_aggregate_context(context, 0));
    if (!total || total->count == 0) {
        sqlite3_result_null(context);
    } else if (total->nonIntegers == 0) {
        sqlite3_result_int64(context, total->scaled / scale);
    } else {
        sqlite3_result_double(context, fromScaled(total->scaled));
    }
}

// jet_currency(value, 'column'): the value written to a money column.
void currencyValue(sqlite3_context* context, int, sqlite3_value** values) {
    sqlite3_value* value = values[0];
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const unsigned char* column = sqlite3_value_text(values[1]);
    std::int64_t scaled = 0;
    bool integer = false;
    if (!scaledValue(context, value, column ? reinterpret_cast<const char*>(column) : "", scaled, integer))
        return;
    if (integer)
        sqlite3_result_int64(context, scaled / scale);
    else
        sqlite3_result_double(context, fromScaled(scaled));
}

// Whether a column declared so holds money: REAL affinity.
bool moneyType(const char* declared) {
    if (!declared)
        return false;
    std::string type;
    for (const char* c = declared; *c; ++c)
        type += (*c >= 'a' && *c <= 'z') ? static_cast<char>(*c - 'a' + 'A') : *c;
    // SQLite's affinity rules, in their order: INT, then CHAR/CLOB/TEXT, then BLOB, then REAL.
    for (const char* other : {"INT", "CHAR", "CLOB", "TEXT", "BLOB"}) {
        if (type.find(other) != std::string::npos)
            return false;
    }
    return type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
           type.find("DOUB") != std::string::npos;
}

bool isMoneyColumn(sqlite3* db, const std::string& schema, const std::string& table, const std::string& column) {
    const char* declared = nullptr;
    return sqlite3_table_column_metadata(db, schema.c_str(), table.c_str(), column.c_str(), &declared, nullptr,
                                         nullptr, nullptr, nullptr) == SQLITE_OK &&
           moneyType(declared);
}

// A name token without its quotes.
std::string unquoted(const std::string& sql, const SqlToken& token) {
    std::string text = token.text(sql);
    if (token.kind != SqlToken::Kind::Name || text.size() < 2)
        return text;
    const char closer = text.front() == '[' ? ']' : text.front();
    std::string out;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        out += text[i];
        if (closer != ']' && text[i] == closer)
            ++i;
    }
    return out;
}

bool isPunctuation(const std::string& sql, const SqlToken& token, char c) {
    return token.kind == SqlToken::Kind::Punctuation && token.end - token.begin == 1 && sql[token.begin] == c;
}

} // namespace

void RegisterMoneyFunctions(sqlite3* db, std::optional<MoneyFailure>& failure) {
    // Registered under SQLite's own name, sum() takes the place of the built-in
    // one for this connection, so every statement keeps its text.
    if (sqlite3_create_window_function(db, "sum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &failure, sumStep, sumValue,
                                       sumValue, sumInverse, nullptr) != SQLITE_OK ||
        sqlite3_create_function_v2(db, currencyFunction, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &failure, currencyValue,
                                   nullptr, nullptr, nullptr) != SQLITE_OK)
        throw sqliteError(db);
}

std::string WithMoneyAssignments(sqlite3* db, const std::string& sql) {
    const std::vector<SqlToken> tokens = TokeniseSql(sql);
    using Kind = SqlToken::Kind;
    if (tokens.empty() || !tokens[0].is(sql, "update"))
        return sql;
    std::size_t t = 1;
    if (t + 1 < tokens.size() && tokens[t].is(sql, "or"))
        t += 2; // update or replace ...
    if (t >= tokens.size() || (tokens[t].kind != Kind::Word && tokens[t].kind != Kind::Name))
        return sql;
    std::string schema = "main";
    std::string table = unquoted(sql, tokens[t++]);
    if (t + 1 < tokens.size() && isPunctuation(sql, tokens[t], '.')) {
        schema = table;
        table = unquoted(sql, tokens[t + 1]);
        t += 2;
    }
    while (t < tokens.size() && !tokens[t].is(sql, "set"))
        ++t; // an alias, "indexed by" or "not indexed"
    if (t >= tokens.size())
        return sql;
    ++t;

    struct Wrap {
        std::size_t begin, end;
        std::string column;
    };
    std::vector<Wrap> wraps;
    while (t < tokens.size()) {
        // One assignment: name = expression, up to a comma or a clause at depth 0.
        const SqlToken& target = tokens[t];
        const bool single = (target.kind == Kind::Word || target.kind == Kind::Name) && t + 1 < tokens.size() &&
                            isPunctuation(sql, tokens[t + 1], '=');
        std::size_t e = single ? t + 2 : t;
        const std::size_t first = e;
        int depth = 0;
        for (; e < tokens.size(); ++e) {
            const SqlToken& token = tokens[e];
            if (isPunctuation(sql, token, '(')) {
                ++depth;
            } else if (isPunctuation(sql, token, ')')) {
                --depth;
            } else if (depth == 0 && (isPunctuation(sql, token, ',') || token.kind == Kind::Semicolon ||
                                      token.is(sql, "where") || token.is(sql, "from") || token.is(sql, "returning") ||
                                      token.is(sql, "order") || token.is(sql, "limit"))) {
                break;
            }
        }
        if (single && e > first) {
            const std::string column = unquoted(sql, target);
            if (isMoneyColumn(db, schema, table, column))
                wraps.push_back({tokens[first].begin, tokens[e - 1].end, column});
        }
        if (e >= tokens.size() || !isPunctuation(sql, tokens[e], ','))
            break;
        t = e + 1;
    }
    if (wraps.empty())
        return sql;
    std::string out;
    std::size_t copied = 0;
    for (const Wrap& wrap : wraps) {
        std::string quotedColumn;
        for (char c : wrap.column)
            quotedColumn += c == '\'' ? std::string("''") : std::string(1, c);
        out.append(sql, copied, wrap.begin - copied);
        out += std::string(currencyFunction) + "(";
        out.append(sql, wrap.begin, wrap.end - wrap.begin);
        out += ", '" + quotedColumn + "')";
        copied = wrap.end;
    }
    out.append(sql, copied, std::string::npos);
    return out;
}

bool IsMoneyColumn(sqlite3* db, const std::string& table, const std::string& column) {
    return isMoneyColumn(db, "main", table, column);
}

double WrittenMoney(double value) {
    return fromScaled(Currency::fromDouble(value).scaled());
}

EngineError MoneyError(const MoneyFailure& failure, const std::string& sql) {
    if (!failure.column.empty()) {
        if (failure.kind == MoneyFailure::Kind::NotANumber)
            return EngineError(errTypeMismatch, engineSource,
                               "Type mismatch: the value " + failure.value + " cannot be written to the money column " +
                                   failure.column + "; it is not a number.");
        return EngineError(errOverflow, engineSource,
                           "Overflow: the value " + failure.value + " for the money column " + failure.column +
                               " is outside the range of currency amounts.");
    }
    // The sums of the statement, as written, to say where the value was met.
    const std::vector<SqlToken> tokens = TokeniseSql(sql);
    std::vector<std::string> sums;
    for (std::size_t t = 0; t + 1 < tokens.size(); ++t) {
        if (!tokens[t].is(sql, "sum") || !isPunctuation(sql, tokens[t + 1], '('))
            continue;
        int depth = 0;
        std::size_t e = t + 1;
        for (; e < tokens.size(); ++e) {
            if (isPunctuation(sql, tokens[e], '('))
                ++depth;
            else if (isPunctuation(sql, tokens[e], ')') && --depth == 0)
                break;
        }
        const std::size_t end = e < tokens.size() ? tokens[e].end : sql.size();
        sums.push_back(sql.substr(tokens[t].begin, end - tokens[t].begin));
    }
    std::string where = "a sum";
    if (sums.size() == 1) {
        where = sums[0];
    } else if (sums.size() > 1) {
        where = "one of ";
        for (std::size_t i = 0; i < sums.size(); ++i)
            where += (i ? ", " : "") + sums[i];
    }
    switch (failure.kind) {
    case MoneyFailure::Kind::NotANumber:
        return EngineError(errTypeMismatch, engineSource,
                           "Type mismatch: " + where + " met the value " + failure.value +
                               ", which is not an amount of money.");
    case MoneyFailure::Kind::OutOfRange:
        return EngineError(errOverflow, engineSource,
                           "Overflow: " + where + " met the value " + failure.value +
                               ", which is outside the range of currency amounts.");
    case MoneyFailure::Kind::TotalOutOfRange:
        break;
    }
    return EngineError(errOverflow, engineSource,
                       "Overflow: the total of " + where + " is outside the range of currency amounts.");
}

} // namespace engine
