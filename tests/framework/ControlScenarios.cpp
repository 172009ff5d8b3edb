#include "tests/framework/ControlScenarios.h"

#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace pw::test {
namespace {

using framework::clAmber;
using framework::clBtnFace;
using framework::clGreen;
using framework::clRed;
using framework::clWindow;
using framework::IApplication;
using framework::IButton;
using framework::ICheckBox;
using framework::IComboBox;
using framework::IControl;
using framework::IEdit;
using framework::IForm;
using framework::ILabel;
using framework::IPanel;
using framework::ISpinEdit;
using framework::TAlignment;
using framework::TColor;

// A 16 x 16 green PNG.
constexpr unsigned char kGlyph[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90, 0x91, 0x68,
    0x36, 0x00, 0x00, 0x00, 0x15, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x60, 0x68, 0x60, 0x20,
    0x0d, 0x8d, 0x6a, 0x18, 0xd5, 0x30, 0x7c, 0x35, 0x00, 0x00, 0x0e, 0x8c, 0x80, 0x01, 0x8e, 0xa9,
    0x3f, 0xb3, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

constexpr TColor kColours[] = {clBtnFace, clGreen, clRed, clAmber, clWindow};

// Lets a real window system deliver what the last call caused; virtual time needs no wait.
void Settle(BackendHarness& h) {
    h.Elapse(h.ExactTime() ? 0 : 100);
}

// At least once; exactly once where the back end's time is exact.
void RequireOnce(BackendHarness& h, int count) {
    if (h.ExactTime())
        PW_REQUIRE_EQ(count, 1);
    else
        PW_REQUIRE(count >= 1);
}

void RequireBounds(const IControl& c, int left, int top, int width, int height) {
    PW_REQUIRE_EQ(c.Left(), left);
    PW_REQUIRE_EQ(c.Top(), top);
    PW_REQUIRE_EQ(c.Width(), width);
    PW_REQUIRE_EQ(c.Height(), height);
}

void RequireCommonProperties(IForm& form, IControl& c) {
    PW_REQUIRE(form.FindControl(c.Name()) == &c);
    RequireBounds(c, 0, 0, 0, 0);
    PW_REQUIRE(c.Visible());
    PW_REQUIRE(c.Enabled());
    PW_REQUIRE_EQ(c.Hint(), std::string());
    PW_REQUIRE_EQ(c.TabOrder(), -1);

    c.SetBounds(504, 32, 75, 21);
    RequireBounds(c, 504, 32, 75, 21);
    c.SetWidth(-12);
    RequireBounds(c, 504, 32, 0, 21);
    c.SetLeft(7);
    c.SetWidth(496);
    RequireBounds(c, 7, 32, 496, 21);
    c.SetVisible(false);
    PW_REQUIRE(!c.Visible());
    c.SetVisible(true);
    PW_REQUIRE(c.Visible());
    c.SetEnabled(false);
    PW_REQUIRE(!c.Enabled());
    c.SetEnabled(true);
    PW_REQUIRE(c.Enabled());
    c.SetHint("Open web page");
    PW_REQUIRE_EQ(c.Hint(), std::string("Open web page"));
    c.SetHint("");
    PW_REQUIRE_EQ(c.Hint(), std::string());
    c.SetTabOrder(3);
    PW_REQUIRE_EQ(c.TabOrder(), 3);
}

void MakeEveryKind(IForm& form, IPanel* parent, const std::string& prefix) {
    ILabel& label = form.CreateLabel(prefix + "Label", parent);
    RequireCommonProperties(form, label);
    label.SetCaption("Search text");
    PW_REQUIRE_EQ(label.Caption(), std::string("Search text"));
    label.SetFont(10, true);
    PW_REQUIRE_EQ(label.FontSize(), 10);
    PW_REQUIRE(label.Bold());
    label.SetAlignment(TAlignment::Center);
    PW_REQUIRE(label.Alignment() == TAlignment::Center);

    IEdit& edit = form.CreateEdit(prefix + "Edit", parent);
    RequireCommonProperties(form, edit);
    PW_REQUIRE_EQ(edit.Text(), std::string());
    PW_REQUIRE_EQ(edit.Color(), clWindow);
    PW_REQUIRE(!edit.ReadOnly());
    // Bytes of the 8-bit code page come back unchanged.
    const std::string latin1 = "caf\xE9 \xFC\xDF\xA0x";
    edit.SetText(latin1);
    PW_REQUIRE_EQ(edit.Text(), latin1);
    for (TColor colour : kColours) {
        edit.SetColor(colour);
        PW_REQUIRE_EQ(edit.Color(), colour);
    }
    edit.SetReadOnly(true);
    PW_REQUIRE(edit.ReadOnly());

    IComboBox& combo = form.CreateComboBox(prefix + "ComboBox", parent);
    RequireCommonProperties(form, combo);
    PW_REQUIRE_EQ(combo.ItemIndex(), -1);
    const std::vector<std::string> items = {"Absence", "Presence"};
    combo.SetItems(items);
    PW_REQUIRE(combo.Items() == items);
    PW_REQUIRE_EQ(combo.ItemIndex(), -1);  // new items select nothing
    for (TColor colour : kColours) {
        combo.SetColor(colour);
        PW_REQUIRE_EQ(combo.Color(), colour);
    }

    ISpinEdit& spin = form.CreateSpinEdit(prefix + "SpinEdit", parent);
    RequireCommonProperties(form, spin);
    spin.SetValue(60);
    PW_REQUIRE_EQ(spin.Text(), std::string("60"));
    PW_REQUIRE_EQ(spin.Value(), 60);

    ICheckBox& check = form.CreateCheckBox(prefix + "CheckBox", parent);
    RequireCommonProperties(form, check);
    PW_REQUIRE(!check.Checked());
    check.SetCaption("Start minimised");
    PW_REQUIRE_EQ(check.Caption(), std::string("Start minimised"));
    check.SetChecked(true);
    PW_REQUIRE(check.Checked());

    for (bool flat : {false, true}) {
        IButton& button =
            form.CreateButton(prefix + (flat ? "SpeedButton" : "BitBtn"), flat, parent);
        RequireCommonProperties(form, button);
        button.SetCaption("W");
        PW_REQUIRE_EQ(button.Caption(), std::string("W"));
        PW_REQUIRE(!button.HasGlyph());
        button.SetGlyph(kGlyph);
        PW_REQUIRE(button.HasGlyph());
        button.SetGlyph({});
        PW_REQUIRE(!button.HasGlyph());
    }
}

void EveryControlHoldsItsProperties(BackendHarness& h) {
    std::unique_ptr<IForm> form = h.App().CreateForm();
    IPanel& panel = form->CreatePanel("Panel1");
    RequireCommonProperties(*form, panel);
    MakeEveryKind(*form, nullptr, "form");
    MakeEveryKind(*form, &panel, "panel");
    PW_REQUIRE(form->FindControl("Panel1") == &panel);
    PW_REQUIRE(form->FindControl("panelEdit") != nullptr);
    PW_REQUIRE(form->FindControl("Edit99") == nullptr);
}

void TheFormHoldsItsSettings(BackendHarness& h) {
    IApplication& app = h.App();
    std::unique_ptr<IForm> form = app.CreateForm();
    form->SetCaption("Pagewarden");
    PW_REQUIRE_EQ(form->Caption(), std::string("Pagewarden"));
    form->Show();
    Settle(h);
    PW_REQUIRE(!form->StayOnTop());
    // Changing the flag must not hide a window that is shown.
    form->SetStayOnTop(true);
    Settle(h);
    PW_REQUIRE(form->StayOnTop());
    PW_REQUIRE(form->Visible());
    form->SetStayOnTop(false);
    Settle(h);
    PW_REQUIRE(!form->StayOnTop());
    PW_REQUIRE(form->Visible());

    auto dialog = app.CreateOpenDialog();
    dialog->SetFilter("Sounds|*.wav");
    PW_REQUIRE_EQ(dialog->Filter(), std::string("Sounds|*.wav"));
}

void NotificationsFollowTheToolkitRules(BackendHarness& h) {
    std::unique_ptr<IForm> form = h.App().CreateForm();
    int resizes = 0, activations = 0, widthSeen = -1;
    form->OnResize = [&] {
        ++resizes;
        widthSeen = form->ClientWidth();
    };
    form->OnActivate = [&] { ++activations; };
    form->SetClientSize(784, 700);
    resizes = 0;
    form->Show();
    Settle(h);
    RequireOnce(h, resizes);
    RequireOnce(h, activations);
    resizes = 0;
    form->SetClientSize(884, 700);
    Settle(h);
    RequireOnce(h, resizes);
    PW_REQUIRE_EQ(widthSeen, 884);  // the handler sees the new size

    // Text set from code notifies, with the new text in place; the same text again does not.
    IEdit& edit = form->CreateEdit("Edit3");
    int editChanges = 0;
    std::string textSeen;
    edit.OnChange = [&] {
        ++editChanges;
        textSeen = edit.Text();
    };
    edit.SetText("http://example.org/");
    PW_REQUIRE_EQ(editChanges, 1);
    PW_REQUIRE_EQ(textSeen, std::string("http://example.org/"));
    edit.SetText("http://example.org/");
    PW_REQUIRE_EQ(editChanges, 1);
    edit.SetText("");
    PW_REQUIRE_EQ(editChanges, 2);

    ISpinEdit& spin = form->CreateSpinEdit("timerduration");
    int spinChanges = 0, valueSeen = 0;
    spin.OnChange = [&] {
        ++spinChanges;
        valueSeen = spin.Value();
    };
    spin.SetValue(5);
    PW_REQUIRE_EQ(spinChanges, 1);
    PW_REQUIRE_EQ(valueSeen, 5);
    spin.SetText("7");
    PW_REQUIRE_EQ(spinChanges, 2);
    PW_REQUIRE_EQ(valueSeen, 7);

    // Choices and ticks made in code do not notify.
    IComboBox& combo = form->CreateComboBox("ComboBox2");
    int comboChanges = 0;
    combo.OnChange = [&] { ++comboChanges; };
    combo.SetItems({"Absence", "Presence"});
    combo.SetItemIndex(1);
    combo.SetItemIndex(0);
    PW_REQUIRE_EQ(comboChanges, 0);
    ICheckBox& check = form->CreateCheckBox("autostart");
    int checkClicks = 0;
    check.OnClick = [&] { ++checkClicks; };
    check.SetChecked(true);
    check.SetChecked(false);
    PW_REQUIRE_EQ(checkClicks, 0);

    // A click reaches only an enabled, visible button, also inside a panel.
    IPanel& panel = form->CreatePanel("Panel1");
    for (IPanel* parent : {static_cast<IPanel*>(nullptr), &panel}) {
        IButton& button = form->CreateButton(parent ? "BitBtn2" : "Button1", false, parent);
        button.SetBounds(22, 19, 67, 30);
        int clicks = 0;
        button.OnClick = [&] { ++clicks; };
        button.Click();
        Settle(h);
        PW_REQUIRE_EQ(clicks, 1);
        button.SetEnabled(false);
        button.Click();
        Settle(h);
        PW_REQUIRE_EQ(clicks, 1);
        button.SetEnabled(true);
        button.SetVisible(false);
        button.Click();
        Settle(h);
        PW_REQUIRE_EQ(clicks, 1);
        button.SetVisible(true);
        button.Click();
        Settle(h);
        PW_REQUIRE_EQ(clicks, 2);
    }
}

void AComboBoxSelectsAnItemOrNothing(BackendHarness& h) {
    std::unique_ptr<IForm> form = h.App().CreateForm();
    IComboBox& combo = form->CreateComboBox("ComboBox1");
    combo.SetItems({"Alarm on absence of", "Alarm on presence of"});
    combo.SetItemIndex(1);
    PW_REQUIRE_EQ(combo.ItemIndex(), 1);
    combo.SetItemIndex(-1);
    PW_REQUIRE_EQ(combo.ItemIndex(), -1);
    combo.SetItemIndex(0);
    combo.SetItemIndex(2);  // a stored value outside the items
    PW_REQUIRE_EQ(combo.ItemIndex(), -1);
    combo.SetItemIndex(1);
    combo.SetItemIndex(-5);
    PW_REQUIRE_EQ(combo.ItemIndex(), -1);
    combo.SetItemIndex(1);
    combo.SetItems({"one"});
    PW_REQUIRE_EQ(combo.ItemIndex(), -1);
}

void ASpinFieldCountsWhatIsNotAnIntegerAsZero(BackendHarness& h) {
    std::unique_ptr<IForm> form = h.App().CreateForm();
    ISpinEdit& spin = form->CreateSpinEdit("alarmrepeat");
    const struct {
        const char* text;
        int value;
    } cases[] = {{"12", 12},
                 {"-3", -3},
                 {"abc", 0},
                 {"99999999999", 0},
                 {"0", 0},
                 {"2147483647", INT_MAX},
                 {"-2147483648", INT_MIN},
                 {"2147483648", 0},
                 {"", 0},
                 {"12abc", 0}};
    for (const auto& c : cases) {
        spin.SetText(c.text);
        if (spin.Value() != c.value)
            throw ScenarioFailure{
                __FILE__, __LINE__,
                std::string("value of \"") + c.text + "\" is " + std::to_string(spin.Value())};
    }
    spin.SetValue(INT_MIN);
    PW_REQUIRE_EQ(spin.Value(), INT_MIN);
}

void BottomPanelsStayDockedOverAResize(BackendHarness& h) {
    std::unique_ptr<IForm> form = h.App().CreateForm();
    form->Show();
    form->SetClientSize(400, 300);
    ILabel& label = form->CreateLabel("Label2");
    label.SetBounds(8, 522, 120, 13);
    IPanel& bar = form->CreatePanel("Panel1");
    IButton& start = form->CreateButton("BitBtn2", false, &bar);
    start.SetBounds(22, 19, 67, 30);
    bar.DockBottom(60);
    IPanel& work = form->CreatePanel("workpanel");
    IEdit& url = form->CreateEdit("Edit1", &work);
    url.SetBounds(24, 40, 497, 21);
    work.DockBottom(72);
    Settle(h);
    RequireBounds(bar, 0, 240, 400, 60);
    RequireBounds(work, 0, 168, 400, 72);

    form->SetClientSize(500, 350);
    Settle(h);
    RequireBounds(bar, 0, 290, 500, 60);
    RequireBounds(work, 0, 218, 500, 72);
    form->SetClientSize(300, 250);
    Settle(h);
    RequireBounds(bar, 0, 190, 300, 60);
    RequireBounds(work, 0, 118, 300, 72);
    // Docking moves the panels only: their controls and the form's keep their places.
    RequireBounds(start, 22, 19, 67, 30);
    RequireBounds(url, 24, 40, 497, 21);
    RequireBounds(label, 8, 522, 120, 13);
}

}  // namespace

const std::vector<Scenario>& ControlScenarios() {
    static const std::vector<Scenario> all = {
        {"EveryControlHoldsItsProperties", EveryControlHoldsItsProperties},
        {"TheFormHoldsItsSettings", TheFormHoldsItsSettings},
        {"NotificationsFollowTheToolkitRules", NotificationsFollowTheToolkitRules},
        {"AComboBoxSelectsAnItemOrNothing", AComboBoxSelectsAnItemOrNothing},
        {"ASpinFieldCountsWhatIsNotAnIntegerAsZero", ASpinFieldCountsWhatIsNotAnIntegerAsZero},
        {"BottomPanelsStayDockedOverAResize", BottomPanelsStayDockedOverAResize},
    };
    return all;
}

}  // namespace pw::test
