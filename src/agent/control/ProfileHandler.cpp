#include "agent/control/ProfileHandler.h"

#include "agent/control/AccountName.h"
#include "agent/control/CleanupManager.h"
#include "agent/control/ControlContext.h"
#include "agent/control/KoApplications.h"
#include "agent/control/LogonProfile.h"
#include "agent/control/PolicyManager.h"
#include "agent/control/ProfileDocument.h"
#include "agent/control/WindowsLogonSettings.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/wsClient.h"
#include "platform/AutoLogon.h"
#include "platform/XmlNode.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/RegistryModule.h"
#include "shared/WatcherChannel.h"

namespace ko {

ProfileHandler::ProfileHandler(ControlContext& context, ProfileDocument& profile,
                               WindowsLogonSettings& logonSettings, CleanupManager& cleanup,
                               KoApplications& applications, PolicyManager& policies)
    : m_ctx(context),
      m_profile(profile),
      m_logonSettings(logonSettings),
      m_cleanup(cleanup),
      m_applications(applications),
      m_policies(policies) {}

bool ProfileHandler::StillCurrent(std::uint64_t generation) const {
    return !m_ctx.stopping && m_ctx.client != nullptr && m_profile.IsCurrent(generation);
}

void ProfileHandler::OnProfileLoaded(std::shared_ptr<const XmlNode> koDom,
                                     std::uint64_t generation) {
    if (!StillCurrent(generation)) {
        return;
    }
    if (m_ctx.client->wsState == 1) {
        ApplyLogonProfile(koDom, generation);
        return;
    }
    CleanUpAndClose(koDom, generation, [this, koDom] {
        m_applications.RunApplications(LogonProfile::ProgramList(*koDom, "Start"));
    });
}

void ProfileHandler::CleanUpAndClose(const std::shared_ptr<const XmlNode>& koDom,
                                     std::uint64_t generation, std::function<void()> then) {
    auto stillCurrent = [this, generation] { return StillCurrent(generation); };
    m_cleanup.SetCleanUpOptions(*koDom, stillCurrent, [this, koDom, generation, then] {
        if (!StillCurrent(generation)) {
            return;
        }
        m_applications.CloseApplications(LogonProfile::ProgramList(*koDom, "Close"));
        if (StillCurrent(generation)) {
            then();
        }
    });
}

void ProfileHandler::ApplyLogonProfile(const std::shared_ptr<const XmlNode>& koDom,
                                       std::uint64_t generation) {
    wsClient& client = *m_ctx.client;
    m_logonSettings.SetWindowsLogonSettings(*koDom, client.nextWinUser, client.nextDomain);
    ApplyAutoLogon();
    LogonProfile::ApplyGeneralSettings(*koDom, m_ctx.globals.options);
    CleanUpAndClose(koDom, generation, [this, koDom, generation] {
        m_policies.ApplyProfilePolicies(koDom, [this, koDom, generation] {
            if (!StillCurrent(generation)) {
                return;
            }
            m_ctx.watcher.SendMessageToExe("KOW_CUPOLICY", "");
            if (!StillCurrent(generation)) {
                return;
            }
            m_applications.RunApplications(LogonProfile::ProgramList(*koDom, "Start"));
            if (!StillCurrent(generation) || m_ctx.client->wsState != 1) {
                return;
            }
            m_ctx.watcher.SendMessageToExe(
                "KOW_Update_State",
                NumberRules::Format(static_cast<std::int64_t>(m_ctx.client->wsState)));
        });
    });
}

void ProfileHandler::ApplyAutoLogon() {
    // Where the display manager does not read the Winlogon values itself (LightDM on Linux), the
    // automatic logon of a local account is handed to it as well.
    if (!m_ctx.globals.options.LogonSettingsReceived) {
        return;
    }
    const std::string autoAdminLogon =
        m_ctx.registry.ReadSetting("windowslogon", "AutoAdminLogon", "0");
    const std::string user = m_ctx.registry.ReadSetting("windowslogon", "DefaultUserName", "");
    const std::string domain = m_ctx.registry.ReadSetting("windowslogon", "DefaultDomainName", "");
    ActionResult result;
    if (autoAdminLogon == "1" && domain.empty() && IsValidAccountName(user)) {
        result = m_ctx.autoLogon.Enable(user);
    } else {
        result = m_ctx.autoLogon.Disable();
    }
    if (result != ActionResult::NotSupported) {
        Logger::Debug("logon settings: automatic logon: " + std::string(ActionResultText(result)));
    }
}

}  // namespace ko
