#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agent/control/ApplicationControl.h"
#include "agent/control/CleanupControl.h"
#include "agent/control/CleanupManager.h"
#include "agent/control/ControlContext.h"
#include "agent/control/HookControl.h"
#include "agent/control/KoApplications.h"
#include "agent/control/PolicyControl.h"
#include "agent/control/PolicyManager.h"
#include "agent/control/PowerControl.h"
#include "agent/control/PowerManager.h"
#include "agent/control/ProfileDocument.h"
#include "agent/control/ProfileHandler.h"
#include "agent/control/ProfileLoader.h"
#include "agent/control/UserIdentity.h"
#include "agent/control/WorkstationLock.h"
#include "agent/control/WorkstationLocker.h"
#include "agent/control/hookModule.h"

namespace ko {

class WindowsLogonSettings;
class XmlDocument;

// Everything the agent does to the workstation itself, behind the capabilities the state logic
// and the start and stop routines drive: the lock, the power, the applications, the policies,
// the profile document and its handler, the hooks and the clean-up.
class WorkstationControl : public WorkstationLock,
                           public PowerControl,
                           public ApplicationControl,
                           public PolicyControl,
                           public ProfileLoader,
                           public HookControl,
                           public CleanupControl {
  public:
    WorkstationControl(ControlContext context, XmlDocument& xml,
                       WindowsLogonSettings& logonSettings);
    ~WorkstationControl() override;
    WorkstationControl(const WorkstationControl&) = delete;
    WorkstationControl& operator=(const WorkstationControl&) = delete;

    // WorkstationLock
    void LockWorkstation() override { m_locker.LockWorkstation(); }
    void UnlockWorkstation() override { m_locker.UnlockWorkstation(); }
    void EnableCtrlAltDel(int state) override { m_locker.EnableCtrlAltDel(state); }
    void ResetLockFlags() override { m_locker.ResetLockFlags(); }
    void SetScreenSaverRunning(bool running) override;
    void SetClient(wsClient* client, ServerLink* link) override;
    void BeginRestore() override;
    // PowerControl
    void ShutDown() override { m_power.ShutDown(); }
    void Restart() override { m_power.Restart(); }
    void LogOffUser() override { m_power.LogOffUser(); }
    // ApplicationControl
    void CreateApplicationList() override { m_applications.CreateApplicationList(); }
    void CleanUp() override { m_applications.CleanUp(); }
    void CloseWindow(std::int32_t windowHandle) override {
        m_applications.CloseWindow(windowHandle);
    }
    void EndApplication(const std::string& key) override { m_applications.EndApplication(key); }
    std::vector<Entry> TrackedApplications() override {
        return m_applications.TrackedApplications();
    }
    // PolicyControl
    void ApplyPolicy() override { m_policies.ApplyPolicy(); }
    void ClearUserPolicies() override { m_policies.ClearUserPolicies(); }
    void TargetLoggedOnUser() override { m_policies.TargetLoggedOnUser(); }
    void ApplySameUserPolicy() override { m_policies.ApplySameUserPolicy(); }
    // ProfileLoader
    void LoadProfile(const std::string& url, ProfileAction action) override {
        m_profile.LoadProfile(url, action);
    }
    // HookControl
    void SetUpCurrentUser() override { m_identity.SetUpCurrentUser(); }
    void InstallHooks() override { m_hooks.InstallShellHooks(); }
    void RemoveHooks() override { m_hooks.RemoveShellHooks(); }
    // CleanupControl
    void DeleteMyDocuments() override { m_cleanup.DeleteMyDocuments(); }

    ControlContext& Context() { return m_ctx; }
    KoApplications& Applications() { return m_applications; }
    PolicyManager& Policies() { return m_policies; }
    ProfileDocument& Profile() { return m_profile; }
    hookModule& Hooks() { return m_hooks; }

  private:
    ControlContext m_ctx;
    UserIdentity m_identity;
    ProfileDocument m_profile;
    KoApplications m_applications;
    WorkstationLocker m_locker;
    PolicyManager m_policies;
    hookModule m_hooks;
    PowerManager m_power;
    CleanupManager m_cleanup;
    ProfileHandler m_handler;
};

}  // namespace ko
