// The main window: its controls with their design-time properties, its components, the row
// table and the binding of the handlers.

#include "monitor/Unit1.h"

#include <exception>
#include <stdexcept>

#include "monitor/Unit1Glyphs.h"
#include "sound/AlarmWave.h"
#include "update/kxReliftVerify.h"

namespace pw::monitor {

using framework::clBtnFace;
using framework::clGreen;
using framework::clWindow;

namespace {

// Focus order: timerduration, the rows (URL, logic, search), the button bar (its buttons in
// their own order), then the rest of the settings strip. The open buttons and the current-check
// panel take no focus.
constexpr int kTabTimerDuration = 0;
constexpr int kTabFirstRow = 1;
constexpr int kTabButtonBar = kTabFirstRow + 3 * TForm1::kRowCount;
constexpr int kTabAlarmRepeat = kTabButtonBar + 1;

constexpr int kRowTop = 32;
constexpr int kRowPitch = 24;

}  // namespace

TForm1::TForm1(const TForm1Services& services, TSettingsUse settings, const TUpdateSetup& update)
    : services_(services),
      form_(services.app.CreateForm()),
      timer1_(services.app.CreateTimer()),
      alarmtimer_(services.app.CreateTimer()),
      opendialog1_(services.app.CreateOpenDialog()),
      trayIcon1_(services.trayIcon ? services.app.CreateTrayIcon() : nullptr),
      Label4(form_->CreateLabel("Label4")),
      Label5(form_->CreateLabel("Label5")),
      Label6(form_->CreateLabel("Label6")),
      Label2(form_->CreateLabel("Label2")),
      timerduration(form_->CreateSpinEdit("timerduration")),
      Label3(form_->CreateLabel("Label3")),
      alarmrepeat(form_->CreateSpinEdit("alarmrepeat")),
      BitBtn7(form_->CreateButton("BitBtn7")),
      statustext(form_->CreateLabel("statustext")),
      Button1(form_->CreateButton("Button1")),
      autostart(form_->CreateCheckBox("autostart")),
      startmin(form_->CreateCheckBox("startmin")),
      Panel1(form_->CreatePanel("Panel1")),
      BitBtn2(form_->CreateButton("BitBtn2", false, &Panel1)),
      BitBtn3(form_->CreateButton("BitBtn3", false, &Panel1)),
      BitBtn1(form_->CreateButton("BitBtn1", false, &Panel1)),
      BitBtn5(form_->CreateButton("BitBtn5", false, &Panel1)),
      BitBtn4(form_->CreateButton("BitBtn4", false, &Panel1)),
      BitBtn6(form_->CreateButton("BitBtn6", false, &Panel1)),
      statusnote(form_->CreateLabel("statusnote", &Panel1)),
      workpanel(form_->CreatePanel("workpanel")),
      Label1(form_->CreateLabel("Label1", &workpanel)),
      Edit1(form_->CreateEdit("Edit1", &workpanel)),
      ComboBox1(form_->CreateComboBox("ComboBox1", &workpanel)),
      Edit2(form_->CreateEdit("Edit2", &workpanel)),
      Timer1(*timer1_),
      alarmtimer(*alarmtimer_),
      opendialog1(*opendialog1_),
      zcWavePlayer1(services.app, services.sound),
      kxHTTP1(services.app, services.os, services.internet),
      kxRelift1({.app = services.app,
                 .internet = services.internet,
                 .env = services.env,
                 .resources = &UpdateResources(),
                 .params = update.params,
                 .publicKeyPem = std::string(update::BuiltInUpdatePublicKey())}),
      settingsUse_(settings) {
    BuildControls();

    Timer1.SetEnabled(false);
    Timer1.SetInterval(1000);
    alarmtimer.SetEnabled(false);
    alarmtimer.SetInterval(1000);
    zcWavePlayer1.Enabled = true;
    // In the background, so the window answers and Stop silences it while a long wave sounds; a
    // repeat that comes while the wave still sounds lets it play on rather than start it again.
    zcWavePlayer1.SetOptions({sound::zcwpoAsync, sound::zcwpoNoStop});
    sound::LoadBuiltInAlarmWave(zcWavePlayer1.Wave());
    opendialog1.SetFilter("Sounds|*.wav");
    // kxHTTP1 keeps every property at the component's defaults but the limit on a whole page.
    kxHTTP1.Timeouts.TotalTimeout = kPageTimeLimitMs;
    // One check per run, ten seconds after start, downloading without asking first; nothing is
    // shown when there is no update. Without an address the component stays idle.
    kxRelift1.InfoFileURL = update.infoFileUrl;
    if (!update.versionDate.empty()) kxRelift1.VersionDate = update.versionDate;
    kxRelift1.SetVersionDateAutoSet(true);
    kxRelift1.ShowMessages = {update::mConnLost, update::mLostFile, update::mPasswordRequest};
    kxRelift1.SetAutoCheck(true);
    kxRelift1.Loaded();

    BindHandlers();
    if (settingsUse_ != TSettingsUse::None) FormCreate();
    if (trayIcon1_) ShowTrayIcon();
}

TForm1::~TForm1() {
    // Destroying the components may serve messages (kxHTTP1 waits for its worker): nothing of
    // ours may run from here on.
    destroying_ = true;
    // The icon leaves the notification area with the window, not after it.
    trayIcon1_.reset();
    Timer1.SetEnabled(false);
    alarmtimer.SetEnabled(false);
    Timer1.OnTimer = nullptr;
    alarmtimer.OnTimer = nullptr;
    form_->OnClose = nullptr;
    form_->OnResize = nullptr;
    form_->OnActivate = nullptr;
}

void TForm1::BuildControls() {
    framework::IForm& f = *form_;
    f.SetCaption("Pagewarden");
    f.SetPosition(306, 150);
    f.SetClientSize(784, 700);
    f.SetStayOnTop(true);

    // Column headings: the same face as the window at 10 point, bold.
    const auto heading = [](framework::ILabel& l, std::string_view text, int left, int width,
                            framework::TAlignment alignment) {
        l.SetCaption(text);
        l.SetBounds(left, 12, width, 16);
        l.SetFont(10, true);
        l.SetAlignment(alignment);
    };
    heading(Label4, "Complete URL to check including http://", 4, 272,
            framework::TAlignment::Center);
    heading(Label5, "Search for", 504, 72, framework::TAlignment::Left);
    heading(Label6, "Search text", 580, 174, framework::TAlignment::Center);

    for (int k = 1; k <= kRowCount; ++k) {
        Row& row = RowAt(k);
        const int top = kRowTop + kRowPitch * (k - 1);
        const int tab = kTabFirstRow + 3 * (k - 1);
        row.url = &f.CreateEdit("Edit" + std::to_string(2 * k + 1));
        row.url->SetBounds(4, top, 496, 21);
        row.url->SetColor(clWindow);
        row.url->SetTabOrder(tab);

        row.logic = &f.CreateComboBox("ComboBox" + std::to_string(k + 1));
        row.logic->SetBounds(504, top, 75, 21);
        row.logic->SetItems({"Absence", "Presence"});
        row.logic->SetItemIndex(1);
        row.logic->SetTabOrder(tab + 1);

        row.search = &f.CreateEdit("Edit" + std::to_string(2 * k + 2));
        row.search->SetBounds(580, top, 174, 21);
        row.search->SetColor(clBtnFace);
        row.search->SetTabOrder(tab + 2);

        row.open = &f.CreateButton("SpeedButton" + std::to_string(k), /*flat=*/true);
        row.open->SetBounds(756, top, 23, 22);
        row.open->SetCaption("W");
        row.open->SetHint("Open web page");
    }

    // The settings strip. Labels size to their text at 8 point (11-pixel characters, 13 high).
    Label2.SetCaption("Minutes between checks");
    Label2.SetBounds(8, 522, 134, 13);
    timerduration.SetBounds(144, 520, 49, 22);
    timerduration.SetValue(60);
    timerduration.SetTabOrder(kTabTimerDuration);
    Label3.SetCaption("Alarm repeat (seconds)");
    Label3.SetBounds(240, 522, 120, 13);
    alarmrepeat.SetBounds(360, 520, 49, 22);
    alarmrepeat.SetValue(10);
    alarmrepeat.SetTabOrder(kTabAlarmRepeat);
    BitBtn7.SetCaption("Set sound");
    BitBtn7.SetBounds(424, 520, 75, 25);
    BitBtn7.SetTabOrder(kTabAlarmRepeat + 1);
    statustext.SetCaption("Processing...");
    statustext.SetBounds(8, 544, 130, 13);
    statustext.SetVisible(false);
    Button1.SetCaption("Recheck now");
    Button1.SetBounds(144, 544, 105, 17);
    Button1.SetTabOrder(kTabAlarmRepeat + 2);
    autostart.SetCaption("Start checking on program start");
    autostart.SetBounds(272, 544, 201, 17);
    autostart.SetChecked(false);
    autostart.SetTabOrder(kTabAlarmRepeat + 3);
    startmin.SetCaption("Start minimised");
    startmin.SetBounds(488, 544, 97, 17);
    startmin.SetChecked(false);
    startmin.SetTabOrder(kTabAlarmRepeat + 4);

    // The button bar is docked first, so the current-check panel sits directly above it.
    Panel1.DockBottom(60);
    Panel1.SetTabOrder(kTabButtonBar);
    struct BarButton {
        framework::IButton& button;
        int left;
        std::string_view caption;
        std::string_view hint;
        std::string_view glyph;
    };
    const BarButton bar[] = {
        {BitBtn2, 22, "Start", "", "START"},
        {BitBtn3, 128, "Stop", "", "STOP"},
        {BitBtn1, 235, "Exit", "Exit the program", "EXIT"},
        {BitBtn5, 342, "Minimise", "Minimise window (will restore on alarm)", "MINIMISE"},
        {BitBtn4, 448, "Save", "Remember URLs", "SAVE"},
        {BitBtn6, 662, "Help", "", "HELP"},
    };
    int tab = 0;
    for (const BarButton& b : bar) {
        b.button.SetBounds(b.left, 19, 67, 30);
        b.button.SetCaption(b.caption);
        b.button.SetHint(b.hint);
        b.button.SetGlyph(ButtonGlyph(b.glyph));
        b.button.SetTabOrder(tab++);
    }
    BitBtn3.SetEnabled(false);
    BitBtn7.SetGlyph(ButtonGlyph("SOUND"));
    // The strip above the buttons spans the window, so the reasons are read in full without
    // hovering, and the current-check panel never covers them. FormResize keeps its width.
    statusnote.SetBounds(8, 2, f.ClientWidth() - 16, 16);

    workpanel.DockBottom(72);
    workpanel.SetVisible(false);
    Label1.SetCaption("URL - currently working on");
    Label1.SetBounds(280, 16, 130, 13);
    // As designed (73 wide), ComboBox1 shows little more than "Alarm on" of its items in any
    // readable font: it is 129 wide, 7 pixels from Edit2 as from Edit1, and Edit1 is narrower.
    Edit1.SetBounds(24, 40, 465, 21);
    Edit1.SetReadOnly(true);
    Edit1.SetColor(clBtnFace);
    ComboBox1.SetBounds(496, 40, 129, 21);
    ComboBox1.SetItems({"Alarm on absence of", "Alarm on presence of"});
    ComboBox1.SetItemIndex(0);
    ComboBox1.SetEnabled(false);
    ComboBox1.SetColor(clBtnFace);
    Edit2.SetBounds(632, 40, 121, 21);
    Edit2.SetReadOnly(true);
    Edit2.SetColor(clGreen);
}

void TForm1::BindHandlers() {
    // Handlers bound to controls and timers: a failure goes to the framework's error box and the
    // program goes on. Nothing runs once the window is being destroyed.
    const auto bind = [this](auto handler) {
        return [this, handler] {
            if (destroying_) return;
            try {
                handler();
            } catch (const std::exception& e) {
                services_.app.ShowException(e.what());
            }
        };
    };
    form_->OnClose = bind([this] { FormClose(); });
    form_->OnResize = bind([this] { FormResize(); });
    form_->OnActivate = bind([this] { FormActivate(); });
    BitBtn2.OnClick = bind([this] { BitBtn2Click(); });
    BitBtn3.OnClick = bind([this] { BitBtn3Click(); });
    BitBtn1.OnClick = bind([this] { BitBtn1Click(); });
    BitBtn5.OnClick = bind([this] { BitBtn5Click(); });
    BitBtn4.OnClick = bind([this] { BitBtn4Click(); });
    BitBtn6.OnClick = bind([this] { BitBtn6Click(); });
    BitBtn7.OnClick = bind([this] { BitBtn7Click(); });
    Button1.OnClick = bind([this] { Button1Click(); });
    autostart.OnClick = bind([this] { autostartClick(); });
    timerduration.OnChange = bind([this] { timerdurationChange(); });
    alarmrepeat.OnChange = bind([this] { alarmrepeatChange(); });
    Timer1.OnTimer = bind([this] { Timer1Timer(); });
    alarmtimer.OnTimer = bind([this] { alarmtimerTimer(); });
    for (int k = 1; k <= kRowCount; ++k) {
        Row& row = RowAt(k);
        row.url->OnChange = bind([this, k] { ComboBoxChange(k); });
        row.logic->OnChange = bind([this, k] { ComboBoxChange(k); });
        row.open->OnClick = bind([this, k] { SpeedButtonClick(k); });
    }
    if (trayIcon1_) {
        trayIcon1_->OnActivate = bind([this] { TrayIcon1Click(); });
        trayIcon1_->OnNotificationClicked = bind([this] { TrayIcon1Click(); });
        // The other entries are their buttons' clicks, so they do exactly what the buttons do,
        // and nothing while a button is disabled.
        trayIcon1_->AddMenuItem("Show", bind([this] { TrayIcon1Click(); }));
        trayIcon1_->AddMenuItem("Recheck now", [this] { Button1.Click(); });
        trayStopItem_ = trayIcon1_->AddMenuItem("Stop", [this] { BitBtn3.Click(); });
        trayIcon1_->AddMenuItem("Exit", [this] { BitBtn1.Click(); });
    }

    zcWavePlayer1.AfterPlay = [this](sound::TzcWavePlayer& sender) {
        zcWavePlayer1AfterPlay(sender);
    };
    kxHTTP1.OnDone = [this](http::TkxCustomHTTP& sender, const std::string& contentType,
                            std::int64_t fileSize, framework::TStream* stream) {
        kxHTTP1Done(sender, contentType, fileSize, stream);
    };
    kxHTTP1.OnAnyError = [this](http::TkxCustomHTTP& sender) { kxHTTP1AnyError(sender); };
}

framework::IForm& TForm1::Form() {
    return *form_;
}

TForm1::Row& TForm1::RowAt(int k) {
    if (k < 1 || k > kRowCount) throw std::out_of_range("no watch row " + std::to_string(k));
    return rows_[static_cast<std::size_t>(k - 1)];
}

const TForm1::Row& TForm1::RowAt(int k) const {
    if (k < 1 || k > kRowCount) throw std::out_of_range("no watch row " + std::to_string(k));
    return rows_[static_cast<std::size_t>(k - 1)];
}

framework::IEdit& TForm1::UrlField(int k) {
    return *RowAt(k).url;
}

framework::IComboBox& TForm1::LogicSelector(int k) {
    return *RowAt(k).logic;
}

framework::IEdit& TForm1::SearchField(int k) {
    return *RowAt(k).search;
}

framework::IButton& TForm1::OpenButton(int k) {
    return *RowAt(k).open;
}

std::string TForm1::RowFailure(int k) const {
    return RowAt(k).failure;
}

TRowVerdict TForm1::RowVerdict(int k) const {
    const Row& row = RowAt(k);
    return {VerdictOfColor(row.search->Color()), row.failure};
}

void TForm1::SetRowFailure(int k, std::string reason) {
    Row& row = RowAt(k);
    if (row.failure == reason) return;
    // The reason is the search field's tooltip while it stands.
    row.search->SetHint(reason);
    row.failure = std::move(reason);
    UpdateStatusNote();
}

void TForm1::ComboBoxChange(int k) {
    SearchField(k).SetColor(clBtnFace);
    SetRowFailure(k, "");
    UpdateTrayIcon();
}

void TForm1::autostartClick() {}

}  // namespace pw::monitor
