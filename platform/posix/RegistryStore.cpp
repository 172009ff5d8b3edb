#include "platform/posix/RegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pw::platform::posix {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
// Windows' own limit on key nesting; it also bounds the recursion over a hand-made file.
constexpr std::size_t kMaxDepth = 512;
constexpr std::size_t kWrapColumn = 80;

struct RootInfo {
    const char* fileName;
    std::string_view keyName;
};

// Indexed by RegRoot.
constexpr RootInfo kRoots[] = {
    {"HKCR.reg", "HKEY_CLASSES_ROOT"},
    {"HKCU.reg", "HKEY_CURRENT_USER"},
    {"HKLM.reg", "HKEY_LOCAL_MACHINE"},
};

// ---- names ------------------------------------------------------------------------------------

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(s[i]) != Lower(prefix[i])) return false;
    return true;
}

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// Names are written on one line of the file, so they cannot hold line breaks or other controls.
bool PrintableName(std::string_view s) {
    for (char c : s)
        if (IsControl(c)) return false;
    return true;
}

bool ValidValueName(std::string_view name) {
    return name.size() <= kRegMaxNameBytes && PrintableName(name);
}

// Splits a key path at '\'. The empty path is the root; an empty component, an over-long or
// unprintable name, or nesting deeper than Windows allows is refused.
bool SplitPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty() || part.size() > kRegMaxKeyNameBytes || !PrintableName(part)) return false;
        parts.push_back(part);
        if (parts.size() > kMaxDepth) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

// ---- the tree ---------------------------------------------------------------------------------

struct Key {
    std::string name;
    std::vector<std::pair<std::string, RegValue>> values;     // in the order first written
    std::unordered_map<std::string, std::size_t> valueIndex;  // folded name -> position
    std::map<std::string, std::unique_ptr<Key>> children;     // folded name -> key, sorted

    Key() = default;
    explicit Key(std::string n) : name(std::move(n)) {}
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;

    Key Clone() const {
        Key k(name);
        k.values = values;
        k.valueIndex = valueIndex;
        for (const auto& [folded, child] : children)
            k.children.emplace(folded, std::make_unique<Key>(child->Clone()));
        return k;
    }

    Key* Child(std::string_view n) const {
        const auto it = children.find(Fold(n));
        return it == children.end() ? nullptr : it->second.get();
    }

    Key& ChildOrNew(std::string_view n, bool& created) {
        auto [it, inserted] = children.try_emplace(Fold(n));
        if (inserted) {
            it->second = std::make_unique<Key>(std::string(n));
            created = true;
        }
        return *it->second;
    }

    const RegValue* Find(std::string_view n) const {
        const auto it = valueIndex.find(Fold(n));
        return it == valueIndex.end() ? nullptr : &values[it->second].second;
    }

    // An existing value keeps its name's case and its place.
    void Set(std::string_view n, const RegValue& v) {
        auto [it, inserted] = valueIndex.try_emplace(Fold(n), values.size());
        if (inserted)
            values.emplace_back(std::string(n), v);
        else
            values[it->second].second = v;
    }

    bool Erase(std::string_view n) {
        const auto it = valueIndex.find(Fold(n));
        if (it == valueIndex.end()) return false;
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(it->second));
        valueIndex.clear();
        for (std::size_t i = 0; i < values.size(); ++i)
            valueIndex.emplace(Fold(values[i].first), i);
        return true;
    }
};

const Key* FindKey(const Key& root, const std::vector<std::string_view>& parts) {
    const Key* k = &root;
    for (std::string_view p : parts)
        if (!(k = k->Child(p))) return nullptr;
    return k;
}

Key* FindKey(Key& root, const std::vector<std::string_view>& parts) {
    return const_cast<Key*>(FindKey(static_cast<const Key&>(root), parts));
}

// ---- writing the file -------------------------------------------------------------------------

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
        if (v.data[i] == '\0' || IsControl(v.data[i])) return false;
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

void AppendKey(std::string& out, const Key& k, std::string& path, bool isRoot) {
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

std::string Serialize(const Key& tree, std::string_view rootName) {
    std::string out(kHeader);
    out += "\n\n";
    std::string path(rootName);
    AppendKey(out, tree, path, true);
    return out;
}

// Upper bounds of what a change adds to the serialised file, so that an update can keep to
// RegistryStore::kMaxFileBytes without serialising its tree on every write. A value's line takes
// at most 2 bytes per name byte (escapes) and 3.2 per data byte (hex with line wraps); the slack
// covers quotes, the type tag and the root's own section.
std::uint64_t ValueGrowth(std::string_view name, const RegValue& value) {
    return 4 * std::uint64_t{value.data.size()} + 2 * std::uint64_t{name.size()} + 64;
}

// Each new key is one section line holding at most the root's name and the whole path.
std::uint64_t KeyGrowth(std::string_view path, std::size_t depth) {
    return std::uint64_t{depth} * (path.size() + 64);
}

// ---- reading the file -------------------------------------------------------------------------

struct ParseResult {
    Key tree;
    std::size_t firstBadLine = 0;  // 0: the file is sound
    std::string what;
    std::size_t badLines = 0;
    std::size_t lastBadLine = 0;

    void Bad(std::size_t line, std::string_view why) {
        if (line == lastBadLine) return;
        lastBadLine = line;
        ++badLines;
        if (!firstBadLine) {
            firstBadLine = line;
            what = why;
        }
    }
};

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
        if (IsControl(c) && c != '\t') return "a control byte inside quotes";
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

ParseResult Parse(std::string_view text, std::string_view rootName) {
    ParseResult r;
    if (text.empty()) return r;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    LineReader reader(text);
    std::string_view line;
    Key* current = nullptr;
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
            if (!SplitPath(inner, parts)) {
                r.Bad(number, "an empty, too long or unprintable key name, or too deep a key");
                continue;
            }
            Key* k = &r.tree;
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

// ---- files ------------------------------------------------------------------------------------

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes and reports the error close() gives (a delayed write error shows up here).
    int Close() {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

  private:
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

RegStatus FromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ENOTDIR:
        case EEXIST:
        case ELOOP:
            return RegStatus::AccessDenied;
        default:
            return RegStatus::IoError;
    }
}

// What identifies one version of a file: writers replace the file by rename, so a new version
// has a new inode; a hand edit in place changes size or mtime.
struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    time_t mtimeSec = 0;
    long mtimeNsec = 0;

    static FileId Of(const struct stat& st) {
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    }
    bool operator==(const FileId&) const = default;
};

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

void FsyncFolder(const std::filesystem::path& folder) {
    // Makes the rename durable. File systems that cannot sync a folder say so with EINVAL; the
    // file itself is complete either way, so this is best effort.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
}

// Creates the folder and its missing parents, 0700. Returns 0 or an errno.
int EnsureFolder(const std::filesystem::path& folder) {
    std::filesystem::path p;
    for (const auto& part : folder) {
        p /= part;
        if (part.empty() || part == "/") continue;
        if (::mkdir(p.c_str(), 0700) == 0) continue;
        if (errno != EEXIST) return errno;
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0) return errno;
        if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    }
    return 0;
}

// Reads a whole regular file of at most RegistryStore::kMaxFileBytes. Returns 0 or an errno; a
// missing file gives 0 with id.exists false.
int ReadFileAt(const std::filesystem::path& path, FileId& id, std::string& text, bool& tooBig) {
    id = {};
    text.clear();
    tooBig = false;
    // O_NONBLOCK: a FIFO put in place of the file must not hang the program.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    id = FileId::Of(st);
    const std::uint64_t limit = RegistryStore::kMaxFileBytes;
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
        tooBig = true;
        return 0;
    }
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > limit) {
            text.clear();
            tooBig = true;
            return 0;
        }
    }
}

// Copies `from` to a new file `to` (never replacing one). Returns 0 or an errno.
int CopyToNew(const std::filesystem::path& from, const std::filesystem::path& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!in.valid()) return errno;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return errno;
    char buffer[65536];
    int error = 0;
    while (!error) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        error = WriteAll(out.get(), std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    if (!error && ::fsync(out.get()) != 0) error = errno;
    if (const int closed = out.Close(); !error) error = closed;
    if (error) ::unlink(to.c_str());
    return error;
}

// Keeps the file's current content under "<file>.broken-N" with the first N not taken. A hard
// link keeps the very bytes without copying; file systems without links get a copy.
int KeepAside(const std::filesystem::path& file, std::filesystem::path& aside) {
    for (int n = 1; n < 100000; ++n) {
        aside = file;
        aside += ".broken-" + std::to_string(n);
        if (::link(file.c_str(), aside.c_str()) == 0) return 0;
        if (errno == EEXIST) continue;
        const int error = CopyToNew(file, aside);
        if (error == EEXIST) continue;
        return error;
    }
    return EEXIST;
}

// flock on "<file>.lock", which also holds a generation number that every write increments:
// two versions of the file written within one timestamp tick that reuse an inode still differ.
class FileLock {
  public:
    // Opens (and with create, creates) the lock file. Returns 0 or an errno.
    int Open(const std::filesystem::path& path, bool create) {
        fd_ = Fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600));
        if (!fd_.valid() && !create) fd_ = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        return fd_.valid() ? 0 : errno;
    }
    bool valid() const { return fd_.valid(); }

    // Returns 0 or an errno.
    int Lock(int operation) {
        while (::flock(fd_.get(), operation) != 0)
            if (errno != EINTR) return errno;
        return 0;
    }

    std::uint64_t Generation() const {
        unsigned char b[8] = {};
        if (!fd_.valid() || ::pread(fd_.get(), b, sizeof b, 0) != 8) return 0;
        std::uint64_t g = 0;
        for (int i = 7; i >= 0; --i)
            g = (g << 8) | b[i];
        return g;
    }

    // Called under the exclusive lock after a write; returns the new generation.
    std::uint64_t Bump() {
        const std::uint64_t g = Generation() + 1;
        unsigned char b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = static_cast<unsigned char>(g >> (8 * i));
        // A failure only weakens change detection back to the file's own identity.
        [[maybe_unused]] const ssize_t n = ::pwrite(fd_.get(), b, sizeof b, 0);
        return g;
    }

  private:
    Fd fd_;
};

bool IsFolder(const std::filesystem::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

}  // namespace

// ---- one root ---------------------------------------------------------------------------------

struct RegistryStore::Root {
    Root(const std::filesystem::path& folder, const RootInfo& info)
        : folder(folder), file(folder / info.fileName), keyName(info.keyName) {
        lockFile = file;
        lockFile += ".lock";
        tempFile = file;
        tempFile += ".new";
    }

    const std::filesystem::path folder;
    const std::filesystem::path file;
    std::filesystem::path lockFile;
    std::filesystem::path tempFile;
    const std::string_view keyName;

    std::mutex mutex;  // guards everything below
    bool loaded = false;
    FileId id;
    std::uint64_t generation = 0;
    Key tree;
    // The file is damaged and could not be replaced by its repaired form: the salvaged values are
    // used, writes are refused so the original stays as it is.
    bool readOnly = false;

    // The update in progress, if any.
    std::condition_variable idle;  // notified when an update ends
    std::thread::id owner;
    int depth = 0;
    FileLock updateLock;         // held exclusively, once taken, until the update ends
    std::optional<Key> pending;  // the update's tree, from its first write; `tree` stays the file's
    bool dirty = false;          // pending differs from the file
    std::uint64_t sizeBound = 0;  // at least the size of Serialize(*pending)

    ~Root() {
        std::lock_guard guard(mutex);
        if (depth > 0) Finish();
    }

    // Writes by other threads wait while an update is held.
    bool Free() const { return depth == 0 || owner == std::this_thread::get_id(); }

    // Writes `content` as the new file: temporary file, fsync, rename, fsync of the folder. On
    // failure the old file is untouched. Returns 0 or an errno (EFBIG: over kMaxFileBytes).
    int WriteFile(const std::string& content, FileId& newId) {
        if (content.size() > RegistryStore::kMaxFileBytes) return EFBIG;
        Fd fd(
            ::open(tempFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.valid()) return errno;
        int error = WriteAll(fd.get(), content);
        if (!error && ::fsync(fd.get()) != 0) error = errno;
        struct stat st {};
        if (!error && ::fstat(fd.get(), &st) != 0) error = errno;
        if (const int closed = fd.Close(); !error) error = closed;
        if (!error && ::rename(tempFile.c_str(), file.c_str()) != 0) error = errno;
        if (error) {
            ::unlink(tempFile.c_str());
            return error;
        }
        FsyncFolder(folder);
        newId = FileId::Of(st);
        return 0;
    }

    // Brings the cache up to date with the file. Called with `mutex` held and, when there is a
    // lock file, its lock held (exclusive when `exclusive`). A damaged file found under the shared
    // lock sets `needExclusive`: it is repaired only under the exclusive one.
    RegStatus Refresh(FileLock* lock, bool exclusive, bool& needExclusive, std::string& notice) {
        needExclusive = false;
        const std::uint64_t gen = lock ? lock->Generation() : 0;
        FileId current;
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0)
            current = FileId::Of(st);
        else if (errno != ENOENT && errno != ENOTDIR)
            return FromErrno(errno);
        if (loaded && current == id && gen == generation) return RegStatus::Ok;

        std::string text;
        bool tooBig = false;
        if (const int error = ReadFileAt(file, current, text, tooBig)) {
            loaded = false;
            return error == EACCES || error == EPERM ? RegStatus::AccessDenied : RegStatus::IoError;
        }
        ParseResult parsed = Parse(text, keyName);
        if (!tooBig && !parsed.firstBadLine) {
            Accept(std::move(parsed.tree), current, gen, false);
            return RegStatus::Ok;
        }
        if (!exclusive) {
            needExclusive = true;
            return RegStatus::Ok;
        }
        Salvage(std::move(parsed), tooBig, current, lock, gen, notice);
        return RegStatus::Ok;
    }

    void Accept(Key&& newTree, const FileId& newId, std::uint64_t gen, bool damaged) {
        tree = std::move(newTree);
        id = newId;
        generation = gen;
        loaded = true;
        readOnly = damaged;
    }

    // Keeps what parsed, sets the original aside and writes the salvaged values in its place.
    void Salvage(ParseResult&& parsed, bool tooBig, const FileId& damagedId, FileLock* lock,
                 std::uint64_t gen, std::string& notice) {
        std::string problem;
        if (tooBig) {
            problem = "it is larger than " + std::to_string(RegistryStore::kMaxFileBytes >> 20) +
                      " MiB and was not read";
        } else {
            problem = "line " + std::to_string(parsed.firstBadLine) + ": " + parsed.what;
            if (parsed.badLines > 1)
                problem += "; " + std::to_string(parsed.badLines) + " lines could not be read";
        }
        const std::string head =
            "The settings file \"" + file.string() + "\" is damaged (" + problem + ").";
        const std::string content = Serialize(parsed.tree, keyName);

        std::filesystem::path aside;
        if (const int error = KeepAside(file, aside)) {
            Accept(std::move(parsed.tree), damagedId, gen, true);
            notice = head + " It could not be set aside (" + ErrorText(error) +
                     "), so it was left untouched; the values that could be read are used, but " +
                     "changes cannot be saved until the file is repaired or removed.";
            return;
        }
        FileId newId;
        if (const int error = WriteFile(content, newId)) {
            Accept(std::move(parsed.tree), damagedId, gen, true);
            notice = head + " The original was copied to \"" + aside.string() +
                     "\", but the repaired file could not be written (" + ErrorText(error) +
                     "); the values that could be read are used, but changes cannot be saved " +
                     "until the file is repaired or removed.";
            return;
        }
        Accept(std::move(parsed.tree), newId, lock ? lock->Bump() : gen, false);
        notice = head +
                 " The values that could be read were kept; the original file was moved to \"" +
                 aside.string() + "\".";
    }

    // Runs `read(tree)` on the current content of the file.
    template <class F>
    RegStatus Read(std::string& notice, F&& read) {
        std::lock_guard guard(mutex);
        if (pending) return read(static_cast<const Key&>(*pending));
        bool needExclusive = false;
        if (updateLock.valid()) {
            // This store holds the lock: another one taken here would wait for ourselves.
            const RegStatus s = Refresh(&updateLock, true, needExclusive, notice);
            return s == RegStatus::Ok ? read(static_cast<const Key&>(tree)) : s;
        }
        FileLock lock;
        // Reads take the shared lock when they can; without a folder there is nothing to lock.
        bool opened = IsFolder(folder) && lock.Open(lockFile, true) == 0;
        if (!opened && lock.Open(lockFile, false) == 0) opened = true;
        // A writer may hold the lock for a whole update: read without it rather than wait. Files
        // are replaced by rename, so the version read is complete, and the generation is read
        // before the file, so a change made meanwhile is noticed by the next read.
        if (opened) lock.Lock(LOCK_SH | LOCK_NB);
        RegStatus s = Refresh(opened ? &lock : nullptr, false, needExclusive, notice);
        if (needExclusive) {
            const bool exclusive = opened && lock.Lock(LOCK_EX) == 0;
            s = Refresh(exclusive ? &lock : nullptr, true, needExclusive, notice);
        }
        return s == RegStatus::Ok ? read(static_cast<const Key&>(tree)) : s;
    }

    // Runs `change(copy, changed)` on a copy of the tree under the exclusive lock and, when it
    // changed something, writes the copy and only then makes it the cached tree: a failed write
    // leaves both the file and the cache as they were.
    //
    // Inside an update the change goes to the update's tree instead; `growth` bounds what it adds
    // to the file.
    template <class F>
    RegStatus Write(std::string& notice, std::uint64_t growth, F&& change) {
        std::unique_lock guard(mutex);
        idle.wait(guard, [this] { return Free(); });
        if (depth > 0) return WriteInUpdate(notice, growth, change);
        for (int pass = 0; pass < 2; ++pass) {
            FileLock lock;
            if (pass == 1 || IsFolder(folder)) {
                if (const int error = EnsureFolder(folder)) return FromErrno(error);
                if (const int error = lock.Open(lockFile, true)) return FromErrno(error);
                if (lock.Lock(LOCK_EX) != 0) return RegStatus::IoError;
            }
            bool needExclusive = false;
            RegStatus s = Refresh(lock.valid() ? &lock : nullptr, true, needExclusive, notice);
            if (s != RegStatus::Ok) return s;
            Key copy = tree.Clone();
            bool changed = false;
            s = change(copy, changed);
            if (s != RegStatus::Ok || !changed) return s;
            if (readOnly) return RegStatus::AccessDenied;
            // No folder yet: create it, then redo the change under the lock.
            if (!lock.valid()) continue;
            FileId newId;
            if (const int error = WriteFile(Serialize(copy, keyName), newId))
                return error == EFBIG ? RegStatus::InvalidParameter : FromErrno(error);
            Accept(std::move(copy), newId, lock.Bump(), false);
            return RegStatus::Ok;
        }
        return RegStatus::IoError;
    }

    RegStatus TakeUpdateLock() {
        if (const int error = EnsureFolder(folder)) return FromErrno(error);
        if (const int error = updateLock.Open(lockFile, true)) return FromErrno(error);
        if (updateLock.Lock(LOCK_EX) != 0) {
            updateLock = FileLock();
            return RegStatus::IoError;
        }
        return RegStatus::Ok;
    }

    // What `change` would report on the tree, and whether it would change anything.
    template <class F>
    RegStatus DryRun(F& change, bool& changed) {
        Key copy = tree.Clone();
        changed = false;
        return change(copy, changed);
    }

    // Called with `mutex` held by the thread that holds the update.
    template <class F>
    RegStatus WriteInUpdate(std::string& notice, std::uint64_t growth, F& change) {
        if (!pending) {
            bool needExclusive = false;
            if (!updateLock.valid()) {
                // The update began without a folder (or without the lock). Creating the folder is
                // a change of its own, so only a write that changes something may cause it.
                if (!IsFolder(folder)) {
                    RegStatus s = Refresh(nullptr, true, needExclusive, notice);
                    bool changed = false;
                    if (s == RegStatus::Ok) s = DryRun(change, changed);
                    if (s != RegStatus::Ok || !changed) return s;
                }
                if (const RegStatus s = TakeUpdateLock(); s != RegStatus::Ok) return s;
            }
            if (const RegStatus s = Refresh(&updateLock, true, needExclusive, notice);
                s != RegStatus::Ok)
                return s;
            if (readOnly) {
                bool changed = false;
                const RegStatus s = DryRun(change, changed);
                return s != RegStatus::Ok || !changed ? s : RegStatus::AccessDenied;
            }
            pending.emplace(tree.Clone());
            sizeBound = Serialize(*pending, keyName).size();
        }
        if (sizeBound + growth > RegistryStore::kMaxFileBytes) {
            // Near the limit the bound is too coarse: measure the result.
            Key copy = pending->Clone();
            bool changed = false;
            const RegStatus s = change(copy, changed);
            if (s != RegStatus::Ok || !changed) return s;
            const std::size_t size = Serialize(copy, keyName).size();
            if (size > RegistryStore::kMaxFileBytes) return RegStatus::InvalidParameter;
            pending = std::move(copy);
            sizeBound = size;
            dirty = true;
            return RegStatus::Ok;
        }
        bool changed = false;
        const RegStatus s = change(*pending, changed);
        if (changed) {
            sizeBound += growth;
            dirty = true;
        }
        return s;
    }

    void Begin(std::string& notice) {
        std::unique_lock guard(mutex);
        idle.wait(guard, [this] { return Free(); });
        if (depth++ > 0) return;
        owner = std::this_thread::get_id();
        // Without a folder there is nothing to lock yet; a failure here shows at the first write,
        // which tries again.
        if (IsFolder(folder) && TakeUpdateLock() == RegStatus::Ok) {
            bool needExclusive = false;
            Refresh(&updateLock, true, needExclusive, notice);
        }
    }

    RegStatus End() {
        std::lock_guard guard(mutex);
        if (depth == 0 || owner != std::this_thread::get_id()) return RegStatus::InvalidParameter;
        if (--depth > 0) return RegStatus::Ok;
        return Finish();
    }

    // Writes the update's tree, if it changed anything, and ends the update. On failure the
    // cache keeps the file's tree.
    RegStatus Finish() {
        struct Reset {
            Root& r;
            ~Reset() {
                r.pending.reset();
                r.dirty = false;
                r.updateLock = FileLock();
                r.depth = 0;
                r.owner = {};
                r.idle.notify_all();
            }
        } reset{*this};
        if (!dirty) return RegStatus::Ok;
        FileId newId;
        if (const int error = WriteFile(Serialize(*pending, keyName), newId))
            return error == EFBIG ? RegStatus::InvalidParameter : FromErrno(error);
        Accept(std::move(*pending), newId, updateLock.Bump(), false);
        return RegStatus::Ok;
    }
};

// ---- the store --------------------------------------------------------------------------------

RegistryStore::RegistryStore(std::filesystem::path folder,
                             std::function<void(const std::string&)> notice)
    : folder_(std::move(folder)), notice_(std::move(notice)) {
    for (std::size_t i = 0; i < 3; ++i)
        roots_[i] = std::make_unique<Root>(folder_, kRoots[i]);
}

RegistryStore::~RegistryStore() = default;

std::filesystem::path RegistryStore::FileOf(RegRoot root) const {
    const auto i = static_cast<std::size_t>(root);
    return i < 3 ? folder_ / kRoots[i].fileName : std::filesystem::path();
}

RegistryStore::Root* RegistryStore::RootOf(RegRoot root) {
    const auto i = static_cast<std::size_t>(root);
    return i < 3 ? roots_[i].get() : nullptr;
}

// Every call does its locked work first and delivers a notice afterwards, with no lock held, so
// the receiver may call back into the store.
RegStatus RegistryStore::Deliver(RegStatus status, const std::string& notice) const {
    if (!notice.empty() && notice_) notice_(notice);
    return status;
}

RegStatus RegistryStore::OpenKey(RegRoot root, std::string_view path, bool create) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitPath(path, parts)) return RegStatus::InvalidParameter;
    std::string notice;
    RegStatus s = r->Read(notice, [&](const Key& tree) {
        return FindKey(tree, parts) ? RegStatus::Ok : RegStatus::NotFound;
    });
    // Only a missing key costs a write, so opening an existing key with create also works on a
    // store that cannot be written.
    if (s == RegStatus::NotFound && create) {
        s = r->Write(notice, KeyGrowth(path, parts.size()), [&](Key& tree, bool& changed) {
            Key* k = &tree;
            for (std::string_view p : parts)
                k = &k->ChildOrNew(p, changed);
            return RegStatus::Ok;
        });
    }
    return Deliver(s, notice);
}

RegStatus RegistryStore::QueryValue(RegRoot root, std::string_view path, std::string_view name,
                                    RegValue& out) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitPath(path, parts) || !ValidValueName(name)) return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Read(notice, [&](const Key& tree) {
        const Key* k = FindKey(tree, parts);
        const RegValue* v = k ? k->Find(name) : nullptr;
        if (!v) return RegStatus::NotFound;
        out = *v;
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::SetValue(RegRoot root, std::string_view path, std::string_view name,
                                  const RegValue& value) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitPath(path, parts) || !ValidValueName(name) ||
        value.data.size() > kRegMaxValueBytes)
        return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Write(notice, ValueGrowth(name, value), [&](Key& tree, bool& changed) {
        Key* k = FindKey(tree, parts);
        if (!k) return RegStatus::NotFound;
        const RegValue* old = k->Find(name);
        if (old && *old == value) return RegStatus::Ok;
        k->Set(name, value);
        changed = true;
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitPath(path, parts) || !ValidValueName(name)) return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Write(notice, 0, [&](Key& tree, bool& changed) {
        Key* k = FindKey(tree, parts);
        if (!k || !k->Erase(name)) return RegStatus::NotFound;
        changed = true;
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::DeleteKey(RegRoot root, std::string_view path) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    // The root itself cannot be deleted.
    if (!r || !SplitPath(path, parts) || parts.empty()) return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Write(notice, 0, [&](Key& tree, bool& changed) {
        const std::string_view last = parts.back();
        parts.pop_back();
        Key* parent = FindKey(tree, parts);
        parts.push_back(last);
        if (!parent || !parent->children.erase(Fold(last))) return RegStatus::NotFound;
        changed = true;
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::EnumSubKeys(RegRoot root, std::string_view path,
                                     std::vector<std::string>& names) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitPath(path, parts)) return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Read(notice, [&](const Key& tree) {
        const Key* k = FindKey(tree, parts);
        if (!k) return RegStatus::NotFound;
        names.clear();
        for (const auto& [folded, child] : k->children)
            names.push_back(child->name);
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

RegStatus RegistryStore::EnumValues(RegRoot root, std::string_view path,
                                    std::vector<std::string>& names) {
    std::vector<std::string_view> parts;
    Root* r = RootOf(root);
    if (!r || !SplitPath(path, parts)) return RegStatus::InvalidParameter;
    std::string notice;
    const RegStatus s = r->Read(notice, [&](const Key& tree) {
        const Key* k = FindKey(tree, parts);
        if (!k) return RegStatus::NotFound;
        names.clear();
        for (const auto& [name, value] : k->values)
            names.push_back(name);
        return RegStatus::Ok;
    });
    return Deliver(s, notice);
}

void RegistryStore::BeginUpdate(RegRoot root) {
    Root* r = RootOf(root);
    if (!r) return;
    std::string notice;
    r->Begin(notice);
    Deliver(RegStatus::Ok, notice);
}

RegStatus RegistryStore::EndUpdate(RegRoot root) {
    Root* r = RootOf(root);
    return r ? r->End() : RegStatus::InvalidParameter;
}

}  // namespace pw::platform::posix
