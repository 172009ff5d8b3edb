#include "update/replacer/Replacer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    struct Case {
        std::string path, folder, name;
    };
    const Case paths[] = {
        {"/opt/a b/pw", "/opt/a b/", "pw"},
        {"pw", "", "pw"},
#ifdef _WIN32
        {"C:\\Program Files\\pw.exe", "C:\\Program Files\\", "pw.exe"},
        {"C:\\a/b\\pw.exe", "C:\\a/b\\", "pw.exe"},
        {"C:pw.exe", "C:", "pw.exe"},
#else
        {"/opt/a\\b", "/opt/", "a\\b"},  // a backslash is part of a Linux name
#endif
    };
    for (const Case& c : paths) {
        EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
    }
#ifdef _WIN32
    EXPECT_EQ(TempFolderFrom(""), "");
    EXPECT_EQ(TempFolderFrom("C:\\Temp"), "C:\\Temp\\");
    EXPECT_EQ(TempFolderFrom("C:\\Temp\\"), "C:\\Temp\\");
#else
    EXPECT_EQ(TempFolderFrom(""), "/tmp/");
    EXPECT_EQ(TempFolderFrom("/var/t"), "/var/t/");
#endif
    EXPECT_EQ(TempFolderFrom("/var/t/"), "/var/t/");

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

}  // namespace
}  // namespace pw::update::replacer
