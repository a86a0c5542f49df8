#pragma once

#include <string>

#include "agent/control/ApplicationControl.h"
#include "agent/control/CleanupControl.h"
#include "agent/control/HookControl.h"
#include "agent/control/PolicyControl.h"
#include "agent/control/PowerControl.h"
#include "agent/control/ProfileLoader.h"
#include "agent/control/WorkstationLock.h"
#include "agent/kiosk/BillingDisplay.h"
#include "agent/kiosk/KioskWindow.h"
#include "agent/messages/Advertising.h"
#include "agent/messages/MessageWindow.h"
#include "agent/messages/TimeoutWarning.h"
#include "shared/WatcherChannel.h"

namespace ko {

// Stands in for the capabilities whose own parts are not built yet: each call is logged and does
// nothing else, except that the kiosk remembers the address it was sent to, so the state logic
// can ask where the browser is. Each capability leaves this class as its real part lands.
class PendingCapabilities : public KioskWindow,
                            public BillingDisplay,
                            public WorkstationLock,
                            public PowerControl,
                            public ApplicationControl,
                            public PolicyControl,
                            public ProfileLoader,
                            public HookControl,
                            public CleanupControl,
                            public MessageWindow,
                            public TimeoutWarning,
                            public Advertising,
                            public WatcherChannel {
  public:
    // KioskWindow
    void Navigate(const std::string& url) override;
    std::string LocationURL() override { return m_location; }
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
    // BillingDisplay
    void UpdateBillingInformation() override { Note("update billing information"); }
    // WorkstationLock
    void LockWorkstation() override { Note("lock workstation"); }
    void UnlockWorkstation() override { Note("unlock workstation"); }
    void EnableCtrlAltDel(int state) override;
    void ResetLockFlags() override { Note("reset lock flags"); }
    void SetScreenSaverRunning(bool running) override {
        Note(running ? "screen saver running" : "screen saver not running");
    }
    // PowerControl
    void ShutDown() override { Note("shut down"); }
    void Restart() override { Note("restart"); }
    void LogOffUser() override { Note("log the user off"); }
    // ApplicationControl
    void CreateApplicationList() override { Note("create application list"); }
    void CleanUp() override { Note("close all applications"); }
    void CloseWindow(std::int32_t windowHandle) override;
    void EndApplication(const std::string& key) override { Note("end application " + key); }
    std::vector<Entry> TrackedApplications() override { return {}; }
    // PolicyControl
    void TakePolicySnapshot() override { Note("take policy snapshot"); }
    void ApplyPolicy() override { Note("apply policy"); }
    void ClearUserPolicies() override { Note("clear user policies"); }
    void TargetLoggedOnUser() override { Note("target logged-on user"); }
    void ApplySameUserPolicy() override { Note("apply same user policy"); }
    // ProfileLoader
    void LoadProfile(const std::string& url) override { Note("load profile " + url); }
    // HookControl
    void SetUpCurrentUser() override { Note("set up current user"); }
    void InstallHooks() override { Note("install hooks"); }
    void RemoveHooks() override { Note("remove hooks"); }
    // CleanupControl
    void DeleteMyDocuments() override { Note("delete documents"); }
    // MessageWindow
    void ShowForm(const std::string& kind, const std::string& msgEnglish, const std::string& msgID,
                  const std::string& msgParametar, std::int16_t msgBoxStyle) override;
    // TimeoutWarning
    void ShowTimeoutWindow() override { Note("time-out warning"); }
    void PlayTimeoutSound() override { Note("time-out sound"); }
    // Advertising
    void DeactivateAdvertisements() override { Note("deactivate advertisements"); }
    void ResetAdTimers() override { Note("reset advertisement timers"); }
    void SaveAdProfile() override { Note("advertisement profile"); }
    // WatcherChannel
    void RegisterMessages() override { Note("register watcher messages"); }
    void CreateMessageWindow(const std::string& windowName) override {
        Note("create message window " + windowName);
    }
    void SendMessageToExe(const std::string& messageName, const std::string& text) override;

  protected:
    // Every call comes through here; the default writes it to the log.
    virtual void Note(const std::string& what);

  private:
    std::string m_location;
};

}  // namespace ko
