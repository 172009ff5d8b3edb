// The headless checker: its command line, its report and exit status, and whole runs against
// pages served on 127.0.0.1 with real settings: on Linux a file in a temporary XDG_CONFIG_HOME,
// on Windows a private registry.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/Checker.h"
#include "monitor/Unit1.h"
#include "platform/native/NativeOs.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"

namespace {

using pw::app::CheckerArgs;
using pw::app::RowReport;
using pw::app::Verdict;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::optional<CheckerArgs> Parse(std::vector<std::string> args, std::string* error = nullptr) {
    std::string e;
    auto parsed = pw::app::ParseCheckerArgs(args, e);
    if (error) *error = e;
    return parsed;
}

TEST(CheckerArgs, AcceptedCommandLines) {
    auto stored = Parse({"--check"});
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->mode, CheckerArgs::Mode::Stored);

    auto single = Parse({"--check", "--url", "http://a/", "--text", "Sold out"});
    ASSERT_TRUE(single);
    EXPECT_EQ(single->mode, CheckerArgs::Mode::Single);
    EXPECT_EQ(single->url, "http://a/");
    EXPECT_EQ(single->text, "Sold out");
    EXPECT_FALSE(single->presence);

    // Any order, the "=" form, --presence; a value is taken verbatim, even one that looks like
    // an option or is empty (an empty text is always found).
    auto mixed = Parse({"--presence", "--text=--check", "--url=http://b/?q=1", "--check"});
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->url, "http://b/?q=1");
    EXPECT_EQ(mixed->text, "--check");
    EXPECT_TRUE(mixed->presence);
    auto help_as_text = Parse({"--check", "--url", "u", "--text", "--help"});
    ASSERT_TRUE(help_as_text);
    EXPECT_EQ(help_as_text->text, "--help");
    auto empty_text = Parse({"--check", "--url", "u", "--text", ""});
    ASSERT_TRUE(empty_text);
    EXPECT_EQ(empty_text->text, "");

    auto help = Parse({"--check", "--help"});
    ASSERT_TRUE(help);
    EXPECT_EQ(help->mode, CheckerArgs::Mode::Help);
}

TEST(CheckerArgs, RejectedCommandLinesSayWhy) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "--check is missing"},
        {{"--url", "u", "--text", "t"}, "--check is missing"},
        {{"--check", "--verbose"}, "unknown argument '--verbose'"},
        {{"--check", "u"}, "unknown argument 'u'"},
        {{"--check", "--url"}, "--url needs a value"},
        {{"--check", "--url", "u"}, "--url needs --text"},
        {{"--check", "--url", "", "--text", "t"}, "--url needs a URL"},
        {{"--check", "--text", "t"}, "--text needs --url"},
        {{"--check", "--presence"}, "--presence needs --url"},
        {{"--check", "--url", "u", "--url=v", "--text", "t"}, "--url is given twice"},
    };
    for (const auto& [args, why] : cases) {
        std::string error;
        EXPECT_FALSE(Parse(args, &error)) << why;
        EXPECT_EQ(error, why);
    }
}

TEST(CheckerReport, LinesAndExitStatus) {
    EXPECT_EQ(pw::app::FormatRow({3, Verdict::Alarm, false, "http://a/", ""}),
              "3\tALARM\tabsence\thttp://a/\t\n");
    EXPECT_EQ(pw::app::FormatRow({20, Verdict::CouldNotCheck, true, "http://b/", "HTTP 404"}),
              "20\terror\tpresence\thttp://b/\tHTTP 404\n");
    EXPECT_EQ(pw::app::FormatRow({2, Verdict::None, false, "http://b/", "not checked"}),
              "2\terror\tabsence\thttp://b/\tnot checked\n");
    // A hand-edited URL with a tab or a line break must not break the line into more columns
    // or more lines.
    EXPECT_EQ(pw::app::FormatRow({1, Verdict::Ok, false, "http://a/\tb\nc", "x\ry"}),
              "1\tok\tabsence\thttp://a/ b c\tx y\n");

    const RowReport ok{1, Verdict::Ok, false, "u", ""};
    const RowReport alarm{2, Verdict::Alarm, false, "u", ""};
    const RowReport error{3, Verdict::CouldNotCheck, true, "u", "HTTP 500"};
    const RowReport unchecked{4, Verdict::None, true, "u", "not checked"};
    EXPECT_EQ(pw::app::ExitStatusOf(std::vector{ok, ok}), 0);
    EXPECT_EQ(pw::app::ExitStatusOf(std::vector{ok, error}), 3);
    EXPECT_EQ(pw::app::ExitStatusOf(std::vector{unchecked, ok}), 3);
    EXPECT_EQ(pw::app::ExitStatusOf(std::vector{error, alarm, ok}), 1);
    EXPECT_EQ(pw::app::ExitStatusOf(std::vector{alarm, error}), 1);
}

// --- whole runs ---

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Drain(std::FILE* f) {
    std::string s;
    std::rewind(f);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        s.append(buffer, n);
    std::fclose(f);
    return s;
}

class CheckerRun : public ::testing::Test {
  protected:
    CheckerRun() {
#ifdef _WIN32
        // The default is the user's own registry: a test keeps to a private one.
        setup_.configFolder = ConfigFolder();
#endif
        std::filesystem::create_directories(dir.path() / "bin");
        server.Http().Get("/instock", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<p>Gr\xc3\xb6\xc3\x9f"
                "e M: In stock</p>",
                "text/html");
        });
        server.Http().Get("/soldout", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<p>Gr\xc3\xb6\xc3\x9f"
                "e M: Sold out</p>",
                "text/html");
        });
        server.Start();
    }

    // A path below the test's folder in the system's own delimiters, as the checker builds them.
    std::string At(const std::string& relative) const {
        return (dir.path() / relative).make_preferred().string();
    }
    std::filesystem::path ConfigFolder() const {
        return dir.path() / "config" / "pagewarden";
    }
    // Where the checker says the watch list is.
    std::string WatchListPlace() const {
#ifdef _WIN32
        return "HKEY_CURRENT_USER\\" + std::string(pw::monitor::kSettingsKey);
#else
        return At("config/pagewarden/HKCU.reg");
#endif
    }

    // Row k of the stored watch list, written as the window's Save writes it.
    void StoreRow(int k, const std::string& url, const std::string& text, std::uint32_t logic) {
        Set("URLs", "URL" + std::to_string(k), pw::platform::RegValue::Text(url));
        Set("Search", "Search" + std::to_string(k), pw::platform::RegValue::Text(text));
        Set("Logic", "logic" + std::to_string(k), pw::platform::RegValue::Dword(logic));
    }
    void Set(const std::string& section, const std::string& name,
             const pw::platform::RegValue& value) {
        pw::platform::NativeOs native({ConfigFolder(), [](const std::string&) {}});
        pw::platform::IRegistry& store = native.os().registry;
        const std::string key = std::string(pw::monitor::kSettingsKey) + "\\" + section;
        ASSERT_EQ(store.OpenKey(pw::platform::RegRoot::CurrentUser, key, true),
                  pw::platform::RegStatus::Ok);
        ASSERT_EQ(store.SetValue(pw::platform::RegRoot::CurrentUser, key, name, value),
                  pw::platform::RegStatus::Ok);
    }

    // layout: where the program was installed to; by default it runs from dir/bin as from a
    // build folder.
    Outcome Check(std::vector<std::string> args, const pw::TkxInstallLayout& layout = {}) {
        args.insert(args.begin(), "pagewarden");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Outcome run;
        pw::app::CheckerSetup setup = setup_;
        setup.appExeName = At("bin/pagewarden");
        setup.layout = layout;
        run.status =
            pw::app::RunChecker(static_cast<int>(args.size()), argv.data(), out, err, setup);
        run.out = Drain(out);
        run.err = Drain(err);
        return run;
    }

    pw::test::TempDir dir;
    pw::test::HttpTestServer server;
    // Nothing listens on port 1 of the loopback: the connection is refused at once.
    const std::string deadUrl = "http://127.0.0.1:1/";

  private:
    const pw::test::ScopedEnv config_{{"XDG_CONFIG_HOME", At("config")}};
    pw::app::CheckerSetup setup_;
};

TEST_F(CheckerRun, StoredWatchListReportsEveryWatchedRow) {
    StoreRow(1, server.Url("/instock"), "In stock", 0);  // there: fine
    StoreRow(3, server.Url("/soldout"), "In stock", 0);  // missing: alarm
    StoreRow(4, server.Url("/soldout"),
             "Gr\xc3\xb6\xc3\x9f"
             "e M: Sold",
             1);                                         // there: alarm
    StoreRow(6, server.Url("/gone"), "x", 1);            // 404 under presence: error
    StoreRow(7, deadUrl, "x", 0);                        // unreachable under absence: alarm
    StoreRow(9, server.Url("/instock"), "IN STOCK", 1);  // case counts: not there, fine
    StoreRow(12, "", "ignored", 0);                      // not watched

    const Outcome run = Check({"--check"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    // Row 7's reason comes from the network layer: any, as long as there is one.
    const std::string seven = "7\tALARM\tabsence\t" + deadUrl + "\t";
    const auto at = run.out.find("\n" + seven);
    ASSERT_NE(at, std::string::npos) << run.out;
    const auto from = at + 1 + seven.size();
    const std::string reason = run.out.substr(from, run.out.find('\n', from) - from);
    EXPECT_THAT(reason, Not(IsEmpty()));
    EXPECT_EQ(run.out, "1\tok\tabsence\t" + server.Url("/instock") + "\t\n" +
                           "3\tALARM\tabsence\t" + server.Url("/soldout") + "\t\n" +
                           "4\tALARM\tpresence\t" + server.Url("/soldout") + "\t\n" +
                           "6\terror\tpresence\t" + server.Url("/gone") + "\tHTTP 404\n" + seven +
                           reason + "\n" + "9\tok\tpresence\t" + server.Url("/instock") + "\t\n");
    // The verdicts were reached in memory, and the page still went to the scratch file.
    EXPECT_THAT(pw::test::ReadFile(dir / "bin/url2.htm"), HasSubstr("In stock"));
}

TEST_F(CheckerRun, OnePageFromTheCommandLineReadsNoSettings) {
    StoreRow(1, server.Url("/soldout"), "In stock", 0);  // would alarm if it were read

    Outcome run = Check({"--check", "--url", server.Url("/soldout"), "--text", "Sold out"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1\tok\tabsence\t" + server.Url("/soldout") + "\t\n");

    run = Check({"--check", "--url", server.Url("/soldout"), "--text", "Sold out", "--presence"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "1\tALARM\tpresence\t" + server.Url("/soldout") + "\t\n");

    run = Check({"--check", "--presence", "--url", deadUrl, "--text", "x"});
    EXPECT_EQ(run.status, 3);
    EXPECT_THAT(run.out, ::testing::StartsWith("1\terror\tpresence\t" + deadUrl + "\t"));

    // A URL of blanks is watched and fails as a fetch, not as the checker.
    run = Check({"--check", "--url", "   ", "--text", "x"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, ::testing::StartsWith("1\tALARM\tabsence\t   \t"));
}

TEST_F(CheckerRun, CannotRunWithoutAUsableWatchList) {
    // No settings file at all.
    Outcome run = Check({"--check"});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.out, IsEmpty());
    EXPECT_THAT(run.err, HasSubstr("no watch list at " + WatchListPlace()));

    // Settings without a watched row.
    Set("Timer", "Duration", pw::platform::RegValue::Dword(5));
    run = Check({"--check"});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.out, IsEmpty());
    EXPECT_THAT(run.err, HasSubstr("no pages"));

    // A value of the wrong kind: the window's own load message.
    StoreRow(1, server.Url("/instock"), "In stock", 0);
    Set("URLs", "URL2", pw::platform::RegValue::Dword(7));
    run = Check({"--check"});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.out, IsEmpty());
    EXPECT_THAT(run.err, HasSubstr("Invalid data type for 'URL2'"));
}

// The registry cannot be damaged as a settings file can.
#ifndef _WIN32
TEST_F(CheckerRun, DamagedSettingsFileStopsTheCheck) {
    StoreRow(1, server.Url("/instock"), "In stock", 0);
    std::string text = pw::test::ReadFile(WatchListPlace());
    ASSERT_FALSE(text.empty());
    text += "this line is not a registry line\n";
    dir.Write("config/pagewarden/HKCU.reg", text);

    const Outcome run = Check({"--check"});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.out, IsEmpty());
    EXPECT_THAT(run.err, HasSubstr("damaged"));
}
#endif

TEST_F(CheckerRun, BadArgumentsAndHelp) {
    Outcome run = Check({"--check", "--url", server.Url("/instock")});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.out, IsEmpty());
    EXPECT_THAT(run.err, HasSubstr("--url needs --text"));
    EXPECT_THAT(run.err, HasSubstr("--help"));

    run = Check({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, HasSubstr("--check --url URL --text TEXT [--presence]"));
    EXPECT_THAT(run.out, HasSubstr("Exit status"));
    EXPECT_EQ(run.err, "");
}

TEST_F(CheckerRun, TheUsageSaysWhereHelpFindsTheGuide) {
    const pw::TkxInstallLayout installed{At("bin"), At("share/doc/pagewarden")};
    std::filesystem::create_directories(dir.path() / "share/doc/pagewarden");
    const std::string beside = At("bin/pagewarden.pdf");
    const std::string inDoc = At("share/doc/pagewarden/pagewarden.pdf");
    struct Case {
        bool installed;
        std::string guideAt;
        std::string said;
    } const cases[] = {
        {false, beside, "\nThe user guide (Help in the window): " + beside + "\n"},
        {false, inDoc, "\nThe user guide is missing (looked for " + beside + ").\n"},
        {true, inDoc, "\nThe user guide (Help in the window): " + inDoc + "\n"},
        {true, "", "\nThe user guide is missing (looked for " + beside + " or " + inDoc + ").\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(beside);
        std::filesystem::remove(inDoc);
        if (!c.guideAt.empty()) std::ofstream(c.guideAt) << "%PDF-1.4";
        const Outcome run = Check({"--help"}, c.installed ? installed : pw::TkxInstallLayout{});
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out.ends_with(c.said)) << run.out;
    }
}

TEST_F(CheckerRun, AnInstalledCheckerLeavesNothingBesideItself) {
    const pw::test::ScopedEnv cache({{"XDG_CACHE_HOME", dir / "cache"}});
    const Outcome run = Check({"--check", "--url", server.Url("/instock"), "--text", "In stock"},
                              {At("bin"), At("share/doc/pagewarden")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(pw::test::ReadFile(dir / "cache/pagewarden/url2.htm"), HasSubstr("In stock"));
    EXPECT_EQ(std::vector<std::filesystem::path>(
                  std::filesystem::directory_iterator(dir.path() / "bin"), {}),
              std::vector<std::filesystem::path>{});
}

}  // namespace
