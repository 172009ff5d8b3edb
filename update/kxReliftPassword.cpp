// The password window.

#include "update/kxReliftPassword.h"

#include <memory>
#include <string>
#include <utility>

#include "update/kxReliftMessages.h"
#include "update/kxReliftWindow.h"

namespace pw::update {

using framework::DialogResult;

namespace {

class TkxReliftPasswordForm final : public TReliftWindow {
  public:
    explicit TkxReliftPasswordForm(framework::IApplication& app)
        : TReliftWindow(app, "kxReliftPasswordForm", 297, 141),
          Label1(Form().CreateLabel("Label1")),
          Image1(Form().CreateImage("Image1")),
          BottomPanel(Form().CreatePanel("BottomPanel")),
          UsernameLab(Form().CreateLabel("UsernameLab", &BottomPanel)),
          PasswordLab(Form().CreateLabel("PasswordLab", &BottomPanel)),
          UsernameEdit(Form().CreateEdit("UsernameEdit", &BottomPanel)),
          PasswordEdit(Form().CreateEdit("PasswordEdit", &BottomPanel)),
          OKBtn(Form().CreateButton("OKBtn", false, &BottomPanel)),
          CancelBtn(Form().CreateButton("CancelBtn", false, &BottomPanel)) {
        Label1.SetBounds(45, 5, 246, 13);
        Label1.SetWordWrap(true);
        Label1.SetAutoSize(true);
        Image1.SetBounds(7, 5, 32, 32);
        Image1.LoadPicture(ReliftPicture("PASSWORD"));
        BottomPanel.DockBottom(98);
        BottomPanel.SetBevel(framework::TPanelBevel::None);
        for (auto [label, top] : {std::pair{&UsernameLab, 14}, std::pair{&PasswordLab, 38}}) {
            label->SetBounds(45, top, 0, 0);
            label->SetAutoSize(true);
        }
        UsernameEdit.SetBounds(122, 10, 157, 21);
        UsernameEdit.SetTabOrder(0);
        PasswordEdit.SetBounds(122, 34, 157, 21);
        PasswordEdit.SetPasswordChar('*');
        PasswordEdit.SetTabOrder(1);
        OKBtn.SetBounds(114, 68, 75, 23);
        OKBtn.SetDefault(true);
        OKBtn.SetModalResult(DialogResult::Ok);
        OKBtn.SetTabOrder(2);
        CancelBtn.SetBounds(204, 68, 75, 23);
        CancelBtn.SetCancel(true);
        CancelBtn.SetModalResult(DialogResult::Cancel);
        CancelBtn.SetTabOrder(3);
        OKBtn.OnClick = Handler([this] { OKBtnClick(); });
    }

    // Stores the login before the window closes.
    void OKBtnClick() {
        if (IReliftWindowHost* host = Host())
            host->SetHTTPLogin(UsernameEdit.Text(), PasswordEdit.Text());
    }

    framework::ILabel& Label1;
    framework::IImage& Image1;
    framework::IPanel& BottomPanel;
    framework::ILabel& UsernameLab;
    framework::ILabel& PasswordLab;
    framework::IEdit& UsernameEdit;
    framework::IEdit& PasswordEdit;
    framework::IButton& OKBtn;
    framework::IButton& CancelBtn;
};

// The unit's one password window; it exists while it asks.
std::unique_ptr<TkxReliftPasswordForm> kxReliftPasswordForm;

}  // namespace

bool AskPassword(IReliftWindowHost& host) {
    if (!kxReliftPasswordForm)
        kxReliftPasswordForm = std::make_unique<TkxReliftPasswordForm>(host.Application());
    TkxReliftPasswordForm& w = *kxReliftPasswordForm;
    if (w.Form().Modal()) return false;  // another component's request is up
    w.SetHost(&host);

    w.Label1.SetWidth(w.Form().ClientWidth() - w.Label1.Left() - 18);
    w.Label1.SetCaption(FormatMessageText(29, {host.UrlFileName()}));
    w.Form().SetCaption(LoadMessageText(11));
    w.UsernameLab.SetCaption(LoadMessageText(12));
    w.UsernameEdit.SetText(host.HTTPUsername());
    w.PasswordLab.SetCaption(LoadMessageText(13));
    // Never a password of an earlier request.
    w.PasswordEdit.SetText("");
    w.OKBtn.SetCaption(LoadMessageText(16));
    w.CancelBtn.SetCaption(LoadMessageText(17));
    w.Form().SetClientSize(w.Form().ClientWidth(),
                           w.Label1.Top() + w.Label1.Height() + w.BottomPanel.Height());

    return TReliftWindow::AskModally(kxReliftPasswordForm) == DialogResult::Ok;
}

void FreePasswordForm(const IReliftWindowHost& host) {
    TReliftWindow::FreeFor(kxReliftPasswordForm, host);
}

}  // namespace pw::update
