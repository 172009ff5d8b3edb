// The window's other commands: open a row's page, Exit, Minimise, Help, Set sound, and what each
// activation of the window does.

#include "monitor/Unit1.h"

namespace pw::monitor {

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
    const std::size_t nameStart = path.find_last_of("/\\:");
    const std::size_t dot = path.rfind('.');
    const bool hasExt =
        dot != std::string_view::npos && (nameStart == std::string_view::npos || dot > nameStart);
    return std::string(hasExt ? path.substr(0, dot) : path) + std::string(extension);
}

void TForm1::SpeedButtonClick(int k) {
    // The URL exactly as typed; the shell decides what an empty or malformed one does.
    services_.os.shell.ShellOpen(UrlField(k).Text(), "");
}

void TForm1::BitBtn1Click() {
    Timer1.SetEnabled(false);
    alarmtimer.SetEnabled(false);
    zcWavePlayer1.Stop();
    // Closing stores the start-up options and ends the application; a pass waiting in a fetch
    // then skips its remaining rows.
    form_->Close();
}

void TForm1::BitBtn5Click() {
    services_.app.Minimize();
}

void TForm1::BitBtn6Click() {
    // Beside the program as built; an installed one keeps it in its documentation folder.
    const std::string beside = ChangeFileExt(services_.env.AppExeName, ".pdf");
    const std::string guide = FindShippedFile(services_.env, beside);
    // Minimising hands the desktop over to the guide's viewer; when there can be none, that would
    // only hide the window, so the user is told where the guide is instead.
    std::string problem;
    if (guide.empty()) {
        const std::vector<std::string> places = ShippedFilePlaces(services_.env, beside);
        problem = places.size() == 1 ? "The user guide \"" + beside + "\" is missing."
                                     : "The user guide is missing: it is neither \"" + places[0] +
                                           "\" nor \"" + places[1] + "\".";
    } else if (services_.os.shell.AssociatedCommand(".pdf").empty())
        problem =
            "No program to show PDF documents is set up, so the user guide cannot be "
            "opened. It is \"" +
            guide + "\".";
    else if (!services_.os.shell.ShellOpen(guide, ""))
        problem = "The user guide \"" + guide + "\" could not be opened.";
    if (!problem.empty()) {
        services_.app.MessageBox(problem, "Pagewarden",
                                 framework::mb::kOk | framework::mb::kIconWarning);
        return;
    }
    services_.app.Minimize();
}

void TForm1::BitBtn7Click() {
    const std::optional<std::string> chosen = opendialog1.Execute();
    if (!chosen) return;
    // A file that cannot be read raises here: the sound and soundfile stay as they were.
    zcWavePlayer1.Wave().LoadFromFile(*chosen);
    soundfile = *chosen;
}

void TForm1::FormActivate() {
    if (autostart.Checked()) BitBtn2Click();
    if (firstshow) {
        firstshow = false;
        if (startmin.Checked()) services_.app.Minimize();
    }
}

}  // namespace pw::monitor
