#include "platform/posix/CurlProxy.h"

#include <algorithm>
#include <cctype>

namespace pw::platform::posix {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

bool HasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

// "*" and "?" wildcards; both texts in lower case.
bool Glob(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// "10.*", "192.168.*" or "192.168.*.*" as a CIDR range; "" when the entry is not one.
std::string Ipv4PrefixAsRange(std::string_view entry) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto dot = entry.find('.', start);
        parts.push_back(entry.substr(start, dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (parts.size() > 4) return {};
    std::size_t numeric = 0;
    while (numeric < parts.size() && !parts[numeric].empty() && parts[numeric].size() <= 3 &&
           std::all_of(parts[numeric].begin(), parts[numeric].end(),
                       [](char c) { return c >= '0' && c <= '9'; }) &&
           std::stoi(std::string(parts[numeric])) <= 255) {
        ++numeric;
    }
    if (numeric == 0 || numeric == parts.size()) return {};
    for (std::size_t i = numeric; i < parts.size(); ++i) {
        if (parts[i] != "*") return {};
    }
    std::string range;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) range += '.';
        range += i < numeric ? std::string(parts[i]) : "0";
    }
    return range + "/" + std::to_string(8 * numeric);
}

}  // namespace

bool ProxyBypass::MatchesOwn(std::string_view host) const {
    const std::string h = Lower(host);
    if (local && h.find('.') == std::string::npos && h.find(':') == std::string::npos) {
        return true;
    }
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::string& p) { return Glob(p, h); });
}

ProxyBypass ConvertBypass(std::string_view list) {
    ProxyBypass bypass;
    const auto add = [&](std::string_view entry) {
        if (!bypass.noProxy.empty()) bypass.noProxy += ',';
        bypass.noProxy += entry;
    };
    bool all = false;
    std::size_t start = 0;
    while (start < list.size()) {
        const auto end = list.find_first_of("; \t\r\n", start);
        std::string entry = Lower(list.substr(start, end - start));
        start = end == std::string_view::npos ? list.size() : end + 1;
        if (const auto scheme = entry.find("://"); scheme != std::string::npos) {
            entry.erase(0, scheme + 3);
        }
        if (entry.empty()) continue;
        if (entry == "<local>") {
            bypass.local = true;
        } else if (entry == "*") {
            all = true;
        } else if (!HasWildcard(entry)) {
            add(entry);
        } else if (entry.starts_with("*.") && !HasWildcard(entry.substr(2))) {
            add(entry.substr(1));  // a leading dot is a domain match for curl
        } else if (std::string range = Ipv4PrefixAsRange(entry); !range.empty()) {
            add(range);
        } else {
            bypass.patterns.push_back(entry);
        }
    }
    // curl takes "*" only as the whole list.
    if (all) bypass.noProxy = "*";
    return bypass;
}

std::string ProxyUrl(std::string_view proxy) {
    if (proxy.find("://") != std::string_view::npos) return std::string(proxy);
    return "http://" + std::string(proxy);
}

}  // namespace pw::platform::posix
