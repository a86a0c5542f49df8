#pragma once

#include <string>

#include "agent/control/ApplicationControl.h"
#include "agent/control/CleanupControl.h"
#include "agent/control/HookControl.h"
#include "agent/control/PolicyControl.h"
#include "agent/control/PowerControl.h"
#include "agent/control/ProfileLoader.h"
#include "agent/control/WorkstationLock.h"
#include "shared/WatcherChannel.h"

namespace ko {

// Stands in for the capabilities whose own parts are not built yet: each call is logged and does
// nothing else. Each capability leaves this class as its real part lands.
class PendingCapabilities : public WorkstationLock,
                            public PowerControl,
                            public ApplicationControl,
                            public PolicyControl,
                            public ProfileLoader,
                            public HookControl,
                            public CleanupControl {
  public:
    // The channel the stand-in profile handler tells the watcher through; none: nothing is told.
    void SetWatcher(WatcherChannel* watcher) { m_watcher = watcher; }

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
    void ApplyPolicy() override { Note("apply policy"); }
    void ClearUserPolicies() override { Note("clear user policies"); }
    void TargetLoggedOnUser() override { Note("target logged-on user"); }
    void ApplySameUserPolicy() override { Note("apply same user policy"); }
    // ProfileLoader
    // Until the profile handler is built, a logon profile counts as applied at once: the
    // watcher is told to start filtering and that the session is in state 1.
    void LoadProfile(const std::string& url, ProfileAction action) override;
    // HookControl
    void SetUpCurrentUser() override { Note("set up current user"); }
    void InstallHooks() override { Note("install hooks"); }
    void RemoveHooks() override { Note("remove hooks"); }
    // CleanupControl
    void DeleteMyDocuments() override { Note("delete documents"); }

  protected:
    // Every call comes through here; the default writes it to the log.
    virtual void Note(const std::string& what);

  private:
    WatcherChannel* m_watcher = nullptr;
};

}  // namespace ko
