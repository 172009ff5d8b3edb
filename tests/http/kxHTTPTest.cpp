// The HTTP component against real servers on 127.0.0.1: events, their order and threads, wait
// mode, aborts, the output file, authentication, proxies and hostile servers.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "framework/headless/HeadlessApplication.h"
#include "http/kxHTTP.h"
#include "platform/native/NativeOs.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"
#include "tests/support/net/ProxyProcess.h"
#include "tests/support/net/ScriptedServer.h"

namespace pw::http {
namespace {

using namespace std::chrono_literals;

// Records every event of a component as one line: name and details, and whether it ran on the UI
// thread.
struct Recorder {
    std::vector<std::string> events;
    std::vector<bool> onUi;
    std::string body;  // the stream's bytes as OnDone / OnHTTPError / OnConnLost saw them
    std::thread::id ui = std::this_thread::get_id();

    void Add(std::string e) {
        onUi.push_back(std::this_thread::get_id() == ui);
        events.push_back(std::move(e));
    }
    static std::string Read(framework::TStream* s) {
        if (!s) return "<none>";
        std::string out(static_cast<std::size_t>(s->Size()), '\0');
        s->SetPosition(0);
        s->ReadBuffer(out.data(), static_cast<std::int64_t>(out.size()));
        return out;
    }

    void Attach(TkxHTTP& h) {
        h.OnHeaderInfo = [this](TkxCustomHTTP&, std::int32_t code, const std::string&,
                                const std::string& type, const std::string&, const std::string&,
                                std::int64_t length, const std::string&, TDateTime, TDateTime,
                                TDateTime, const std::string&, bool&) {
            Add("HeaderInfo " + std::to_string(code) + " " + type + " " + std::to_string(length));
        };
        h.OnDone = [this](TkxCustomHTTP&, const std::string& type, std::int64_t size,
                          framework::TStream* s) {
            body = Read(s);
            Add("Done " + type + " " + std::to_string(size));
        };
        h.OnDoneInterrupted = [this](TkxCustomHTTP&) { Add("DoneInterrupted"); };
        h.OnOutputFileError = [this](TkxCustomHTTP&) { Add("OutputFileError"); };
        h.OnAnyError = [this](TkxCustomHTTP&) { Add("AnyError"); };
        h.OnAborted = [this](TkxCustomHTTP&) { Add("Aborted"); };
        h.OnConnLost = [this](TkxCustomHTTP&, const std::string&, std::int64_t size,
                              std::int64_t read, framework::TStream* s) {
            body = Read(s);
            Add("ConnLost " + std::to_string(size) + " " + std::to_string(read));
        };
        h.OnHTTPError = [this](TkxCustomHTTP&, std::int32_t code, framework::TStream* s) {
            body = Read(s);
            Add("HTTPError " + std::to_string(code));
        };
        h.OnHostUnreachable = [this](TkxCustomHTTP&) { Add("HostUnreachable"); };
    }
    // Only the final events, without progress and header information.
    std::vector<std::string> Finals() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind("HeaderInfo", 0) != 0 && e.rfind("Progress", 0) != 0) out.push_back(e);
        return out;
    }
};

// A file URL of a local path: "file:///C:/dir/x.htm" on Windows.
std::string FileUrl(std::string path) {
    if (path.find(':') == std::string::npos) return "file://" + path;
    std::replace(path.begin(), path.end(), '\\', '/');
    return "file:///" + path;
}

class HttpComponentTest : public ::testing::Test {
  protected:
    HttpComponentTest() {
        auto& s = server.Http();
        s.Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html>hello watcher</html>", "text/html");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        s.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
                sink.write("abc", 3);
                sink.write("def", 3);
                sink.done();
                return true;
            });
        });
        s.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Last-Modified", "Tue, 15 Nov 1994 08:12:31 GMT");
            res.set_content(std::string(100000, 'b'), "application/octet-stream");
        });
        s.Get("/redirect",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page"); });
        s.Post("/form", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Content-Type") + "|" + req.body, "text/plain");
        });
        s.Get("/members", [](const httplib::Request& req, httplib::Response& res) {
            // "ann:secret" in base64
            if (req.get_header_value("Authorization") == "Basic YW5uOnNlY3JldA==") {
                res.set_content("members only", "text/plain");
                return;
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"Members\"");
            res.set_content("who are you", "text/plain");
        });
        server.Start();
        rec.Attach(http);
    }

    std::string Url(const std::string& path) { return server.Url(path); }

    // Serves messages until the component is idle again (for fetches without wait mode).
    void WaitIdle() {
        const auto until = std::chrono::steady_clock::now() + 30s;
        while ((http.Busy() || http.IsRunning()) && std::chrono::steady_clock::now() < until) {
            app.ProcessMessages();
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(http.Busy()) << "the transfer did not end";
    }

    test::TempDir dir;
    framework::HeadlessApplication app;
    platform::NativeOs os{{dir.path() / "config", [](const std::string&) {}}};
    platform::NativeInternet internet;
    test::HttpTestServer server;
    TkxHTTP http{app, os.os(), internet};
    Recorder rec;
};

TEST_F(HttpComponentTest, GetIntoMemoryRaisesHeaderInfoProgressAndDoneOnTheUiThread) {
    int progress = 0;
    http.OnProgress = [&](TkxCustomHTTP&, const std::string&, std::int64_t size, std::int64_t read,
                          std::int64_t, std::int64_t, std::uint8_t percent, float,
                          framework::TStream*) {
        ++progress;
        rec.Add("Progress " + std::to_string(read) + "/" + std::to_string(size) + " " +
                std::to_string(percent));
    };
    std::thread::id sendThread;
    http.OnBeforeSendRequest = [&](TkxCustomHTTP&, platform::IInternetRequest&) {
        sendThread = std::this_thread::get_id();
    };
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_FALSE(http.Busy());
    ASSERT_EQ(rec.events.size(), 3u);
    EXPECT_EQ(rec.events[0], "HeaderInfo 200 text/html 26");
    EXPECT_EQ(rec.events[1], "Progress 26/26 100");
    EXPECT_EQ(rec.events[2], "Done text/html 26");
    EXPECT_EQ(progress, 1);
    EXPECT_EQ(rec.body, "<html>hello watcher</html>");
    for (bool ui : rec.onUi)
        EXPECT_TRUE(ui);
    EXPECT_NE(sendThread, std::thread::id{});
    EXPECT_NE(sendThread, std::this_thread::get_id());
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.FailureReason(), "");
}

TEST_F(HttpComponentTest, ProgressComesOncePerBlockOfTransferBufferSize) {
    const std::string page = dir.Write("blocks.bin", std::string(600, 'b'));
    std::vector<std::string> seen;
    http.OnProgress = [&](TkxCustomHTTP&, const std::string&, std::int64_t size, std::int64_t read,
                          std::int64_t elapsed, std::int64_t left, std::uint8_t percent, float,
                          framework::TStream* s) {
        seen.push_back(std::to_string(read) + "/" + std::to_string(size) + " " +
                       std::to_string(percent) + "% " + std::to_string(s->Size()));
        EXPECT_EQ(elapsed, 0);
        EXPECT_EQ(left, 0);
    };
    http.SetTransferBufferSize(100);  // below the minimum: 255
    EXPECT_EQ(http.TransferBufferSize(), 255);
    http.URL = FileUrl(page);
    ASSERT_TRUE(http.Fetch(true));
    // The memory stream is sized to the content length beforehand.
    EXPECT_EQ(seen,
              (std::vector<std::string>{"255/600 42% 600", "510/600 85% 600", "600/600 100% 600"}));
}

// The progress times come from the application's clock: a virtual one here, moved on by two
// seconds a block by the handler itself.
TEST_F(HttpComponentTest, ProgressTimesRunOnTheApplicationsClock) {
    auto clock = std::make_shared<framework::VirtualClock>();
    framework::HeadlessApplication timedApp(clock);
    TkxHTTP timed{timedApp, os.os(), internet};
    std::vector<std::string> seen;
    timed.OnProgress = [&](TkxCustomHTTP&, const std::string&, std::int64_t, std::int64_t read,
                           std::int64_t elapsed, std::int64_t left, std::uint8_t, float rate,
                           framework::TStream*) {
        char line[64];
        std::snprintf(line, sizeof line, "%lld: %llds, %llds left, %.3f KB/s",
                      static_cast<long long>(read), static_cast<long long>(elapsed),
                      static_cast<long long>(left), static_cast<double>(rate));
        seen.emplace_back(line);
        clock->Advance(2000);
    };
    timed.SetTransferBufferSize(255);
    timed.URL = FileUrl(dir.Write("timed.bin", std::string(1000, 't')));
    ASSERT_TRUE(timed.Fetch(true));
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "255: 0s, 0s left, 0.249 KB/s", "510: 2s, 2s left, 0.249 KB/s",
                        "765: 4s, 1s left, 0.187 KB/s", "1000: 6s, 0s left, 0.163 KB/s"}));
}

TEST_F(HttpComponentTest, StatusTextsReachOnStatusTextAndOfflineNeverSends) {
    std::vector<std::string> texts;
    http.OnStatusText = [&](TkxCustomHTTP&, std::uint32_t, const std::string& text) {
        texts.push_back(text);
    };
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Sending Request"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Response received"), texts.end());

    rec.events.clear();
    const std::size_t served = server.Requests().size();
    http.WorkOffline = true;
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HostUnreachable", "AnyError"}));
    EXPECT_EQ(server.Requests().size(), served);
}

TEST_F(HttpComponentTest, UrlWithoutSchemeIsFetchedOverHttp) {
    http.URL = "127.0.0.1:" + std::to_string(server.Port()) + "/page";
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done text/html 26"});
}

TEST_F(HttpComponentTest, FailuresRaiseExactlyOneFailureEventThenAnyError) {
    http.URL = Url("/missing");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HTTPError 404", "AnyError"}));
    EXPECT_EQ(rec.body, "not here");
    EXPECT_EQ(http.FailureReason(), "HTTP 404");

    rec.events.clear();
    http.URL = "http://127.0.0.1:1/";  // nothing listens on port 1
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HostUnreachable", "AnyError"}));
    EXPECT_EQ(http.StatusCode(), -1);
    EXPECT_EQ(http.FailureReason(), "host unreachable");

    rec.events.clear();
    http.URL = "http://" + std::string(257, 'h') + "/";
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HostUnreachable", "AnyError"}));
    EXPECT_EQ(http.FailureReason(), "malformed URL");
}

TEST_F(HttpComponentTest, HttpsNeedsTheCertificateOptionsForASelfSignedServer) {
    if (!test::HttpTestServer::TlsAvailable())
        GTEST_SKIP() << "this build's test server has no TLS";
    test::HttpTestServer tls(test::HttpTestServer::Tls::Valid);
    tls.Http().Get("/secret", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("over tls", "text/plain");
    });
    tls.Start();
    http.URL = tls.Url("/secret", "localhost");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HostUnreachable", "AnyError"}));
    EXPECT_EQ(http.FailureReason(), "certificate not trusted");

    rec.events.clear();
    http.InternetOptions.Include(ioIgnoreUnknownCertificateAuthority);
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done text/plain 8"});
}

TEST_F(HttpComponentTest, BodyWithoutContentLengthSucceeds) {
    http.URL = Url("/chunked");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done text/plain 6"});
    EXPECT_EQ(rec.body, "abcdef");
}

TEST_F(HttpComponentTest, WaitModeServesMessagesWhileTheWorkerRuns) {
    // The page is answered only after a timer of the UI thread has fired during the wait.
    std::atomic<bool> ticked{false};
    server.Http().Get("/after-tick", [&](const httplib::Request&, httplib::Response& res) {
        while (!ticked)
            std::this_thread::sleep_for(1ms);
        res.set_content("late", "text/plain");
    });
    auto timer = app.CreateTimer();
    timer->SetInterval(20);
    timer->OnTimer = [&] { ticked = true; };
    http.URL = Url("/after-tick");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_TRUE(ticked);
    EXPECT_EQ(rec.body, "late");
}

TEST_F(HttpComponentTest, BusyRefusesFetchIncludingFromOnDone) {
    http.URL = Url("/page");
    bool second = true;
    http.OnDone = [&](TkxCustomHTTP& h, const std::string&, std::int64_t, framework::TStream*) {
        second = h.Fetch(false);
    };
    ASSERT_TRUE(http.Fetch(false));
    EXPECT_FALSE(http.Fetch(false));
    WaitIdle();
    EXPECT_FALSE(second);
    // Idle again: accepted.
    EXPECT_TRUE(http.Fetch(true));
}

TEST_F(HttpComponentTest, ReleaseTransferInOnDoneLetsTheHandlerFetchAgain) {
    int done = 0;
    http.OnDone = [&](TkxCustomHTTP& h, const std::string&, std::int64_t, framework::TStream* s) {
        rec.body = Recorder::Read(s);
        if (++done == 1) {
            h.ReleaseTransfer();
            h.URL = Url("/chunked");
            EXPECT_TRUE(h.Fetch(false));
        }
    };
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(false));
    WaitIdle();
    EXPECT_EQ(done, 2);
    EXPECT_EQ(rec.body, "abcdef");
}

TEST_F(HttpComponentTest, AnExceptionInOnDoneLeavesTheComponentIdle) {
    http.OnDone = [](TkxCustomHTTP&, const std::string&, std::int64_t, framework::TStream*) {
        throw std::runtime_error("handler failed");
    };
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"AnyError"});
    EXPECT_FALSE(http.Busy());
    EXPECT_TRUE(http.Fetch(true));
}

TEST_F(HttpComponentTest, AnExceptionInOnProgressIsDiscardedAndTheTransferGoesOn) {
    http.OnProgress = [](TkxCustomHTTP&, const std::string&, std::int64_t, std::int64_t,
                         std::int64_t, std::int64_t, std::uint8_t, float, framework::TStream*) {
        throw std::runtime_error("progress handler failed");
    };
    http.URL = Url("/big");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done application/octet-stream 100000"});
}

TEST_F(HttpComponentTest, RangeLinesAndPostReachTheServer) {
    http.URL = Url("/big");
    http.Range.StartRange = 100;
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(server.LastRequest().Header("Range"), "bytes=100-");
    http.Range = {0, 499};
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(server.LastRequest().Header("Range"), "bytes=0-499");
    EXPECT_EQ(rec.Finals().back(), "Done application/octet-stream 500");
    http.Range = {};
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_FALSE(server.LastRequest().Has("Range"));

    http.URL = Url("/form");
    http.POSTData = "a=1&b=2";
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.body, "application/x-www-form-urlencoded|a=1&b=2");
}

TEST_F(HttpComponentTest, PasswordRequestGivesTheRealmAndResendsWithTheNewLogin) {
    std::string realm;
    http.OnPasswordRequest = [&](TkxCustomHTTP& h, const std::string& r, bool& tryAgain) {
        realm = r;
        h.Username = "ann";
        h.Password = "secret";
        tryAgain = true;
    };
    http.URL = Url("/members");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(realm, "Members");
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done text/plain 12"});

    // Without TryAgain the 401 is an ordinary HTTP error.
    rec.events.clear();
    http.Username.clear();
    http.Password.clear();
    http.OnPasswordRequest = [](TkxCustomHTTP&, const std::string&, bool&) {};
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HTTPError 401", "AnyError"}));
}

TEST_F(HttpComponentTest, RedirectIsReportedOnTheWorkerWithTheNewUrl) {
    std::string newUrl;
    bool onUi = true;
    http.OnRedirected = [&](TkxCustomHTTP&, const std::string& url) {
        newUrl = url;
        onUi = std::this_thread::get_id() == rec.ui;
    };
    http.URL = Url("/redirect");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(newUrl, Url("/page"));
    EXPECT_FALSE(onUi);
    EXPECT_EQ(rec.body, "<html>hello watcher</html>");
}

TEST_F(HttpComponentTest, ContinueDownloadFalseEndsWithDoneInterruptedOnly) {
    http.OnHeaderInfo = [&](TkxCustomHTTP&, std::int32_t, const std::string& raw,
                            const std::string&, const std::string&, const std::string&,
                            std::int64_t, const std::string&, TDateTime, TDateTime modified,
                            TDateTime, const std::string&, bool& go) {
        EXPECT_EQ(raw.rfind("HTTP/1.1 200", 0), 0u) << raw;
        EXPECT_NE(raw.find("Last-Modified: Tue, 15 Nov 1994"), std::string::npos) << raw;
        EXPECT_NEAR(modified, 34653.34, 0.6);  // 1994-11-15 08:12 UTC in any local zone
        go = false;
    };
    int progress = 0;
    http.OnProgress = [&](TkxCustomHTTP&, const std::string&, std::int64_t, std::int64_t,
                          std::int64_t, std::int64_t, std::uint8_t, float,
                          framework::TStream*) { ++progress; };
    http.URL = Url("/big");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"DoneInterrupted"});
    EXPECT_EQ(progress, 0);
    EXPECT_TRUE(http.Fetch(true));
}

TEST_F(HttpComponentTest, ContinueDownloadClearedByAHandlerThatThenThrowsStillCounts) {
    http.OnHeaderInfo = [](TkxCustomHTTP&, std::int32_t, const std::string&, const std::string&,
                           const std::string&, const std::string&, std::int64_t, const std::string&,
                           TDateTime, TDateTime, TDateTime, const std::string&, bool& go) {
        go = false;
        throw std::runtime_error("header handler failed");
    };
    http.URL = Url("/big");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"DoneInterrupted"});
}

TEST_F(HttpComponentTest, OutputFileIsOverwrittenAndMarkedIncompleteThenComplete) {
    platform::IFiles& files = os.os().files;
    const std::string out = dir.Write("page.htm", "old");
    ASSERT_TRUE(files.SetAttributes(out, platform::kAttrReadOnly));
    std::uint32_t during = 0;
    http.OnProgress = [&](TkxCustomHTTP&, const std::string&, std::int64_t, std::int64_t,
                          std::int64_t, std::int64_t, std::uint8_t, float, framework::TStream* s) {
        during = files.GetAttributes(out);
        EXPECT_NE(s, nullptr);
    };
    http.OutputFileName = out;
    http.OutputFileAttributes.Complete = {atrArchive, atrReadOnly};
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done text/html 26"});
    EXPECT_EQ(rec.body, "<none>");  // OnDone gets no stream for an output file
    EXPECT_EQ(test::ReadFile(out), "<html>hello watcher</html>");
#ifdef _WIN32
    EXPECT_EQ(during & platform::kAttrReadOnly, 0u);  // Wine keeps no temporary bit on a file
#else
    EXPECT_EQ(during & (platform::kAttrTemporary | platform::kAttrReadOnly),
              platform::kAttrTemporary);
#endif
    EXPECT_EQ(files.GetAttributes(out) & (platform::kAttrTemporary | platform::kAttrReadOnly),
              platform::kAttrReadOnly);
}

TEST_F(HttpComponentTest, OutputFileThatCannotBeCreatedRaisesAnyErrorThenOutputFileError) {
    http.OutputFileName = dir / "no/such/folder/page.htm";
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"AnyError", "OutputFileError"}));
}

TEST_F(HttpComponentTest, LocalFilesAreFoundOrGive404) {
    const std::string page = dir.Write("local.htm", "local bytes");
    http.URL = FileUrl(page);
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done  11"});
    EXPECT_EQ(rec.body, "local bytes");

    rec.events.clear();
    http.URL = FileUrl(dir / "gone.htm");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HTTPError 404", "AnyError"}));
    EXPECT_EQ(rec.body, "");
}

// A page that trickles until the test lets it end, so aborts land mid-transfer.
class SlowPageTest : public HttpComponentTest {
  protected:
    SlowPageTest() {
        server.Http().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [this](size_t, httplib::DataSink& sink) {
                if (release) {
                    sink.done();
                    return true;
                }
                std::this_thread::sleep_for(5ms);
                sink.write("x", 1);
                return true;
            });
        });
    }
    ~SlowPageTest() override { release = true; }
    std::atomic<bool> release{false};
};

TEST_F(SlowPageTest, AbortRequestedStopsAtTheNextCheckAndDeletesTheOutputFile) {
    const std::string out = dir / "slow.txt";
    http.OutputFileName = out;
    bool aborted = false;
    http.OnProgress = [&](TkxCustomHTTP& h, const std::string&, std::int64_t, std::int64_t read,
                          std::int64_t, std::int64_t, std::uint8_t, float, framework::TStream*) {
        // Under load two bytes may come in one read: the count can pass 3 without being 3.
        if (read >= 3 && !aborted) {
            aborted = true;
            h.Abort(true, false);
        }
    };
    http.URL = Url("/slow");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Aborted"});
    EXPECT_FALSE(std::filesystem::exists(out));
    release = true;
    http.URL = Url("/page");
    http.OutputFileName.clear();
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals().back(), "Done text/html 26");
}

// An abort wakes the worker from its read. Repeated a few hundred times, at different points of
// the body, because the wake-up and the stop request race: the run must end as an abort every
// time, never as a page that ended early.
TEST_F(SlowPageTest, EveryRequestedAbortEndsAsAnAbort) {
    int blocks = 0;
    http.OnProgress = [&](TkxCustomHTTP&, const std::string&, std::int64_t, std::int64_t,
                          std::int64_t, std::int64_t, std::uint8_t, float,
                          framework::TStream*) { ++blocks; };
    http.URL = Url("/slow");
    for (int i = 0; i < 300; ++i) {
        rec.events.clear();
        blocks = 0;
        ASSERT_TRUE(http.Fetch(false));
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (blocks < i % 4 && std::chrono::steady_clock::now() < until) {
            app.ProcessMessages();
            std::this_thread::sleep_for(100us);
        }
        http.Abort(false, false);
        WaitIdle();
        ASSERT_EQ(rec.Finals(), std::vector<std::string>{"Aborted"}) << "abort " << i;
        EXPECT_EQ(http.FailureReason(), "aborted");
    }
}

TEST_F(SlowPageTest, AbortImmediatelyRaisesOnlyAbortedAndKeepsTheFileWhenAsked) {
    const std::string out = dir / "slow.txt";
    http.OutputFileName = out;
    bool aborted = false;
    http.OnProgress = [&](TkxCustomHTTP& h, const std::string&, std::int64_t, std::int64_t read,
                          std::int64_t, std::int64_t, std::uint8_t, float, framework::TStream*) {
        // Under load two bytes may come in one read: the count can pass 3 without being 3.
        if (read >= 3 && !aborted) {
            aborted = true;
            h.Abort(false, true);
        }
    };
    http.URL = Url("/slow");
    ASSERT_TRUE(http.Fetch(false));
    WaitIdle();
    for (int i = 0; i < 50; ++i) {  // nothing more may arrive
        app.ProcessMessages();
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Aborted"});
    EXPECT_TRUE(std::filesystem::exists(out));
    release = true;
    http.OnProgress = nullptr;
    http.OutputFileName.clear();
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals().back(), "Done text/html 26");
}

TEST_F(SlowPageTest, WaitTimeoutWithTerminateStopsTheTransferSilently) {
    bool asked = false;
    http.OnWaitTimeoutExpired = [&](TkxCustomHTTP&, bool& terminate) {
        asked = true;
        EXPECT_TRUE(terminate);
    };
    http.SetWaitTimeout(100);
    http.URL = Url("/slow");
    EXPECT_FALSE(http.Fetch(true));
    EXPECT_TRUE(asked);
    EXPECT_FALSE(http.Busy());
    for (int i = 0; i < 50; ++i) {
        app.ProcessMessages();
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_TRUE(rec.Finals().empty());
    release = true;
    http.URL = Url("/page");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done text/html 26"});
}

TEST_F(SlowPageTest, WaitTimeoutWithoutTerminateReturnsAndTheEventsComeLater) {
    http.OnWaitTimeoutExpired = [&](TkxCustomHTTP&, bool& terminate) {
        terminate = false;
        release = true;
    };
    http.SetWaitTimeout(100);
    http.URL = Url("/slow");
    EXPECT_TRUE(http.Fetch(true));
    WaitIdle();
    ASSERT_EQ(rec.Finals().size(), 1u);
    EXPECT_EQ(rec.Finals()[0].rfind("Done text/plain", 0), 0u);
}

TEST_F(SlowPageTest, DestroyingTheComponentMidTransferDeliversNothing) {
    auto h = std::make_unique<TkxHTTP>(app, os.os(), internet);
    Recorder r;
    r.Attach(*h);
    std::atomic<int> progress{0};
    h->OnProgress = [&](TkxCustomHTTP&, const std::string&, std::int64_t, std::int64_t,
                        std::int64_t, std::int64_t, std::uint8_t, float,
                        framework::TStream*) { ++progress; };
    h->URL = Url("/slow");
    ASSERT_TRUE(h->Fetch(false));
    while (progress < 2)
        app.ProcessMessages();
    h.reset();
    for (int i = 0; i < 20; ++i) {
        app.ProcessMessages();
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_TRUE(r.Finals().empty());
}

TEST_F(HttpComponentTest, HostileServersEachEndInExactlyOneFailureWithItsReason) {
    using test::ScriptedServer;
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string announced = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    const std::string closing = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    struct Case {
        const char* name;
        ScriptedServer::Script script;
        std::vector<std::string> finals;  // a trailing "*" matches any rest (byte counts)
        std::string reason;
        std::uint32_t totalTimeout = 0;
        bool tls = false;
        const char* notOnWindows = nullptr;  // why Wine cannot run the case
    };
    const Case cases[] = {
        {"garbage",
         ScriptedServer::Reply("SSH-2.0-OpenSSH\r\n\r\n"),
         {"HostUnreachable", "AnyError"},
         "bad response from server"},
        {"huge headers",
         ScriptedServer::HugeHeaders(1 << 20),
         {"HostUnreachable", "AnyError"},
         "response headers too large"},
        {"negative length",
         ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello"),
         {"HostUnreachable", "AnyError"},
         "bad response from server"},
        {"TLS spoken to a plain port",
         [](ScriptedServer::Connection& c) { c.Send("HTTP/1.1 400 Bad Request\r\n\r\n"); },
         {"HostUnreachable", "AnyError"},
         "TLS handshake failed",
         0,
         true},
        {"4 GiB announced, 10 bytes sent",
         ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\n0123456789"),
         {"ConnLost 4294967296 10", "AnyError"},
         "connection lost after 10 of 4294967296 bytes"},
        {"1000 announced, 600 sent",
         ScriptedServer::Reply(announced + std::string(600, 'x')),
         {"ConnLost 1000 600", "AnyError"},
         "connection lost after 600 of 1000 bytes"},
        {"1000 announced, 600 sent, then silence",
         ScriptedServer::ReplyAndHold(announced + std::string(600, 'x')),
         {"ConnLost 1000 600", "AnyError"},
         "no data for 0.3 s"},
        {"chunked, cut after a chunk",
         ScriptedServer::Reply(chunked + "5\r\nhello\r\n"),
         {"ConnLost 0 5", "AnyError"},
         "connection lost after 5 of ? bytes",
         0,
         false,
         "Wine's WinInet ends a broken chunked body as a whole one; no call tells them apart"},
        {"chunked, silence after a chunk",
         ScriptedServer::ReplyAndHold(chunked + "5\r\nhello\r\n"),
         {"ConnLost 0 5", "AnyError"},
         "no data for 0.3 s"},
        {"bad chunk size",
         ScriptedServer::Reply(chunked + "5\r\nhello\r\nzz\r\nworld\r\n0\r\n\r\n"),
         {"ConnLost 0 5", "AnyError"},
         "connection lost after 5 of ? bytes",
         0,
         false,
         "Wine's WinInet ends a broken chunked body as a whole one; no call tells them apart"},
        {"close-delimited, reset",
         ScriptedServer::ReplyAndReset(closing + "partial"),
         {"ConnLost 0 7", "AnyError"},
         "connection lost after 7 of ? bytes"},
        {"close-delimited, clean close",
         ScriptedServer::Reply(closing + "whole page"),
         {"Done  10"},
         ""},
        {"a byte every 100 ms against a total limit",
         ScriptedServer::Trickle(closing, std::chrono::milliseconds(100)),
         {"ConnLost 0 *", "AnyError"},
         "no complete page within 0.6 s",
         600},
        {"endless body",
         ScriptedServer::EndlessBody(),
         {"ConnLost 0 1048576", "AnyError"},
         "body larger than 1048576 bytes"},
        {"never answers",
         ScriptedServer::Silent(),
         {"HostUnreachable", "AnyError"},
         "no data for 0.3 s"},
    };
    http.MaxBodySize = 1 << 20;
    http.Timeouts.ReceiveTimeout = 300;
    for (const Case& c : cases) {
#ifdef _WIN32
        if (c.notOnWindows != nullptr) continue;
#endif
        ScriptedServer scripted(c.script);
        rec.events.clear();
        http.Timeouts.TotalTimeout = c.totalTimeout;
        http.URL = scripted.Url("/");
        if (c.tls) http.URL.replace(0, 4, "https");
        ASSERT_TRUE(http.Fetch(true)) << c.name;
        const auto finals = rec.Finals();
        ASSERT_EQ(finals.size(), c.finals.size()) << c.name;
        for (std::size_t i = 0; i < finals.size(); ++i) {
            const std::string& want = c.finals[i];
            if (!want.empty() && want.back() == '*')
                EXPECT_EQ(finals[i].rfind(want.substr(0, want.size() - 1), 0), 0u) << c.name;
            else
                EXPECT_EQ(finals[i], want) << c.name;
        }
        EXPECT_EQ(http.FailureReason(), c.reason) << c.name;
        EXPECT_FALSE(http.Busy()) << c.name;
    }
}

TEST_F(HttpComponentTest, AHostThatNeverAnswersTheConnectIsUnreachableAfterTheConnectTimeout) {
    test::UnansweredListener listener;
    http.Timeouts.ConnectTimeout = 300;
    http.URL = listener.Url("/");
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(rec.Finals(), (std::vector<std::string>{"HostUnreachable", "AnyError"}));
    EXPECT_EQ(http.FailureReason(), "no connection within 0.3 s");
}

TEST_F(HttpComponentTest, RedirectLoopEndsInOneFailure) {
    server.Http().Get("/loop", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/loop");
    });
    http.URL = Url("/loop");
    ASSERT_TRUE(http.Fetch(true));
    const auto finals = rec.Finals();
    ASSERT_EQ(finals.size(), 2u);
    EXPECT_EQ(finals[1], "AnyError");
    EXPECT_EQ(http.FailureReason(), "too many redirects");
}

class ProxyTest : public HttpComponentTest {
  protected:
    void SetUp() override {
        if (!test::ProxyProcess::Available()) GTEST_SKIP() << "tinyproxy is not installed";
    }
};

TEST_F(ProxyTest, ProxyAuthenticationIsAskedAndResent) {
    test::ProxyProcess proxy({"watcher", "pw"});
    ASSERT_TRUE(proxy.Running()) << proxy.Log();
    http.Proxy.AccessType = atUseProxy;
    http.Proxy.ProxyServer = "127.0.0.1";
    http.Proxy.ProxyPort = proxy.Port();
    http.Proxy.ProxyBypass = "";
    int asked = 0;
    http.OnProxyAuthenticationRequest = [&](TkxCustomHTTP&, std::string& user, std::string& pass,
                                            bool& tryAgain) {
        ++asked;
        user = "watcher";
        pass = "pw";
        tryAgain = true;
    };
    // A name the proxy resolves, so the request really goes through it.
    http.URL = "http://localhost:" + std::to_string(server.Port()) + "/page";
    ASSERT_TRUE(http.Fetch(true));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(rec.Finals(), std::vector<std::string>{"Done text/html 26"});
    EXPECT_EQ(http.Proxy.ProxyUsername, "watcher");
}

}  // namespace
}  // namespace pw::http
