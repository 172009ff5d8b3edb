// The main window on the headless back end: its controls, the check cycle in virtual minutes,
// the verdicts against pages served on 127.0.0.1, the alarm, the layout and the commands.

#include <filesystem>
#include <fstream>

#include "sound/AlarmWave.h"
#include "tests/monitor/Unit1Fixture.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/net/ScriptedServer.h"

namespace pw::monitor::test {
namespace {

using framework::HeadlessButton;
using framework::HeadlessComboBox;
using framework::HeadlessEdit;

TEST_F(WindowTest, RowsFollowTheRowTableAndAnEditClearsTheirVerdict) {
    // Row k's controls carry their names and sit 24 pixels apart.
    for (int k : {1, 3, 20}) {
        auto& url = Control<HeadlessEdit>("Edit" + std::to_string(2 * k + 1));
        EXPECT_EQ(&url, &form->UrlField(k));
        EXPECT_EQ(&Control<HeadlessComboBox>("ComboBox" + std::to_string(k + 1)),
                  &form->LogicSelector(k));
        EXPECT_EQ(&Control<HeadlessEdit>("Edit" + std::to_string(2 * k + 2)),
                  &form->SearchField(k));
        auto& open = Control<HeadlessButton>("SpeedButton" + std::to_string(k));
        EXPECT_EQ(&open, &form->OpenButton(k));
        EXPECT_EQ(url.Top(), 32 + 24 * (k - 1));
        EXPECT_EQ(open.Caption(), "W");
        EXPECT_TRUE(open.Flat());
    }
    EXPECT_EQ(form->LogicSelector(1).Items(), (std::vector<std::string>{"Absence", "Presence"}));

    // Editing the URL or choosing the logic clears the verdict; typing the search text does not.
    for (int k : {1, 2, 3})
        form->SearchField(k).SetColor(clRed);
    Control<HeadlessEdit>("Edit3").UserType("http://example.org/");
    Control<HeadlessComboBox>("ComboBox3").UserSelect(1);
    Control<HeadlessEdit>("Edit8").UserType("new text");
    EXPECT_EQ(form->SearchField(1).Color(), clBtnFace);
    EXPECT_EQ(form->SearchField(2).Color(), clBtnFace);
    EXPECT_EQ(form->SearchField(3).Color(), clRed);
}

TEST_F(WindowTest, TooltipsGlyphsAndFocusOrder) {
    std::vector<std::string> hinted;
    for (std::string name :
         {"BitBtn1",    "BitBtn2", "BitBtn3",       "BitBtn4",     "BitBtn5",   "BitBtn6",
          "BitBtn7",    "Button1", "timerduration", "alarmrepeat", "autostart", "startmin",
          "Edit1",      "Edit2",   "Edit3",         "Edit4",       "ComboBox1", "ComboBox2",
          "statustext", "Label4",  "SpeedButton7"})
        if (!Window().FindControl(name)->Hint().empty()) hinted.push_back(name);
    EXPECT_EQ(hinted, (std::vector<std::string>{"BitBtn1", "BitBtn4", "BitBtn5", "SpeedButton7"}));
    for (auto* b : {&form->BitBtn1, &form->BitBtn2, &form->BitBtn3, &form->BitBtn4, &form->BitBtn5,
                    &form->BitBtn6, &form->BitBtn7})
        EXPECT_TRUE(b->HasGlyph()) << b->Name();

    const auto order = Window().FocusOrder();
    ASSERT_EQ(order.size(), 1u + 60 + 6 + 5);
    EXPECT_EQ(order[0], "timerduration");
    EXPECT_EQ((std::vector<std::string>(order.begin() + 1, order.begin() + 4)),
              (std::vector<std::string>{"Edit3", "ComboBox2", "Edit4"}));
    EXPECT_EQ(order[60], "Edit42");
    EXPECT_EQ(
        (std::vector<std::string>(order.begin() + 61, order.end())),
        (std::vector<std::string>{"BitBtn2", "BitBtn3", "BitBtn1", "BitBtn5", "BitBtn4", "BitBtn6",
                                  "alarmrepeat", "BitBtn7", "Button1", "autostart", "startmin"}));
}

// --- the check cycle ---

TEST_F(WindowTest, StartRunsAPassAtOnceThenCountsDownTheMinutes) {
    site.Serve("/a", "watch me");
    Watch(1, site.Url("/a"), "watch me");
    form->BitBtn2.Click();
    EXPECT_EQ(site.Requests("/a"), 1);
    EXPECT_EQ(form->SearchField(1).Color(), clGreen);
    EXPECT_EQ(Status(), "60 Minutes to next update");
    EXPECT_TRUE(form->statustext.Visible());
    EXPECT_FALSE(form->workpanel.Visible());
    EXPECT_FALSE(form->BitBtn2.Enabled());
    EXPECT_TRUE(form->BitBtn3.Enabled());

    Minutes(1);
    EXPECT_EQ(Status(), "59 Minutes to next update");
    Minutes(58);
    EXPECT_EQ(Status(), "1 Minutes to next update");
    EXPECT_EQ(site.Requests("/a"), 1);
    Minutes(1);
    EXPECT_EQ(site.Requests("/a"), 2);
    EXPECT_EQ(Status(), "60 Minutes to next update");
}

TEST_F(WindowTest, ChangingTheIntervalActsOnTheCurrentInterval) {
    site.Serve("/a", "x");
    Watch(1, site.Url("/a"), "x");
    form->BitBtn2Click();
    Minutes(5);
    form->timerduration.SetValue(100);  // raised: the interval grows
    EXPECT_EQ(Status(), "95 Minutes to next update");
    Minutes(60);
    EXPECT_EQ(site.Requests("/a"), 1);
    form->timerduration.SetValue(30);  // lowered below the minutes counted: due at the next tick
    EXPECT_EQ(Status(), "Processing...");
    Minutes(1);
    EXPECT_EQ(site.Requests("/a"), 2);
    EXPECT_EQ(Status(), "30 Minutes to next update");

    // Zero or less: a pass on every tick.
    form->timerduration.SetValue(0);
    Minutes(1);
    EXPECT_EQ(Status(), "0 Minutes to next update");
    form->timerduration.SetValue(-2);
    Minutes(2);
    EXPECT_EQ(site.Requests("/a"), 5);
    EXPECT_EQ(Status(), "-2 Minutes to next update");
}

TEST_F(WindowTest, EmptyRowsAreSkippedAndLoseTheirVerdict) {
    site.Serve("/a", "x");
    Watch(1, site.Url("/a"), "x");
    Watch(3, site.Url("/a"), "x");
    form->SearchField(2).SetColor(clRed);
    form->Button1Click();
    EXPECT_EQ(site.Requests("/a"), 2);
    EXPECT_EQ(form->SearchField(2).Color(), clBtnFace);
    EXPECT_EQ(form->SearchField(3).Color(), clGreen);
    // Stopped: the label ends visible and blank.
    EXPECT_TRUE(form->statustext.Visible());
    EXPECT_EQ(Status(), "");
    EXPECT_FALSE(form->Timer1.Enabled());
}

TEST_F(WindowTest, StopDuringAPassClearsAllRowsYetTheRestOfThePassIsColoured) {
    site.Serve("/a", "x");
    site.Serve("/b", "x");
    for (int k : {1, 2, 3})
        Watch(k, site.Url(k == 2 ? "/b" : "/a"), "x");
    DuringFetchOf("/b", [this] { form->BitBtn3.Click(); });
    form->BitBtn2.Click();
    EXPECT_EQ(form->SearchField(1).Color(), clBtnFace);
    EXPECT_EQ(form->SearchField(2).Color(), clGreen);
    EXPECT_EQ(form->SearchField(3).Color(), clGreen);
    EXPECT_FALSE(form->Timer1.Enabled());
    EXPECT_FALSE(form->alarmtimer.Enabled());
    EXPECT_TRUE(form->BitBtn2.Enabled());
    EXPECT_GE(sound.stops, 1);
}

TEST_F(WindowTest, NoPassStartsInsideARunningPass) {
    site.Serve("/a", "x");
    site.Serve("/b", "x");
    Watch(1, site.Url("/a"), "x");
    Watch(2, site.Url("/b"), "x");
    form->timerduration.SetValue(1);
    DuringFetchOf("/a", [this] {
        form->Timer1Timer();   // a due tick only counts
        form->Button1Click();  // Recheck now is ignored
        EXPECT_TRUE(form->InPass());
    });
    form->Button1Click();
    EXPECT_EQ(site.Requests(), 2);
    EXPECT_EQ(form->minutecount, 1);
    EXPECT_EQ(form->SearchField(1).Color(), clGreen);
    EXPECT_EQ(form->SearchField(2).Color(), clGreen);
    EXPECT_FALSE(form->InPass());
}

TEST_F(WindowTest, ExitDuringAFetchEndsTheProgramAndSkipsTheRestOfThePass) {
    site.Serve("/a", "x");
    for (int k : {1, 2, 3})
        Watch(k, site.Url("/a"), "x");
    form->startmin.SetChecked(true);
    DuringFetchOf("/a", [this] { form->BitBtn1.Click(); });
    form->BitBtn2Click();
    EXPECT_TRUE(app->Terminated());
    EXPECT_FALSE(Window().Visible());
    EXPECT_FALSE(form->Timer1.Enabled());
    EXPECT_FALSE(form->alarmtimer.Enabled());
    EXPECT_GE(sound.stops, 1);
    EXPECT_EQ(site.Requests("/a"), 1);
    EXPECT_FALSE(form->Pass().checkbusy);
    EXPECT_EQ(form->SearchField(1).Color(), clBtnFace);
    EXPECT_EQ(form->SearchField(2).Color(), clBtnFace);
    EXPECT_EQ(Stored("Startup", "Minimised").AsText(), "1");
}

// --- verdicts ---

TEST_F(WindowTest, VerdictsComeFromTheRawBytesAndTheLogic) {
    const std::string high = "caf\xc3\xa9 \xff";
    site.Serve("/page", "<p>Hello World</p>" + high + "tail");
    site.Serve("/empty", "");
    site.Serve("/short", "Hel");
    struct Case {
        std::string path, text;
        int logic;
        framework::TColor expected;
    };
    const std::vector<Case> cases = {
        {"/page", "Hello World", 0, clGreen},  // present, alarm on absence
        {"/page", "hello world", 0, clRed},    // other case is not the text
        {"/page", "tail", 1, clRed},           // the very last bytes
        {"/page", "", 0, clGreen},             // empty text is always found
        {"/page", "", 1, clRed},
        {"/empty", "x", 0, clRed},         // an empty page holds nothing
        {"/short", "Hello", 0, clRed},     // shorter than the text
        {"/page", high, 1, clRed},         // bytes from 0x80 compare as they are
        {"/page", "absent", -1, clGreen},  // no logic counts as presence
        {"/page", "Hello", -1, clRed},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        Watch(static_cast<int>(i) + 1, site.Url(cases[i].path), cases[i].text, cases[i].logic);
    form->Button1Click();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int k = static_cast<int>(i) + 1;
        EXPECT_EQ(form->SearchField(k).Color(), cases[i].expected) << "row " << k;
        EXPECT_EQ(form->RowFailure(k), "") << "row " << k;
    }
    // The scratch copy holds the last page fetched, beside the program.
    EXPECT_EQ(form->ScratchFile(), dir / "url2.htm");
    EXPECT_EQ(pw::test::ReadFile(dir / "url2.htm"), "<p>Hello World</p>" + high + "tail");
}

TEST_F(WindowTest, AFailedFetchIsRedUnderAbsenceAmberUnderPresenceWithItsReason) {
    site.Serve("/ok", "text");
    site.Serve("/gone", "not here", 404);
    Watch(1, site.Url("/ok"), "missing", 0);  // red: the failure below must not copy it
    Watch(2, site.Url("/gone"), "text", 1);
    Watch(3, site.Url("/ok"), "text", 0);  // green
    Watch(4, site.Url("/gone"), "text", 0);
    Watch(5, "http://127.0.0.1:1/", "text", 1);
    form->BitBtn2Click();
    EXPECT_EQ(form->SearchField(2).Color(), clAmber);
    EXPECT_EQ(form->SearchField(4).Color(), clRed);
    EXPECT_EQ(form->SearchField(5).Color(), clAmber);
    EXPECT_EQ(form->RowFailure(2), "HTTP 404");
    EXPECT_EQ(form->SearchField(2).Hint(), "HTTP 404");
    EXPECT_EQ(form->RowFailure(5), "host unreachable");
    EXPECT_FALSE(form->Pass().checkbusy);
    // The checker's view of the rows: the verdict the colour shows, and the reason behind it.
    const std::vector<std::pair<Verdict, std::string>> verdicts = {
        {Verdict::Alarm, ""},
        {Verdict::CouldNotCheck, "HTTP 404"},
        {Verdict::Ok, ""},
        {Verdict::Alarm, "HTTP 404"},
        {Verdict::CouldNotCheck, "host unreachable"},
        {Verdict::None, ""}};
    for (int k = 1; k <= 6; ++k) {
        const TRowVerdict v = form->RowVerdict(k);
        EXPECT_EQ(std::pair(v.verdict, v.reason), verdicts[static_cast<std::size_t>(k - 1)]) << k;
    }

    // Once the page is back the reason goes.
    site.Serve("/gone", "text");
    form->Button1Click();
    EXPECT_EQ(form->SearchField(2).Color(), clRed);
    EXPECT_EQ(form->RowFailure(2), "");
    EXPECT_EQ(form->SearchField(2).Hint(), "");
    EXPECT_EQ(form->SearchField(4).Color(), clGreen);
}

TEST_F(WindowTest, TheStatusNoteSaysEveryFailureInFullAsTheRowsStandNow) {
    site.Serve("/gone", "", 404);
    site.Serve("/ok", "text");
    Watch(2, site.Url("/gone"), "text", 1);
    Watch(3, site.Url("/ok"), "text", 0);
    Watch(4, site.Url("/gone"), "text", 0);
    Watch(5, "http://127.0.0.1:1/", "text", 1);
    Watch(7, site.Url("/gone"), "text", 1);
    form->BitBtn2Click();
    // Rows with the same reason share it; the countdown keeps its own label, untouched.
    EXPECT_EQ(Note(), "rows 2, 4, 7: HTTP 404; row 5: host unreachable");
    EXPECT_EQ(Status(), "60 Minutes to next update");
    Minutes(1);
    EXPECT_EQ(Status(), "59 Minutes to next update");

    // A row cleared by an edit is no longer in the note; a row mended by a pass neither.
    Control<HeadlessEdit>("Edit9").UserType(site.Url("/ok"));
    EXPECT_EQ(Note(), "rows 2, 7: HTTP 404; row 5: host unreachable");
    Control<HeadlessComboBox>("ComboBox6").UserSelect(0);
    EXPECT_EQ(Note(), "rows 2, 7: HTTP 404");
    site.Serve("/gone", "text");
    form->Button1Click();
    EXPECT_EQ(Note(), "row 5: host unreachable");
    form->BitBtn3Click();
    EXPECT_EQ(Note(), "");
}

// Half a page is never searched: whatever the part that arrived holds, the row cannot be green.
TEST_F(WindowTest, APageCutShortIsRedUnderAbsenceAndAmberUnderPresence) {
    struct Case {
        std::string reply, hint;
    } const cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\nhello",
         "connection lost after 5 of 20 bytes"},
    // WinInet ends a chunked body cut short as if it were whole: only Linux can tell.
#ifndef _WIN32
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         "connection lost after 5 of ? bytes"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        pw::test::ScriptedServer cut(pw::test::ScriptedServer::Reply(c.reply));
        Watch(1, cut.Url("/"), "hello", 0);  // in the part that came
        Watch(2, cut.Url("/"), "world", 0);
        Watch(3, cut.Url("/"), "world", 1);
        form->Button1Click();
        EXPECT_EQ(form->SearchField(1).Color(), clRed);
        EXPECT_EQ(form->SearchField(2).Color(), clRed);
        EXPECT_EQ(form->SearchField(3).Color(), clAmber);
        for (int k = 1; k <= 3; ++k)
            EXPECT_EQ(form->SearchField(k).Hint(), c.hint) << k;
    }
}

TEST_F(WindowTest, AnInstalledProgramWritesItsScratchFileToTheCacheEvenWhereItCouldBesideIt) {
    site.Serve("/a", "page");
    Watch(1, site.Url("/a"), "page");
    // The program's folder is writable, as /usr/bin is for root.
    env.DataFolder = dir / "share/doc/pagewarden/";
    const pw::test::ScopedEnv cache({{"XDG_CACHE_HOME", dir / "cache"}});
    form->Button1Click();
    EXPECT_EQ(form->ScratchFile(), (dir.path() / "cache" / "pagewarden" / "url2.htm").string());
    EXPECT_EQ(pw::test::ReadFile(form->ScratchFile()), "page");
    EXPECT_FALSE(std::filesystem::exists(dir / "url2.htm"));
    EXPECT_EQ(Note(), "");
}

TEST_F(WindowTest, TheScratchFileMovesToTheCacheWhenTheProgramFolderCannotTakeIt) {
    site.Serve("/a", "page");
    Watch(1, site.Url("/a"), "page");
    const std::string notAFolder = dir.Write("file", "");
    const char delim = platform::kPathDelim;
    env.AppFolder = notAFolder + delim;
    const pw::test::ScopedEnv cache({{"XDG_CACHE_HOME", dir / "cache"}});
    form->Button1Click();
    EXPECT_EQ(form->ScratchFile(), (dir.path() / "cache" / "pagewarden" / "url2.htm").string());
    EXPECT_EQ(pw::test::ReadFile(form->ScratchFile()), "page");

    // Nowhere to write: said in full in the status note, the verdict stands.
    pw::test::SetEnv("XDG_CACHE_HOME", notAFolder);
    Watch(2, site.Url("/gone"), "page", 1);
    form->Button1Click();
    EXPECT_EQ(form->SearchField(1).Color(), clGreen);
    EXPECT_EQ(Note(), "row 2: HTTP 404; url2.htm not written: cannot create " + notAFolder + delim +
                          "url2.htm, cannot create " + notAFolder + delim + "pagewarden" + delim +
                          "url2.htm");
    EXPECT_EQ(Status(), "");

    // Written again: the problem is gone from the note.
    pw::test::SetEnv("XDG_CACHE_HOME", dir / "cache");
    form->Button1Click();
    EXPECT_EQ(Note(), "row 2: HTTP 404");
}

// --- the alarm ---

TEST_F(WindowTest, AnAlarmRestoresTheWindowAndRepeatsWhileARowIsRed) {
    site.Serve("/a", "text");
    site.Serve("/gone", "", 404);
    Watch(1, site.Url("/a"), "text", 1);     // red
    Watch(2, site.Url("/gone"), "text", 1);  // amber: no repeat for it alone
    app->Minimize();
    form->BitBtn2Click();
    EXPECT_FALSE(app->IsMinimized());
    EXPECT_EQ(sound.plays.size(), 1u);
    EXPECT_EQ(sound.plays[0].size(), sound::BuiltInAlarmWave().size());
    app->AdvanceAndProcess(30'000);
    EXPECT_EQ(sound.plays.size(), 4u);

    form->alarmrepeat.SetValue(0);
    app->AdvanceAndProcess(30'000);
    EXPECT_EQ(sound.plays.size(), 4u);
    form->alarmrepeat.SetValue(5);
    Control<HeadlessEdit>("Edit3").UserType(site.Url("/gone"));  // row 1 is no longer red
    app->AdvanceAndProcess(30'000);
    EXPECT_EQ(sound.plays.size(), 4u);
}

// --- layout ---

TEST_F(WindowTest, ResizingWidensTheUrlColumnAndKeepsTheOthersFlushRight) {
    Window().Show();
    for (int w : {784, 884, 300, 200}) {
        Window().SetClientSize(w, 900);
        for (int k : {1, 20}) {
            EXPECT_EQ(form->UrlField(k).Left(), 4);
            EXPECT_EQ(form->UrlField(k).Width(), std::max(0, w - 288)) << w;
            EXPECT_EQ(form->LogicSelector(k).Left(), 4 + std::max(0, w - 288) + 4) << w;
            EXPECT_EQ(form->SearchField(k).Left(), form->LogicSelector(k).Left() + 76);
            EXPECT_EQ(form->OpenButton(k).Left(), form->LogicSelector(k).Left() + 252);
            EXPECT_EQ(form->SearchField(k).Width(), 174);
            EXPECT_EQ(form->UrlField(k).Top(), 32 + 24 * (k - 1));
        }
        EXPECT_EQ(form->Label5.Left(), form->LogicSelector(1).Left());
        EXPECT_EQ(form->Label6.Left(), form->SearchField(1).Left());
        EXPECT_EQ(form->Label4.Width(), form->UrlField(1).Width());
        EXPECT_EQ(form->alarmrepeat.Left(), 360);
        EXPECT_EQ(form->Button1.Top(), 544);
        EXPECT_EQ(form->statusnote.Width(), w - 16) << w;
    }
    Window().SetClientSize(784, 700);
    EXPECT_EQ(form->LogicSelector(7).Left(), 504);
    EXPECT_EQ(form->OpenButton(7).Left(), 756);
}

// --- commands ---

TEST_F(WindowTest, OpenAndHelpGoThroughTheShell) {
    form->UrlField(2).SetText("http://example.org/x y");
    form->OpenButton(2).Click();
    form->OpenButton(3).Click();
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0].first, "http://example.org/x y");
    EXPECT_EQ(shell.opened[1].first, "");
    EXPECT_FALSE(app->IsMinimized());

    EXPECT_EQ(ChangeFileExt("C:\\Prog.x\\app.exe", ".pdf"), "C:\\Prog.x\\app.pdf");
}

TEST_F(WindowTest, HelpMinimisesOnlyWhenTheGuideCanBeShownAndElseSaysWhereItIs) {
    const std::string guide = At("pagewarden.pdf");
    // An installed program: in a prefix's bin/, its guide in the prefix's documentation folder.
    std::filesystem::create_directories(dir.path() / "usr/bin");
    std::filesystem::create_directories(dir.path() / "usr/share/doc/pagewarden");
    const TkxInstallLayout installed{At("usr/bin"), At("usr/share/doc/pagewarden")};
    const std::string installedBeside = At("usr/bin/pagewarden.pdf");
    const std::string installedGuide = At("usr/share/doc/pagewarden/pagewarden.pdf");
    struct Case {
        bool installed;  // else run from its build folder, dir
        std::string guideAt;
        std::string viewer;
        bool shellOpens;
        std::string said;  // empty: the shell opens guideAt and the window is minimised
    } const cases[] = {
        {false, guide, "/usr/bin/evince %U", true, ""},
        {false, "", "/usr/bin/evince %U", true, "The user guide \"" + guide + "\" is missing."},
        {false, guide, "", true,
         "No program to show PDF documents is set up, so the user guide cannot be opened. It is "
         "\"" +
             guide + "\"."},
        {false, guide, "/usr/bin/evince %U", false,
         "The user guide \"" + guide + "\" could not be opened."},
        {true, installedGuide, "/usr/bin/evince %U", true, ""},
        {true, installedBeside, "/usr/bin/evince %U", true, ""},
        {true, "", "/usr/bin/evince %U", true,
         "The user guide is missing: it is neither \"" + installedBeside + "\" nor \"" +
             installedGuide + "\"."},
        {true, installedGuide, "", true,
         "No program to show PDF documents is set up, so the user guide cannot be opened. It is "
         "\"" +
             installedGuide + "\"."},
    };
    for (const Case& c : cases) {
        env.AppExeName = At(c.installed ? "usr/bin/pagewarden" : "pagewarden");
        env.AppFolder = (std::filesystem::path(env.AppExeName).parent_path() / "").string();
        env.DataFolder =
            InstalledDataFolder(env.AppFolder, c.installed ? installed : TkxInstallLayout{});
        Restart();
        for (const std::string& place : {guide, installedBeside, installedGuide})
            std::filesystem::remove(place);
        if (!c.guideAt.empty()) std::ofstream(c.guideAt) << "%PDF-1.4";
        shell.pdfViewer = c.viewer;
        shell.opens = c.shellOpens;
        shell.opened.clear();
        form->BitBtn6.Click();
        EXPECT_EQ(app->IsMinimized(), c.said.empty()) << c.said;
        EXPECT_EQ(MessageBoxes(),
                  c.said.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.said});
        // The shell is asked only when there is something that can show the guide.
        const bool asked = !c.guideAt.empty() && !c.viewer.empty();
        EXPECT_EQ(shell.opened.size(), asked ? 1u : 0u) << c.said;
        if (asked && !shell.opened.empty()) {
            EXPECT_EQ(shell.opened[0].first, c.guideAt);
        }
    }
}

TEST_F(WindowTest, SetSoundLoadsTheChosenFileOrChangesNothing) {
    const std::string wave = dir.Write("bell.wav", "RIFF....not really a wave");
    app->QueueOpenDialogAnswer(std::nullopt);
    form->BitBtn7.Click();
    EXPECT_EQ(form->soundfile, "");
    app->QueueOpenDialogAnswer(dir / "missing.wav");
    form->BitBtn7.Click();
    EXPECT_EQ(form->soundfile, "");
    EXPECT_EQ(ErrorBoxes().size(), 1u);
    app->QueueOpenDialogAnswer(wave);
    form->BitBtn7.Click();
    EXPECT_EQ(form->soundfile, wave);
    EXPECT_EQ(app->OpenDialogFilters(),
              (std::vector<std::string>{"Sounds|*.wav", "Sounds|*.wav", "Sounds|*.wav"}));
    form->RaiseAlarm();
    ASSERT_EQ(sound.plays.size(), 1u);
    EXPECT_EQ(std::string(sound.plays[0].begin(), sound.plays[0].end()),
              "RIFF....not really a wave");
}

TEST_F(WindowTest, AutostartActsOnEveryActivationStartMinimisedOnlyOnTheFirst) {
    site.Serve("/a", "x");
    Watch(1, site.Url("/a"), "x");
    form->autostart.SetChecked(true);
    form->startmin.SetChecked(true);
    Window().Show();
    EXPECT_EQ(site.Requests("/a"), 1);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_TRUE(app->IsMinimized());

    form->BitBtn3Click();
    app->Restore();
    Window().Activate();
    EXPECT_EQ(site.Requests("/a"), 2);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_FALSE(app->IsMinimized());
}

}  // namespace
}  // namespace pw::monitor::test
