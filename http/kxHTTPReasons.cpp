#include "http/kxHTTPReasons.h"

#include <cstdio>
#include <string_view>
#include <utility>

namespace pw::http {

namespace {

using platform::inet::Error;

// "%s" stands for the time-out in seconds.
constexpr std::pair<Error, std::string_view> kReasons[] = {
    {Error::Timeout, "no data for %s s"},
    {Error::ConnectTimeout, "no connection within %s s"},
    {Error::SendTimeout, "request not sent within %s s"},
    {Error::TotalTimeout, "no complete page within %s s"},
    {Error::NameNotResolved, "host name not found"},
    {Error::CannotConnect, "host unreachable"},
    {Error::NoAnswer, "server closed the connection without answering"},
    {Error::ConnectionAborted, "connection lost"},
    {Error::ConnectionReset, "connection reset by server"},
    {Error::InvalidServerResponse, "bad response from server"},
    {Error::HeadersTooLarge, "response headers too large"},
    {Error::TooManyRedirects, "too many redirects"},
    {Error::RedirectFailed, "redirect not followed"},
    {Error::SecureChannelError, "TLS handshake failed"},
    {Error::CertCnInvalid, "certificate does not match the host name"},
    {Error::CertDateInvalid, "certificate expired or not yet valid"},
    {Error::InvalidCa, "certificate not trusted"},
    {Error::CertErrors, "certificate error"},
    {Error::Disconnected, "working offline"},
    {Error::Cancelled, "aborted"},
};

std::string Seconds(std::uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(ms) / 1000.0);
    return text;
}

}  // namespace

std::string ReasonForError(const platform::InternetError& error) {
    for (const auto& [code, text] : kReasons) {
        if (code != error.code) continue;
        std::string reason(text);
        if (const auto at = reason.find("%s"); at != std::string::npos)
            reason.replace(at, 2, Seconds(error.timeoutMs));
        return reason;
    }
    return error.code == Error::None ? std::string{} : "host unreachable";
}

std::string ConnectionLostReason(std::int64_t bytesRead, std::int64_t contentLength,
                                 bool lengthAnnounced) {
    return "connection lost after " + std::to_string(bytesRead) + " of " +
           (lengthAnnounced ? std::to_string(contentLength) : std::string("?")) + " bytes";
}

}  // namespace pw::http
