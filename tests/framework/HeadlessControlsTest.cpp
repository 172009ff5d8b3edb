// The controls on the headless back end: the shared scenarios, then what only this back end offers
// (acting as the user, scripted open dialogs, the focus order) and its handling of bad calls.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "framework/headless/HeadlessApplication.h"
#include "framework/headless/HeadlessControls.h"

namespace pw::test {
namespace {

using namespace framework;
using ::testing::ElementsAre;

class HeadlessControls : public ::testing::Test {
  protected:
    HeadlessForm& Form() { return static_cast<HeadlessForm&>(*form_); }
    std::vector<std::string> ErrorBoxes() const {
        std::vector<std::string> texts;
        for (const auto& d : app_.Dialogs())
            if (d.errorBox) texts.push_back(d.text);
        return texts;
    }

    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
    HeadlessApplication app_{clock_};
    std::unique_ptr<IForm> form_ = app_.CreateForm();
};

TEST_F(HeadlessControls, TheUserReachesOnlyWhatIsVisibleEnabledAndWritable) {
    IPanel& panel = Form().CreatePanel("Panel1");
    Form().CreateEdit("Edit3");
    Form().CreateComboBox("ComboBox2");
    Form().CreateCheckBox("autostart", &panel);
    Form().CreateSpinEdit("timerduration");
    auto& edit = *Form().Find<HeadlessEdit>("Edit3");
    auto& combo = *Form().Find<HeadlessComboBox>("ComboBox2");
    auto& check = *Form().Find<HeadlessCheckBox>("autostart");
    auto& spin = *Form().Find<HeadlessSpinEdit>("timerduration");
    int changes = 0;
    edit.OnChange = combo.OnChange = spin.OnChange = check.OnClick = [&] { ++changes; };

    EXPECT_TRUE(edit.UserType("http://a/"));
    EXPECT_EQ(edit.Text(), "http://a/");
    edit.SetReadOnly(true);
    EXPECT_FALSE(edit.UserType("http://b/"));
    EXPECT_EQ(edit.Text(), "http://a/");
    EXPECT_EQ(changes, 1);

    combo.SetItems({"Absence", "Presence"});
    EXPECT_TRUE(combo.UserSelect(1));
    EXPECT_TRUE(combo.UserSelect(1));  // the same choice again changes nothing
    EXPECT_FALSE(combo.UserSelect(2));
    EXPECT_EQ(combo.ItemIndex(), 1);
    combo.SetEnabled(false);
    EXPECT_FALSE(combo.UserSelect(0));
    EXPECT_EQ(changes, 2);

    EXPECT_TRUE(check.UserClick());
    EXPECT_TRUE(check.Checked());
    panel.SetEnabled(false);  // a disabled panel disables what it holds
    EXPECT_FALSE(check.UserClick());
    EXPECT_TRUE(check.Checked());
    EXPECT_EQ(changes, 3);

    EXPECT_TRUE(spin.UserType("60"));
    EXPECT_TRUE(spin.UserStep(-1));
    EXPECT_EQ(spin.Text(), "59");
    spin.SetValue(INT_MAX);
    EXPECT_TRUE(spin.UserStep(1));  // the arrow stops at the end of the range
    EXPECT_EQ(spin.Value(), INT_MAX);
    EXPECT_EQ(changes, 6);
}

TEST_F(HeadlessControls, AHandlerThatThrowsShowsTheErrorBoxAndTheProgramGoesOn) {
    IEdit& edit = Form().CreateEdit("Edit3");
    edit.OnChange = [] { throw std::runtime_error("Invalid data type for 'URL3'"); };
    edit.SetText("x");
    EXPECT_EQ(edit.Text(), "x");

    // A handler may unbind itself while it runs, and still use what it captured.
    IButton& button = Form().CreateButton("BitBtn1");
    button.OnClick = [&button, message = std::string("The handler unbound itself and went on")] {
        button.OnClick = nullptr;
        throw std::runtime_error(message);
    };
    button.Click();
    EXPECT_FALSE(button.OnClick);

    int activations = 0;
    form_->OnResize = [] { throw std::runtime_error("resize failed"); };
    form_->OnActivate = [&] { ++activations; };
    form_->Show();
    EXPECT_EQ(activations, 1);

    // Closing is never refused.
    form_->OnClose = [] { throw std::runtime_error("Failed to set data for 'Minimised'"); };
    form_->Close();
    EXPECT_FALSE(form_->Visible());
    EXPECT_TRUE(app_.Terminated());

    EXPECT_THAT(ErrorBoxes(), ElementsAre("Invalid data type for 'URL3'",
                                          "The handler unbound itself and went on", "resize failed",
                                          "Failed to set data for 'Minimised'"));
}

TEST_F(HeadlessControls, ShowingResizesOnceAndActivatesEachTime) {
    int resizes = 0, activations = 0;
    form_->OnResize = [&] { ++resizes; };
    form_->OnActivate = [&] { ++activations; };
    EXPECT_FALSE(Form().Activate());  // a hidden window cannot become active
    form_->Show();
    form_->Show();
    EXPECT_TRUE(Form().Activate());
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(activations, 2);
    form_->SetClientSize(784, 700);
    form_->SetClientSize(784, 700);
    form_->SetClientSize(-5, 700);
    EXPECT_EQ(resizes, 3);
    EXPECT_EQ(form_->ClientWidth(), 0);
    form_->Repaint();
    form_->Repaint();
    EXPECT_EQ(Form().RepaintCount(), 2);
}

TEST_F(HeadlessControls, OpenDialogsAnswerAsScriptedAndRecordTheirFilters) {
    auto dialog = app_.CreateOpenDialog();
    dialog->SetFilter("Sounds|*.wav");
    app_.QueueOpenDialogAnswer("/home/u/bell.wav");
    app_.QueueOpenDialogAnswer(std::nullopt);
    EXPECT_EQ(dialog->Execute(), std::optional<std::string>("/home/u/bell.wav"));
    EXPECT_EQ(dialog->Execute(), std::nullopt);
    dialog->SetFilter("All|*.*");
    EXPECT_EQ(dialog->Execute(), std::nullopt);  // nothing queued: cancelled
    EXPECT_THAT(app_.OpenDialogFilters(), ElementsAre("Sounds|*.wav", "Sounds|*.wav", "All|*.*"));
}

TEST_F(HeadlessControls, FocusOrderWalksPanelsInPlaceAndSkipsWhatTakesNoFocus) {
    HeadlessForm& f = Form();
    IPanel& bar = f.CreatePanel("Panel1");
    IPanel& work = f.CreatePanel("workpanel");
    f.CreateEdit("Edit1", &work).SetTabOrder(0);  // hidden with its panel's -1
    f.CreateButton("BitBtn3", false, &bar).SetTabOrder(1);
    f.CreateButton("BitBtn2", false, &bar).SetTabOrder(0);
    f.CreateSpinEdit("alarmrepeat").SetTabOrder(3);
    f.CreateSpinEdit("timerduration").SetTabOrder(0);
    f.CreateEdit("Edit3").SetTabOrder(1);
    f.CreateButton("SpeedButton1", true).SetTabOrder(1);
    f.CreateLabel("Label2").SetTabOrder(1);
    f.CreateComboBox("ComboBox2").SetTabOrder(1);  // a tie keeps the creation order
    f.CreateCheckBox("startmin");                  // -1: no focus
    bar.SetTabOrder(2);
    EXPECT_THAT(f.FocusOrder(), ElementsAre("timerduration", "Edit3", "ComboBox2", "BitBtn2",
                                            "BitBtn3", "alarmrepeat"));
}

TEST_F(HeadlessControls, AHiddenDockedPanelGivesUpItsPlace) {
    form_->SetClientSize(784, 700);
    IPanel& bar = form_->CreatePanel("Panel1");
    IPanel& work = form_->CreatePanel("workpanel");
    bar.DockBottom(60);
    work.DockBottom(72);
    work.SetVisible(false);
    bar.SetVisible(false);
    bar.SetVisible(true);
    work.SetVisible(true);
    EXPECT_EQ(work.Top(), 568);
    bar.SetVisible(false);
    EXPECT_EQ(work.Top(), 628);
    bar.SetVisible(true);
    // Docking again changes the height and keeps the order; a docked panel keeps only a height.
    bar.DockBottom(40);
    work.SetBounds(10, 10, 10, 50);
    EXPECT_EQ(bar.Top(), 660);
    EXPECT_EQ(work.Top(), 610);
    EXPECT_EQ(work.Left(), 0);
    EXPECT_EQ(work.Width(), 784);
    work.DockBottom(-1);
    EXPECT_EQ(work.Height(), 0);
    EXPECT_EQ(work.Top(), 660);
}

TEST_F(HeadlessControls, BadCreationsFailClearlyAndKeepWhatExists) {
    IEdit& first = form_->CreateEdit("Edit3");
    EXPECT_THROW(form_->CreateButton("Edit3"), std::invalid_argument);
    EXPECT_EQ(form_->FindControl("Edit3"), &first);
    auto other = app_.CreateForm();
    IPanel& foreign = other->CreatePanel("Panel1");
    EXPECT_THROW(form_->CreateEdit("Edit4", &foreign), std::invalid_argument);
    EXPECT_EQ(form_->FindControl("Edit4"), nullptr);
    EXPECT_EQ(Form().Find<HeadlessButton>("Edit3"), nullptr);
}

// The metrics rule of HeadlessTextExtent, which the windows' tests count on.
TEST(HeadlessText, ExtentFollowsTheFixedMetricsRule) {
    const TFont sans;                                    // 8 pt: 13-pixel lines, 5-pixel characters
    const TFont bold{"MS Sans Serif", 8, true, false};   // 6-pixel characters
    const TFont nine{"MS Sans Serif", 9, false, false};  // 14-pixel lines, 6-pixel characters
    const TFont title{"Times New Roman", 14, true, true};  // 21-pixel lines, 10-pixel characters
    const struct {
        const char* text;
        const TFont& font;
        int wrap;
        TImageSize expected;
    } cases[] = {
        {"", sans, 0, {0, 13}},
        {"Relift", sans, 0, {30, 13}},
        {"Relift", bold, 0, {36, 13}},
        {" Relift ", nine, 0, {48, 14}},
        {"Downloading files...", title, 0, {200, 21}},
        {"one\ntwo lines", sans, 0, {45, 26}},
        {"one\r\n\nthree", sans, 0, {25, 39}},  // CR LF is one break; an empty line counts
        {"\xD0\x9F\xD1\x80\xD0\xB8", sans, 0, {15, 13}},  // UTF-8: characters, not bytes
        {"Gr\xFC\xDF"
         "e",
         sans,
         0,
         {25, 13}},  // Latin-1: one byte, one character
        // Wrapping: "aaaa bbbb" is 45 pixels.
        {"aaaa bbbb cccc", sans, 45, {45, 26}},
        {"aaaa bbbb cccc", sans, 44, {20, 39}},
        {"aaaa bbbb cccc", sans, 70, {70, 13}},
        {"aaaaaaaaaaaa b", sans, 20, {60, 26}},  // a long word stands alone, wider than the wrap
        {"aaaa\nbbbb cccc", sans, 45, {45, 26}},
        {" lead", sans, 10, {20, 26}},  // the blank before the first word breaks there
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HeadlessTextExtent(c.text, c.font, c.wrap), c.expected)
            << '"' << c.text << "\" wrapped at " << c.wrap;
    }
}

TEST_F(HeadlessControls, AutoSizedLabelsTakeTheRulesSize) {
    auto& label = static_cast<HeadlessLabel&>(Form().CreateLabel("LEstimatedTime"));
    label.SetBounds(6, 76, 100, 50);
    label.SetAutoSize(true);
    label.SetCaption("Preparing. . .");
    EXPECT_EQ(label.Width(), 70);
    EXPECT_EQ(label.Height(), 13);
    label.SetFont(TFont{"Times New Roman", 14, true, true});
    EXPECT_EQ(label.Width(), 140);
    EXPECT_EQ(label.Height(), 21);

    auto& note = static_cast<HeadlessLabel&>(Form().CreateLabel("AfterNote"));
    note.SetBounds(136, 44, 90, 7);
    note.SetWordWrap(true);
    note.SetCaption("aaaa bbbb cccc dddd");
    EXPECT_EQ(note.Height(), 7);  // not yet auto-sized
    note.SetAutoSize(true);
    EXPECT_EQ(note.Width(), 90);
    EXPECT_EQ(note.Height(), 26);
    note.SetWidth(40);  // a word a line
    EXPECT_EQ(note.Height(), 52);
}

TEST_F(HeadlessControls, ModalFormsTakeEnterEscapeAndTheCloseBox) {
    form_->Show();  // the main form
    auto dialog = app_.CreateForm();
    auto& d = static_cast<HeadlessForm&>(*dialog);
    IButton& ok = d.CreateButton("OKBtn");
    ok.SetModalResult(DialogResult::Ok);
    ok.SetDefault(true);
    IButton& cancel = d.CreateButton("CancelBtn");
    cancel.SetModalResult(DialogResult::Cancel);
    cancel.SetCancel(true);
    IButton& other = d.CreateButton("HelpBtn");
    other.SetModalResult(DialogResult::No);
    const auto press = [&](std::function<bool(HeadlessForm&)> key) {
        app_.QueueModalAction([key](HeadlessForm& f) { EXPECT_TRUE(key(f)); });
        return dialog->ShowModal();
    };
    EXPECT_EQ(press([](HeadlessForm& f) { return f.UserPressEnter(); }), DialogResult::Ok);
    EXPECT_EQ(press([](HeadlessForm& f) { return f.UserPressEscape(); }), DialogResult::Cancel);
    EXPECT_EQ(press([](HeadlessForm& f) { return f.UserCloseBox(); }), DialogResult::Cancel);
    // Enter clicks the focused button rather than the default one.
    EXPECT_EQ(press([&](HeadlessForm& f) {
                  other.SetFocus();
                  return f.UserPressEnter();
              }),
              DialogResult::No);
    // A disabled default button is no default; nothing happens, and with no act left the
    // user closes the window.
    ok.SetEnabled(false);
    EXPECT_EQ(press([](HeadlessForm& f) { return !f.UserPressEnter(); }), DialogResult::Cancel);
    EXPECT_FALSE(d.UserPressEscape());  // hidden: no key reaches it
    // Nothing queued, and the close box refused: the wait still ends.
    dialog->OnSystemClose = [](bool& canClose) { canClose = false; };
    EXPECT_EQ(dialog->ShowModal(), DialogResult::Cancel);
    EXPECT_FALSE(dialog->Visible());
    EXPECT_EQ(app_.PendingModalActions(), 0u);
    EXPECT_FALSE(app_.Terminated());
}

TEST_F(HeadlessControls, AModalFormInsideAModalFormIsRefused) {
    form_->Show();
    auto dialog = app_.CreateForm();
    DialogResult inner = DialogResult::Ok;
    app_.QueueModalAction([&](HeadlessForm& f) { inner = f.ShowModal(); });
    EXPECT_EQ(dialog->ShowModal(), DialogResult::Cancel);
    EXPECT_EQ(inner, DialogResult::None);
    app_.Terminate();
    EXPECT_EQ(dialog->ShowModal(), DialogResult::None);
    EXPECT_FALSE(dialog->Visible());
}

TEST_F(HeadlessControls, DialogFormsAreCentredOnTheScreenWhenShown) {
    app_.SetScreenSize(1024, 768);
    form_->SetClientSize(463, 281);
    form_->SetPosition(5, 5);
    form_->SetBorderStyle(TFormBorderStyle::Dialog);
    form_->SetCentered(true);
    EXPECT_EQ(Form().Left(), 5);  // not before it is shown
    form_->Show();
    EXPECT_EQ(Form().Left(), 280);
    EXPECT_EQ(Form().Top(), 243);
    EXPECT_EQ(form_->BorderStyle(), TFormBorderStyle::Dialog);
    EXPECT_TRUE(form_->Centered());
}

TEST_F(HeadlessControls, FocusGoesOnlyWhereTheUserCouldPutIt) {
    IGroupBox& group = Form().CreateGroupBox("LCurrentFile");
    IEdit& url = Form().CreateEdit("FileURL", &group);
    ILabel& label = Form().CreateLabel("LFileSize", &group);
    IButton& finish = Form().CreateButton("FinishBtn");
    IButton& flat = Form().CreateButton("SpeedButton1", true);
    url.SetFocus();  // no place in the tab order, still focusable by a click
    EXPECT_TRUE(url.Focused());
    label.SetFocus();
    flat.SetFocus();
    EXPECT_TRUE(url.Focused());
    finish.SetEnabled(false);
    finish.SetFocus();
    EXPECT_TRUE(url.Focused());
    finish.SetEnabled(true);
    finish.SetFocus();
    EXPECT_TRUE(finish.Focused());
    EXPECT_EQ(Form().FocusedControl(), &finish);
    group.SetVisible(false);
    url.SetFocus();
    EXPECT_TRUE(finish.Focused());
}

TEST_F(HeadlessControls, APasswordFieldShowsOnlyItsMask) {
    auto& edit = static_cast<HeadlessEdit&>(Form().CreateEdit("PasswordEdit"));
    edit.SetPasswordChar('*');
    EXPECT_TRUE(
        edit.UserType("s\xC3\xA9"
                      "cret"));  // UTF-8: one mark per character
    EXPECT_EQ(edit.ShownText(), "******");
    EXPECT_EQ(edit.Text(),
              "s\xC3\xA9"
              "cret");
    edit.SetPasswordChar('\0');
    EXPECT_EQ(edit.ShownText(),
              "s\xC3\xA9"
              "cret");
}

TEST_F(HeadlessControls, FocusOrderTakesGroupBoxesLikePanels) {
    HeadlessForm& f = Form();
    IGroupBox& group = f.CreateGroupBox("LAllFiles");
    f.CreateButton("CancelBtn").SetTabOrder(2);
    f.CreateEdit("UsernameEdit", &group).SetTabOrder(1);
    f.CreateEdit("PasswordEdit", &group).SetTabOrder(0);
    f.CreateProgressBar("ProgressAllFiles", &group).SetTabOrder(2);  // takes no focus
    f.CreateImage("Image1").SetTabOrder(0);
    group.SetTabOrder(1);
    EXPECT_THAT(f.FocusOrder(), ElementsAre("PasswordEdit", "UsernameEdit", "CancelBtn"));
}

}  // namespace
}  // namespace pw::test
