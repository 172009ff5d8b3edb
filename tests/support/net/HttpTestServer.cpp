#include "tests/support/net/HttpTestServer.h"

#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#endif

#include <chrono>
#include <random>
#include <stdexcept>

namespace pw::test {

namespace {

#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
struct Pem {
    std::string certificate;
    std::string key;
};

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using Extension = std::unique_ptr<X509_EXTENSION, Freer<X509_EXTENSION, X509_EXTENSION_free>>;

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(size));
}

void AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    Extension ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!ext || X509_add_ext(cert, ext.get(), -1) != 1) {
        throw std::runtime_error("cannot add a certificate extension");
    }
}

// A self-signed certificate for "localhost", valid around now or expired since yesterday.
Pem MakeCertificate(bool expired) {
    Key key(EVP_EC_gen("P-256"));
    Cert cert(X509_new());
    if (!key || !cert) throw std::runtime_error("cannot make a test certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()),
                     static_cast<long>(std::random_device{}() & 0x7FFFFFFF));
    constexpr long kDay = 24 * 60 * 60;
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), expired ? -3 * kDay : -kDay);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), expired ? -kDay : kDay);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    AddExtension(cert.get(), NID_subject_alt_name, "DNS:localhost");
    AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        throw std::runtime_error("cannot sign the test certificate");
    }
    Bio certBio(BIO_new(BIO_s_mem()));
    Bio keyBio(BIO_new(BIO_s_mem()));
    if (!certBio || !keyBio || PEM_write_bio_X509(certBio.get(), cert.get()) != 1 ||
        PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1) {
        throw std::runtime_error("cannot write the test certificate");
    }
    return {BioText(certBio.get()), BioText(keyBio.get())};
}
#endif

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

HttpTestServer::HttpTestServer(Tls tls) : tls_(tls != Tls::None) {
    if (tls_) {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
        const Pem pem = MakeCertificate(tls == Tls::Expired);
        certFile_ = dir_.Write("server.crt", pem.certificate);
        const std::string keyFile = dir_.Write("server.key", pem.key);
        auto server = std::make_unique<httplib::SSLServer>(certFile_.c_str(), keyFile.c_str());
        if (!server->is_valid()) throw std::runtime_error("cannot set up the HTTPS test server");
        server_ = std::move(server);
#else
        throw std::runtime_error("this build's test server has no TLS (TlsAvailable())");
#endif
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
#ifdef _WIN32
    // WinInet keeps its connections in a pool of the whole process, beyond the session that
    // opened them, and the server's stop waits for the keep-alive time of every open one.
    server_->set_keep_alive_timeout(1);
#endif
    // Runs after the handler and before the response is written.
    server_->set_post_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        std::lock_guard lock(mutex_);
        log_.push_back({request.method, request.target, request.headers, request.body});
    });
}

HttpTestServer::~HttpTestServer() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

void HttpTestServer::Start() {
    const int port = server_->bind_to_any_port("127.0.0.1");
    if (port <= 0) throw std::runtime_error("the test server cannot bind");
    port_ = static_cast<std::uint16_t>(port);
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenEnded_ = true;
    });
    // stop() only reaches a server that runs; the kernel queues connections meanwhile.
    while (!server_->is_running()) {
        if (listenEnded_) {
            thread_.join();
            throw std::runtime_error("the test server cannot listen");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string HttpTestServer::Url(std::string_view path, std::string_view host) const {
    return std::string(tls_ ? "https://" : "http://") + std::string(host) + ":" +
           std::to_string(port_) + std::string(path);
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}

RecordedRequest HttpTestServer::LastRequest() const {
    std::lock_guard lock(mutex_);
    return log_.empty() ? RecordedRequest{} : log_.back();
}

}  // namespace pw::test
