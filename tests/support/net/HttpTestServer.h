#pragma once
// An in-process web server on 127.0.0.1 for tests: plain HTTP, or HTTPS with a certificate made
// for the run (self-signed, CN and SAN "localhost"; optionally already expired).
//
// Register handlers on Http() with cpp-httplib's own API, then Start(). Every request received
// is logged before its response is written, so a test may read the log as soon as its transfer
// has its answer.
//
// Threads: handlers run on the server's threads; the log may be read from any thread.

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace pw::test {

struct RecordedRequest {
    std::string method;
    std::string target;  // as on the request line
    httplib::Headers headers;
    std::string body;

    bool Has(const std::string& name) const { return headers.count(name) > 0; }
    // The first header of that name, "" when absent.
    std::string Header(const std::string& name) const;
};

class HttpTestServer {
  public:
    enum class Tls { None, Valid, Expired };

    // Whether Tls::Valid and Tls::Expired can be served: not where httplib has no OpenSSL (the
    // Windows build).
    static constexpr bool TlsAvailable() {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
        return true;
#else
        return false;
#endif
    }

    explicit HttpTestServer(Tls tls = Tls::None);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    httplib::Server& Http() {
        return *server_;
    }
    // Listens on a free port; throws when it cannot.
    void Start();

    std::uint16_t Port() const {
        return port_;
    }
    // "http://127.0.0.1:<port>" + path, "https://" with TLS; host may be "localhost".
    std::string Url(std::string_view path, std::string_view host = "127.0.0.1") const;

    std::vector<RecordedRequest> Requests() const;
    // The last request received; an empty record when none.
    RecordedRequest LastRequest() const;

    // The certificate as a PEM file a client can trust; "" without TLS.
    const std::string& CertificateFile() const {
        return certFile_;
    }

  private:
    TempDir dir_;
    bool tls_;
    std::string certFile_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::atomic<bool> listenEnded_{false};
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> log_;
};

}  // namespace pw::test
