#pragma once
// Helpers for the internet layer's tests, whatever the back end: open a request in one call,
// read a whole body.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Internet.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pw::platform::inettest {

inline constexpr const char* kAgent = "PagewardenTest/1.0";

inline InternetOpenParams Direct() {
    InternetOpenParams params;
    params.agent = kAgent;
    params.accessType = inet::AccessType::Direct;
    return params;
}

// A request with what it was opened from; destroyed in the order request, connection, session.
struct Opened {
    std::unique_ptr<IInternetSession> session;
    std::unique_ptr<IInternetConnection> connection;
    std::unique_ptr<IInternetRequest> request;

    IInternetRequest* operator->() const { return request.get(); }
};

// What a test opens, set fluently: OpenArgs().Object("/page").Flags(kFlagNoCookies).
struct OpenArgs {
    std::string object = "/";
    std::uint32_t flags = 0;
    std::string verb = "GET";
    std::string host = "127.0.0.1";
    std::string referer;
    std::string username;
    std::string password;
    InternetOpenParams params = Direct();
    std::shared_ptr<InternetCancel> cancel;

    OpenArgs& Object(std::string v) { return object = std::move(v), *this; }
    OpenArgs& Flags(std::uint32_t v) { return flags = v, *this; }
    OpenArgs& Verb(std::string v) { return verb = std::move(v), *this; }
    OpenArgs& Host(std::string v) { return host = std::move(v), *this; }
    OpenArgs& Referer(std::string v) { return referer = std::move(v), *this; }
    OpenArgs& Credentials(std::string user, std::string pass) {
        username = std::move(user);
        password = std::move(pass);
        return *this;
    }
    OpenArgs& Params(InternetOpenParams v) { return params = std::move(v), *this; }
    OpenArgs& Cancel(std::shared_ptr<InternetCancel> v) { return cancel = std::move(v), *this; }
};

inline Opened Open(IInternet& internet, std::uint16_t port, OpenArgs args) {
    Opened o;
    o.session = internet.Open(args.params, args.cancel);
    if (o.session) o.connection = o.session->Connect(args.host, port, args.username, args.password);
    if (o.connection) {
        o.request = o.connection->OpenRequest(args.verb, args.object, args.referer,
                                              "text/html, */*", args.flags);
    }
    return o;
}

// The whole body in 64 KiB reads; nullopt when a read fails.
inline std::optional<std::string> ReadAll(IInternetRequest& request) {
    std::string body;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        std::size_t count = 0;
        if (!request.Read(buffer, count)) return std::nullopt;
        if (count == 0) return body;
        body.append(buffer.data(), count);
    }
}

// Wine's WinInet differs from Windows' in a few details that tests name where they branch.
inline bool RunningUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

inline bool Get(const Opened& o) {
    return o.request && o->Send({}, {});
}

inline std::string StatusCode(const Opened& o) {
    return o->QueryInfo(inet::Query::StatusCode).value_or("none");
}

}  // namespace pw::platform::inettest
