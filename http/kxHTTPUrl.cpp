// Splitting and encoding of URLs, and the status callback's texts.

#include <cctype>
#include <charconv>

#include "http/kxHTTP.h"

namespace pw::http {

namespace {

// Buffer sizes of the split, zero byte included: a longer part fails the whole split.
constexpr std::size_t kSchemeBuffer = 33;
constexpr std::size_t kHostBuffer = 257;
constexpr std::size_t kUserBuffer = 129;
constexpr std::size_t kPasswordBuffer = 129;
constexpr std::size_t kPathBuffer = 2049;
constexpr std::size_t kExtraBuffer = 2049;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX sequences become the bytes they stand for; a "%" not followed by two hex digits stays.
std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::uint16_t DefaultPort(std::string_view scheme) {
    std::string s = LowerCase(scheme);
    if (s == "http") return 80;
    if (s == "https") return 443;
    if (s == "ftp") return 21;
    if (s == "gopher") return 70;
    return 0;
}

bool ValidScheme(std::string_view scheme) {
    if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0]))) return false;
    for (char c : scheme)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

}  // namespace

bool CrackUrl(std::string_view url, TkxUrlParts& parts) {
    std::string text(url);
    if (text.find("://") == std::string::npos) text = "http://" + text;

    const std::size_t sep = text.find("://");
    TkxUrlParts out;
    out.Scheme = text.substr(0, sep);
    if (!ValidScheme(out.Scheme)) return false;
    std::string_view rest = std::string_view(text).substr(sep + 3);

    const std::size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view tail =
        authorityEnd == std::string_view::npos ? std::string_view{} : rest.substr(authorityEnd);

    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const std::size_t colon = userInfo.find(':');
        out.UserName = Unescape(userInfo.substr(0, colon));
        if (colon != std::string_view::npos) out.Password = Unescape(userInfo.substr(colon + 1));
    }

    std::string_view host = authority;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return false;
        host = authority.substr(0, close + 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return false;
            port = after.substr(1);
        }
    } else if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    out.HostName = std::string(host);
    if (out.HostName.empty() && LowerCase(out.Scheme) != "file") return false;
    for (char c : out.HostName)
        if (static_cast<unsigned char>(c) <= ' ') return false;

    out.Port = DefaultPort(out.Scheme);
    if (!port.empty()) {
        unsigned value = 0;
        auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc{} || end != port.data() + port.size() || value > 65535) return false;
        out.Port = static_cast<std::uint16_t>(value);
    }

    const std::size_t extraStart = tail.find_first_of("?#");
    out.UrlPath = Unescape(tail.substr(0, extraStart));
    if (extraStart != std::string_view::npos) out.ExtraInfo = Unescape(tail.substr(extraStart));

    if (out.Scheme.size() >= kSchemeBuffer || out.HostName.size() >= kHostBuffer ||
        out.UserName.size() >= kUserBuffer || out.Password.size() >= kPasswordBuffer ||
        out.UrlPath.size() >= kPathBuffer || out.ExtraInfo.size() >= kExtraBuffer)
        return false;
    parts = std::move(out);
    return true;
}

std::string EncodeUrlExtra(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    static constexpr std::string_view kEscaped = " #%*+<>";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b >= 0x80 || kEscaped.find(ch) != std::string_view::npos) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string_view StatusText(std::uint32_t status) {
    switch (status) {
        case 10:
            return "Resolving name";
        case 11:
            return "Name resolved";
        case 20:
            return "Connecting to server";
        case 21:
            return "Connected";
        case 30:
            return "Sending Request";
        case 31:
            return "Request sent";
        case 40:
            return "Receiving response";
        case 41:
            return "Response received";
        case 42:
            return "CTL Response received";
        case 43:
            return "Prefetch";
        case 50:
            return "Closing connection";
        case 51:
            return "Connection closed";
        case 60:
            return "Handle created";
        case 70:
            return "Handle closing";
        case 100:
            return "Request complete";
        case 110:
            return "Redirect";
        case 120:
            return "Intermediate response";
        case 200:
            return "State change";
        default:
            return "Unknown status";
    }
}

std::string TkxCustomHTTP::UrlHostName() const {
    TkxUrlParts parts;
    CrackUrl(URL, parts);
    return parts.HostName;
}

std::string TkxCustomHTTP::UrlFileName() const {
    TkxUrlParts parts;
    CrackUrl(URL, parts);
    std::string path = parts.UrlPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    const std::size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace pw::http
