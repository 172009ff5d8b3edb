// Fetch throughput of the HTTP component over loopback, side by side with curl in the same run,
// and the peak memory a 100 MB body costs above the process's resident size before the fetch.
//
// Usage: pw_bench_http [megabytes=100] [rounds=3]

#include <httplib.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "http/kxHTTP.h"
#include "platform/posix/CurlInternet.h"
#include "platform/posix/PosixOs.h"

namespace {

using Clock = std::chrono::steady_clock;

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    return -1;
}

// Resets the kernel's peak resident size of this process, so VmHWM measures from now on.
void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::int64_t megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::int64_t bodySize = megabytes * 1000 * 1000;

    // The body is generated in 64 KiB pieces, so the server holds no copy of it.
    static const std::string chunk(64 * 1024, 'p');
    httplib::Server server;
    server.Get("/body", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(static_cast<size_t>(bodySize), "application/octet-stream",
                                 [](size_t offset, size_t length, httplib::DataSink& sink) {
                                     (void)offset;
                                     return sink.write(chunk.data(),
                                                       std::min(length, chunk.size()));
                                 });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serverThread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/body";

    pw::framework::HeadlessApplication app;
    pw::platform::posix::PosixOs os;
    pw::platform::posix::CurlInternet internet;

    auto curlRun = [&] {
        const std::string cmd = "curl -s --noproxy '*' -o /dev/null " + url;
        const auto t0 = Clock::now();
        const int rc = std::system(cmd.c_str());
        const double s = Seconds(Clock::now() - t0);
        return rc == 0 ? s : -1.0;
    };
    long peakAboveKb = 0;
    auto fetchRun = [&](std::int32_t bufferSize, bool measureMemory, const char* outputFile) {
        pw::http::TkxHTTP http(app, os.os(), internet);
        http.URL = url;
        if (outputFile) {
            // No attribute changes: the output here is a device.
            http.OutputFileName = outputFile;
            http.OutputFileAttributes.Incomplete = {pw::atrArchive};
            http.OutputFileAttributes.Complete = {pw::atrArchive};
        }
        if (bufferSize > 0) http.SetTransferBufferSize(bufferSize);
        std::int64_t got = 0;
        http.OnDone = [&](pw::http::TkxCustomHTTP&, const std::string&, std::int64_t size,
                          pw::framework::TStream*) { got = size; };
        long baseKb = 0;
        if (measureMemory) {
            ResetPeakRss();
            baseKb = StatusKb("VmRSS:");
        }
        const auto t0 = Clock::now();
        http.Fetch(true);
        const double s = Seconds(Clock::now() - t0);
        if (measureMemory) peakAboveKb = StatusKb("VmHWM:") - baseKb;
        return got == bodySize ? s : -1.0;
    };

    struct Row {
        const char* name;
        std::vector<double> seconds;
    };
    // The floor of any fetch into memory: filling that much fresh memory in 64 KiB pieces.
    auto memoryFloor = [&] {
        const auto t0 = Clock::now();
        pw::framework::TMemoryStream m;
        for (std::int64_t done = 0; done < bodySize;
             done += static_cast<std::int64_t>(chunk.size()))
            m.WriteBuffer(
                chunk.data(),
                std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), bodySize - done));
        return Seconds(Clock::now() - t0);
    };
    Row rows[] = {{"curl -s -o /dev/null", {}},
                  {"TkxHTTP, default buffer (4096)", {}},
                  {"TkxHTTP, TransferBufferSize 65536", {}},
                  {"TkxHTTP, 65536, output file /dev/null", {}},
                  {"(filling fresh memory alone)", {}}};
    for (int r = 0; r < rounds; ++r) {
        rows[0].seconds.push_back(curlRun());
        rows[1].seconds.push_back(fetchRun(0, false, nullptr));
        rows[2].seconds.push_back(fetchRun(65536, r == 0, nullptr));
        rows[3].seconds.push_back(fetchRun(65536, false, "/dev/null"));
        rows[4].seconds.push_back(memoryFloor());
    }

    std::printf("Body %lld MB over 127.0.0.1, best of %d rounds, interleaved\n",
                static_cast<long long>(megabytes), rounds);
    double curlRate = 0;
    for (const Row& row : rows) {
        const double best = *std::min_element(row.seconds.begin(), row.seconds.end());
        if (best < 0) {
            std::printf("%-40s failed\n", row.name);
            continue;
        }
        const double rate = static_cast<double>(bodySize) / 1e6 / best;
        if (curlRate == 0) curlRate = rate;
        std::printf("%-40s %8.1f MB/s  %5.2f x curl\n", row.name, rate, rate / curlRate);
    }
    std::printf("Peak RSS above the baseline, 65536 buffer: %.1f MB (%.2f x the body)\n",
                static_cast<double>(peakAboveKb) * 1024 / 1e6,
                static_cast<double>(peakAboveKb) * 1024 / static_cast<double>(bodySize));

    server.stop();
    serverThread.join();
    return 0;
}
