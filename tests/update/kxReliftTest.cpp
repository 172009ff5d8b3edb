// The self-update component against a real web server on 127.0.0.1 and a real "install" folder:
// the check, the download loop, what it leaves on disk, its failure paths and what it hands the
// file replacer. A stand-in replacer (a script that records what it was given) is embedded in
// this test; the real one is run by the end-to-end test.

#include "update/kxRelift.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

#include "framework/headless/HeadlessApplication.h"
#include "framework/headless/HeadlessControls.h"
#include "platform/native/NativeOs.h"
#include "tests/support/Eventually.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftVerify.h"
#include "update/kxReliftWizardForm.h"

// The stand-in replacer (tests/update/RecordingReplacer.sh) as "KXUPG".
const pw::platform::ResourceModule& RecordingReplacerResources();

namespace pw::update {
namespace {

namespace fs = std::filesystem;
using framework::DialogResult;
namespace mb = framework::mb;

const std::string kNewer = "#date=12/31/2099\r\n#message={Fixes.}\r\n";

class ReliftTest : public ::testing::Test {
  protected:
    ReliftTest() : tmpdir_{{"TMPDIR", temp.path().string()}} {
        SetMessageBase(wlEnglish);
        fs::create_directories(install.path() / "app");
        env.AppExeName = (install.path() / "app" / "Watcher.exe").string();
        env.AppFolder = (install.path() / "app" / "").string();
        std::ofstream(env.AppExeName) << "old program";
        auto& http = server.Http();
        http.Get(R"(/files/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string name = req.matches[1];
            if (name == "cut.bin") {
                // Announces more than it sends, then closes: a lost connection.
                res.set_content_provider(1000, "application/octet-stream",
                                         [](size_t, size_t, httplib::DataSink& sink) {
                                             sink.write("partial", 7);
                                             return false;
                                         });
                return;
            }
            const auto it = served.find(name);
            if (it == served.end()) {
                res.status = 404;
                return;
            }
            res.set_header("Last-Modified", "Tue, 15 Nov 1994 08:12:31 GMT");
            res.set_content(it->second, "application/octet-stream");
        });
        http.Get("/members/m.bin", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Authorization") == "Basic YW5uOnNlY3JldA==") {
                res.set_content("MEMBERS", "application/octet-stream");
                return;
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"Members\"");
        });
        http.Get("/info.txt", [this](const httplib::Request&, httplib::Response& res) {
            if (info.empty()) {
                res.status = 404;
                return;
            }
            res.set_content(info, "text/plain");
        });
        server.Start();
    }

    std::unique_ptr<TkxRelift> Make(std::vector<std::string> params = {},
                                    const platform::ResourceModule* resources = nullptr) {
        auto r = std::make_unique<TkxRelift>(TkxReliftServices{.app = app,
                                                               .internet = internet,
                                                               .env = env,
                                                               .resources = resources,
                                                               .params = std::move(params),
                                                               .publicKeyPem = {}});
        r->InfoFileURL = server.Url("/info.txt");
        r->VersionDate = "11/25/2008";
        r->Wizard().Enabled = false;
        r->ShowMessages = {};
        r->OnEndUpgrade = [this](TkxRelift&, bool& restart) {
            log.push_back("EndUpgrade");
            restart = restartAfterDownloads;
        };
        r->OnAborted = [this](TkxRelift&) { log.push_back("Aborted"); };
        r->OnFileDone = [this](TkxRelift&, const std::string& name) {
            log.push_back("FileDone " + fs::path(name).filename().string());
        };
        r->OnLostFile = [this](TkxRelift&, const std::string& url, std::int32_t code, bool&) {
            log.push_back("LostFile " + std::to_string(code) + " " + UrlToFileName(url));
        };
        r->OnConnLost = [this](TkxRelift&) { log.push_back("ConnLost"); };
        r->OnHostUnreachable = [this](TkxRelift&, const std::string&, const std::string& host) {
            log.push_back("HostUnreachable " + host);
        };
        return r;
    }

    // Serves the UI thread until the upgrade has ended: downloaded, aborted, stopped by a
    // failure, or the program closed for the restart.
    void RunUpgrade(TkxRelift& r) {
        r.CheckForUpdate(false);
        const auto over = [&] {
            if (log.empty()) return false;
            const std::string& last = log.back();
            return last == "EndUpgrade" || last == "Aborted" || last == "ConnLost" ||
                   last.starts_with("HostUnreachable");
        };
        for (int i = 0; i < 1500 && !over() && !app.Terminated(); ++i) {
            const framework::Signal never;
            app.WaitForSignalOrMessage(never, 10);
            app.ProcessMessages();
        }
        // The transfer a failure stopped ends on its worker; let it.
        for (int i = 0; i < 500 && r.IsRunning(); ++i) {
            const framework::Signal never;
            app.WaitForSignalOrMessage(never, 10);
            app.ProcessMessages();
        }
    }

    // The ".uTMP" files under the install and temp folders, relative and sorted.
    std::vector<std::string> TmpFiles() const {
        std::vector<std::string> found;
        for (const fs::path& root : {install.path(), temp.path()})
            for (const auto& e : fs::recursive_directory_iterator(root))
                if (e.path().extension() == ".uTMP")
                    found.push_back(fs::relative(e.path(), root).string());
        std::sort(found.begin(), found.end());
        return found;
    }

    std::string Url(const std::string& name) const { return server.Url("/files/" + name); }

    test::TempDir temp;
    test::TempDir install;
    test::ScopedEnv tmpdir_;
    platform::NativeOs native{{}};
    platform::NativeInternet internet;
    TkxEnvironment env{native.os()};
    framework::HeadlessApplication app;
    test::HttpTestServer server;
    std::string info;
    std::map<std::string, std::string> served;
    std::vector<std::string> log;
    bool restartAfterDownloads = false;
};

TEST_F(ReliftTest, TheCheckDecidesFromTheInformationFileAndReportsEachOutcome) {
    struct Case {
        const char* name;
        std::string file;  // empty: the server answers 404
        TkxReliftShowMessages show;
        bool update;
        std::string event;
        std::vector<std::string> boxes;  // text | caption | flags of each message box shown
    };
    const std::string caption = "Application update wizard";
    const std::vector<Case> cases = {
        {"newer",
         kNewer + "#url=http://h/a.dll\r\n",
         {mNoUpdateAvailable},
         true,
         "Begin Fixes. 1",
         {}},
        {"same date", "#date=11/25/2008\r\n#url=http://h/a.dll\r\n", {}, false, "NoUpdate", {}},
        {"newer, nothing listed", "#date=12/31/2099\r\n", {}, false, "NoUpdate", {}},
        {"none, shown",
         "#date=11/25/2008\r\n#url=http://h/a.dll\r\n",
         {mNoUpdateAvailable},
         false,
         "NoUpdate",
         {LoadMessageText(24) + "|" + caption + "|64"}},
        {"missing, shown",
         "",
         {mNoInfoFile},
         false,
         "NoInfoFile",
         {LoadMessageText(25) + "|" + caption + "|16"}},
        {"missing, silent", "", {}, false, "NoInfoFile", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        info = c.file;
        auto r = Make();
        r->ShowMessages = c.show;
        std::string event;
        r->OnBeginUpgrade = [&](TkxRelift&, std::string& msg, TvqUpgradeMethod,
                                const TkxStringList& files, bool&) {
            event = "Begin " + msg + " " + std::to_string(files.Count());
        };
        r->OnNoUpdateAvailable = [&](TkxRelift&) { event = "NoUpdate"; };
        r->OnNoInfoFile = [&](TkxRelift&) { event = "NoInfoFile"; };
        const std::size_t before = app.Dialogs().size();
        EXPECT_EQ(r->CheckForUpdate(true), c.update);
        EXPECT_EQ(event, c.event);
        std::vector<std::string> boxes;
        const auto dialogs = app.Dialogs();
        for (std::size_t i = before; i < dialogs.size(); ++i) {
            const auto& d = dialogs[i];
            boxes.push_back(d.text + "|" + d.caption + "|" + std::to_string(d.flags));
        }
        EXPECT_EQ(boxes, c.boxes);
        // A waiting check only looks.
        EXPECT_TRUE(TmpFiles().empty());
        EXPECT_EQ(r->CheckFailure(), c.file.empty() ? "HTTP 404" : "");
    }
}

TEST_F(ReliftTest, DownloadsEachFileBesideItsTargetAndHandsTheReplacerTheQueue) {
    served = {{"a.dll", "AAAA"}, {"b.dat", "BBBBBB"}, {"c.txt", "CC"}};
    // After "#url" the numbering goes on at 2.
    info = kNewer + "#url=" + Url("a.dll") + "\r\n#url2=" + Url("b.dat") + "=data\\b.dat\r\n" +
           "#url3=" + Url("c.txt") + "=%temp%c.txt\r\n";
    restartAfterDownloads = true;
    auto r = Make({}, &RecordingReplacerResources());
    std::vector<std::string> starts;
    r->OnFileStart = [&](TkxRelift&, const std::string& url, std::int64_t size, TDateTime time,
                         bool&) {
        // 34653 is 15 Nov 1994, the server's Last-Modified.
        starts.push_back(UrlToFileName(url) + " " + std::to_string(size) + " " +
                         std::to_string(static_cast<int>(time)));
    };
    RunUpgrade(*r);

    EXPECT_EQ(starts,
              (std::vector<std::string>{"a.dll 4 34653", "b.dat 6 34653", "c.txt 2 34653"}));
    EXPECT_EQ(log, (std::vector<std::string>{"FileDone a.dll.uTMP", "FileDone b.dat.uTMP",
                                             "FileDone c.txt.uTMP", "EndUpgrade"}));
    EXPECT_TRUE(r->Upgraded());
    EXPECT_TRUE(app.Terminated()) << "the program closes for the replacer";
    EXPECT_EQ(test::ReadFile(env.AppFolder + "a.dll.uTMP"), "AAAA");
    EXPECT_EQ(test::ReadFile(env.AppFolder + "data/b.dat.uTMP"), "BBBBBB");
    EXPECT_EQ(test::ReadFile(temp / "c.txt.uTMP"), "CC");
    EXPECT_LT(fs::last_write_time(env.AppFolder + "a.dll.uTMP"),
              fs::last_write_time(env.AppExeName) - std::chrono::hours(24 * 365));

    // The replacer got the program's path as an argument of its own and the queue of the files
    // that have targets, CR LF ended.
    const std::string handedOver = temp / "handed-over";
    ASSERT_TRUE(test::Eventually([&] { return fs::exists(handedOver); }));
    EXPECT_EQ(test::ReadFile(handedOver), "--program\n" + env.AppExeName + "\n/afterupgrade0\n" +
                                              env.AppFolder + "data/b.dat\r\n" + (temp / "c.txt") +
                                              "\r\n");
    const fs::perms bits = fs::status(temp / "Relift4.exe").permissions();
    EXPECT_NE(bits & fs::perms::owner_exec, fs::perms::none);
}

TEST_F(ReliftTest, EachFailureOfADownloadEndsAsDesignedAndLeavesNoPartialFile) {
    struct Case {
        const char* name;
        std::vector<std::string> urls;  // "name" or "name=target" under /files/
        TkxReliftShowMessages show;
        std::vector<DialogResult> answers;
        std::vector<std::string> log;
        std::vector<std::string> tmpFiles;  // left behind
        std::vector<std::string> boxes;     // caption | flags
        std::function<void(TkxRelift&)> setup = {};
    };
    const int warn = mb::kYesNo | mb::kIconWarning | mb::kSystemModal;
    served = {
        {"a.dll", "AAAA"}, {"b.dat", "BBBBBB"}, {"same.bin", "SAME"}, {"Watcher.exe", "NEW!"}};
    const std::vector<Case> cases = {
        {"404, skipped",
         {"gone.dll", "a.dll"},
         {mLostFile},
         {DialogResult::Yes},
         {"LostFile 404 gone.dll", "FileDone a.dll.uTMP", "EndUpgrade"},
         {"app/a.dll.uTMP"},
         {"Error #404|" + std::to_string(warn)}},
        {"404, aborted",
         {"a.dll", "gone.dll", "b.dat=%temp%b.dat"},
         {mLostFile},
         {DialogResult::No},
         {"FileDone a.dll.uTMP", "LostFile 404 gone.dll", "Aborted"},
         {},
         {"Error #404|" + std::to_string(warn)}},
        {"404, silent: aborted",
         {"gone.dll"},
         {},
         {},
         {"LostFile 404 gone.dll", "Aborted"},
         {},
         {}},
        {"connection lost",
         {"a.dll", "cut.bin"},
         {mConnLost},
         {},
         {"FileDone a.dll.uTMP", "ConnLost"},
         {"app/a.dll.uTMP"},
         {"|16"}},
        {"host unreachable",
         {"a.dll", "http://127.0.0.1:1/x.bin"},
         {mHostUnreachable},
         {},
         {"FileDone a.dll.uTMP", "HostUnreachable 127.0.0.1"},
         {"app/a.dll.uTMP"},
         {"|16"}},
        {"size rule: same size skipped, the program never",
         {"same.bin", "Watcher.exe=WATCHER.EXE"},
         {},
         {},
         {"FileDone WATCHER.EXE.uTMP", "EndUpgrade"},
         {"app/WATCHER.EXE.uTMP"},
         {},
         [this](TkxRelift& r) {
             r.MiscFilesUpgrade = mfuOnlyIfSizeDifferent;
             std::ofstream(env.AppFolder + "same.bin") << "SAME";
             std::ofstream(env.AppFolder + "WATCHER.EXE") << "OLD!";
         }},
        {"declined by OnFileStart",
         {"a.dll", "b.dat"},
         {},
         {},
         {"FileDone b.dat.uTMP", "EndUpgrade"},
         {"app/b.dat.uTMP"},
         {},
         [](TkxRelift& r) {
             r.OnFileStart = [](TkxRelift&, const std::string& url, std::int64_t, TDateTime,
                                bool& go) { go = UrlToFileName(url) != "a.dll"; };
         }},
        {"digest differs",
         {"a.dll", "b.dat"},
         {mLostFile},
         {DialogResult::Yes},
         {"LostFile 0 a.dll", "FileDone b.dat.uTMP", "EndUpgrade"},
         {"app/b.dat.uTMP"},
         {"Error #0|" + std::to_string(warn)},
         [this](TkxRelift&) { info += "#sha256=" + std::string(64, 'a') + "\r\n"; }},
        {"password from the handler",
         {server.Url("/members/m.bin")},
         {mPasswordRequest},
         {},
         {"FileDone m.bin.uTMP", "EndUpgrade"},
         {"app/m.bin.uTMP"},
         {},
         [](TkxRelift& r) {
             r.OnPasswordRequest = [](TkxRelift& s, const std::string& realm, bool& again) {
                 s.SetHTTPLogin("ann", "secret");
                 again = realm == "Members";
             };
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        fs::remove_all(install.path() / "app" / "data");
        for (const auto& e : fs::directory_iterator(env.AppFolder))
            if (e.path() != env.AppExeName) fs::remove(e.path());
        for (const auto& e : fs::directory_iterator(temp.path()))
            fs::remove_all(e.path());
        info = kNewer;
        for (std::size_t i = 0; i < c.urls.size(); ++i) {
            const std::string& u = c.urls[i];
            info += "#url" + (i ? std::to_string(i + 1) : std::string()) + "=" +
                    (u.starts_with("http") ? u : Url(u)) + "\r\n";
        }
        auto r = Make();
        r->ShowMessages = c.show;
        if (c.setup) c.setup(*r);
        for (DialogResult a : c.answers)
            app.QueueDialogAnswer(a);
        const std::size_t before = app.Dialogs().size();
        RunUpgrade(*r);

        EXPECT_EQ(log, c.log);
        EXPECT_EQ(TmpFiles(), c.tmpFiles);
        std::vector<std::string> boxes;
        const auto dialogs = app.Dialogs();
        for (std::size_t i = before; i < dialogs.size(); ++i) {
            const auto& d = dialogs[i];
            boxes.push_back((d.caption.starts_with("Error") ? d.caption : "") + "|" +
                            std::to_string(d.flags));
        }
        EXPECT_EQ(boxes, c.boxes);
    }
}

// With the progress window: the downloads write its fields, and the upgrade waits after the last
// one until the window closes: OK restarts, the close box answered Yes aborts instead.
TEST_F(ReliftTest, TheProgressWindowShowsTheDownloadsAndItsCloseDecidesTheRestart) {
    served = {{"a.dll", "AAAA"}, {"b.dat", "BBBBBB"}};
    info = kNewer + "#url=" + Url("a.dll") + "\r\n#url2=" + Url("b.dat") + "\r\n";
    // The program's own window comes first: closing the progress window must not end the program.
    const std::unique_ptr<framework::IForm> mainWindow = app.CreateForm();
    for (const bool finish : {true, false}) {
        SCOPED_TRACE(finish ? "OK" : "close box, Yes");
        log.clear();
        for (const auto& e : fs::directory_iterator(env.AppFolder))
            if (e.path() != env.AppExeName) fs::remove(e.path());
        auto r = Make();
        r->Wizard().Enabled = true;
        std::vector<std::string> seen;
        r->OnFileDone = [&](TkxRelift&, const std::string&) {
            TkxReliftWizardForm* w = kxReliftWizardForm();
            ASSERT_NE(w, nullptr);
            seen.push_back(w->FileURL.Text() + " | " + w->AllDownloading.Caption() + " | " +
                           w->LFileSize.Caption());
            if (r->CurrentIndex() + 1 < r->Files().Count()) return;
            // Runs inside the wait that follows the last download.
            app.Post([this, finish] {
                TkxReliftWizardForm* form = kxReliftWizardForm();
                if (!form || !form->FinishBtn.Enabled()) return log.push_back("not completed");
                auto& headless = static_cast<framework::HeadlessForm&>(form->Form());
                if (finish) {
                    headless.Find<framework::HeadlessButton>("FinishBtn")->Click();
                } else {
                    app.QueueDialogAnswer(DialogResult::Yes);
                    headless.UserCloseBox();
                }
            });
        };
        RunUpgrade(*r);
        EXPECT_EQ(seen, (std::vector<std::string>{
                            Url("a.dll") + " | Downloading 1 of 2 | File size: 0.0 Kb",
                            Url("b.dat") + " | Downloading 2 of 2 | File size: 0.0 Kb"}));
        EXPECT_EQ(log, (std::vector<std::string>{finish ? "EndUpgrade" : "Aborted"}));
        EXPECT_EQ(kxReliftWizardForm(), nullptr);
        EXPECT_EQ(TmpFiles().size(), finish ? 2u : 0u);
    }
}

TEST_F(ReliftTest, AReplacerThatCannotBeWrittenKeepsTheProgramOpenAndTheDownloads) {
    served = {{"a.dll", "AAAA"}};
    info = kNewer + "#url=" + Url("a.dll") + "\r\n";
    restartAfterDownloads = true;
    auto r = Make({}, nullptr);  // a program that carries no replacer
    RunUpgrade(*r);

    EXPECT_FALSE(app.Terminated());
    EXPECT_EQ(TmpFiles(), (std::vector<std::string>{"app/a.dll.uTMP"}));
    ASSERT_FALSE(app.Dialogs().empty());
    EXPECT_NE(app.Dialogs().back().text.find("cannot be installed"), std::string::npos);
    EXPECT_EQ(app.Dialogs().back().flags, mb::kIconStop);

    // A temp folder that cannot take the replacer says so too (root writes anywhere).
    if (geteuid() == 0) return;
    fs::permissions(temp.path(), fs::perms::owner_read | fs::perms::owner_exec);
    auto other = Make({}, &RecordingReplacerResources());
    other->RestartApplication("/afterupgrade0");
    fs::permissions(temp.path(), fs::perms::owner_all);
    EXPECT_FALSE(app.Terminated());
    EXPECT_NE(app.Dialogs().back().text.find("cannot be written"), std::string::npos);
}

TEST_F(ReliftTest, AutomaticCheckRunsOnlyWithAnAddressAndAFolderItCanInstallInto) {
    struct Case {
        const char* name;
        std::string url;
        bool writable;
        std::int32_t delay;
        bool armed;
    };
    const std::vector<Case> cases = {
        {"configured", "http://127.0.0.1:1/info.txt", true, 10000, true},
        {"no address", "", true, 10000, false},
        {"read-only program folder", "http://127.0.0.1:1/info.txt", false, 10000, false},
        {"no delay", "http://127.0.0.1:1/info.txt", true, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.writable && geteuid() == 0) continue;  // root writes anywhere
        fs::permissions(env.AppFolder, c.writable ? fs::perms::owner_all
                                                  : fs::perms::owner_read | fs::perms::owner_exec);
        auto r = Make();
        r->InfoFileURL = c.url;
        r->AutoCheckDelay = c.delay;
        r->SetAutoCheck(true);
        EXPECT_EQ(r->AutoCheckTimerArmed(), c.armed);
        r->SetAutoCheck(false);
        EXPECT_FALSE(r->AutoCheckTimerArmed());
        fs::permissions(env.AppFolder, fs::perms::owner_all);
    }
}

TEST_F(ReliftTest, AfterRestartFiresOnlyForTheRestartParametersExactly) {
    struct Case {
        std::vector<std::string> params;
        std::string restartParams;
        bool fires;
    };
    const std::vector<Case> cases = {
        {{"/afterupgrade"}, "/afterupgrade", true},
        {{"/AfterUpgrade"}, "/afterupgrade", false},
        {{"/afterupgrade", "x"}, "/afterupgrade", true},
        {{}, "/afterupgrade", false},
        // An empty RestartParams is kept as a blank; the replacer then passes no parameter.
        {{}, "", false},
        {{"--mine"}, "--mine", true},
    };
    for (const Case& c : cases) {
        auto r = Make(c.params);
        r->SetRestartParams(c.restartParams);
        bool fired = false;
        r->OnAfterRestart = [&](TkxRelift&) { fired = true; };
        r->Loaded();
        EXPECT_EQ(fired, c.fires) << c.restartParams;
    }
    auto r = Make();
    r->SetRestartParams("");
    EXPECT_EQ(r->RestartParams(), " ");
}

}  // namespace
}  // namespace pw::update
