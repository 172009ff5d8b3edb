#pragma once
// The main window: twenty watch rows, the check cycle, the evaluation of fetched pages and the
// alarm, the stored settings, the layout on resize and the window's commands. The window is
// written once against the framework's interfaces, so the Qt program and the headless checker
// run the same logic.
//
// Threads: UI thread only. kxHTTP1's events reach the handlers on the UI thread.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Application.h"
#include "framework/Controls.h"
#include "framework/Form.h"
#include "framework/Streams.h"
#include "framework/Timer.h"
#include "http/kxHTTP.h"
#include "monitor/Verdict.h"
#include "platform/Internet.h"
#include "platform/Os.h"
#include "platform/Sound.h"
#include "sound/zMM.h"
#include "update/kxRelift.h"
#include "util/kxUtilsSystem.h"

namespace pw::monitor {

// The settings key under HKEY_CURRENT_USER; the last segment is part of the key's name.
inline constexpr std::string_view kSettingsKey = "Software\\Quillmere\\Pagewarden\\watchset.ini";
// The scratch copy of the latest fetched page.
inline constexpr std::string_view kScratchFileName = "url2.htm";
// The longest one page may take to arrive whole: a server that trickles cannot hold the pass.
inline constexpr std::uint32_t kPageTimeLimitMs = 120'000;

// Everything the window needs from outside; the program and the tests build it.
struct TForm1Services {
    framework::IApplication& app;
    platform::Os& os;               // registry (settings), files, shell (W, Help), system
    platform::IInternet& internet;  // for kxHTTP1
    platform::ISound& sound;        // for zcWavePlayer1 (the checker passes a silent one)
    const TkxEnvironment& env;      // AppExeName / AppFolder / DataFolder (url2.htm, the .pdf)
    // An icon in the desktop's notification area and a notification for each new alarm. Only the
    // program's window has them: the checker and the tests that do not ask get neither.
    bool trayIcon = false;
};

// What kxRelift1 takes from the program: the address of the update information file (empty: no
// automatic check), the running version's release date ("month/day/year"; empty: the
// component's default) and the program's command-line parameters (a restart after an update is
// recognised by them). The checker and the tests pass none.
struct TUpdateSetup {
    std::string infoFileUrl;
    std::string versionDate;
    std::vector<std::string> params;
};

// Where url2.htm goes when the program's folder cannot take it: $XDG_CACHE_HOME/pagewarden/,
// else ~/.cache/pagewarden/, else a "pagewarden" folder in the temp folder; with a trailing
// delimiter.
std::string ScratchCacheFolder(const TkxEnvironment& env);

// The path with the extension of its last component replaced (or added): "a/b.exe" -> "a/b.pdf".
std::string ChangeFileExt(std::string_view path, std::string_view extension);

// How a window uses the stored settings. The program's window loads them, and writes them on Save
// and on close; the checker's only reads them (the key is not created, nothing is kept aside);
// without them the rows keep their design-time logic "Presence".
enum class TSettingsUse { None, ReadWrite, ReadOnly };

// A row's verdict as its search field shows it, and why its page could not be fetched (empty when
// it was).
struct TRowVerdict {
    Verdict verdict = Verdict::None;
    std::string reason;
};

// The state of the pass over the rows. The verdict itself travels only through Edit2's colour.
struct TCheckPass {
    enum class Fetch { None, Pending, Evaluated, Failed };

    bool running = false;    // a pass is under way (a fetch of it may be waiting)
    bool checkbusy = false;  // a row's fetch has started and has not yet ended
    Fetch fetch = Fetch::None;
    std::string reason;  // why the current row's fetch failed
};

class TForm1 {
  public:
    static constexpr int kRowCount = 20;

    // Builds the window and its components; runs FormCreate (loads the settings) unless the
    // settings are not used.
    explicit TForm1(const TForm1Services& services, TSettingsUse settings = TSettingsUse::ReadWrite,
                    const TUpdateSetup& update = {});
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    framework::IForm& Form();  // the window (Form1)

    // Row k (1..20): its controls, as named in the row table (Edit3/ComboBox2/Edit4/SpeedButton1
    // for row 1, ..., Edit41/ComboBox21/Edit42/SpeedButton20 for row 20).
    framework::IEdit& UrlField(int k);
    framework::IComboBox& LogicSelector(int k);
    framework::IEdit& SearchField(int k);
    framework::IButton& OpenButton(int k);
    // Why row k's last fetch failed ("HTTP 404", "host unreachable", ...); empty when it was
    // fetched, when its verdict was cleared, or when it is not watched.
    std::string RowFailure(int k) const;
    // Row k's verdict, read from its search field's colour, with the failure behind it.
    TRowVerdict RowVerdict(int k) const;
    // The scratch file the latest completed fetch was written to; empty when none was written.
    const std::string& ScratchFile() const { return scratchFile_; }
    const TCheckPass& Pass() const { return pass_; }
    // A pass over the rows is running (a fetch of it may be waiting).
    bool InPass() const { return pass_.running; }
    // The status line's word on the alarm sound: that there is no sound device, once a play has
    // found none (the sound layer does not look again); empty otherwise.
    std::string SoundNotice() const;

    // --- handlers, by the name each bears ---
    void FormCreate();    // loads the settings; a failure goes to the error box
    void FormActivate();  // applies the start-up options
    void FormClose();     // stores the two start-up options; throws on a refused write
    void FormResize();
    void BitBtn2Click();  // Start
    void BitBtn3Click();  // Stop
    void Button1Click();  // Recheck now: one pass over the rows (ignored during a pass)
    void Timer1Timer();
    void timerdurationChange();
    void kxHTTP1Done(http::TkxCustomHTTP& Sender, const std::string& ContentType,
                     std::int64_t FileSize, framework::TStream* Stream);
    // Bound to kxHTTP1's OnAnyError, which follows every failed transfer.
    void kxHTTP1AnyError(http::TkxCustomHTTP& Sender);
    void alarmtimerTimer();
    void alarmrepeatChange();
    void zcWavePlayer1AfterPlay(sound::TzcWavePlayer& Sender);
    void BitBtn1Click();  // Exit
    void BitBtn5Click();  // Minimise
    void BitBtn6Click();  // Help
    void BitBtn7Click();  // Set sound; throws when the chosen file cannot be read
    void BitBtn4Click();  // Save; throws on a refused write
    // SpeedButton1Click ... SpeedButton20Click: opens row k's URL.
    void SpeedButtonClick(int k);
    // ComboBox2Change ... ComboBox21Change, bound to row k's URL field and logic selector: clears
    // the row's verdict.
    void ComboBoxChange(int k);
    void autostartClick();

    // The pass over the rows (the minute tick and Recheck now run it); nothing during a pass.
    void CheckAllRows();
    // Marks the working verdict red, plays the alarm sound, restores the application.
    void RaiseAlarm();

    // The tray icon (TrayIcon1) when the services asked for one, else null. Its menu: Show,
    // Recheck now, Stop, Exit.
    framework::ITrayIcon* TrayIcon() const { return trayIcon1_.get(); }
    // The icon, a click on its notification, and its Show entry: a minimised window comes back
    // and is activated.
    void TrayIcon1Click();

  private:
    TForm1Services services_;
    std::unique_ptr<framework::IForm> form_;
    std::unique_ptr<framework::ITimer> timer1_;
    std::unique_ptr<framework::ITimer> alarmtimer_;
    std::unique_ptr<framework::IOpenDialog> opendialog1_;
    std::unique_ptr<framework::ITrayIcon> trayIcon1_;

  public:
    // --- controls, by name (the form owns them) ---
    framework::ILabel& Label4;  // "Complete URL to check including http://"
    framework::ILabel& Label5;  // "Search for"
    framework::ILabel& Label6;  // "Search text"
    framework::ILabel& Label2;
    framework::ISpinEdit& timerduration;
    framework::ILabel& Label3;
    framework::ISpinEdit& alarmrepeat;
    framework::IButton& BitBtn7;  // "Set sound"
    framework::ILabel& statustext;
    framework::IButton& Button1;  // "Recheck now"
    framework::ICheckBox& autostart;
    framework::ICheckBox& startmin;
    framework::IPanel& Panel1;  // the button bar, docked to the bottom
    framework::IButton& BitBtn2;
    framework::IButton& BitBtn3;
    framework::IButton& BitBtn1;
    framework::IButton& BitBtn5;
    framework::IButton& BitBtn4;
    framework::IButton& BitBtn6;
    // Across the top of the button bar: what could not be done, in full, as the rows stand now.
    framework::ILabel& statusnote;
    framework::IPanel& workpanel;  // the current check, docked above Panel1
    framework::ILabel& Label1;
    framework::IEdit& Edit1;          // working URL
    framework::IComboBox& ComboBox1;  // working logic
    framework::IEdit& Edit2;          // working search text; its colour is the latest verdict

    // --- components ---
    framework::ITimer& Timer1;
    framework::ITimer& alarmtimer;
    framework::IOpenDialog& opendialog1;
    sound::TzcWavePlayer zcWavePlayer1;
    http::TkxHTTP kxHTTP1;
    update::TkxRelift kxRelift1;

    // --- window-level state ---
    std::int32_t minutecount = 0;
    std::string soundfile;
    bool firstshow = false;

  private:
    struct Row {
        framework::IEdit* url = nullptr;
        framework::IComboBox* logic = nullptr;
        framework::IEdit* search = nullptr;
        framework::IButton* open = nullptr;
        std::string failure;
    };

    void BuildControls();
    void BindHandlers();
    Row& RowAt(int k);
    const Row& RowAt(int k) const;

    // The cycle.
    int Interval() const { return timerduration.Value(); }
    // alarmrepeat seconds as a timer interval; 0 (never ticks) for 0 or less.
    static std::uint32_t RepeatInterval(int seconds);
    std::string Countdown() const;
    void ShowCountdownOrBusy();
    void SetStatus(std::string text);
    void SetRowFailure(int k, std::string reason);
    // statusnote from the rows' failures and the scratch file's problem, as they are now.
    void UpdateStatusNote();
    void FetchRow(int k);
    void FetchFailed(std::string reason);

    // Gives the tray icon its pictures and state, and puts it into the notification area.
    void ShowTrayIcon();
    // The icon's state, tooltip and Stop entry as the rows and the cycle stand now.
    void UpdateTrayIcon();
    // Row k has just turned red: one notification naming its page and text.
    void NotifyAlarm(int k);

    // The scratch file; returns why it could not be written, empty when it was.
    std::string WriteScratchFile(std::string_view page);

    // The settings store.
    void LoadSettings();
    void SaveSettings();
    void StoreStartupOptions();
    // While the stored file holds values the load could not read: keeps it aside and returns
    // where it went (empty when there was nothing to keep), or throws, so that nothing is written
    // over them.
    std::string KeepUnreadSettings();
    // Before every write of the store: the same, and the user is told where the file went.
    void WriteOverUnreadSettings();

    const TSettingsUse settingsUse_;
    bool destroying_ = false;
    TCheckPass pass_;
    // The stored values the load could not read, named as the error box named them; empty once a
    // copy of the file as it was is kept.
    std::string unreadSettings_;
    std::string scratchFile_;
    std::string scratchProblem_;
    std::array<Row, kRowCount> rows_{};
    int trayStopItem_ = -1;
};

}  // namespace pw::monitor
