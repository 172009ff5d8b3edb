// The tray icon of the main window on the headless back end, against pages served on 127.0.0.1:
// one notification for each row that turns red, the icon's state as the rows stand, and its menu
// doing what the window's buttons do. Only the program's window has an icon: the checker's has
// none.

#include <functional>
#include <set>

#include "framework/ImageInfo.h"
#include "framework/headless/HeadlessTrayIcon.h"
#include "tests/monitor/Unit1Fixture.h"

namespace pw::monitor::test {
namespace {

using framework::HeadlessTrayIcon;
using framework::TTrayState;
using Notification = HeadlessTrayIcon::Notification;

const char* StateName(TTrayState state) {
    switch (state) {
        case TTrayState::Idle:
            return "idle";
        case TTrayState::Watching:
            return "watching";
        case TTrayState::Alarm:
            return "alarm";
        case TTrayState::CouldNotCheck:
            return "could not check";
    }
    return "?";
}

class TrayTest : public WindowTest {
  protected:
    TrayTest() {
        trayIcon = true;
        Restart();
        app->SetTrayAvailable(true);
    }

    HeadlessTrayIcon& Tray() {
        EXPECT_EQ(app->TrayIcons().size(), 1u);
        return *app->TrayIcons().at(0);
    }
    const std::vector<Notification>& Shown() { return Tray().Notifications(); }
};

TEST_F(TrayTest, EachRowThatTurnsRedNotifiesOnceWithItsPageAndText) {
    site.Serve("/shop", "sold out");
    site.Serve("/news", "breaking: caf\xE9 recall");
    site.Serve("/gone", "", 404);
    Watch(1, site.Url("/shop"), "in stock", 0);        // missing: alarm
    Watch(2, site.Url("/news"), "caf\xE9 recall", 1);  // present: alarm
    Watch(3, site.Url("/news"), "breaking", 0);        // fine
    Watch(4, site.Url("/gone"), "in stock", 0);        // cannot be fetched: alarm
    Watch(5, site.Url("/gone"), "in stock", 1);        // could not check: no alarm

    form->BitBtn2.Click();
    const auto alarm = [](std::string text) {
        return Notification{"Pagewarden alarm", std::move(text), TTrayState::Alarm};
    };
    const std::vector<Notification> first = {
        alarm(site.Url("/shop") + "\n\"in stock\" is missing"),
        alarm(site.Url("/news") + "\n\"caf\xC3\xA9 recall\" is present"),
        alarm(site.Url("/gone") +
              "\n\"in stock\" is missing (the page could not be fetched: HTTP 404)"),
    };
    EXPECT_EQ(Shown(), first);

    // The next passes find the same rows red, and the sound repeats every 10 s in between: it
    // is the same alarm, the desktop has been told.
    Minutes(120);
    EXPECT_EQ(site.Requests("/shop"), 3);
    EXPECT_EQ(form->SearchField(1).Color(), clRed);
    EXPECT_GT(sound.plays.size(), 100u);
    EXPECT_EQ(Shown(), first);

    // Row 1 recovers, then goes red again: a new alarm.
    site.Serve("/shop", "in stock");
    form->Button1.Click();
    EXPECT_EQ(form->SearchField(1).Color(), clGreen);
    EXPECT_EQ(Shown().size(), 3u);
    site.Serve("/shop", "sold out");
    form->Button1.Click();
    ASSERT_EQ(Shown().size(), 4u);
    EXPECT_EQ(Shown().back(), first[0]);

    // Stop clears every verdict, so the next Start's alarms are new ones; so is the alarm of a
    // row whose URL was edited.
    form->BitBtn3.Click();
    form->BitBtn2.Click();
    ASSERT_EQ(Shown().size(), 7u);
    EXPECT_EQ(std::vector(Shown().begin() + 4, Shown().end()), first);
    form->UrlField(2).SetText(site.Url("/news?again"));
    form->Button1.Click();
    ASSERT_EQ(Shown().size(), 8u);
    EXPECT_EQ(Shown().back(),
              alarm(site.Url("/news?again") + "\n\"caf\xC3\xA9 recall\" is present"));

    // A click on the notification brings the window back.
    form->BitBtn5.Click();
    ASSERT_TRUE(app->IsMinimized());
    EXPECT_TRUE(Tray().ClickNotification());
    EXPECT_FALSE(app->IsMinimized());
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(TrayTest, TheIconShowsTheWorstRowAndWhetherTheWatchRuns) {
    // Four pictures of our own, one for each state.
    std::set<std::vector<unsigned char>> pictures;
    for (TTrayState state :
         {TTrayState::Idle, TTrayState::Watching, TTrayState::Alarm, TTrayState::CouldNotCheck}) {
        const auto& picture = Tray().StateIcon(state);
        EXPECT_EQ(framework::ImageFileSize(picture), (framework::TImageSize{32, 32}))
            << StateName(state);
        pictures.insert(picture);
    }
    EXPECT_EQ(pictures.size(), 4u);
    EXPECT_TRUE(Tray().OnScreen());

    site.Serve("/ok", "fine");
    site.Serve("/gone", "", 404);
    TTrayState duringPass = TTrayState::Idle;

    const struct Step {
        const char* what;
        std::function<void()> act;
        TTrayState state;
        std::string toolTip;
        bool stopEnabled;
    } steps[] = {
        {"at start", [] {}, TTrayState::Idle, "not watching", false},
        {"a recheck while stopped, all fine",
         [&] {
             Watch(1, site.Url("/ok"), "fine", 0);
             DuringFetchOf("/ok", [&] { duringPass = Tray().State(); });
             form->Button1.Click();
             site.Hook("/ok", nullptr);
         },
         TTrayState::Idle, "not watching", false},
        {"started, all fine", [&] { form->BitBtn2.Click(); }, TTrayState::Watching, "watching",
         true},
        {"a page that cannot be fetched under presence",
         [&] {
             Watch(2, site.Url("/gone"), "x", 1);
             Watch(3, site.Url("/gone"), "x", 1);
             form->Button1.Click();
         },
         TTrayState::CouldNotCheck, "rows 2, 3 could not be checked", true},
        {"a row in alarm outranks them",
         [&] {
             Watch(4, site.Url("/ok"), "sold out", 0);
             form->Button1.Click();
         },
         TTrayState::Alarm, "alarm on row 4; rows 2, 3 could not be checked", true},
        {"the alarm row edited", [&] { form->UrlField(4).SetText(site.Url("/ok") + "?"); },
         TTrayState::CouldNotCheck, "rows 2, 3 could not be checked", true},
        {"the amber rows' logic changed",
         [&] {
             Control<framework::HeadlessComboBox>("ComboBox3").UserSelect(0);
             form->UrlField(3).SetText("");
         },
         TTrayState::Watching, "watching", true},
        {"the minute passes bring the alarm back", [&] { Minutes(60); }, TTrayState::Alarm,
         "alarm on rows 2, 4", true},
        {"stopped", [&] { form->BitBtn3.Click(); }, TTrayState::Idle, "not watching", false},
        {"a recheck while stopped finds the alarm", [&] { form->Button1.Click(); },
         TTrayState::Alarm, "alarm on rows 2, 4", false},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(StateName(Tray().State()), std::string(StateName(step.state))) << step.what;
        EXPECT_EQ(Tray().ToolTip(), "Pagewarden: " + step.toolTip) << step.what;
        EXPECT_EQ(Tray().Menu().at(2), (HeadlessTrayIcon::MenuEntry{"Stop", step.stopEnabled}))
            << step.what;
    }
    // The recheck while stopped was watching for as long as its pass ran.
    EXPECT_EQ(StateName(duringPass), std::string("watching"));
}

TEST_F(TrayTest, TheMenuDoesWhatTheWindowsButtonsDo) {
    const std::vector<HeadlessTrayIcon::MenuEntry> menu = {
        {"Show", true}, {"Recheck now", true}, {"Stop", false}, {"Exit", true}};
    EXPECT_EQ(Tray().Menu(), menu);
    site.Serve("/a", "x");
    site.Serve("/b", "x");
    Watch(1, site.Url("/a"), "x");
    Watch(2, site.Url("/b"), "x");

    // Show, and a click on the icon itself, bring the window back.
    for (const std::function<bool()>& bringBack : std::vector<std::function<bool()>>{
             [&] { return Tray().ChooseMenuItem("Show"); }, [&] { return Tray().UserClick(); }}) {
        form->BitBtn5.Click();
        ASSERT_TRUE(app->IsMinimized());
        EXPECT_TRUE(bringBack());
        EXPECT_FALSE(app->IsMinimized());
    }

    // Recheck now runs one pass, and is ignored during a pass as the button is.
    DuringFetchOf("/a", [&] { EXPECT_TRUE(Tray().ChooseMenuItem("Recheck now")); });
    EXPECT_TRUE(Tray().ChooseMenuItem("Recheck now"));
    EXPECT_EQ(site.Requests("/a"), 1);
    EXPECT_EQ(site.Requests("/b"), 1);
    EXPECT_EQ(form->SearchField(1).Color(), clGreen);
    EXPECT_FALSE(form->Timer1.Enabled());

    // Stop only while the watch runs.
    EXPECT_FALSE(Tray().ChooseMenuItem("Stop"));
    form->BitBtn2.Click();
    EXPECT_TRUE(Tray().ChooseMenuItem("Stop"));
    EXPECT_FALSE(form->Timer1.Enabled());
    EXPECT_FALSE(form->alarmtimer.Enabled());
    EXPECT_TRUE(form->BitBtn2.Enabled());
    EXPECT_EQ(form->SearchField(1).Color(), clBtnFace);

    // Exit ends the program as the Exit button does, storing the start-up options on the way.
    form->startmin.SetChecked(true);
    form->BitBtn5.Click();
    EXPECT_TRUE(Tray().ChooseMenuItem("Exit"));
    EXPECT_TRUE(app->Terminated());
    EXPECT_FALSE(Window().Visible());
    EXPECT_EQ(Stored("Startup", "Minimised").AsText(), "1");
    EXPECT_TRUE(ErrorBoxes().empty());

    // The icon goes with the window.
    form.reset();
    EXPECT_TRUE(app->TrayIcons().empty());
}

TEST_F(TrayTest, WithoutATrayAnAlarmIsNotNotifiedAndNothingElseChanges) {
    app->SetTrayAvailable(false);
    site.Serve("/shop", "sold out");
    Watch(1, site.Url("/shop"), "in stock");
    form->BitBtn5.Click();
    form->BitBtn2.Click();
    EXPECT_EQ(form->SearchField(1).Color(), clRed);
    EXPECT_FALSE(app->IsMinimized());  // the alarm brings the window back as ever
    EXPECT_FALSE(Tray().OnScreen());
    EXPECT_TRUE(Shown().empty());
    EXPECT_FALSE(Tray().ChooseMenuItem("Stop"));
    EXPECT_TRUE(app->Dialogs().empty());
    // A tray that comes later shows the icon as the rows stand.
    app->SetTrayAvailable(true);
    EXPECT_TRUE(Tray().OnScreen());
    EXPECT_EQ(StateName(Tray().State()), std::string("alarm"));
}

// The checker builds its window as below: even on a desktop with a tray it gets no icon and
// tells nobody but its caller.
TEST_F(WindowTest, TheCheckersWindowHasNoTrayIcon) {
    Restart(TSettingsUse::ReadOnly);
    app->SetTrayAvailable(true);
    site.Serve("/shop", "sold out");
    Watch(1, site.Url("/shop"), "in stock");
    form->Button1.Click();
    EXPECT_EQ(form->SearchField(1).Color(), clRed);
    EXPECT_EQ(form->TrayIcon(), nullptr);
    EXPECT_EQ(app->TrayIconsCreated(), 0);
}

}  // namespace
}  // namespace pw::monitor::test
