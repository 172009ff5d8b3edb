// The real Linux replacer, run as the program runs it.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

extern char** environ;

namespace pw::update::replacer {
namespace {

pid_t Spawn(std::vector<std::string> args, char** env) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), env), 0) << args[0];
    return pid;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The replacer waits for a running program, installs its downloads and restarts it.
TEST(ReplacerProcess, WaitsInstallsAndRestarts) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    fs::create_directories(dir.path() / "my  app+1");
    fs::create_directories(dir.path() / "other");
    const std::string program = dir / "my  app+1/prog";
    const std::string marker = dir / "marker";
    fs::copy_file("/bin/sleep", program);
    ::chmod(program.c_str(), 0750);

    dir.Write("my  app+1/prog.uTMP", "#!/bin/sh\nprintf '%s|' \"$@\" > '" + marker + "'\n");
    ::chmod((program + ".uTMP").c_str(), 0644);
    dir.Write("my  app+1/readme.txt.uTMP", "readme");
    const std::string data = dir.Write("other/data.txt", "old");
    dir.Write("other/data.txt.uTMP", "new");
    const std::string skipped = dir.Write("other/skipped.txt", "keep");
    ::chmod(data.c_str(), 0604);
    const std::string queue = dir.Write("ReliftQueue.txt", data + "\r\n" + skipped + "\r\n");

    const pid_t running = Spawn({program, "0.3"}, environ);
    std::vector<std::string> envStrings{"TMPDIR=" + dir.path().string(), "PATH=/usr/bin:/bin"};
    std::vector<char*> env;
    for (std::string& e : envStrings)
        env.push_back(e.data());
    env.push_back(nullptr);
    const pid_t replacer =
        Spawn({PW_REPLACER_PATH, "--program", program, "/afterupgrade", "x0"}, env.data());

    int status = -1;
    ASSERT_EQ(::waitpid(replacer, &status, 0), replacer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Had the replacer not waited, the program would still be running now.
    EXPECT_EQ(::waitpid(running, &status, WNOHANG), running);

    // The restarted program runs on its own; a watchdog, not a time limit. The restart
    // parameters are a command line's text: each blank-separated word is an argument.
    const std::string expected = "/afterupgrade|x|";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (test::ReadFile(marker) != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(test::ReadFile(marker), expected);

    EXPECT_EQ(ModeOf(program), 0750u);
    EXPECT_EQ(test::ReadFile(dir / "my  app+1/readme.txt"), "readme");
    EXPECT_EQ(test::ReadFile(data), "new");
    EXPECT_EQ(ModeOf(data), 0604u);
    EXPECT_EQ(test::ReadFile(skipped), "keep");
    EXPECT_FALSE(fs::exists(queue));
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().extension(), ".uTMP") << entry.path();
    }
}

TEST(ReplacerProcess, WithoutArgumentsOnlySaysWhatItIs) {
    test::TempDir dir;
    const std::string out = dir / "out";
    const pid_t pid =
        Spawn({"/bin/sh", "-c", std::string(PW_REPLACER_PATH) + " > '" + out + "'"}, environ);
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string text = test::ReadFile(out);
    EXPECT_EQ(text.rfind("Relift4.exe: ", 0), 0u) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1);
}

}  // namespace
}  // namespace pw::update::replacer
