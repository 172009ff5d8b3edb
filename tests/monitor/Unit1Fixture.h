#pragma once
// What every test of the main window stands on: the headless back end on a virtual clock, the
// real registry store in a temporary config folder, pages served on 127.0.0.1, a silent sound
// layer and a shell that only records what it is asked to open.

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/headless/HeadlessApplication.h"
#include "framework/headless/HeadlessControls.h"
#include "monitor/Unit1.h"
#include "platform/native/NativeOs.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"

namespace pw::monitor::test {

using framework::clAmber;
using framework::clBtnFace;
using framework::clGreen;
using framework::clRed;

// Records every play (the image's bytes) and stop; hears nothing.
class SilentSound final : public platform::ISound {
  public:
    bool PlayWave(std::span<const unsigned char> image, std::uint32_t) override {
        if (!image.data()) {
            ++stops;
            return true;
        }
        plays.emplace_back(image.begin(), image.end());
        return true;
    }
    std::vector<std::vector<unsigned char>> plays;
    int stops = 0;
};

// A desktop with a PDF viewer unless told otherwise.
class RecordingShell final : public platform::IShell {
  public:
    bool ShellOpen(std::string_view file, std::string_view parameters) override {
        opened.emplace_back(file, parameters);
        return opens;
    }
    bool StartProcess(const std::string&, const std::vector<std::string>&) override {
        return false;
    }
    std::string AssociatedCommand(std::string_view extension) override {
        return extension == ".pdf" ? pdfViewer : std::string();
    }
    std::vector<std::pair<std::string, std::string>> opened;
    bool opens = true;
    std::string pdfViewer = "/usr/bin/evince %U";
};

// Pages by path; an unknown path answers 404. A hook runs on the server's thread when its path
// is asked for, before the answer is sent.
class Site {
  public:
    Site() {
        server_.Http().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::function<void()> hook;
            int status = 404;
            std::string body;
            {
                std::lock_guard lock(mutex_);
                ++requests_[req.path];
                if (auto it = pages_.find(req.path); it != pages_.end()) {
                    status = it->second.first;
                    body = it->second.second;
                }
                if (auto it = hooks_.find(req.path); it != hooks_.end()) hook = it->second;
            }
            if (hook) hook();
            res.status = status;
            res.set_content(body, "text/html");
        });
        server_.Start();
    }
    void Serve(const std::string& path, std::string body, int status = 200) {
        std::lock_guard lock(mutex_);
        pages_[path] = {status, std::move(body)};
    }
    void Hook(const std::string& path, std::function<void()> hook) {
        std::lock_guard lock(mutex_);
        hooks_[path] = std::move(hook);
    }
    std::string Url(const std::string& path) const { return server_.Url(path); }
    // Requests that reached the site, counted as they arrive.
    int Requests(const std::string& path) const {
        std::lock_guard lock(mutex_);
        auto it = requests_.find(path);
        return it == requests_.end() ? 0 : it->second;
    }
    int Requests() const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& [path, count] : requests_)
            n += count;
        return n;
    }

  private:
    pw::test::HttpTestServer server_;
    mutable std::mutex mutex_;
    std::map<std::string, int> requests_;
    std::map<std::string, std::pair<int, std::string>> pages_;
    std::map<std::string, std::function<void()>> hooks_;
};

class WindowTest : public ::testing::Test {
  protected:
    WindowTest() {
        env.AppExeName = dir / "pagewarden";
        env.AppFolder = (dir.path() / "").string();
        Restart();
    }

    // A fresh application and window on the same registry, as a new run of the program.
    void Restart(TSettingsUse settings = TSettingsUse::ReadWrite) {
        form.reset();
        app = std::make_unique<framework::HeadlessApplication>(clock);
        form = std::make_unique<TForm1>(TForm1Services{*app, os, internet, sound, env, trayIcon},
                                        settings);
    }

    framework::HeadlessForm& Window() {
        return dynamic_cast<framework::HeadlessForm&>(form->Form());
    }
    template <typename T>
    T& Control(const std::string& name) {
        T* control = Window().Find<T>(name);
        if (!control) throw std::runtime_error("no control " + name);
        return *control;
    }
    void Watch(int k, const std::string& url, const std::string& text, int logic = 0) {
        form->UrlField(k).SetText(url);
        form->SearchField(k).SetText(text);
        form->LogicSelector(k).SetItemIndex(logic);
    }
    // Runs fn on the UI thread from the server's thread while a pass waits for that page.
    void DuringFetchOf(const std::string& path, std::function<void()> fn) {
        site.Hook(path, [this, fn] {
            auto done = std::make_shared<std::promise<void>>();
            auto ran = done->get_future();
            app->Post([fn, done] {
                fn();
                done->set_value();
            });
            ran.wait();
        });
    }
    // A path below the test's folder in the system's own delimiters, as the program builds them.
    std::string At(const std::string& relative) const {
        return (dir.path() / relative).make_preferred().string();
    }
    void Minutes(int n) { app->AdvanceAndProcess(framework::Millis{n} * 60'000); }
    std::string Status() const { return form->statustext.Caption(); }
    std::string Note() const { return form->statusnote.Caption(); }
    platform::RegValue Stored(const std::string& section, const std::string& name) {
        platform::RegValue v;
        os.registry.QueryValue(platform::RegRoot::CurrentUser,
                               std::string(kSettingsKey) + "\\" + section, name, v);
        return v;
    }
    void Store(const std::string& section, const std::string& name, const platform::RegValue& v) {
        const std::string key = std::string(kSettingsKey) + "\\" + section;
        os.registry.OpenKey(platform::RegRoot::CurrentUser, key, true);
        os.registry.SetValue(platform::RegRoot::CurrentUser, key, name, v);
    }
    std::vector<std::string> ErrorBoxes() const { return Boxes(true); }
    std::vector<std::string> MessageBoxes() const { return Boxes(false); }
    std::vector<std::string> Boxes(bool errorBoxes) const {
        std::vector<std::string> out;
        for (const auto& d : app->Dialogs())
            if (d.errorBox == errorBoxes) out.push_back(d.text);
        return out;
    }

    pw::test::TempDir dir;
    Site site;
    std::shared_ptr<framework::VirtualClock> clock = std::make_shared<framework::VirtualClock>();
    platform::NativeOs native{{dir.path() / "config", [](const std::string&) {}}};
    RecordingShell shell;
    platform::Os os{native.os().registry, native.os().files, shell, native.os().system};
    platform::NativeInternet internet;
    SilentSound sound;
    TkxEnvironment env{os};
    std::unique_ptr<framework::HeadlessApplication> app;
    bool trayIcon = false;  // the window asks for a tray icon, as the program's does
    std::unique_ptr<TForm1> form;
};

}  // namespace pw::monitor::test
