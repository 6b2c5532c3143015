#include "platform/RegistryFileFormat.h"

#include "platform/Registry.h"
#include "platform/Utf8.h"

#include <array>
#include <optional>
#include <vector>

namespace platform {

namespace {

enum class Dialect { RegistryEditor, Wine };

constexpr std::string_view utf16Mark = "\xFF\xFE";
constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimStart(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view trimEnd(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && (isBlank(s[n - 1]) || s[n - 1] == '\r'))
        --n;
    return s.substr(0, n);
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithFolded(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(s[i]) != prefix[i])
            return false;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads 1 to maxDigits hex digits at s[pos]; pos moves past them.
std::optional<std::uint32_t> readHexNumber(std::string_view s, std::size_t& pos, std::size_t maxDigits) {
    std::uint32_t value = 0;
    std::size_t digits = 0;
    while (pos < s.size() && digits < maxDigits && hexDigit(s[pos]) >= 0) {
        value = value * 16 + static_cast<std::uint32_t>(hexDigit(s[pos]));
        ++pos;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// UTF-16 code units to UTF-8, pairing surrogates; a lone surrogate becomes U+FFFD.
class Utf16ToUtf8 {
public:
    explicit Utf16ToUtf8(std::string& out) : out_(out) {}
    void unit(char32_t u) {
        if (high_ != 0) {
            char32_t high = high_;
            high_ = 0;
            if (isLowSurrogate(u)) {
                appendUtf8(out_, 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
                return;
            }
            appendUtf8(out_, replacementCharacter);
        }
        if (isHighSurrogate(u))
            high_ = u;
        else
            appendUtf8(out_, isLowSurrogate(u) ? replacementCharacter : u);
    }
    void byte(char c) {
        flush();
        out_ += c;
    }
    void flush() {
        if (high_ != 0)
            appendUtf8(out_, replacementCharacter);
        high_ = 0;
    }

private:
    std::string& out_;
    char32_t high_ = 0;
};

std::string decodeUtf16(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() / 2);
    Utf16ToUtf8 converter(out);
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
        converter.unit(static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8));
    converter.flush(); // an odd last byte is dropped
    return out;
}

// Lines of a text, without their CR LF or LF.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool next(std::string_view& line) {
        if (pos_ >= text_.size())
            return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    // The next line without taking it.
    bool peek(std::string_view& line) {
        std::size_t saved = pos_;
        std::size_t number = number_;
        bool found = next(line);
        pos_ = saved;
        number_ = number;
        return found;
    }
    // The number of the line last taken, counted from 1 at the text's start.
    std::size_t number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

// Reads a quoted text whose opening character lies before s[pos], up to the
// unescaped close character; pos moves past it. The registry editor escapes
// only \ and " (any other backslash stays as written, as in a hand-written
// path); Wine also writes control characters as \n, \t, ..., octal \NNN and
// UTF-16 code units as \xNNNN.
std::optional<std::string> readQuoted(std::string_view s, std::size_t& pos, char close, Dialect dialect) {
    std::string out;
    Utf16ToUtf8 converter(out);
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == close) {
            converter.flush();
            return out;
        }
        if (c != '\\') {
            converter.byte(c);
            continue;
        }
        if (pos >= s.size())
            return std::nullopt;
        char e = s[pos++];
        if (dialect == Dialect::RegistryEditor) {
            if (e != '\\' && e != '"')
                converter.byte('\\');
            converter.byte(e);
            continue;
        }
        static constexpr std::string_view letters = "abtnvfre";
        static constexpr std::array<char, 8> controls = {7, 8, 9, 10, 11, 12, 13, 27};
        if (std::size_t k = letters.find(e); k != std::string_view::npos) {
            converter.byte(controls[k]);
        } else if (e == 'x') {
            if (std::optional<std::uint32_t> unit = readHexNumber(s, pos, 4))
                converter.unit(*unit);
            else
                converter.byte('x');
        } else if (e >= '0' && e <= '7') {
            std::uint32_t unit = static_cast<std::uint32_t>(e - '0');
            for (int digits = 1; digits < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++digits)
                unit = unit * 8 + static_cast<std::uint32_t>(s[pos++] - '0');
            converter.unit(unit);
        } else {
            converter.byte(e);
        }
    }
    return std::nullopt;
}

// Comma-separated bytes in hex ("01,ff, 2a"); a trailing comma is allowed.
std::optional<std::string> readHexBytes(std::string_view s) {
    std::string out;
    out.reserve(s.size() / 3 + 1);
    std::size_t pos = 0;
    for (;;) {
        while (pos < s.size() && isBlank(s[pos]))
            ++pos;
        if (pos >= s.size())
            return out;
        std::optional<std::uint32_t> byte = readHexNumber(s, pos, 2);
        if (!byte)
            return std::nullopt;
        out += static_cast<char>(*byte);
        while (pos < s.size() && isBlank(s[pos]))
            ++pos;
        if (pos >= s.size())
            return out;
        if (s[pos] != ',')
            return std::nullopt;
        ++pos;
    }
}

bool onlyBlanks(std::string_view s) {
    return trimStart(s).empty();
}

std::string textValue(const std::string& text) {
    std::string data = text;
    data += '\0';
    return data;
}

class Parser {
public:
    // text is the file after its header line.
    Parser(std::string_view text, Dialect dialect, std::vector<std::string>& problems)
        : lines_(text), dialect_(dialect), problems_(problems) {}

    RegistryKeys run() {
        std::string_view line;
        while (lines_.next(line)) {
            line = trimStart(line);
            if (line.empty())
                continue;
            if (line[0] == '[')
                keyLine(line);
            else if (line[0] == '"' || line[0] == '@')
                valueLine(line);
            else if (line[0] == ';' && dialect_ == Dialect::Wine)
                wineComment(line);
            // Anything else (comments, Wine's #time= and #arch= lines, stray text) is skipped.
        }
        return std::move(keys_);
    }

private:
    // The file's line number of the line last taken (the header is line 1).
    std::size_t lineNumber() const { return lines_.number() + 1; }

    void badKeyLine() {
        keyState_ = KeyState::Bad;
        problems_.push_back("Line " + std::to_string(lineNumber()) +
                            " cannot be read as a key; the values under it are left out.");
    }

    void badValueLine(const std::optional<std::string>& name) {
        std::string said = "Line " + std::to_string(valueLineNumber_);
        if (name)
            said += name->empty() ? " (the default value)" : " (the value \"" + *name + "\")";
        problems_.push_back(said + " cannot be read as a value; it is left out.");
    }

    void keyLine(std::string_view line) {
        current_ = nullptr;
        if (dialect_ == Dialect::Wine) {
            std::size_t pos = 1;
            std::optional<std::string> path = readQuoted(line, pos, ']', dialect_);
            if (!path)
                return badKeyLine();
            std::string name = foldedRootName(wineRoot_);
            appendFoldedPath(name, *path);
            current_ = &keys_[name];
            keyState_ = KeyState::Good;
            return;
        }
        line = trimEnd(line);
        if (line.size() < 2 || line.back() != ']')
            return badKeyLine();
        std::string_view path = line.substr(1, line.size() - 2);
        bool deleting = !path.empty() && path[0] == '-';
        if (deleting)
            path.remove_prefix(1);
        std::size_t split = path.find('\\');
        std::uint32_t root = registryRootNamed(path.substr(0, split));
        if (root == 0)
            return badKeyLine();
        std::string name = foldedRootName(root);
        if (split != std::string_view::npos)
            appendFoldedPath(name, path.substr(split + 1));
        // A root cannot be deleted, as the registry editor will not either.
        keyState_ = deleting ? KeyState::Deleted : KeyState::Good;
        if (deleting && name != foldedRootName(root))
            eraseKey(name);
        else if (!deleting)
            current_ = &keys_[name];
    }

    // Removes the key and every key below it.
    void eraseKey(const std::string& name) {
        keys_.erase(name);
        std::string prefix = name + '\\';
        auto it = keys_.lower_bound(prefix);
        while (it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0)
            it = keys_.erase(it);
    }

    // ";; All keys relative to \\Machine" (system.reg) or "\\User\\S-1-..." (user.reg).
    void wineComment(std::string_view line) {
        static constexpr std::string_view marker = ";; all keys relative to ";
        if (!startsWithFolded(line, marker))
            return;
        std::string_view base = trimStart(line.substr(marker.size()));
        while (!base.empty() && base[0] == '\\')
            base.remove_prefix(1);
        if (startsWithFolded(base, "user"))
            wineRoot_ = HKEY_CURRENT_USER_ROOT;
        else if (startsWithFolded(base, "machine"))
            wineRoot_ = HKEY_LOCAL_MACHINE_ROOT;
    }

    void valueLine(std::string_view line) {
        valueLineNumber_ = lineNumber(); // before hex data takes further lines
        std::size_t pos = 1;
        std::string name;
        std::optional<std::string> shownName = std::string();
        if (line[0] == '"') {
            std::optional<std::string> quoted = readQuoted(line, pos, '"', dialect_);
            shownName = quoted;
            if (!quoted)
                return reportValueLine(std::nullopt);
            name = foldCase(*quoted);
        }
        std::string_view rest = trimStart(line.substr(pos));
        if (rest.empty() || rest[0] != '=')
            return reportValueLine(shownName);
        rest = trimStart(rest.substr(1));

        // Hex lines may go on over further lines ending in "\"; they are read
        // even under a bad key line so that their continuation is not taken
        // for lines of their own.
        std::string joined;
        if (startsWithFolded(rest, "hex")) {
            std::optional<std::string_view> whole = joinContinuedLines(rest, joined);
            if (!whole)
                return reportValueLine(shownName);
            rest = *whole;
        }
        if (current_ == nullptr) {
            if (keyState_ == KeyState::None)
                problems_.push_back("Line " + std::to_string(valueLineNumber_) +
                                    " holds a value outside any key; it is left out.");
            return;
        }
        if (!rest.empty() && rest[0] == '-' && onlyBlanks(rest.substr(1))) {
            current_->erase(name);
            return;
        }
        if (std::optional<RegistryValue> value = readData(rest)) {
            value->name = *shownName;
            (*current_)[name] = std::move(*value);
        } else
            badValueLine(shownName);
    }

    // A value line that cannot be read; under a key already said to be
    // unreadable, or deleted, it goes without a word.
    void reportValueLine(const std::optional<std::string>& name) {
        if (keyState_ == KeyState::Good || keyState_ == KeyState::None)
            badValueLine(name);
    }

    // Joins a hex line with the lines that continue it. A line ending in "\"
    // that nothing continues (a file cut short) leaves the value unreadable.
    std::optional<std::string_view> joinContinuedLines(std::string_view first, std::string& joined) {
        std::string_view part = trimEnd(first);
        if (part.empty() || part.back() != '\\')
            return part;
        joined.assign(part.substr(0, part.size() - 1));
        for (;;) {
            // A continuation line starts with a hex digit; anything else (the
            // next value or key line) is left for the main loop.
            std::string_view next;
            if (!lines_.peek(next) || trimStart(next).empty() || hexDigit(trimStart(next)[0]) < 0)
                return std::nullopt;
            lines_.next(next);
            part = trimEnd(trimStart(next));
            if (part.back() != '\\') {
                joined.append(part);
                return joined;
            }
            joined.append(part.substr(0, part.size() - 1));
        }
    }

    // The data after "=": "text", str(N):"text", dword:N, hex:.., hex(N):..
    std::optional<RegistryValue> readData(std::string_view s) const {
        RegistryValue value;
        std::size_t pos = 0;
        if (!s.empty() && s[0] == '"') {
            pos = 1;
            std::optional<std::string> text = readQuoted(s, pos, '"', dialect_);
            if (!text || !onlyBlanks(s.substr(pos)))
                return std::nullopt;
            return RegistryValue{REG_SZ_TYPE, textValue(*text), {}};
        }
        if (startsWithFolded(s, "str(")) {
            pos = 4;
            std::optional<std::uint32_t> type = readHexNumber(s, pos, 8);
            if (!type || s.substr(pos, 3) != "):\"")
                return std::nullopt;
            pos += 3;
            std::optional<std::string> text = readQuoted(s, pos, '"', dialect_);
            if (!text || !onlyBlanks(s.substr(pos)))
                return std::nullopt;
            return RegistryValue{*type, textValue(*text), {}};
        }
        if (startsWithFolded(s, "dword:")) {
            pos = 6;
            std::optional<std::uint32_t> number = readHexNumber(s, pos, 8);
            if (!number || !onlyBlanks(s.substr(pos)))
                return std::nullopt;
            value.type = REG_DWORD_TYPE;
            for (int i = 0; i < 4; ++i)
                value.data += static_cast<char>((*number >> (8 * i)) & 0xFF);
            return value;
        }
        if (startsWithFolded(s, "hex:")) {
            value.type = REG_BINARY_TYPE;
            pos = 4;
        } else if (startsWithFolded(s, "hex(")) {
            pos = 4;
            std::optional<std::uint32_t> type = readHexNumber(s, pos, 8);
            if (!type || s.substr(pos, 2) != "):")
                return std::nullopt;
            value.type = *type;
            pos += 2;
        } else {
            return std::nullopt;
        }
        std::optional<std::string> bytes = readHexBytes(s.substr(pos));
        if (!bytes)
            return std::nullopt;
        value.data = std::move(*bytes);
        return value;
    }

    enum class KeyState { None, Good, Bad, Deleted }; // of the last key line

    Lines lines_;
    Dialect dialect_;
    std::vector<std::string>& problems_;
    RegistryKeys keys_;
    RegistryValues* current_ = nullptr;
    KeyState keyState_ = KeyState::None;
    std::size_t valueLineNumber_ = 0;
    std::uint32_t wineRoot_ = HKEY_LOCAL_MACHINE_ROOT;
};

// Why a text without a registry header cannot be read, in plain words.
std::string headerProblem(std::string_view raw) {
    if (raw.empty())
        return "It is empty.";
    // UTF-16 of text in Latin letters has a NUL in every other byte.
    if (raw.size() >= 4 && raw[0] != '\0' && raw[1] == '\0' && raw[2] != '\0' && raw[3] == '\0')
        return "It is UTF-16 text without the byte-order mark that must begin such a file.";
    return "It does not begin with the header of a registry file (\"Windows Registry Editor Version 5.00\", "
           "\"REGEDIT4\" or \"WINE REGISTRY Version 2\").";
}

} // namespace

std::string foldedRootName(std::uint32_t root) {
    return std::to_string(root);
}

void appendFoldedPath(std::string& name, std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start) {
            name += '\\';
            for (std::size_t i = start; i < end; ++i)
                name += lower(path[i]);
        }
        start = end + 1;
    }
}

std::string foldCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lower(c);
    return out;
}

std::uint32_t registryRootNamed(std::string_view name) {
    struct Root {
        std::string_view longName;
        std::string_view shortName;
        std::uint32_t value;
    };
    static constexpr std::array<Root, 5> roots = {{
        {"hkey_classes_root", "hkcr", HKEY_CLASSES_ROOT_ROOT},
        {"hkey_current_user", "hkcu", HKEY_CURRENT_USER_ROOT},
        {"hkey_local_machine", "hklm", HKEY_LOCAL_MACHINE_ROOT},
        {"hkey_users", "hku", HKEY_USERS_ROOT},
        {"hkey_current_config", "hkcc", HKEY_CURRENT_CONFIG_ROOT},
    }};
    std::string folded = foldCase(name);
    for (const Root& root : roots)
        if (folded == root.longName || folded == root.shortName)
            return root.value;
    return 0;
}

RegistryKeys parseRegistryText(std::string_view raw) {
    std::vector<std::string> problems;
    return parseRegistryText(raw, problems);
}

RegistryKeys parseRegistryText(std::string_view raw, std::vector<std::string>& problems) {
    std::string decoded;
    std::string_view text = raw;
    if (raw.substr(0, utf16Mark.size()) == utf16Mark) {
        decoded = decodeUtf16(raw.substr(utf16Mark.size()));
        text = decoded;
    }
    if (text.substr(0, utf8Mark.size()) == utf8Mark)
        text.remove_prefix(utf8Mark.size());

    std::size_t end = text.find('\n');
    std::string_view header = trimEnd(text.substr(0, end));
    Dialect dialect;
    if (header == "Windows Registry Editor Version 5.00" || header == "REGEDIT4")
        dialect = Dialect::RegistryEditor;
    else if (header == "WINE REGISTRY Version 2")
        dialect = Dialect::Wine;
    else {
        problems.push_back(headerProblem(raw));
        return {};
    }
    if (end == std::string_view::npos)
        return {};
    return Parser(text.substr(end + 1), dialect, problems).run();
}

} // namespace platform
