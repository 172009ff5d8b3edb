#include "platform/posix/CurlFlags.h"

#include <string_view>

#include "platform/Internet.h"

namespace pw::platform::posix {

namespace {

using namespace pw::platform::inet;

struct FlagRow {
    std::uint32_t flag;
    void (*apply)(RequestConfig&);  // null: no effect on Linux
    std::string_view meaning;
};

// The one table of request flags. A row without an effect says why.
constexpr FlagRow kRequestFlags[] = {
    {kFlagSecure, [](RequestConfig& c) { c.secure = true; }, "https"},
    {kFlagNoAutoRedirect, [](RequestConfig& c) { c.followRedirects = false; },
     "redirects are not followed: the 3xx response is the answer"},
    {kFlagNoCookies, [](RequestConfig& c) { c.cookies = false; },
     "no cookie engine (otherwise cookies live as long as the request, across its redirects)"},
    {kFlagIgnoreCertCnInvalid, [](RequestConfig& c) { c.verifyHost = false; },
     "CURLOPT_SSL_VERIFYHOST 0: the chain is still verified, the host name is not"},
    {kFlagIgnoreCertDateInvalid, [](RequestConfig& c) { c.ignoreCertDate = true; },
     "curl has no such switch; OpenSSL's verify callback forgives only the validity dates, "
     "every other chain error still fails"},
    {kFlagNoAuth, [](RequestConfig& c) { c.answerAuth = false; },
     "server credentials are never sent; a 401 is the answer"},
    {kFlagReload, nullptr, "no cache on Linux: every request goes to the network"},
    {kFlagNoCacheWrite, nullptr, "no cache on Linux: nothing is written"},
    {kFlagResynchronize, nullptr, "no cache on Linux: nothing to revalidate"},
    {kFlagHyperlink, nullptr, "no cache on Linux: nothing to revalidate"},
    {kFlagPragmaNoCache, nullptr, "no cache on Linux, and no caching proxy is asked for one"},
    {kFlagNeedFile, nullptr, "no cache file on Linux: the body is only read"},
    {kFlagCacheIfNetFail, nullptr, "no cache on Linux to fall back on"},
    {kFlagKeepConnection, nullptr, "curl keeps connections alive whenever it can"},
    {kFlagIgnoreRedirectToHttp, nullptr,
     "WinInet asks before crossing from https to http; curl follows without asking"},
    {kFlagIgnoreRedirectToHttps, nullptr,
     "WinInet asks before crossing from http to https; curl follows without asking"},
};

// The one table of security-flag bits (INTERNET_OPTION_SECURITY_FLAGS); the CN and date bits
// have the same values and meaning as the request flags.
constexpr FlagRow kSecurityFlags[] = {
    {kSecurityFlagIgnoreUnknownCa, [](RequestConfig& c) { c.verifyPeer = false; },
     "CURLOPT_SSL_VERIFYPEER 0: any chain is accepted (the host name is checked separately)"},
    {kFlagIgnoreCertCnInvalid, [](RequestConfig& c) { c.verifyHost = false; },
     "as the request flag"},
    {kFlagIgnoreCertDateInvalid, [](RequestConfig& c) { c.ignoreCertDate = true; },
     "as the request flag"},
};

template <std::size_t N>
void Apply(const FlagRow (&table)[N], std::uint32_t flags, RequestConfig& config) {
    for (const FlagRow& row : table) {
        if ((flags & row.flag) != 0 && row.apply != nullptr) row.apply(config);
    }
}

}  // namespace

RequestConfig ConfigFromRequestFlags(std::uint32_t flags) {
    RequestConfig config;
    Apply(kRequestFlags, flags, config);
    return config;
}

void ApplySecurityFlags(std::uint32_t flags, RequestConfig& config) {
    Apply(kSecurityFlags, flags, config);
}

}  // namespace pw::platform::posix
