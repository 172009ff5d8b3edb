#include "update/replacer/Replacer.h"

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

TEST(ReplacerArgs, CommandLineForms) {
    struct Case {
        std::vector<std::string> args;
        std::string path;
        std::string params;
        bool externalSetup;
    };
    const Case cases[] = {
        // The joined form: blanks in the path survive as single blanks.
        {{"/opt/my", "app/pw", "+/afterupgrade0"}, "/opt/my app/pw", "/afterupgrade", false},
        {{"/opt/pw +/afterupgrade", "-x1"}, "/opt/pw", "/afterupgrade -x", true},
        {{"/opt/pw", "+0"}, "/opt/pw", "", false},
        // Only the first "+" splits; later ones belong to the parameters.
        {{"/opt/pw", "+a+b1"}, "/opt/pw", "a+b", true},
        {{"/opt/pw0"}, "/opt/pw", "", false},
        // The path as its own argument keeps double blanks and "+".
        {{"--program", "/opt/a  b+c/pw", "/afterupgrade0"},
         "/opt/a  b+c/pw",
         "/afterupgrade",
         false},
        {{"--program", "/opt/pw", "-a", "+b1"}, "/opt/pw", "-a +b", true},
        {{"--program", "/opt/pw", "0"}, "/opt/pw", "", false},
        {{"--program", "/opt/pw"}, "/opt/pw", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " ... " + c.args.back());
        const auto parsed = ParseReplacerArgs(c.args);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->programPath, c.path);
        EXPECT_EQ(parsed->restartParams, c.params);
        EXPECT_EQ(parsed->externalSetup, c.externalSetup);
    }
    EXPECT_FALSE(ParseReplacerArgs({}).has_value());
}

TEST(ReplacerArgs, FoldersAndQueue) {
    EXPECT_EQ(TempFolderFrom(""), "/tmp/");
    EXPECT_EQ(TempFolderFrom("/var/t"), "/var/t/");
    EXPECT_EQ(TempFolderFrom("/var/t/"), "/var/t/");
    EXPECT_EQ(FolderOf("/opt/a b/pw"), "/opt/a b/");
    EXPECT_EQ(FileNameOf("/opt/a b/pw"), "pw");

    const auto moves = QueueMoves("/a/x.dat\r\n/b c/y\r\n\r\n/z\n");
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].from, "/a/x.dat.uTMP");
    EXPECT_EQ(moves[0].to, "/a/x.dat");
    EXPECT_EQ(moves[1].from, "/b c/y.uTMP");
    EXPECT_EQ(moves[1].to, "/b c/y");
    EXPECT_EQ(moves[2].to, "/z");
    EXPECT_TRUE(QueueMoves("").empty());
}

TEST(ReplacerPlan, SweepRules) {
    struct Case {
        const char* what;
        bool externalSetup;
        bool sameName;
        std::vector<std::string> names;
        std::vector<std::string> targets;  // in move order, folder left out
        std::string start;
        std::string afterSetup;
    };
    const Case cases[] = {
        {"a new program under another name replaces the running one",
         false,
         false,
         {"notes.txt", "pw2.exe.uTMP", "help.txt.uTMP"},
         {"pw", "help.txt"},
         "pw",
         ""},
        {"only the first listed exe takes the program's name",
         false,
         false,
         {"b.exe.uTMP", "a.exe.uTMP"},
         {"pw", "a.exe"},
         "pw",
         ""},
        {"a copy under the program's own name: every file keeps its name",
         false,
         true,
         {"pw2.exe.uTMP", "pw.uTMP"},
         {"pw2.exe", "pw"},
         "pw",
         ""},
        {"exe must be lowercase", false, false, {"tool.EXE.uTMP"}, {"tool.EXE"}, "pw", ""},
        {"external setup starts the first exe, the program after it",
         true,
         false,
         {"data.uTMP", "setup.exe.uTMP", "other.exe.uTMP"},
         {"data", "setup.exe", "other.exe"},
         "setup.exe",
         "pw"},
        {"external setup without an exe starts only the program",
         true,
         false,
         {"data.uTMP"},
         {"data"},
         "pw",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ReplacerArgs args{"/opt/p w/pw", "/afterupgrade", c.externalSetup};
        const SweepPlan plan = PlanSweep(args, c.names, c.sameName);
        std::vector<std::string> targets;
        for (const Move& m : plan.moves) {
            ASSERT_EQ(m.from.rfind("/opt/p w/", 0), 0u);
            ASSERT_EQ(m.from.substr(m.from.size() - 5), ".uTMP");
            targets.push_back(m.to.substr(9));
        }
        EXPECT_EQ(targets, c.targets);
        EXPECT_EQ(plan.start, "/opt/p w/" + c.start);
        EXPECT_EQ(plan.programAfterSetup, c.afterSetup.empty() ? "" : "/opt/p w/" + c.afterSetup);
        for (const Move& m : plan.moves) {
            EXPECT_EQ(m.runnable, m.to == "/opt/p w/pw" || m.to == plan.start) << m.to;
        }
    }
}

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
