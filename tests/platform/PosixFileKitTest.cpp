#include "platform/posix/PosixFileKit.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace pw::platform::posix {
namespace {

namespace fs = std::filesystem;
using pw::test::ReadFile;
using pw::test::TempDir;

std::atomic<int> interruptions{0};
void CountInterruption(int) {
    interruptions.fetch_add(1, std::memory_order_relaxed);
}

// A blocking write interrupted by a signal returns what it had written so far (or EINTR when it
// had written nothing): the caller must go on from there. A pipe of one page keeps each write
// waiting for the reader, so the signals land inside write().
TEST(PosixFileKitTest, WriteAllGoesOnThroughShortAndInterruptedWrites) {
    struct sigaction action {
    }, old{};
    action.sa_handler = &CountInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: write() comes back early
    ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);

    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    Fd in(ends[0]), out(ends[1]);
    fcntl(out.get(), F_SETPIPE_SZ, 4096);

    std::string data(1 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);
    std::atomic<int> result{-1};
    // Closing the end lets the reader see where the writer stopped, whatever the result.
    std::thread writer([&] {
        result = WriteAll(out.get(), data);
        out.Close();
    });

    std::string got;
    char buffer[1500];
    for (;;) {
        pthread_kill(writer.native_handle(), SIGUSR1);
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    writer.join();
    sigaction(SIGUSR1, &old, nullptr);

    EXPECT_EQ(result, 0);
    EXPECT_TRUE(got == data) << "bytes lost or repeated across interrupted writes";
    EXPECT_GT(interruptions.load(), 0);
    // A descriptor that cannot be written gives its errno, never a loop.
    EXPECT_EQ(WriteAll(in.get(), "x"), EBADF);
}

TEST(PosixFileKitTest, ReplaceFileSwapsInTheNewVersionWhole) {
    TempDir dir;
    const fs::path file = dir.Write("data", "old version");
    const fs::path temp = dir.Write("data.new", "a longer temporary left by a crashed writer");
    // A reader that opened the old version keeps reading it whole.
    Fd reader(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(reader.valid());

    FileId id;
    ASSERT_EQ(ReplaceFile(file, temp, "new", id), 0);
    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_FALSE(fs::exists(temp));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(id, FileId::Of(st));

    char buffer[64];
    const ssize_t n = ::read(reader.get(), buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "old version");
}

TEST(PosixFileKitTest, AFailedReplaceLeavesTheOldFileAndNoTemporary) {
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> arrange;
        int error;
        const char* victim;  // a file that must keep its bytes, if any
    };
    const Case cases[] = {
        {"the temporary is a symlink to another file",
         [](const TempDir& d) {
             d.Write("victim", "not ours");
             fs::create_symlink(d.path() / "victim", d.path() / "data.new");
         },
         ELOOP, "victim"},
        {"the file's name is taken by a folder",
         [](const TempDir& d) {
             fs::remove(d.path() / "data");
             fs::create_directory(d.path() / "data");
             d.Write("data/inside", "old version");
         },
         EISDIR, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.Write("data", "old version");
        c.arrange(dir);
        const fs::path file = dir.path() / "data";
        const fs::path temp = dir.path() / "data.new";
        const bool tempWasOurs = !fs::is_symlink(temp);

        FileId id;
        EXPECT_EQ(ReplaceFile(file, temp, "new", id), c.error);
        EXPECT_FALSE(id.exists);
        const std::string kept = fs::is_directory(file) ? dir / "data/inside" : file.string();
        EXPECT_EQ(ReadFile(kept), "old version");
        if (tempWasOurs) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
        }
        if (c.victim) {
            EXPECT_EQ(ReadFile(dir / c.victim), "not ours");
        }
    }
}

TEST(PosixFileKitTest, ReadRegularFileReadsUpToItsLimitAndNeverWaitsOnAFifo) {
    TempDir dir;
    dir.Write("ten", "0123456789");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir.path() / "folder");

    struct Case {
        const char* name;
        std::uint64_t limit;
        int error;
        bool exists;
        bool tooBig;
        const char* text;
    };
    const Case cases[] = {
        {"ten", 10, 0, true, false, "0123456789"}, {"ten", 9, 0, true, true, ""},
        {"missing", 10, 0, false, false, ""},      {"fifo", 10, EINVAL, false, false, ""},
        {"folder", 10, EISDIR, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " within " + std::to_string(c.limit));
        FileId id;
        std::string text = "stale";
        bool tooBig = true;
        EXPECT_EQ(ReadRegularFile(dir.path() / c.name, c.limit, id, text, tooBig), c.error);
        EXPECT_EQ(id.exists, c.exists);
        EXPECT_EQ(tooBig, c.tooBig);
        EXPECT_EQ(text, c.text);
    }
}

// flock belongs to the open file description, so two opens in one process stand for two
// processes here.
TEST(PosixFileKitTest, TheLockExcludesOtherOpenersAndItsGenerationIsSharedWithThem) {
    TempDir dir;
    const fs::path path = dir.path() / "data.lock";
    FileLock missing;
    EXPECT_EQ(missing.Open(path, false), ENOENT);

    FileLock writer, reader;
    ASSERT_EQ(writer.Open(path, true), 0);
    ASSERT_EQ(reader.Open(path, false), 0);
    EXPECT_EQ(reader.Generation(), 0u);

    ASSERT_EQ(writer.Lock(LOCK_EX), 0);
    EXPECT_EQ(reader.Lock(LOCK_SH | LOCK_NB), EWOULDBLOCK);
    EXPECT_EQ(writer.Bump(), 1u);
    EXPECT_EQ(writer.Bump(), 2u);
    EXPECT_EQ(reader.Generation(), 2u);
    ASSERT_EQ(writer.Lock(LOCK_UN), 0);
    EXPECT_EQ(reader.Lock(LOCK_SH | LOCK_NB), 0);
}

}  // namespace
}  // namespace pw::platform::posix
