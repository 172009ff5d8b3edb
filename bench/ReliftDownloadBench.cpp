// What an update's download costs: the self-update component fetching one large file into its
// ".uTMP" beside the program, without and with the SHA-256 check of the downloaded file, side by
// side in the same run with the HTTP component writing the same body to a file (the baseline),
// the same with a progress handler (the component reports progress per block), and sha256sum.
//
// Usage: pw_bench_relift [megabytes=100] [rounds=3]

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "http/kxHTTP.h"
#include "platform/posix/CurlInternet.h"
#include "platform/posix/PosixOs.h"
#include "update/kxRelift.h"
#include "update/kxReliftVerify.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::int64_t bodySize = megabytes * 1000 * 1000;

    const fs::path dir =
        fs::temp_directory_path() / ("pw-bench-relift-" + std::to_string(getpid()));
    fs::create_directories(dir / "app");
    // The served body is a file, so its digest can be published beforehand.
    const fs::path body = dir / "body.bin";
    {
        std::FILE* f = std::fopen(body.c_str(), "wb");
        const std::string chunk(1 << 20, 'u');
        for (std::int64_t done = 0; done < bodySize;
             done += static_cast<std::int64_t>(chunk.size()))
            std::fwrite(chunk.data(), 1,
                        static_cast<std::size_t>(std::min<std::int64_t>(
                            static_cast<std::int64_t>(chunk.size()), bodySize - done)),
                        f);
        std::fclose(f);
    }
    const std::string digest = pw::update::Sha256OfFile(body.string()).value_or("");

    httplib::Server server;
    std::string info;
    server.set_mount_point("/files", dir.string());
    server.Get("/info.txt", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(info, "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serverThread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    pw::framework::HeadlessApplication app;
    pw::platform::posix::PosixOs os;
    pw::platform::posix::CurlInternet internet;
    pw::TkxEnvironment env(os.os());
    env.AppExeName = (dir / "app" / "program").string();
    env.AppFolder = (dir / "app" / "").string();

    auto httpRun = [&](bool progress) {
        pw::http::TkxHTTP http(app, os.os(), internet);
        http.URL = base + "/files/body.bin";
        http.OutputFileName = (dir / "app" / "plain.bin").string();
        std::int64_t got = 0;
        http.OnDone = [&](pw::http::TkxCustomHTTP&, const std::string&, std::int64_t size,
                          pw::framework::TStream*) { got = size; };
        // A handler makes the worker hand each block's progress to the UI thread, as the
        // self-update component's does.
        if (progress)
            http.OnProgress = [](pw::http::TkxCustomHTTP&, const std::string&, std::int64_t,
                                 std::int64_t, std::int64_t, std::int64_t, std::uint8_t, float,
                                 pw::framework::TStream*) {};
        const auto t0 = Clock::now();
        http.Fetch(true);
        const double s = Seconds(Clock::now() - t0);
        return got == bodySize ? s : -1.0;
    };
    auto reliftRun = [&](bool withDigest) {
        info = "#date=12/31/2099\r\n#url=" + base + "/files/body.bin\r\n";
        if (withDigest) info += "#sha256=" + digest + "\r\n";
        pw::update::TkxRelift relift({.app = app,
                                      .internet = internet,
                                      .env = env,
                                      .resources = nullptr,
                                      .params = {},
                                      .publicKeyPem = {}});
        relift.InfoFileURL = base + "/info.txt";
        relift.VersionDate = "01/01/2000";
        relift.ShowMessages = {};
        relift.Wizard().Enabled = false;
        bool ended = false;
        relift.OnEndUpgrade = [&](pw::update::TkxRelift&, bool& restart) {
            ended = true;
            restart = false;
        };
        relift.OnAborted = [&](pw::update::TkxRelift&) { ended = true; };
        const auto t0 = Clock::now();
        relift.CheckForUpdate(false);
        const pw::framework::Signal never;
        while (!ended) {
            app.WaitForSignalOrMessage(never, 50);
            app.ProcessMessages();
        }
        const double s = Seconds(Clock::now() - t0);
        std::error_code ec;
        return fs::file_size(dir / "app" / "body.bin.uTMP", ec) ==
                       static_cast<std::uintmax_t>(bodySize)
                   ? s
                   : -1.0;
    };
    auto sumRun = [&] {
        const std::string cmd = "sha256sum " + body.string() + " >/dev/null";
        const auto t0 = Clock::now();
        const int rc = std::system(cmd.c_str());
        return rc == 0 ? Seconds(Clock::now() - t0) : -1.0;
    };

    struct Row {
        const char* name;
        std::vector<double> seconds;
    };
    Row rows[] = {{"TkxHTTP into a file (baseline)", {}},
                  {"TkxHTTP into a file, with OnProgress", {}},
                  {"TkxRelift, one file, no digest", {}},
                  {"TkxRelift, one file, SHA-256 checked", {}},
                  {"(sha256sum of the file alone)", {}}};
    for (int r = 0; r < rounds; ++r) {
        rows[0].seconds.push_back(httpRun(false));
        rows[1].seconds.push_back(httpRun(true));
        rows[2].seconds.push_back(reliftRun(false));
        rows[3].seconds.push_back(reliftRun(true));
        rows[4].seconds.push_back(sumRun());
    }
    std::printf("One %lld MB download over 127.0.0.1, best of %d rounds, interleaved\n",
                static_cast<long long>(megabytes), rounds);
    double baseline = 0;
    for (const Row& row : rows) {
        const double best = *std::min_element(row.seconds.begin(), row.seconds.end());
        if (best < 0) {
            std::printf("%-40s failed\n", row.name);
            continue;
        }
        if (baseline == 0) baseline = best;
        std::printf("%-40s %7.3f s  %6.1f MB/s  %5.2f x baseline time\n", row.name, best,
                    static_cast<double>(bodySize) / 1e6 / best, best / baseline);
    }
    server.stop();
    serverThread.join();
    fs::remove_all(dir);
    return 0;
}
