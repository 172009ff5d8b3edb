#include "platform/posix/CurlErrors.h"

#include <openssl/x509_vfy.h>

#include <utility>

namespace pw::platform::posix {

namespace {

using inet::Error;

constexpr std::pair<CURLcode, Error> kCurlErrors[] = {
    {CURLE_OK, Error::None},
    {CURLE_COULDNT_RESOLVE_HOST, Error::NameNotResolved},
    {CURLE_COULDNT_RESOLVE_PROXY, Error::NameNotResolved},
    {CURLE_COULDNT_CONNECT, Error::CannotConnect},
    {CURLE_OPERATION_TIMEDOUT, Error::ConnectTimeout},  // curl's own limit is the connect one
    {CURLE_GOT_NOTHING, Error::NoAnswer},
    {CURLE_WEIRD_SERVER_REPLY, Error::InvalidServerResponse},
    {CURLE_UNSUPPORTED_PROTOCOL, Error::InvalidServerResponse},  // an HTTP/0.9 "answer"
    {CURLE_BAD_CONTENT_ENCODING, Error::InvalidServerResponse},
    {CURLE_HTTP2, Error::InvalidServerResponse},
    {CURLE_PARTIAL_FILE, Error::ConnectionAborted},
    {CURLE_RECV_ERROR, Error::ConnectionReset},
    {CURLE_SEND_ERROR, Error::ConnectionReset},
    {CURLE_TOO_MANY_REDIRECTS, Error::TooManyRedirects},
    {CURLE_SSL_CONNECT_ERROR, Error::SecureChannelError},
    {CURLE_SSL_CIPHER, Error::SecureChannelError},
    {CURLE_USE_SSL_FAILED, Error::SecureChannelError},
    {CURLE_SSL_CACERT_BADFILE, Error::CertErrors},
    {CURLE_SSL_CERTPROBLEM, Error::CertErrors},
    {CURLE_SSL_ISSUER_ERROR, Error::InvalidCa},
    {CURLE_ABORTED_BY_CALLBACK, Error::Cancelled},
};

Error CertificateError(long verifyResult) {
    switch (verifyResult) {
        case X509_V_OK:  // the chain was fine: curl's own host name check refused it
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return Error::CertCnInvalid;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return Error::CertDateInvalid;
        default:
            return Error::InvalidCa;
    }
}

}  // namespace

inet::Error ErrorFromCurl(CURLcode code, long sslVerifyResult) {
    if (code == CURLE_PEER_FAILED_VERIFICATION) return CertificateError(sslVerifyResult);
    for (const auto& [curl, error] : kCurlErrors)
        if (curl == code) return error;
    return Error::CannotConnect;
}

}  // namespace pw::platform::posix
