// The Windows program as a user starts it: pagewarden.exe --check over the watch list stored in
// the real registry (the build's own Wine prefix), and over one page given on the command line.
// One test, so no two runs share the registry key at the same time.

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "monitor/Unit1.h"
#include "platform/native/NativeOs.h"
#include "platform/win32/Win32Shell.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"

namespace {

using pw::platform::RegRoot;
using pw::platform::RegStatus;
using pw::platform::RegValue;

struct Outcome {
    DWORD status = 0;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class File {
  public:
    explicit File(const std::string& path) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~File() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// Runs the program with its output in files, and waits for it (a minute at most).
Outcome RunProgram(const pw::test::TempDir& dir, const std::vector<std::string>& args) {
    const std::string outPath = dir / "out.txt";
    const std::string errPath = dir / "err.txt";
    Outcome outcome;
    {
        const File out(outPath);
        const File err(errPath);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        std::string command = pw::platform::win32::Win32Shell::CommandLine(PW_PROGRAM, args);
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process)) {
            ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
            return outcome;
        }
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0) << command;
        GetExitCodeProcess(process.hProcess, &outcome.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    outcome.out = Slurp(outPath);
    outcome.err = Slurp(errPath);
    return outcome;
}

TEST(CheckerProgram, ChecksTheListInTheRegistryAndOnePageGivenOnTheCommandLine) {
    pw::test::TempDir dir;
    pw::test::HttpTestServer site;
    site.Http().Get("/instock", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<p>In stock</p>", "text/html");
    });
    site.Start();

    pw::platform::NativeOs os;  // no folder: the real registry
    pw::platform::IRegistry& registry = os.os().registry;
    const std::string key(pw::monitor::kSettingsKey);
    registry.DeleteKey(RegRoot::CurrentUser, key);
    const auto store = [&](const std::string& section, const std::string& name,
                           const RegValue& value) {
        ASSERT_EQ(registry.OpenKey(RegRoot::CurrentUser, key + "\\" + section, true),
                  RegStatus::Ok);
        ASSERT_EQ(registry.SetValue(RegRoot::CurrentUser, key + "\\" + section, name, value),
                  RegStatus::Ok);
    };

    struct Case {
        const char* what;
        std::vector<std::string> args;
        DWORD status;
        std::string out;
        std::string err;
    };
    const std::string ok = site.Url("/instock");
    const std::string gone = site.Url("/gone");
    const std::vector<Case> before = {
        {"no stored list",
         {"--check"},
         2,
         "",
         "pagewarden: no watch list at HKEY_CURRENT_USER\\" + key +
             " (add pages in the window and Save, or use --url)\n"},
        {"no window on Windows",
         {},
         2,
         "",
         "pagewarden: this build has no window; pagewarden --check checks the watch list "
         "(pagewarden --help shows how)\n"},
        {"one page, text present",
         {"--check", "--url", ok, "--text", "In stock"},
         0,
         "1\tok\tabsence\t" + ok + "\t\n",
         ""},
        {"one page, alarm on presence",
         {"--check", "--url", ok, "--text", "In stock", "--presence"},
         1,
         "1\tALARM\tpresence\t" + ok + "\t\n",
         ""},
    };
    for (const Case& c : before) {
        const Outcome run = RunProgram(dir, c.args);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_EQ(run.out, c.out) << c.what;
        EXPECT_EQ(run.err, c.err) << c.what;
    }

    // As the window's Save writes it: rows 1 and 3 watched, row 3's page gone.
    store("URLs", "URL1", RegValue::Text(ok));
    store("Search", "Search1", RegValue::Text("In stock"));
    store("Logic", "logic1", RegValue::Dword(0));
    store("URLs", "URL3", RegValue::Text(gone));
    store("Search", "Search3", RegValue::Text("In stock"));
    store("Logic", "logic3", RegValue::Dword(0));
    const Outcome stored = RunProgram(dir, {"--check"});
    EXPECT_EQ(stored.status, 1u);
    EXPECT_EQ(stored.out,
              "1\tok\tabsence\t" + ok + "\t\n3\tALARM\tabsence\t" + gone + "\tHTTP 404\n");
    EXPECT_EQ(stored.err, "");

    EXPECT_EQ(registry.DeleteKey(RegRoot::CurrentUser, key), RegStatus::Ok);
}

}  // namespace
