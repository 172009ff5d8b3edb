#include "platform/win32/WinInetErrors.h"

#include <wininet.h>

#include <utility>

namespace pw::platform::win32 {

namespace {

using inet::Error;

// Every number WinInet reports from the calls this layer makes. Most are ours unchanged; the
// rest go to the error a user would see as the same cause. Anything not listed is a failure
// to reach the server (CannotConnect), as the curl back end does with an unknown code.
constexpr std::pair<DWORD, Error> kWinInetErrors[] = {
    {ERROR_INTERNET_NAME_NOT_RESOLVED, Error::NameNotResolved},
    {ERROR_INTERNET_OPERATION_CANCELLED, Error::Cancelled},
    {ERROR_INTERNET_CANNOT_CONNECT, Error::CannotConnect},
    {ERROR_INTERNET_CONNECTION_ABORTED, Error::ConnectionAborted},
    {ERROR_INTERNET_CONNECTION_RESET, Error::ConnectionReset},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, Error::CertDateInvalid},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, Error::CertCnInvalid},
    {ERROR_INTERNET_INVALID_CA, Error::InvalidCa},
    {ERROR_INTERNET_SEC_CERT_ERRORS, Error::CertErrors},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, Error::InvalidServerResponse},
    {ERROR_HTTP_REDIRECT_FAILED, Error::RedirectFailed},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, Error::SecureChannelError},
    {ERROR_INTERNET_DISCONNECTED, Error::Disconnected},
    // Closest matches.
    {ERROR_INTERNET_FORCE_RETRY, Error::ConnectionReset},  // the server dropped a kept connection
    {ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR, Error::RedirectFailed},
    {ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, Error::RedirectFailed},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, Error::RedirectFailed},  // a Location we cannot take
    {ERROR_INTERNET_INVALID_URL, Error::RedirectFailed},
    {ERROR_INTERNET_SEC_INVALID_CERT, Error::CertErrors},
    {ERROR_INTERNET_SEC_CERT_REVOKED, Error::CertErrors},
    {ERROR_INTERNET_SEC_CERT_NO_REV, Error::CertErrors},
    {ERROR_INTERNET_SEC_CERT_REV_FAILED, Error::CertErrors},
    {ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, Error::SecureChannelError},
    {12175, Error::InvalidServerResponse},  // ERROR_INTERNET_DECODING_FAILED, not in every SDK
    {ERROR_INTERNET_EXTENDED_ERROR, Error::InvalidServerResponse},  // the server's own text
    {ERROR_HTTP_HEADER_NOT_FOUND, Error::InvalidServerResponse},
    {ERROR_INTERNET_NOT_INITIALIZED, Error::CannotConnect},
    {ERROR_INVALID_HANDLE, Error::Cancelled},  // the handle was closed under the call
};

}  // namespace

InternetError ErrorFromWinInet(DWORD code, Phase phase, const Timeouts& timeouts) {
    if (code == ERROR_INTERNET_TIMEOUT) {
        switch (phase) {
            case Phase::Connecting:
                return {Error::ConnectTimeout, timeouts.connectMs};
            case Phase::Sending:
                return {Error::SendTimeout, timeouts.sendMs};
            case Phase::Receiving:
                return {Error::Timeout, timeouts.receiveMs};
        }
    }
    for (const auto& [winInet, error] : kWinInetErrors)
        if (winInet == code) return {error};
    return {Error::CannotConnect};
}

}  // namespace pw::platform::win32
