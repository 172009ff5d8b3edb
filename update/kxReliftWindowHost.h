#pragma once
// What the self-update windows need of the component that shows them. The component implements
// it; the windows know nothing else of it.
//
// UI thread only.

#include <string>

#include "framework/Application.h"

namespace pw::update {

struct TkxReliftWizard;

class IReliftWindowHost {
  public:
    virtual ~IReliftWindowHost() = default;

    // The application the windows and message boxes belong to (its title is the program's name
    // in the texts).
    virtual framework::IApplication& Application() const = 0;
    // The progress window's options.
    virtual const TkxReliftWizard& Wizard() const = 0;
    // The file name of the URL being fetched (the password window names it).
    virtual std::string UrlFileName() const = 0;
    // The user name and password for HTTP authentication.
    virtual std::string HTTPUsername() const = 0;
    virtual void SetHTTPLogin(const std::string& username, const std::string& password) = 0;
    // The progress window was closed and the abort confirmed.
    virtual void AbortUpgrade() = 0;
    // The progress window closed (by any path): ends the component's completion wait.
    virtual void RaiseDoneEvent() = 0;
};

}  // namespace pw::update
