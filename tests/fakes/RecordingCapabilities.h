#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "agent/core/AgentCapabilities.h"
#include "agent/core/PendingCapabilities.h"
#include "agent/kiosk/BillingDisplay.h"
#include "agent/kiosk/KioskWindow.h"

namespace ko {

// Every capability call, in order, as a short text ("lock workstation", "show page <url>"). The
// kiosk remembers the address it was sent to, so the state logic can ask where the browser is.
class RecordingCapabilities : public PendingCapabilities,
                              public KioskWindow,
                              public BillingDisplay {
  public:
    // The kiosk, as the state logic drives it.
    void Navigate(const std::string& url) override {
        location = url;
        Note("show page " + url);
    }
    std::string LocationURL() override { return location; }
    std::string LocationName() override;
    void SetBodyHtml(const std::string&) override { Note("write the waiting notice"); }
    void MoveBrowserToTopLeft() override { Note("move browser to top left"); }
    void ShowMainForm() override { Note("show main form"); }
    void HideMainForm() override { Note("hide main form"); }
    void SetCaption(const std::string& caption) override { Note("caption " + caption); }
    void DisplayMinimizedWindow() override { Note("display minimized window"); }
    void DispalyNormalWindow() override { Note("display normal window"); }
    void PosForm() override { Note("place main window"); }
    void SetWindowFocusTimer(bool enabled) override {
        Note(enabled ? "window focus timer on" : "window focus timer off");
    }
    void SetMainWindowMinimized(bool minimized) override {
        Note(minimized ? "main window minimized" : "main window normal");
    }
    void SetMainPosition(const std::string& vertical, const std::string& horizontal) override {
        Note("main position " + vertical + " " + horizontal);
    }
    void SetMainTopmost(bool topmost) override {
        Note(topmost ? "main window topmost" : "main window not topmost");
    }
    void UnloadForms() override { Note("unload forms"); }
    void ForceForeground() override { Note("force main window to the foreground"); }
    bool GrabKeyboard(bool grab) override {
        Note(grab ? "grab keyboard" : "release keyboard");
        return true;
    }
    // Handles of the agent's own windows, as the test sets them.
    std::map<std::uint64_t, std::string> ownWindows;
    std::string IsOwnWindow(std::uint64_t handle) override {
        auto it = ownWindows.find(handle);
        return it != ownWindows.end() ? it->second : std::string();
    }
    void UpdateBillingInformation() override { Note("update billing information"); }
    AgentCapabilities All() {
        return AgentCapabilities{*this, *this, *this, *this, *this, *this, *this,
                                 *this, *this, *this, *this, *this, *this};
    }
    std::vector<ApplicationControl::Entry> TrackedApplications() override { return applications; }
    // The message window is modal: whatever the test puts here runs while it is shown.
    void ShowForm(const std::string& kind, const std::string& msgEnglish, const std::string& msgID,
                  const std::string& msgParametar, std::int16_t msgBoxStyle) override {
        PendingCapabilities::ShowForm(kind, msgEnglish, msgID, msgParametar, msgBoxStyle);
        if (whileMessageShown) {
            auto during = std::exchange(whileMessageShown, nullptr);
            during();
        }
    }

    // The customer's answer to the message window's question.
    bool KoActionApproved() const override { return approved; }

    bool Saw(const std::string& call) const;
    int Count(const std::string& call) const;
    std::vector<std::string> Take() { return std::exchange(calls, {}); }

    std::vector<std::string> calls;
    std::vector<ApplicationControl::Entry> applications;
    std::function<void()> whileMessageShown;
    // Runs after every recorded call, with its text: to look at the world at that moment, or
    // to make the call fail.
    std::function<void(const std::string&)> onCall;
    std::string location;
    bool approved = false;

  protected:
    void Note(const std::string& what) override {
        calls.push_back(what);
        if (onCall) {
            onCall(what);
        }
    }
};

}  // namespace ko
