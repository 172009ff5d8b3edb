// The progress window: its controls, the options and texts it is shown with, the completion
// state, and its commands.

#include "update/kxReliftWizard.h"

#include <memory>
#include <string>

#include "update/kxReliftMessages.h"
#include "update/kxReliftWizardForm.h"

namespace pw::update {

using framework::clBtnFace;
using framework::clBtnHighlight;
using framework::clBtnShadow;
using framework::clHighlight;
using framework::DialogResult;
using framework::ILabel;
using framework::TFont;
namespace mb = framework::mb;

namespace {

// The unit's one progress window.
std::unique_ptr<TkxReliftWizardForm> wizardForm;

// Group box captions and the engraved caption keep a blank on each side.
std::string Blanked(const std::string& text) {
    return " " + text + " ";
}

// A label that sizes itself to its text, at left, top of its parent.
void PlaceLabel(ILabel& label, int left, int top) {
    label.SetBounds(left, top, 0, 0);
    label.SetAutoSize(true);
}

}  // namespace

TkxReliftWizardForm::TkxReliftWizardForm(framework::IApplication& app)
    : TReliftWindow(app, "kxReliftWizardForm", 463, 281),
      Panel1(Form().CreatePanel("Panel1")),
      Image1(Form().CreateImage("Image1", &Panel1)),
      WizardTitle(Form().CreateLabel("WizardTitle")),
      AfterNote(Form().CreateLabel("AfterNote")),
      LCurrentFile(Form().CreateGroupBox("LCurrentFile")),
      LDownloadingFileFrom(Form().CreateLabel("LDownloadingFileFrom", &LCurrentFile)),
      FileURL(Form().CreateEdit("FileURL", &LCurrentFile)),
      LFileSize(Form().CreateLabel("LFileSize", &LCurrentFile)),
      LTransferRate(Form().CreateLabel("LTransferRate", &LCurrentFile)),
      LEstimatedTime(Form().CreateLabel("LEstimatedTime", &LCurrentFile)),
      ProgressCurrentFile(Form().CreateProgressBar("ProgressCurrentFile", &LCurrentFile)),
      LAllFiles(Form().CreateGroupBox("LAllFiles")),
      AllDownloading(Form().CreateLabel("AllDownloading", &LAllFiles)),
      ProgressAllFiles(Form().CreateProgressBar("ProgressAllFiles", &LAllFiles)),
      Bevel1(Form().CreateBevel("Bevel1")),
      AboutShadow(Form().CreateLabel("AboutShadow")),
      AboutLabel(Form().CreateLabel("AboutLabel")),
      FinishBtn(Form().CreateButton("FinishBtn")),
      CancelBtn(Form().CreateButton("CancelBtn")) {
    Panel1.SetBounds(10, 10, 120, 220);
    Panel1.SetBevel(framework::TPanelBevel::Lowered);
    // The panel's client area, inside its one-pixel bevel.
    Image1.SetBounds(1, 1, 118, 218);
    Image1.LoadPicture(ReliftPicture("WIZARD"));

    PlaceLabel(WizardTitle, 136, 10);
    WizardTitle.SetFont(TFont{"Times New Roman", 14, true, true});
    AfterNote.SetBounds(136, 44, 319, 65);
    AfterNote.SetWordWrap(true);

    LCurrentFile.SetBounds(136, 34, 319, 125);
    PlaceLabel(LDownloadingFileFrom, 6, 14);
    // A URL to read and copy, not to edit, and not a stop of the Tab key.
    FileURL.SetBounds(10, 28, 301, 13);
    FileURL.SetBorderless(true);
    FileURL.SetColor(clBtnFace);
    FileURL.SetFontColor(clHighlight);
    FileURL.SetReadOnly(true);
    PlaceLabel(LFileSize, 6, 44);
    PlaceLabel(LTransferRate, 6, 60);
    PlaceLabel(LEstimatedTime, 6, 76);
    ProgressCurrentFile.SetBounds(6, 96, 307, 22);

    LAllFiles.SetBounds(136, 162, 319, 67);
    PlaceLabel(AllDownloading, 6, 16);
    ProgressAllFiles.SetBounds(6, 38, 307, 22);

    Bevel1.SetBounds(10, 238, 447, 2);
    // The light copy is opaque: with the blanks around the word it cuts the line, and the dark
    // copy over it makes the word look engraved.
    PlaceLabel(AboutShadow, 31, 234);
    AboutShadow.SetFont(9, false);
    AboutShadow.SetFontColor(clBtnHighlight);
    AboutShadow.SetTransparent(false);
    PlaceLabel(AboutLabel, 30, 233);
    AboutLabel.SetFont(9, false);
    AboutLabel.SetFontColor(clBtnShadow);

    FinishBtn.SetBounds(296, 248, 75, 25);
    FinishBtn.SetEnabled(false);
    FinishBtn.SetTabOrder(0);
    CancelBtn.SetBounds(380, 248, 75, 25);
    CancelBtn.SetDefault(true);
    CancelBtn.SetCancel(true);
    CancelBtn.SetModalResult(DialogResult::Cancel);
    CancelBtn.SetTabOrder(1);

    FinishBtn.OnClick = Handler([this] { FinishBtnClick(); });
    CancelBtn.OnClick = Handler([this] { CancelBtnClick(); });
    Form().OnSystemClose = Handler([this](bool& canClose) { WMSysCommandClose(canClose); });
    Form().OnClose = Handler([this] { FormClose(); });
}

void TkxReliftWizardForm::FinishBtnClick() {
    Form().Close();
}

void TkxReliftWizardForm::CancelBtnClick() {
    Form().PostSystemClose();
}

void TkxReliftWizardForm::WMSysCommandClose(bool& canClose) {
    // The window closes itself when the abort is confirmed, so that the close comes first and
    // the abort after it.
    canClose = false;
    IReliftWindowHost* host = Host();
    const DialogResult answer =
        App().MessageBox(LoadMessageText(27), App().Title(), mb::kYesNo | mb::kIconQuestion);
    // The box waited in a loop of its own, where the component may have freed the window.
    if (answer != DialogResult::Yes || Freed()) return;
    Form().Close();
    if (host) host->AbortUpgrade();
}

void TkxReliftWizardForm::FormClose() {
    IReliftWindowHost* host = Host();
    if (wizardForm.get() == this) Free(wizardForm);
    if (host) host->RaiseDoneEvent();
}

TkxReliftWizardForm* kxReliftWizardForm() {
    return wizardForm.get();
}

void ShowProgressWindow(IReliftWindowHost& host) {
    if (!wizardForm) wizardForm = std::make_unique<TkxReliftWizardForm>(host.Application());
    TkxReliftWizardForm& w = *wizardForm;
    w.SetHost(&host);
    const TkxReliftWizard& options = host.Wizard();

    const std::string about = Blanked(LoadStringId(kProductStringId));
    w.AboutLabel.SetCaption(about);
    w.AboutShadow.SetCaption(about);
    if (options.StayOnTop) w.Form().SetStayOnTop(true);
    // Once: a window shown again has its rows closed up already.
    if (options.HideFileLocation && w.FileURL.Visible()) {
        w.FileURL.SetVisible(false);
        w.LDownloadingFileFrom.SetVisible(false);
        w.LFileSize.SetTop(w.LDownloadingFileFrom.Top());
        w.LTransferRate.SetTop(w.LFileSize.Top() + 16);
        w.LEstimatedTime.SetTop(w.LTransferRate.Top() + 16);
        w.ProgressCurrentFile.SetTop(w.LEstimatedTime.Top() + 20);
        w.LCurrentFile.SetTop(w.LCurrentFile.Top() + 10);
        w.LCurrentFile.SetHeight(w.LCurrentFile.Height() - 30);
    }
    // A picture that does not decode leaves the built-in one.
    if (!options.Pic118x218.empty()) w.Image1.LoadPicture(options.Pic118x218);

    w.LEstimatedTime.SetCaption(LoadMessageText(22));
    w.Form().SetCaption(LoadMessageText(0));
    w.WizardTitle.SetCaption(LoadMessageText(1));
    w.LCurrentFile.SetCaption(Blanked(LoadMessageText(3)));
    w.LAllFiles.SetCaption(Blanked(LoadMessageText(4)));
    w.LDownloadingFileFrom.SetCaption(LoadMessageText(5));
    w.FinishBtn.SetCaption(LoadMessageText(18));
    w.CancelBtn.SetCaption(LoadMessageText(17));
    w.Form().Show();
}

void ShowCompleted() {
    if (!wizardForm) return;
    TkxReliftWizardForm& w = *wizardForm;
    w.WizardTitle.SetCaption(LoadMessageText(2));
    w.AfterNote.SetCaption(FormatMessageText(10, {w.App().Title()}));
    w.AfterNote.SetAutoSize(true);
    w.LCurrentFile.SetVisible(false);
    w.LAllFiles.SetVisible(false);
    w.CancelBtn.SetEnabled(false);
    w.FinishBtn.SetCaption(LoadMessageText(16));
    w.FinishBtn.SetEnabled(true);
    w.FinishBtn.SetFocus();
}

void FreeProgressWindow() {
    TReliftWindow::Free(wizardForm);
}

void FreeReliftWindows(const IReliftWindowHost& host) {
    TReliftWindow::FreeFor(wizardForm, host);
    FreeUpgradeMessageForm(host);
    FreePasswordForm(host);
}

framework::DialogResult ShowMessageBox(IReliftWindowHost& host, const std::string& text,
                                       std::uint32_t flags) {
    return host.Application().MessageBox(text, LoadMessageText(0), flags);
}

framework::DialogResult ShowMessageBox(IReliftWindowHost& host, int k, std::uint32_t flags) {
    return ShowMessageBox(host, LoadMessageText(k), flags);
}

}  // namespace pw::update
