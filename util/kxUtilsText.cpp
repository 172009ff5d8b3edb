#include "util/kxUtilsText.h"

#include <charconv>
#include <cmath>

namespace pw {

namespace {

// 0-based index of the first occurrence, npos when none; an empty needle is never found.
std::size_t FindFirst(std::string_view text, std::string_view needle) {
    if (needle.empty()) return std::string_view::npos;
    return text.find(needle);
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

// --- Text ---

std::string CutToken(std::string& text, std::string_view delimiter, bool remove) {
    const std::size_t p = FindFirst(text, delimiter);
    if (p == std::string::npos) {
        std::string token = text;
        if (remove) text.clear();
        return token;
    }
    std::string token = text.substr(0, p);
    if (remove) text.erase(0, p + delimiter.size());
    return token;
}

void SplitAt(std::string_view delimiter, std::string_view text, TkxSplitOptions options,
             bool wholeToRight, std::string& left, std::string& right) {
    const std::size_t p = FindFirst(text, delimiter);
    if (p == std::string_view::npos) {
        left = wholeToRight ? std::string() : std::string(text);
        right = wholeToRight ? std::string(text) : std::string();
        return;
    }
    left = std::string(text.substr(0, p));
    right = std::string(text.substr(p + delimiter.size()));
    if (options & soDelimiterToLeft) left += delimiter;
    if (options & soDelimiterToRight) right.insert(0, delimiter);
}

int LastPos(std::string_view sub, std::string_view text) {
    if (sub.empty() || text.empty()) return 0;
    const std::size_t p = text.rfind(sub);
    return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

std::string StripLeadingChar(std::string_view text, char c) {
    const std::size_t p = text.find_first_not_of(c);
    return p == std::string_view::npos ? std::string() : std::string(text.substr(p));
}

int IndexOfText(std::string_view text, const std::vector<std::string>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == text) return static_cast<int>(i);
    }
    return -1;
}

std::string UrlToFileName(std::string_view url) {
    // "/" counts as "\", so both end the path part.
    const std::size_t p = url.find_last_of("/\\:");
    return std::string(p == std::string_view::npos ? url : url.substr(p + 1));
}

std::uint8_t PercentOf(double part, double total) {
    if (total == 0) return 0;
    // Extended precision keeps part * 100 from overflowing where the quotient itself is fine.
    const long double x = static_cast<long double>(part) * 100 / total;
    if (!std::isfinite(x)) return 0;
    const long double low = std::floor(x);
    const long double frac = x - low;
    long double r = low;
    if (frac > 0.5L || (frac == 0.5L && std::fmod(low, 2.0L) != 0)) r = low + 1;
    // Outside the 64-bit range the rounding cannot be represented: an arithmetic fault.
    constexpr long double kLimit = 9223372036854775808.0L;  // 2^63
    if (r < -kLimit || r >= kLimit) return 0;
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(r)) &
                                     0xFF);
}

std::string Trim(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string TrimLeft(std::string_view text) {
    std::size_t b = 0;
    while (b < text.size() && IsBlank(text[b]))
        ++b;
    return std::string(text.substr(b));
}

std::string UpperCase(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::string LowerCase(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

int StrToIntDef(std::string_view text, int fallback) {
    const std::string t = Trim(text);
    std::string_view digits(t);
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        // "+-5" and "+" alone are not numbers.
        if (digits.empty() || digits.front() == '-') return fallback;
    }
    if (digits.empty()) return fallback;
    int value = 0;
    const char* last = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), last, value);
    if (ec != std::errc() || ptr != last) return fallback;
    return value;
}

// --- Versions ---

std::array<std::string, 4> SplitVersion(std::string_view text) {
    std::string rest(text);
    rest += '.';
    std::array<std::string, 4> parts;
    for (auto& part : parts) {
        const std::size_t p = rest.find('.');
        if (p == std::string::npos) {
            part = "0";
            continue;
        }
        part = rest.substr(0, p);
        rest.erase(0, p + 1);
    }
    return parts;
}

std::int8_t CompareVersions(std::string_view a, std::string_view b) {
    const auto pa = SplitVersion(a);
    const auto pb = SplitVersion(b);
    for (std::size_t i = 0; i < pa.size(); ++i) {
        const int va = StrToIntDef(pa[i], -1);
        const int vb = StrToIntDef(pb[i], -1);
        if (va == -1 || vb == -1) {
            // Not a plain dotted number: the whole texts decide, byte by byte.
            const int c = a.compare(b);
            return static_cast<std::int8_t>(c < 0 ? -1 : (c > 0 ? 1 : 0));
        }
        if (va != vb) return static_cast<std::int8_t>(va > vb ? 1 : -1);
    }
    return 0;
}

}  // namespace pw
