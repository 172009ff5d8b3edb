// The program as a user starts it from a shell: the checker's command lines against settings
// files in every state they can be found in, reports that cannot be written, and starts without a
// display. The checker must only read: after every run the settings folder is as it was.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "monitor/Unit1.h"
#include "platform/posix/RegistryStore.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Outcome {
    int status = -1;  // -1: did not exit by itself
    std::string out;
    std::string err;
};

// Runs the program with `args`, the environment changed by `env` (an empty value unsets), its
// output to `outPath`. A run that has not ended after two minutes is killed: a hang fails the
// case instead of the whole suite.
Outcome RunProgram(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, const std::string& outPath,
                   const std::string& errPath) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.contains(entry.substr(0, entry.find('=')))) environment.push_back(entry);
    }
    for (const auto& [name, value] : env)
        if (!value.empty()) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = {PW_PROGRAM};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, PW_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome outcome;
    if (spawned != 0) {
        outcome.err = std::string("cannot start the program: ") + std::strerror(spawned);
        return outcome;
    }
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited == 12000) kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (outPath != "/dev/full") outcome.out = pw::test::ReadFile(outPath);
    outcome.err = pw::test::ReadFile(errPath);
    return outcome;
}

// Every entry under a folder with its kind, bytes and time of last change.
std::map<std::string, std::string> Listing(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        struct stat st {};
        ::lstat(it->path().c_str(), &st);
        entries[it->path().string()] =
            std::to_string(st.st_mode) + " " + std::to_string(st.st_ino) + " " +
            std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
            (S_ISREG(st.st_mode) ? pw::test::ReadFile(it->path().string()) : "");
    }
    return entries;
}

class ProgramRun : public ::testing::Test {
  protected:
    ProgramRun() {
        server.Http().Get("/shop", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<p>in stock</p>", "text/html");
        });
        server.Start();
    }

    fs::path Folder() const { return dir.path() / "config/pagewarden"; }
    std::string File() const { return (Folder() / "HKCU.reg").string(); }

    // The watch list as the window's Save leaves it: row 1 checks the local shop.
    void StoreList() {
        Set("URLs", "URL1", pw::platform::RegValue::Text(server.Url("/shop")));
        Set("Search", "Search1", pw::platform::RegValue::Text("in stock"));
        Set("Logic", "logic1", pw::platform::RegValue::Dword(0));
    }
    void Set(const std::string& section, const std::string& name,
             const pw::platform::RegValue& value) {
        pw::platform::posix::RegistryStore store(Folder(), nullptr);
        const std::string key = std::string(pw::monitor::kSettingsKey) + "\\" + section;
        ASSERT_EQ(store.OpenKey(pw::platform::RegRoot::CurrentUser, key, true),
                  pw::platform::RegStatus::Ok);
        ASSERT_EQ(store.SetValue(pw::platform::RegRoot::CurrentUser, key, name, value),
                  pw::platform::RegStatus::Ok);
    }
    void WriteSettings(const std::string& text) {
        fs::create_directories(Folder());
        std::ofstream(File(), std::ios::binary) << text;
    }

    pw::test::TempDir dir;
    pw::test::HttpTestServer server;
};

enum class Display { None, Offscreen };

TEST_F(ProgramRun, CommandLinesOnlyReadTheSettingsAndSayWhyTheyCannotRun) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    struct Case {
        std::string name;
        std::function<void()> setup;
        std::vector<std::string> args;
        Display display;
        bool toFullDisk;
        int status;
        std::string out;  // a part of standard output
        std::string err;  // a part of the one line on standard error; empty: nothing there
    };
    const std::vector<Case> cases = {
        {"a stored list",
         [this] { StoreList(); },
         {"--check"},
         Display::None,
         false,
         0,
         "1\tok\tabsence\t",
         ""},
        {"a read-only settings folder",
         [this] {
             StoreList();
             fs::permissions(File(), fs::perms::owner_read);
             fs::permissions(Folder(), fs::perms::owner_read | fs::perms::owner_exec);
         },
         {"--check"},
         Display::None,
         false,
         0,
         "1\tok\tabsence\t",
         ""},
        {"no settings at all",
         [] {},
         {"--check"},
         Display::None,
         false,
         2,
         "",
         "no watch list at "},
        {"an empty settings file",
         [this] { WriteSettings(""); },
         {"--check"},
         Display::None,
         false,
         2,
         "",
         "the watch list has no pages"},
        {"a settings file with its header only",
         [this, &header] { WriteSettings(header); },
         {"--check"},
         Display::None,
         false,
         2,
         "",
         "the watch list has no pages"},
        {"a FIFO in place of the settings file",
         [this] {
             fs::create_directories(Folder());
             ASSERT_EQ(mkfifo(File().c_str(), 0600), 0);
         },
         {"--check"},
         Display::None,
         false,
         2,
         "",
         "it is not a regular file"},
        {"a damaged settings file",
         [this] {
             StoreList();
             std::ofstream(File(), std::ios::app) << "not a registry line\n";
         },
         {"--check"},
         Display::None,
         false,
         2,
         "",
         "is damaged (line "},
        {"a stored value of the wrong kind",
         [this] {
             StoreList();
             Set("URLs", "URL2", pw::platform::RegValue::Dword(7));
         },
         {"--check"},
         Display::None,
         false,
         2,
         "",
         "Invalid data type for 'URL2'"},
        {"the report to a full disk",
         [this] { StoreList(); },
         {"--check"},
         Display::None,
         true,
         2,
         "",
         "cannot write the report: No space left on device"},
        {"the usage to a full disk",
         [] {},
         {"--help"},
         Display::None,
         true,
         2,
         "",
         "cannot write the report: No space left on device"},
        {"the window without a display",
         [this] { StoreList(); },
         {},
         Display::None,
         false,
         2,
         "",
         "no display to show the window on (DISPLAY is not set); pagewarden --check checks the "
         "watch list without one"},
        {"an unknown option without a display",
         [] {},
         {"--chek"},
         Display::None,
         false,
         2,
         "",
         "unknown argument '--chek' (pagewarden --help shows the usage)"},
        {"an unknown option with a display",
         [] {},
         {"--verbose"},
         Display::Offscreen,
         false,
         2,
         "",
         "unknown argument '--verbose' (pagewarden --help shows the usage)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.path() / "config");
        c.setup();
        const auto before = Listing(dir.path() / "config");
        std::map<std::string, std::string> env = {
            {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
            {"XDG_CACHE_HOME", (dir.path() / "cache").string()},
            {"HOME", dir.path().string()},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"XDG_SESSION_TYPE", ""},
            {"QT_QPA_PLATFORM", c.display == Display::Offscreen ? "offscreen" : ""},
        };
        const Outcome run =
            RunProgram(c.args, env, c.toFullDisk ? "/dev/full" : dir / "out", dir / "err");
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.out.empty())
            EXPECT_EQ(run.out, "");
        else
            EXPECT_THAT(run.out, HasSubstr(c.out));
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_THAT(run.err, HasSubstr(c.err));
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        EXPECT_EQ(Listing(dir.path() / "config"), before) << "the settings folder changed";
        if (fs::exists(Folder())) fs::permissions(Folder(), fs::perms::owner_all);
    }
}

}  // namespace
