// The controls on the headless back end: the shared scenarios, then what only this back end offers
// (acting as the user, scripted open dialogs, the focus order) and its handling of bad calls.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pw::test
