#include "platform/posix/RegFileFormat.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace pw::platform::posix {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// ---- writing ----------------------------------------------------------------------------------

constexpr std::size_t kWrapColumn = 80;
constexpr char kHexDigits[] = "0123456789abcdef";

// Appends runs rather than bytes: values may be megabytes long.
void AppendEscaped(std::string& out, std::string_view s) {
    std::size_t backslash = s.find('\\'), quote = s.find('"');
    std::size_t start = 0;
    while (true) {
        const std::size_t special = std::min(backslash, quote);
        if (special == std::string_view::npos) break;
        out.append(s.substr(start, special - start));
        out += '\\';
        out += s[special];
        start = special + 1;
        if (special == backslash) backslash = s.find('\\', start);
        if (special == quote) quote = s.find('"', start);
    }
    out.append(s.substr(start));
}

// A Sz value goes in quotes only when reading the quotes back gives exactly its bytes.
bool IsPlainText(const RegValue& v) {
    if (v.type != RegType::Sz || v.data.empty() || v.data.back() != '\0') return false;
    for (std::size_t i = 0; i + 1 < v.data.size(); ++i)
        if (v.data[i] == '\0' || IsControlChar(v.data[i])) return false;
    return true;
}

void AppendValue(std::string& out, const std::string& name, const RegValue& v) {
    const std::size_t lineStart = out.size();
    if (name.empty()) {
        out += '@';
    } else {
        out += '"';
        AppendEscaped(out, name);
        out += '"';
    }
    out += '=';
    if (IsPlainText(v)) {
        out += '"';
        AppendEscaped(out, std::string_view(v.data).substr(0, v.data.size() - 1));
        out += "\"\n";
        return;
    }
    if (v.type == RegType::Dword && v.data.size() == 4) {
        out += "dword:";
        const std::uint32_t n = v.AsDword();
        for (int shift = 28; shift >= 0; shift -= 4)
            out += kHexDigits[(n >> shift) & 0xF];
        out += '\n';
        return;
    }
    // Everything else as raw bytes with its type number. Texts are byte strings here, so
    // hex(2)/hex(7) hold the bytes as they are, not UTF-16 as Windows' own exports do; and a Sz
    // text with control bytes (which a quoted line cannot hold) is our store's hex(1) variant.
    if (v.type == RegType::Binary) {
        out += "hex:";
    } else {
        out += "hex(";
        const auto t = static_cast<std::uint32_t>(v.type);
        bool digits = false;
        for (int shift = 28; shift >= 0; shift -= 4) {
            const unsigned d = (t >> shift) & 0xF;
            if (d || digits || shift == 0) {
                out += kHexDigits[d];
                digits = true;
            }
        }
        out += "):";
    }
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < v.data.size(); ++i) {
        const bool last = i + 1 == v.data.size();
        const std::size_t width = last ? 2 : 3;
        if (column + width + 1 > kWrapColumn) {
            out += "\\\n  ";
            column = 2;
        }
        const auto b = static_cast<unsigned char>(v.data[i]);
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0xF];
        if (!last) out += ',';
        column += width;
    }
    out += '\n';
}

void AppendKey(std::string& out, const RegKey& k, std::string& path, bool isRoot) {
    // The root's section is only needed for its own values; every other key keeps its section
    // even when empty, so a created key survives.
    if (!isRoot || !k.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const auto& [name, value] : k.values)
            AppendValue(out, name, value);
        out += '\n';
    }
    for (const auto& [folded, child] : k.children) {
        const std::size_t length = path.size();
        path += '\\';
        path += child->name;
        AppendKey(out, *child, path, false);
        path.resize(length);
    }
}

}  // namespace

std::string SerializeRegFile(const RegKey& tree, std::string_view rootName) {
    std::string out(kHeader);
    out += "\n\n";
    std::string path(rootName);
    AppendKey(out, tree, path, true);
    return out;
}

// A value's line takes at most 2 bytes per name byte (escapes) and 3.2 per data byte (hex with
// line wraps); the slack covers quotes, the type tag and the root's own section.
std::uint64_t SerializedValueGrowth(std::string_view name, const RegValue& value) {
    return 4 * std::uint64_t{value.data.size()} + 2 * std::uint64_t{name.size()} + 64;
}

// Each new key is one section line holding at most the root's name and the whole path.
std::uint64_t SerializedKeyGrowth(std::string_view path, std::size_t depth) {
    return std::uint64_t{depth} * (path.size() + 64);
}

namespace {

// ---- reading ----------------------------------------------------------------------------------

bool IsBlankChar(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlankChar(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlankChar(s.back()))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits.
bool ParseHex32(std::string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 8) return false;
    out = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        out = (out << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

// A quoted text starting at s[pos] == '"'; only \\ and \" are escapes. Returns the error or null;
// `end` is the position after the closing quote.
const char* ParseQuoted(std::string_view s, std::size_t pos, std::string& out, std::size_t& end) {
    out.clear();
    std::size_t run = pos + 1;  // the first byte not yet appended
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            out.append(s.substr(run, i - run));
            end = i + 1;
            return nullptr;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                return "a backslash that escapes neither \\ nor \"";
            out.append(s.substr(run, i - run));
            run = ++i;  // the escaped byte starts the next run
            continue;
        }
        if (IsControlChar(c) && c != '\t') return "a control byte inside quotes";
    }
    return "a missing closing quote";
}

bool ParseHexBytes(std::string_view s, std::string& out) {
    s = TrimRight(TrimLeft(s));
    if (s.empty()) return true;
    while (true) {
        const std::size_t comma = s.find(',');
        const std::string_view piece = TrimRight(TrimLeft(s.substr(0, comma)));
        if (piece.size() != 2) return false;
        const int hi = HexDigit(piece[0]), lo = HexDigit(piece[1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        if (out.size() > kRegMaxValueBytes) return false;
        if (comma == std::string_view::npos) return true;
        s.remove_prefix(comma + 1);
    }
}

class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t nl = text_.find('\n', pos_);
        if (nl == std::string_view::npos) {
            line = text_.substr(pos_);
            pos_ = text_.size();
            unterminated_ = true;
        } else {
            line = text_.substr(pos_, nl - pos_);
            pos_ = nl + 1;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        last_ = line;
        ++number_;
        return true;
    }
    // Gives the line just read back, to be read again.
    void Unread(std::size_t pos, std::size_t number) {
        pos_ = pos;
        number_ = number;
        unterminated_ = false;
    }

    std::size_t pos() const { return pos_; }
    std::size_t number() const { return number_; }
    bool unterminated() const { return unterminated_; }
    std::string_view last() const { return last_; }

  private:
    std::string_view text_;
    std::string_view last_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
    bool unterminated_ = false;
};

// Parses a value's data (after '='); `reader` supplies continuation lines of hex data.
const char* ParseData(std::string_view data, LineReader& reader, RegValue& out) {
    if (!data.empty() && data.front() == '"') {
        std::size_t end = 0;
        std::string text;
        if (const char* error = ParseQuoted(data, 0, text, end)) return error;
        if (!TrimRight(data.substr(end)).empty()) return "text after the closing quote";
        if (text.size() + 1 > kRegMaxValueBytes) return "a value larger than the store allows";
        out = RegValue::Text(text);
        return nullptr;
    }
    if (data.starts_with("dword:")) {
        std::uint32_t n = 0;
        if (!ParseHex32(TrimRight(data.substr(6)), n))
            return "a bad dword (it needs 1 to 8 hex digits)";
        out = RegValue::Dword(n);
        return nullptr;
    }
    if (!data.starts_with("hex")) return "a value of unknown kind";
    data.remove_prefix(3);
    std::uint32_t type = static_cast<std::uint32_t>(RegType::Binary);
    if (data.starts_with("(")) {
        const std::size_t close = data.find(')');
        if (close == std::string_view::npos || !ParseHex32(data.substr(1, close - 1), type))
            return "a bad type number in hex(...)";
        data.remove_prefix(close + 1);
    }
    if (!data.starts_with(":")) return "a missing ':' after hex";
    data.remove_prefix(1);

    std::string joined(TrimRight(data));
    while (!joined.empty() && joined.back() == '\\') {
        joined.pop_back();
        const std::size_t pos = reader.pos(), number = reader.number();
        std::string_view next;
        if (!reader.Next(next)) return "the file ends inside a continued value";
        // A continuation is indented; anything else is a line of its own, read again by the caller.
        if (next.empty() || !IsBlankChar(next.front())) {
            reader.Unread(pos, number);
            return "a continued value without its continuation";
        }
        joined += TrimRight(TrimLeft(next));
        if (joined.size() > 4 * kRegMaxValueBytes) return "a value larger than the store allows";
    }
    std::string bytes;
    if (!ParseHexBytes(joined, bytes)) {
        return bytes.size() > kRegMaxValueBytes
                   ? "a value larger than the store allows"
                   : "bad hex data (it needs two hex digits per byte, separated by commas)";
    }
    out = RegValue{static_cast<RegType>(type), std::move(bytes)};
    return nullptr;
}

}  // namespace

void RegParseResult::Bad(std::size_t line, std::string_view why) {
    if (line == lastBadLine) return;
    lastBadLine = line;
    ++badLines;
    if (!firstBadLine) {
        firstBadLine = line;
        what = why;
    }
}

RegParseResult ParseRegFile(std::string_view text, std::string_view rootName) {
    RegParseResult r;
    if (text.empty()) return r;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    LineReader reader(text);
    std::string_view line;
    RegKey* current = nullptr;
    bool first = true;
    std::vector<std::string_view> parts;
    while (reader.Next(line)) {
        const std::size_t number = reader.number();
        if (first) {
            first = false;
            if (line == kHeader) continue;
            r.Bad(number, "the first line is not \"Windows Registry Editor Version 5.00\"");
        }
        if (TrimLeft(line).empty() || line.front() == ';') continue;

        if (line.front() == '[') {
            current = nullptr;
            if (line.back() != ']' || line.size() < 2) {
                r.Bad(number, "a key line without its closing ']'");
                continue;
            }
            std::string_view inner = line.substr(1, line.size() - 2);
            if (!StartsWithFolded(inner, rootName) ||
                (inner.size() > rootName.size() && inner[rootName.size()] != '\\')) {
                r.Bad(number, "a key of another root");
                continue;
            }
            inner.remove_prefix(rootName.size());
            if (!inner.empty()) inner.remove_prefix(1);
            if (inner.empty() && line.size() - 2 > rootName.size()) {
                r.Bad(number, "an empty key name");
                continue;
            }
            if (!SplitKeyPath(inner, parts)) {
                r.Bad(number, "an empty, too long or unprintable key name, or too deep a key");
                continue;
            }
            RegKey* k = &r.tree;
            bool created = false;
            for (std::string_view p : parts)
                k = &k->ChildOrNew(p, created);
            current = k;
            continue;
        }

        if (line.front() != '"' && line.front() != '@') {
            r.Bad(number, "a line that is neither a key nor a value");
            continue;
        }
        std::string name;
        std::size_t pos = 1;
        if (line.front() == '"') {
            if (const char* error = ParseQuoted(line, 0, name, pos)) {
                r.Bad(number, std::string("a value name with ") + error);
                continue;
            }
        }
        if (pos >= line.size() || line[pos] != '=') {
            r.Bad(number, "a value without '=' after its name");
            continue;
        }
        RegValue value;
        if (const char* error = ParseData(line.substr(pos + 1), reader, value)) {
            r.Bad(number, error);
            continue;
        }
        if (!ValidValueName(name)) {
            r.Bad(number, "a value name longer than the store allows");
        } else if (!current) {
            r.Bad(number, "a value outside any readable key");
        } else {
            current->Set(name, value);
        }
    }
    if (reader.unterminated() && !TrimLeft(reader.last()).empty())
        r.Bad(reader.number(), "the last line has no line end (the file may be truncated)");
    return r;
}

}  // namespace pw::platform::posix
