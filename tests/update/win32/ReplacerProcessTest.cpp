// The real Windows replacer, started with CreateProcessA as the program starts it.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace pw::update::replacer {
namespace {

namespace fs = std::filesystem;

class Process {
  public:
    // An empty environment block inherits ours.
    Process(const std::string& exe, const std::string& args, std::string environment = {}) {
        std::string commandLine = "\"" + exe + "\" " + args;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             environment.empty() ? nullptr : environment.data(), nullptr, &startup,
                             &info)) {
            ::CloseHandle(info.hThread);
            handle_ = info.hProcess;
        }
    }
    ~Process() {
        if (handle_) ::CloseHandle(handle_);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return handle_ != nullptr; }
    bool Ended(DWORD waitMs = 0) const {
        return handle_ && ::WaitForSingleObject(handle_, waitMs) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(handle_, &code);
        return code;
    }

  private:
    HANDLE handle_ = nullptr;
};

// Our environment with TMP and TEMP pointing at temp, as a CreateProcess block.
std::string EnvironmentWithTemp(const std::string& temp) {
    std::string block;
    char* const strings = ::GetEnvironmentStringsA();
    for (const char* s = strings; *s; s += std::strlen(s) + 1) {
        const std::string entry = s;
        if (_strnicmp(s, "TMP=", 4) != 0 && _strnicmp(s, "TEMP=", 5) != 0) block += entry + '\0';
    }
    ::FreeEnvironmentStringsA(strings);
    block += "TMP=" + temp + '\0' + "TEMP=" + temp + '\0';
    return block + '\0';
}

// The started programs run on their own: a watchdog, not a time limit.
std::string AwaitFile(const std::string& path, const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (test::ReadFile(path) != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return test::ReadFile(path);
}

// The recording program with bytes appended, so an installed copy shows which file it was.
std::string Download(const std::string& path, const std::string& tag) {
    fs::copy_file(PW_RECORDING_PROGRAM, path, fs::copy_options::overwrite_existing);
    std::ofstream(path, std::ios::binary | std::ios::app) << tag;
    return test::ReadFile(path);
}

class ReplacerRun : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "my  app+1");
        fs::copy_file(PW_RECORDING_PROGRAM, program);
    }
    bool RunReplacer(const std::string& params) {
        Process replacer(PW_REPLACER_PATH, "--program \"" + program + "\" " + params,
                         EnvironmentWithTemp(dir.path().string()));
        EXPECT_TRUE(replacer.Started()) << ::GetLastError();
        EXPECT_TRUE(replacer.Ended(60000));
        return replacer.ExitCode() == 0;
    }
    void ExpectNoDownloadsLeft() const {
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            EXPECT_NE(entry.path().extension(), ".uTMP") << entry.path();
    }

    test::TempDir dir;
    const std::string program = dir / "my  app+1\\prog.exe";
};

TEST_F(ReplacerRun, WaitsInstallsAndRestarts) {
    fs::create_directories(dir.path() / "other");
    const std::string update = Download(program + ".uTMP", "new program");
    dir.Write("my  app+1\\readme.txt.uTMP", "readme");
    const std::string data = dir.Write("other\\data.txt", "old");
    dir.Write("other\\data.txt.uTMP", "new");
    const std::string skipped = dir.Write("other\\skipped.txt", "keep");
    const std::string queue = dir.Write("ReliftQueue.txt", data + "\r\n" + skipped + "\r\n");

    Process running(program, "--stay 500");
    ASSERT_TRUE(running.Started());
    ASSERT_TRUE(RunReplacer("/afterupgrade x0"));
    // Had the replacer not waited, the program would still be running now.
    EXPECT_TRUE(running.Ended());

    // The method digit is not passed on; the parameters are.
    EXPECT_EQ(AwaitFile(program + ".cmdline", "\"" + program + "\" /afterupgrade x"),
              "\"" + program + "\" /afterupgrade x");
    EXPECT_TRUE(test::ReadFile(program) == update) << "the download was not installed";
    EXPECT_EQ(test::ReadFile(dir / "my  app+1\\readme.txt"), "readme");
    EXPECT_EQ(test::ReadFile(data), "new");
    EXPECT_EQ(test::ReadFile(skipped), "keep");
    EXPECT_FALSE(fs::exists(queue));
    ExpectNoDownloadsLeft();
}

TEST_F(ReplacerRun, ExternalSetupRunsFirstAndIsDeletedAfterwards) {
    const std::string setup = dir / "my  app+1\\setup.exe";
    Download(setup + ".uTMP", "setup");
    const std::string old = test::ReadFile(program);

    ASSERT_TRUE(RunReplacer("/afterupgrade1"));

    EXPECT_EQ(AwaitFile(setup + ".cmdline", "\"" + setup + "\" /afterupgrade"),
              "\"" + setup + "\" /afterupgrade");
    EXPECT_EQ(AwaitFile(program + ".cmdline", "\"" + program + "\" /afterupgrade"),
              "\"" + program + "\" /afterupgrade");
    EXPECT_FALSE(fs::exists(setup));
    // The setup installs; the replacer leaves the program as it is.
    EXPECT_TRUE(test::ReadFile(program) == old) << "the program was replaced";
    ExpectNoDownloadsLeft();
}

}  // namespace
}  // namespace pw::update::replacer
