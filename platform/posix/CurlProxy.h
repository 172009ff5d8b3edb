#pragma once
// The WinInet proxy texts turned into what curl takes.

#include <string>
#include <string_view>
#include <vector>

namespace pw::platform::posix {

// A WinInet bypass list: entries separated by ";" or white space, "*" and "?" wildcards,
// "<local>" for every host name without a dot. curl's NOPROXY takes host names, domains and
// IP ranges; the rest is matched here against the request's host.
struct ProxyBypass {
    std::string noProxy;                // for CURLOPT_NOPROXY, "" when nothing applies
    bool local = false;                 // "<local>"
    std::vector<std::string> patterns;  // wildcards NOPROXY cannot express (lower case)

    // True when an entry that NOPROXY cannot express sends this host direct.
    bool MatchesOwn(std::string_view host) const;
};

ProxyBypass ConvertBypass(std::string_view list);

// "host:port" as a proxy URL for curl ("http://" in front unless a scheme is given).
std::string ProxyUrl(std::string_view proxy);

}  // namespace pw::platform::posix
