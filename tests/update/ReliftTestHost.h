#pragma once
// A stand-in for the self-update component as its windows see it: it answers with fixed values
// and records what the windows ask of it, in order.

#include <functional>
#include <string>
#include <vector>

#include "update/kxReliftWindowHost.h"
#include "update/kxReliftWizard.h"

namespace pw::test {

class ReliftTestHost final : public update::IReliftWindowHost {
  public:
    explicit ReliftTestHost(framework::IApplication& app) : app_(app) {}

    framework::IApplication& Application() const override { return app_; }
    const update::TkxReliftWizard& Wizard() const override { return wizard; }
    std::string UrlFileName() const override { return urlFileName; }
    std::string HTTPUsername() const override { return username; }
    void SetHTTPLogin(const std::string& user, const std::string& pass) override {
        username = user;
        password = pass;
        calls.push_back("login " + user + ":" + pass);
    }
    void AbortUpgrade() override {
        calls.push_back("abort");
        if (onAbort) onAbort();
    }
    void RaiseDoneEvent() override { calls.push_back("done"); }

    update::TkxReliftWizard wizard;
    std::string urlFileName = "pagewarden-2.0.tar.gz";
    std::string username;
    std::string password;
    std::vector<std::string> calls;
    // What the component does on an abort besides recording it (it frees the progress window).
    std::function<void()> onAbort;

  private:
    framework::IApplication& app_;
};

}  // namespace pw::test
