// The three self-update windows on the headless back end: their controls as designed, their
// texts, the question's and the password window's answers, and every way the progress window
// closes. The headless text rule (13-pixel lines of 5-pixel characters at 8 points) gives the
// heights the labels grow to.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "framework/headless/HeadlessControls.h"
#include "tests/support/TestImages.h"
#include "tests/update/ReliftTestHost.h"
#include "update/kxReliftMessages.h"
#include "update/kxReliftPassword.h"
#include "update/kxReliftUpgradeMsg.h"
#include "update/kxReliftWizard.h"
#include "update/kxReliftWizardForm.h"

namespace pw::test {
namespace {

using namespace framework;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using update::kxReliftWizardForm;
using update::TkxReliftWizardForm;

// A control as the user would find it: where it sits and on what.
struct Placed {
    std::string parent;  // empty: the form
    int left, top, width, height;
    bool visible;
};

std::map<std::string, Placed> Snapshot(const HeadlessForm& form,
                                       const std::vector<std::string>& names) {
    std::map<std::string, Placed> placed;
    for (const std::string& name : names) {
        const IControl* c = form.FindControl(name);
        if (!c) continue;
        const IControl* parent = nullptr;
        if (auto* l = dynamic_cast<const HeadlessLabel*>(c)) parent = l->Parent();
        if (auto* e = dynamic_cast<const HeadlessEdit*>(c)) parent = e->Parent();
        if (auto* b = dynamic_cast<const HeadlessButton*>(c)) parent = b->Parent();
        if (auto* p = dynamic_cast<const HeadlessProgressBar*>(c)) parent = p->Parent();
        if (auto* i = dynamic_cast<const HeadlessImage*>(c)) parent = i->Parent();
        placed[name] = {parent ? parent->Name() : "",
                        c->Left(),
                        c->Top(),
                        c->Width(),
                        c->Height(),
                        c->Visible()};
    }
    return placed;
}

class ReliftWindows : public ::testing::Test {
  protected:
    ReliftWindows() {
        update::SetMessageBase(update::wlEnglish);
        app_.SetTitle("Pagewarden");
        main_->Show();  // the watch window: the self-update windows are never the main form
    }
    ~ReliftWindows() override {
        // The windows are the process's: none may outlive this application.
        update::FreeReliftWindows(host_);
        update::FreeProgressWindow();
        app_.ProcessMessages();
    }

    TkxReliftWizardForm& Wizard() {
        TkxReliftWizardForm* w = kxReliftWizardForm();
        if (!w) throw std::runtime_error("no progress window");
        return *w;
    }
    HeadlessForm& WizardForm() { return static_cast<HeadlessForm&>(Wizard().Form()); }
    std::vector<HeadlessApplication::ShownDialog> Boxes() const { return app_.Dialogs(); }

    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
    HeadlessApplication app_{clock_};
    std::unique_ptr<IForm> main_ = app_.CreateForm();
    ReliftTestHost host_{app_};
};

TEST_F(ReliftWindows, EveryControlStandsWhereTheDesignPutsIt) {
    const int any = -1;  // a size the label takes from its text
    struct Row {
        const char* name;
        Placed placed;
    };
    const std::vector<Row> progress = {
        {"Panel1", {"", 10, 10, 120, 220, true}},
        {"Image1", {"Panel1", 1, 1, 118, 218, true}},
        {"WizardTitle", {"", 136, 10, any, any, true}},
        {"LCurrentFile", {"", 136, 34, 319, 125, true}},
        {"LDownloadingFileFrom", {"LCurrentFile", 6, 14, any, any, true}},
        {"FileURL", {"LCurrentFile", 10, 28, 301, 13, true}},
        {"LFileSize", {"LCurrentFile", 6, 44, any, any, true}},
        {"LTransferRate", {"LCurrentFile", 6, 60, any, any, true}},
        {"LEstimatedTime", {"LCurrentFile", 6, 76, any, any, true}},
        {"ProgressCurrentFile", {"LCurrentFile", 6, 96, 307, 22, true}},
        {"LAllFiles", {"", 136, 162, 319, 67, true}},
        {"AllDownloading", {"LAllFiles", 6, 16, any, any, true}},
        {"ProgressAllFiles", {"LAllFiles", 6, 38, 307, 22, true}},
        {"AfterNote", {"", 136, 44, 319, any, true}},
        {"Bevel1", {"", 10, 238, 447, any, true}},
        {"AboutShadow", {"", 31, 234, any, any, true}},
        {"AboutLabel", {"", 30, 233, any, any, true}},
        {"FinishBtn", {"", 296, 248, 75, 25, true}},
        {"CancelBtn", {"", 380, 248, 75, 25, true}},
    };
    const std::vector<Row> question = {
        {"Icon", {"", 7, 5, 32, 32, true}},
        {"Label1", {"", 45, 5, 262, any, true}},
        {"BottomPanel", {"", 0, any, 318, 45, true}},
        {"YesBtn", {"BottomPanel", 78, 13, 75, 23, true}},
        {"LaterBtn", {"BottomPanel", 167, 13, 75, 23, true}},
    };
    const std::vector<Row> password = {
        {"Label1", {"", 45, 5, 234, any, true}},
        {"Image1", {"", 7, 5, 32, 32, true}},
        {"BottomPanel", {"", 0, any, 297, 98, true}},
        {"UsernameLab", {"BottomPanel", 45, 14, any, any, true}},
        {"PasswordLab", {"BottomPanel", 45, 38, any, any, true}},
        {"UsernameEdit", {"BottomPanel", 122, 10, 157, 21, true}},
        {"PasswordEdit", {"BottomPanel", 122, 34, 157, 21, true}},
        {"OKBtn", {"BottomPanel", 114, 68, 75, 23, true}},
        {"CancelBtn", {"BottomPanel", 204, 68, 75, 23, true}},
    };
    struct Window {
        const char* name;
        const std::vector<Row>& rows;
        int clientWidth;
        std::map<std::string, Placed> seen;
        int clientHeight = 0, left = 0, top = 0;
        TFormBorderStyle border = TFormBorderStyle::Sizeable;
        bool centred = false, onTop = false;
    };
    Window windows[] = {{"kxReliftWizardForm", progress, 463, {}},
                        {"kxReliftUpgradeMessageForm", question, 318, {}},
                        {"kxReliftPasswordForm", password, 297, {}}};
    const auto record = [](Window& w, const HeadlessForm& f) {
        std::vector<std::string> names;
        for (const Row& r : w.rows)
            names.push_back(r.name);
        w.seen = Snapshot(f, names);
        EXPECT_EQ(f.Name(), w.name);
        w.clientHeight = f.ClientHeight();
        w.left = f.Left();
        w.top = f.Top();
        w.border = f.BorderStyle();
        w.centred = f.Centered();
        w.onTop = f.StayOnTop();
        EXPECT_EQ(f.ClientWidth(), w.clientWidth) << w.name;
    };
    update::ShowProgressWindow(host_);
    record(windows[0], WizardForm());
    app_.QueueModalAction([&](HeadlessForm& f) { record(windows[1], f); });
    update::AskUpgrade(host_, "");
    app_.QueueModalAction([&](HeadlessForm& f) { record(windows[2], f); });
    update::AskPassword(host_);

    EXPECT_EQ(windows[0].clientHeight, 281);
    for (const Window& w : windows) {
        SCOPED_TRACE(w.name);
        EXPECT_EQ(w.border, TFormBorderStyle::Dialog);
        EXPECT_TRUE(w.centred);
        // Centred on the headless back end's 1280 x 1024 screen.
        EXPECT_EQ(w.left, (1280 - w.clientWidth) / 2);
        EXPECT_EQ(w.top, (1024 - w.clientHeight) / 2);
        for (const Row& r : w.rows) {
            SCOPED_TRACE(r.name);
            ASSERT_TRUE(w.seen.contains(r.name));
            const Placed& s = w.seen.at(r.name);
            EXPECT_EQ(s.parent, r.placed.parent);
            EXPECT_EQ(s.left, r.placed.left);
            if (r.placed.top != any) {
                EXPECT_EQ(s.top, r.placed.top);
            }
            if (r.placed.width != any) {
                EXPECT_EQ(s.width, r.placed.width);
            }
            if (r.placed.height != any) {
                EXPECT_EQ(s.height, r.placed.height);
            }
            EXPECT_EQ(s.visible, r.placed.visible);
        }
    }
    // The bottom panels sit on the bottom edge of the grown windows.
    EXPECT_EQ(windows[1].seen.at("BottomPanel").top, windows[1].clientHeight - 45);
    EXPECT_EQ(windows[2].seen.at("BottomPanel").top, windows[2].clientHeight - 98);
    EXPECT_TRUE(windows[0].onTop);
    EXPECT_TRUE(windows[1].onTop);
}

TEST_F(ReliftWindows, TheProgressWindowShowsItsTextsFontsAndFlags) {
    update::ShowProgressWindow(host_);
    HeadlessForm& f = WizardForm();
    TkxReliftWizardForm& w = Wizard();
    EXPECT_TRUE(f.Visible());
    EXPECT_FALSE(f.Modal());
    EXPECT_EQ(f.Caption(), "Application update wizard");
    EXPECT_EQ(w.WizardTitle.Caption(), "Downloading files...");
    EXPECT_EQ(w.LCurrentFile.Caption(), " Current file ");
    EXPECT_EQ(w.LAllFiles.Caption(), " All files ");
    EXPECT_EQ(w.LDownloadingFileFrom.Caption(), "Downloading file from");
    EXPECT_EQ(w.LEstimatedTime.Caption(), "Preparing. . .");
    EXPECT_EQ(w.LEstimatedTime.Width(), 14 * 5);  // sized to its text
    EXPECT_EQ(w.AboutLabel.Caption(), " Relift ");
    EXPECT_EQ(w.AboutShadow.Caption(), " Relift ");
    EXPECT_EQ(w.FinishBtn.Caption(), "&Next >");
    EXPECT_FALSE(w.FinishBtn.Enabled());
    EXPECT_EQ(w.CancelBtn.Caption(), "&Cancel");
    EXPECT_TRUE(w.CancelBtn.Default());
    EXPECT_TRUE(w.CancelBtn.Cancel());
    EXPECT_EQ(w.CancelBtn.ModalResult(), DialogResult::Cancel);
    EXPECT_THAT(f.FocusOrder(), ElementsAre("FinishBtn", "CancelBtn"));

    // The title and the engraved caption in fonts of their own, the rest in the window's.
    EXPECT_EQ(w.WizardTitle.Height(), 21);
    EXPECT_EQ(w.AboutLabel.Height(), 14);
    EXPECT_EQ(w.LDownloadingFileFrom.Height(), 13);
    // The URL can be read and selected, not typed over, and Tab passes it by.
    EXPECT_FALSE(f.Find<HeadlessEdit>("FileURL")->UserType("typed"));
    EXPECT_EQ(w.Image1.PictureSize(), (TImageSize{118, 218}));

    // What the component writes during a download.
    w.FileURL.SetText("http://127.0.0.1/pagewarden-2.0.tar.gz");
    w.AllDownloading.SetCaption("Downloading 1 of 2");
    w.ProgressCurrentFile.SetPosition(40);
    w.ProgressAllFiles.SetPosition(20);
    EXPECT_EQ(w.AllDownloading.Width(), 18 * 5);
    EXPECT_EQ(w.ProgressCurrentFile.Position(), 40);

    // Shown again (the next update), the same window comes up.
    TkxReliftWizardForm* first = &w;
    update::ShowProgressWindow(host_);
    EXPECT_EQ(kxReliftWizardForm(), first);
    EXPECT_THAT(host_.calls, IsEmpty());
}

TEST_F(ReliftWindows, TheOptionsOfTheComponentShapeTheProgressWindow) {
    // Without StayOnTop the window is an ordinary one.
    host_.wizard.StayOnTop = false;
    update::ShowProgressWindow(host_);
    EXPECT_FALSE(Wizard().Form().StayOnTop());
    update::FreeProgressWindow();

    // HideFileLocation: the size, rate and time rows move up into the URL row, the group is 30
    // pixels shorter; showing the window again moves nothing further.
    host_.wizard.HideFileLocation = true;
    for (int shown = 0; shown < 2; ++shown) {
        update::ShowProgressWindow(host_);
        TkxReliftWizardForm& w = Wizard();
        EXPECT_FALSE(w.FileURL.Visible());
        EXPECT_FALSE(w.LDownloadingFileFrom.Visible());
        EXPECT_EQ(w.LFileSize.Top(), 14);
        EXPECT_EQ(w.LTransferRate.Top(), 30);
        EXPECT_EQ(w.LEstimatedTime.Top(), 46);
        EXPECT_EQ(w.ProgressCurrentFile.Top(), 66);
        EXPECT_EQ(w.LCurrentFile.Top(), 44);
        EXPECT_EQ(w.LCurrentFile.Height(), 95);
        EXPECT_EQ(w.LAllFiles.Top(), 162);
    }
    update::FreeProgressWindow();

    // Pic118x218 replaces the side picture when it is a picture at all.
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        TImageSize shown;
    } pictures[] = {
        {"a BMP of the component", GreyBmp(59, 109), {59, 109}},
        {"bytes that are no picture", {'n', 'o', 'p', 'e'}, {118, 218}},
        {"none", {}, {118, 218}},
    };
    for (const auto& p : pictures) {
        host_.wizard.Pic118x218 = p.bytes;
        update::ShowProgressWindow(host_);
        EXPECT_EQ(Wizard().Image1.PictureSize(), p.shown) << p.what;
        update::FreeProgressWindow();
    }
    EXPECT_THAT(host_.calls, IsEmpty());
}

TEST_F(ReliftWindows, CompletionLeavesTheNoteAndFinishOnly) {
    update::ShowCompleted();  // no window: nothing
    EXPECT_EQ(kxReliftWizardForm(), nullptr);

    app_.SetTitle("Pagewarden 2.0");
    update::ShowProgressWindow(host_);
    update::ShowCompleted();
    TkxReliftWizardForm& w = Wizard();
    EXPECT_EQ(w.WizardTitle.Caption(), "Upgrade completed!");
    EXPECT_EQ(w.AfterNote.Caption(),
              "The update of Pagewarden 2.0 has been successfully completed.\n\n"
              "Press the OK button to restart program.");
    // Three lines of at most 63 characters in 319 pixels.
    EXPECT_EQ(w.AfterNote.Height(), 3 * 13);
    EXPECT_EQ(w.AfterNote.Width(), 319);
    EXPECT_FALSE(w.LCurrentFile.Visible());
    EXPECT_FALSE(w.LAllFiles.Visible());
    EXPECT_FALSE(w.CancelBtn.Enabled());
    EXPECT_EQ(w.FinishBtn.Caption(), "&OK");
    EXPECT_TRUE(w.FinishBtn.Enabled());
    EXPECT_TRUE(w.FinishBtn.Focused());
    // Enter takes the focused Finish; Escape finds no cancel button it could click.
    EXPECT_FALSE(WizardForm().UserPressEscape());
    EXPECT_TRUE(WizardForm().UserPressEnter());
    EXPECT_EQ(kxReliftWizardForm(), nullptr);
    EXPECT_THAT(host_.calls, ElementsAre("done"));
    EXPECT_THAT(Boxes(), IsEmpty());
}

// Every way the progress window can be closed, during the downloads and after them: what is
// asked, what the component hears, and whether the window stays.
TEST_F(ReliftWindows, EveryCloseOfTheProgressWindowFreesItAndEndsTheWait) {
    using Act = bool (*)(HeadlessForm&);
    const Act finish = [](HeadlessForm& f) {
        f.Find<HeadlessButton>("FinishBtn")->Click();
        return true;
    };
    const Act cancel = [](HeadlessForm& f) {
        f.Find<HeadlessButton>("CancelBtn")->Click();
        return true;
    };
    const Act escape = [](HeadlessForm& f) { return f.UserPressEscape(); };
    const Act closeBox = [](HeadlessForm& f) { return f.UserCloseBox(); };
    const struct {
        const char* what;
        bool completed;
        Act act;
        std::vector<DialogResult> answers;  // to the abort question, one per question
        bool asked;
        bool stays;
        std::vector<std::string> calls;
    } cases[] = {
        {"Finish after completion", true, finish, {}, false, false, {"done"}},
        {"Cancel, then No", false, cancel, {DialogResult::No}, true, true, {}},
        {"Cancel, then Yes", false, cancel, {DialogResult::Yes}, true, false, {"done", "abort"}},
        {"Escape, then Yes", false, escape, {DialogResult::Yes}, true, false, {"done", "abort"}},
        {"close box, then No", false, closeBox, {DialogResult::No}, true, true, {}},
        {"close box, then Yes",
         false,
         closeBox,
         {DialogResult::Yes},
         true,
         false,
         {"done", "abort"}},
        {"close box after completion, then No", true, closeBox, {DialogResult::No}, true, true, {}},
        {"close box after completion, then Yes",
         true,
         closeBox,
         {DialogResult::Yes},
         true,
         false,
         {"done", "abort"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host_.calls.clear();
        const std::size_t boxesBefore = Boxes().size();
        update::ShowProgressWindow(host_);
        if (c.completed) update::ShowCompleted();
        for (DialogResult a : c.answers)
            app_.QueueDialogAnswer(a);
        ASSERT_TRUE(c.act(WizardForm()));
        app_.ProcessMessages();  // the posted close command, and the window's deletion

        const std::vector<HeadlessApplication::ShownDialog> boxes = Boxes();
        ASSERT_EQ(boxes.size() - boxesBefore, c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(boxes.back().text,
                      "The update is not completed.\nWould you like to abort upgrading?");
            EXPECT_EQ(boxes.back().caption, "Pagewarden");  // the application's title
            EXPECT_EQ(boxes.back().flags, mb::kYesNo | mb::kIconQuestion);
        }
        EXPECT_EQ(kxReliftWizardForm() != nullptr, c.stays);
        if (c.stays) {
            EXPECT_TRUE(WizardForm().Visible());
        }
        EXPECT_EQ(host_.calls, c.calls);
        update::FreeProgressWindow();
    }
}

TEST_F(ReliftWindows, TheWindowMayBeFreedFromAnyOfItsOwnHandlers) {
    // The component frees the window when it aborts (StopTransfer), inside the window's close.
    host_.onAbort = [] { update::FreeProgressWindow(); };
    update::ShowProgressWindow(host_);
    app_.QueueDialogAnswer(DialogResult::Yes);
    Wizard().CancelBtn.Click();
    app_.ProcessMessages();
    EXPECT_EQ(kxReliftWizardForm(), nullptr);
    EXPECT_THAT(host_.calls, ElementsAre("done", "abort"));

    // Or the component goes away while the window closes.
    host_.calls.clear();
    update::ShowProgressWindow(host_);
    host_.onAbort = [this] { update::FreeReliftWindows(host_); };
    app_.QueueDialogAnswer(DialogResult::Yes);
    ASSERT_TRUE(WizardForm().UserCloseBox());
    app_.ProcessMessages();
    EXPECT_EQ(kxReliftWizardForm(), nullptr);
    EXPECT_THAT(host_.calls, ElementsAre("done", "abort"));

    // Freed from outside: at once, without a question or the done event; a close command still
    // queued for it is dropped.
    host_.calls.clear();
    update::ShowProgressWindow(host_);
    Wizard().CancelBtn.Click();
    update::FreeProgressWindow();
    EXPECT_EQ(kxReliftWizardForm(), nullptr);
    const std::size_t boxes = Boxes().size();
    app_.ProcessMessages();
    EXPECT_EQ(Boxes().size(), boxes);
    EXPECT_THAT(host_.calls, IsEmpty());
}

TEST_F(ReliftWindows, OnlyTheWindowsOfTheComponentThatGoesAreFreed) {
    ReliftTestHost other(app_);
    update::ShowProgressWindow(host_);
    update::FreeReliftWindows(other);
    EXPECT_NE(kxReliftWizardForm(), nullptr);
    update::FreeReliftWindows(host_);
    EXPECT_EQ(kxReliftWizardForm(), nullptr);
    EXPECT_THAT(host_.calls, IsEmpty());  // no done event from a freed window
}

TEST_F(ReliftWindows, TheQuestionNamesTheProgramAndGrowsWithTheMessage) {
    struct Seen {
        std::string caption, label, yes, later;
        int clientHeight = 0;
        bool iconShown = false, onTop = false;
    };
    const auto ask = [&](const std::string& title, const std::string& message) {
        app_.SetTitle(title);
        Seen seen;
        app_.QueueModalAction([&](HeadlessForm& f) {
            seen.caption = f.Caption();
            seen.label = f.Find<HeadlessLabel>("Label1")->Caption();
            seen.yes = f.Find<HeadlessButton>("YesBtn")->Caption();
            seen.later = f.Find<HeadlessButton>("LaterBtn")->Caption();
            seen.clientHeight = f.ClientHeight();
            seen.iconShown = f.Find<HeadlessImage>("Icon")->PictureSize() == TImageSize{32, 32};
            seen.onTop = f.StayOnTop();
            f.Find<HeadlessButton>("LaterBtn")->Click();
        });
        EXPECT_FALSE(update::AskUpgrade(host_, message));
        return seen;
    };
    const std::string question = "Do you want to update your version with the latest one?";
    const struct {
        const char* title;
        std::string message;
        std::string label;
        int lines;  // of Label1, 262 pixels wide: 52 characters a line
    } cases[] = {
        {"Pagewarden", "", "A newer version of Pagewarden was released.\n\n" + question, 4},
        {"Pagewarden", "Faster checks.",
         "A newer version of Pagewarden was released.\n\nFaster checks.\n\n" + question, 6},
        {"Pagewarden", "Faster checks.\nA new alarm sound.\nFixes.",
         "A newer version of Pagewarden was released.\n\nFaster checks.\nA new alarm "
         "sound.\nFixes.\n\n" +
             question,
         8},
        // The maker's name in the title gives the placeholder title instead.
        {"Corvel Pagewarden", "", "A newer version of <AppTitle> was released.\n\n" + question, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Seen seen = ask(c.title, c.message);
        EXPECT_EQ(seen.label, c.label);
        EXPECT_EQ(seen.clientHeight, 5 + c.lines * 13 + 45);
        EXPECT_EQ(seen.caption, "Application update wizard");
        EXPECT_EQ(seen.yes, "&Yes");
        EXPECT_EQ(seen.later, "&Later");
        EXPECT_TRUE(seen.iconShown);
        EXPECT_TRUE(seen.onTop);
    }
    EXPECT_THAT(host_.calls, IsEmpty());
}

TEST_F(ReliftWindows, OnlyYesAnswersTheQuestionWithYes) {
    using Act = void (*)(HeadlessForm&);
    const struct {
        const char* what;
        Act act;  // null: the user does nothing but close the window
        bool answer;
    } cases[] = {
        {"Yes", [](HeadlessForm& f) { f.Find<HeadlessButton>("YesBtn")->Click(); }, true},
        {"Enter", [](HeadlessForm& f) { f.UserPressEnter(); }, true},
        {"Later", [](HeadlessForm& f) { f.Find<HeadlessButton>("LaterBtn")->Click(); }, false},
        {"Escape", [](HeadlessForm& f) { f.UserPressEscape(); }, false},
        {"the close box", [](HeadlessForm& f) { f.UserCloseBox(); }, false},
        {"nothing", nullptr, false},
    };
    for (const auto& c : cases) {
        if (c.act) app_.QueueModalAction(c.act);
        EXPECT_EQ(update::AskUpgrade(host_, "Faster checks."), c.answer) << c.what;
    }
    // A second question while one is up (another component's timer) is not asked.
    bool inner = true;
    app_.QueueModalAction([&](HeadlessForm& f) {
        inner = update::AskUpgrade(host_, "again");
        f.Find<HeadlessButton>("YesBtn")->Click();
    });
    EXPECT_TRUE(update::AskUpgrade(host_, ""));
    EXPECT_FALSE(inner);
}

TEST_F(ReliftWindows, ThePasswordWindowOffersTheLastUserAndNeverAPassword) {
    host_.username = "alice";
    struct Seen {
        std::string caption, label, userLab, passLab, user, pass, ok, cancel;
        char mask = 0;
        int clientHeight = 0;
    };
    const auto ask = [&](const std::string& user, const std::string& pass, bool ok) {
        Seen seen;
        app_.QueueModalAction([&, user, pass, ok](HeadlessForm& f) {
            auto& userEdit = *f.Find<HeadlessEdit>("UsernameEdit");
            auto& passEdit = *f.Find<HeadlessEdit>("PasswordEdit");
            seen = {f.Caption(),
                    f.Find<HeadlessLabel>("Label1")->Caption(),
                    f.Find<HeadlessLabel>("UsernameLab")->Caption(),
                    f.Find<HeadlessLabel>("PasswordLab")->Caption(),
                    userEdit.Text(),
                    passEdit.Text(),
                    f.Find<HeadlessButton>("OKBtn")->Caption(),
                    f.Find<HeadlessButton>("CancelBtn")->Caption(),
                    passEdit.PasswordChar(),
                    f.ClientHeight()};
            userEdit.UserType(user);
            passEdit.UserType(pass);
            if (ok)
                f.UserPressEnter();
            else
                f.UserPressEscape();
        });
        const bool answer = update::AskPassword(host_);
        EXPECT_EQ(answer, ok);
        return seen;
    };

    Seen first = ask("bob", "s3cret", true);
    EXPECT_EQ(first.caption, "Enter password");
    EXPECT_EQ(first.label,
              "Access to remote file \"pagewarden-2.0.tar.gz\" is password protected.\n\n"
              "Please enter your username and password (received after registration) to "
              "continue software upgrade.");
    // Label1 is 234 pixels wide (46 characters a line): 2 + 1 + 3 lines.
    EXPECT_EQ(first.clientHeight, 5 + 6 * 13 + 98);
    EXPECT_EQ(first.userLab, "User Name");
    EXPECT_EQ(first.passLab, "Password");
    EXPECT_EQ(first.ok, "&OK");
    EXPECT_EQ(first.cancel, "&Cancel");
    EXPECT_EQ(first.mask, '*');
    EXPECT_EQ(first.user, "alice");
    EXPECT_EQ(first.pass, "");
    EXPECT_THAT(host_.calls, ElementsAre("login bob:s3cret"));

    // Next time: the user name just stored, an empty password; Cancel stores nothing.
    Seen second = ask("carol", "other", false);
    EXPECT_EQ(second.user, "bob");
    EXPECT_EQ(second.pass, "");
    EXPECT_THAT(host_.calls, ElementsAre("login bob:s3cret"));
    EXPECT_EQ(host_.password, "s3cret");
}

TEST_F(ReliftWindows, TheComponentsMessageBoxesCarryTheWizardsCaption) {
    EXPECT_EQ(update::ShowMessageBox(host_, 24, mb::kIconInformation), DialogResult::Ok);
    app_.QueueDialogAnswer(DialogResult::No);
    EXPECT_EQ(update::ShowMessageBox(host_, "Host http://127.0.0.1 unreachable.",
                                     mb::kYesNo | mb::kIconStop),
              DialogResult::No);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text,
              "Newer version not found. You actually are\nusing most recent version of this "
              "program.");
    EXPECT_EQ(boxes[0].caption, "Application update wizard");
    EXPECT_EQ(boxes[0].flags, mb::kIconInformation);
    EXPECT_EQ(boxes[1].caption, "Application update wizard");
    EXPECT_EQ(boxes[1].flags, mb::kYesNo | mb::kIconStop);
}

}  // namespace
}  // namespace pw::test
