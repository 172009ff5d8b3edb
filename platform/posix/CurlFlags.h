#pragma once
// What the WinInet request flags and security flags mean for a curl transfer.

#include <cstdint>

namespace pw::platform::posix {

struct RequestConfig {
    bool secure = false;          // https
    bool followRedirects = true;  // curl follows 3xx answers itself
    bool cookies = true;          // an in-memory cookie engine for the request
    bool verifyPeer = true;       // the certificate chain must lead to a trusted root
    bool verifyHost = true;       // the certificate must name the host
    bool ignoreCertDate = false;  // expired or not yet valid certificates are accepted
    bool answerAuth = true;       // server credentials answer a challenge
};

// The flags of OpenRequest, then the bits of the security-flags option, applied to a config.
RequestConfig ConfigFromRequestFlags(std::uint32_t flags);
void ApplySecurityFlags(std::uint32_t flags, RequestConfig& config);

}  // namespace pw::platform::posix
