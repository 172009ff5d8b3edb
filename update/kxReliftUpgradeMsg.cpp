// The upgrade question window.

#include "update/kxReliftUpgradeMsg.h"

#include <memory>
#include <string>

#include "update/kxReliftMessages.h"
#include "update/kxReliftWindow.h"

namespace pw::update {

using framework::DialogResult;

namespace {

class TkxReliftUpgradeMessageForm final : public TReliftWindow {
  public:
    explicit TkxReliftUpgradeMessageForm(framework::IApplication& app)
        : TReliftWindow(app, "kxReliftUpgradeMessageForm", 318, 119),
          Icon(Form().CreateImage("Icon")),
          Label1(Form().CreateLabel("Label1")),
          BottomPanel(Form().CreatePanel("BottomPanel")),
          YesBtn(Form().CreateButton("YesBtn", false, &BottomPanel)),
          LaterBtn(Form().CreateButton("LaterBtn", false, &BottomPanel)) {
        // Topmost from its creation: the question comes from a timer, over whatever the user
        // is doing. The back end raises a topmost window each time it is shown.
        Form().SetStayOnTop(true);
        Icon.SetBounds(7, 5, 32, 32);
        Icon.LoadPicture(ReliftPicture("UPGRADE"));
        Label1.SetBounds(45, 5, 262, 13);
        Label1.SetWordWrap(true);
        Label1.SetAutoSize(true);
        BottomPanel.DockBottom(45);
        BottomPanel.SetBevel(framework::TPanelBevel::None);
        YesBtn.SetBounds(78, 13, 75, 23);
        YesBtn.SetDefault(true);
        YesBtn.SetModalResult(DialogResult::Yes);
        YesBtn.SetTabOrder(0);
        LaterBtn.SetBounds(167, 13, 75, 23);
        LaterBtn.SetCancel(true);
        LaterBtn.SetModalResult(DialogResult::No);
        LaterBtn.SetTabOrder(1);
    }

    framework::IImage& Icon;
    framework::ILabel& Label1;
    framework::IPanel& BottomPanel;
    framework::IButton& YesBtn;
    framework::IButton& LaterBtn;
};

// The unit's one question window; it exists while it asks.
std::unique_ptr<TkxReliftUpgradeMessageForm> kxReliftUpgradeMessageForm;

}  // namespace

bool AskUpgrade(IReliftWindowHost& host, const std::string& message) {
    framework::IApplication& app = host.Application();
    std::string title = app.Title();
    const std::string maker = LoadStringId(kMakerStringId);
    if (!maker.empty() && title.find(maker) != std::string::npos)
        title = LoadStringId(kAppTitleStringId);

    if (!kxReliftUpgradeMessageForm)
        kxReliftUpgradeMessageForm = std::make_unique<TkxReliftUpgradeMessageForm>(app);
    TkxReliftUpgradeMessageForm& w = *kxReliftUpgradeMessageForm;
    // Another component's question is up: this one is not asked.
    if (w.Form().Modal()) return false;
    w.SetHost(&host);

    const std::string framed = message.empty() ? message : "\n" + message + "\n";
    w.Label1.SetWidth(w.Form().ClientWidth() - w.Label1.Left() - 11);
    w.Label1.SetCaption(FormatMessageText(23, {title, framed}));
    w.Form().SetCaption(LoadMessageText(0));
    w.YesBtn.SetCaption(LoadMessageText(14));
    w.LaterBtn.SetCaption(LoadMessageText(19));
    w.Form().SetClientSize(w.Form().ClientWidth(),
                           w.Label1.Top() + w.Label1.Height() + w.BottomPanel.Height());

    return TReliftWindow::AskModally(kxReliftUpgradeMessageForm) == DialogResult::Yes;
}

void FreeUpgradeMessageForm(const IReliftWindowHost& host) {
    TReliftWindow::FreeFor(kxReliftUpgradeMessageForm, host);
}

}  // namespace pw::update
