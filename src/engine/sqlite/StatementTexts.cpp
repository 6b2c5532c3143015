#include "engine/sqlite/StatementTexts.h"

#include "engine/JetDialect.h"
#include "engine/QuotedValues.h"

#include <utility>

namespace engine {

namespace {

// Stands in a pattern for quoted value k: '\x01k'. No text of the tool holds
// the control character, and a text that does is never read by pattern.
constexpr char marker = '\x01';

bool isPlainReadOrWrite(const std::string& sql, const std::vector<SqlToken>& tokens) {
    if (tokens.empty())
        return false;
    const SqlToken& first = tokens.front();
    return first.is(sql, "select") || first.is(sql, "update") || first.is(sql, "insert") || first.is(sql, "delete") ||
           first.is(sql, "replace") || first.is(sql, "with");
}

// The quoted values of Jet SQL (FindQuotedValues); false when a quoted value
// is never closed or the text holds the marker.
bool quotedValues(const std::string& sql, std::vector<std::pair<std::size_t, std::size_t>>& values) {
    values.clear();
    return sql.find(marker) == std::string::npos && FindQuotedValues(sql, values);
}

std::string markerText(std::size_t k) {
    return std::string(1, marker) + std::to_string(k);
}

} // namespace

StatementText StatementTexts::readAfresh(const std::string& jetSql) {
    StatementText read;
    read.text = TranslateJetSql(jetSql);
    const std::vector<SqlToken> tokens = TokeniseSql(read.text);
    read.statements = CountStatements(tokens);
    read.plainReadOrWrite = isPlainReadOrWrite(read.text, tokens);
    if (read.statements == 1)
        read.shape = ShapeOf(read.text, tokens);
    return read;
}

const StatementTexts::Pattern& StatementTexts::pattern(const std::string& key, std::size_t quotedValues) {
    const auto found = patterns_.find(key);
    if (found != patterns_.end())
        return found->second;
    if (patterns_.size() >= capacity)
        patterns_.clear();
    Pattern made;
    made.reading = readAfresh(key);
    const std::string& text = made.reading.text;
    // Each quoted value must stand in the translated text once, as one
    // value, and become one parameter of the shape.
    made.placeIn.assign(quotedValues, {0, 0});
    std::vector<int> seen(quotedValues, 0);
    bool usable = true;
    for (const SqlToken& token : TokeniseSql(text)) {
        if (token.kind != SqlToken::Kind::String || token.end - token.begin < 3 || text[token.begin + 1] != marker)
            continue;
        const std::size_t k = std::stoul(text.substr(token.begin + 2, token.end - token.begin - 3));
        if (k >= quotedValues || seen[k]++) {
            usable = false;
            break;
        }
        made.placeIn[k] = {token.begin, token.end};
    }
    for (int count : seen)
        usable = usable && count == 1;
    // In the order of the text, as the translation keeps them.
    for (std::size_t k = 1; usable && k < quotedValues; ++k)
        usable = made.placeIn[k - 1].second <= made.placeIn[k].first;
    // Each, standing once in the text, must then be one parameter of the shape.
    if (usable && made.reading.statements == 1) {
        std::vector<int> parameters(quotedValues, 0);
        for (const Variant& value : made.reading.shape.values) {
            int k = -1;
            if (value.kind() == Variant::Kind::Text && !value.text().empty() && value.text()[0] == marker) {
                k = std::stoi(value.text().substr(1));
                usable = usable && k >= 0 && static_cast<std::size_t>(k) < quotedValues && parameters[k]++ == 0;
            }
            made.valueOf.push_back(k);
        }
        for (int count : parameters)
            usable = usable && count == 1;
    }
    made.usable = usable;
    return patterns_.emplace(key, std::move(made)).first->second;
}

const StatementText& StatementTexts::read(const std::string& jetSql) {
    const auto found = texts_.find(jetSql);
    if (found != texts_.end())
        return found->second;
    if (texts_.size() >= capacity)
        texts_.clear();

    std::vector<std::pair<std::size_t, std::size_t>> values;
    if (!quotedValues(jetSql, values))
        return texts_.emplace(jetSql, readAfresh(jetSql)).first->second;
    std::string key;
    key.reserve(jetSql.size());
    std::size_t copied = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        key.append(jetSql, copied, values[k].first + 1 - copied);
        key += markerText(k);
        copied = values[k].second - 1;
    }
    key.append(jetSql, copied, std::string::npos);
    const Pattern& shaped = pattern(key, values.size());
    if (!shaped.usable)
        return texts_.emplace(jetSql, readAfresh(jetSql)).first->second;

    // The pattern's reading with this text's quoted values put in.
    StatementText read;
    read.statements = shaped.reading.statements;
    read.plainReadOrWrite = shaped.reading.plainReadOrWrite;
    const std::string& text = shaped.reading.text;
    copied = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        // The quoted values stand in the translated text in their order.
        const auto [begin, end] = shaped.placeIn[k];
        read.text.append(text, copied, begin - copied);
        read.text.append(jetSql, values[k].first, values[k].second - values[k].first);
        copied = end;
    }
    read.text.append(text, copied, std::string::npos);
    if (read.statements == 1) {
        read.shape.text = shaped.reading.shape.text;
        read.shape.values.reserve(shaped.valueOf.size());
        for (std::size_t v = 0; v < shaped.valueOf.size(); ++v) {
            const int k = shaped.valueOf[v];
            read.shape.values.push_back(
                k < 0 ? shaped.reading.shape.values[v]
                      : Variant(UnquotedValue(jetSql, values[static_cast<std::size_t>(k)].first,
                                         values[static_cast<std::size_t>(k)].second)));
        }
    }
    return texts_.emplace(jetSql, std::move(read)).first->second;
}

} // namespace engine
