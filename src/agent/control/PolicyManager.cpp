#include "agent/control/PolicyManager.h"

#include <cstdlib>

#include "agent/control/AccountName.h"
#include "agent/control/ControlContext.h"
#include "agent/control/LogonProfile.h"
#include "agent/control/ProfileDocument.h"
#include "agent/control/UserIdentity.h"
#include "agent/control/WorkstationLock.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/wsClient.h"
#include "platform/DesktopWindows.h"
#include "platform/EventLoop.h"
#include "platform/Power.h"
#include "platform/UserSession.h"
#include "platform/XmlNode.h"
#include "shared/AsciiCase.h"
#include "shared/Logger.h"
#include "shared/RegistryModule.h"

namespace ko {

namespace {

constexpr const char* kLoadedHive = "keyloaded";
constexpr const char* kProfileList =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

// "%SystemDrive%\Documents and Settings\x" as the profile list stores it.
std::string ExpandEnvironment(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        const std::size_t close =
            open == std::string::npos ? std::string::npos : text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(i);
            break;
        }
        out += text.substr(i, open - i);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value == nullptr) {
            return {};  // a path that cannot be completed names no file
        }
        out += value;
        i = close + 1;
    }
    return out;
}

}  // namespace

PolicyManager::PolicyManager(ControlContext& context, UserIdentity& identity,
                             ProfileDocument& profile, WorkstationLock& lock)
    : m_ctx(context),
      m_identity(identity),
      m_profile(profile),
      m_lock(lock),
      m_tmrShell(context.loop, [this] { PollShell(); }) {
    m_tmrShell.SetInterval(kShellPollMs);
}

void PolicyManager::ClearUserPolicies() {
    m_ctx.registry.ClearUserPolicies();
}

void PolicyManager::TargetLoggedOnUser() {
    if (m_ctx.client != nullptr) {
        m_ctx.client->HideSB = 0;
    }
    m_identity.SetUpCurrentUser();
}

void PolicyManager::ApplySameUserPolicy() {
    const ActionResult restarted = m_ctx.session.RestartShell();
    Logger::Debug("policies: shell restart: " + std::string(ActionResultText(restarted)));
    HideStartButton();
}

void PolicyManager::ApplyDefaultPolicy() {
    m_ctx.registry.ClearPolicies();
    m_ctx.session.RestartShell();
}

void PolicyManager::HideStartButton() {
    wsClient* client = m_ctx.client;
    if (client == nullptr || client->HideSB != 1 || client->StartButtonHidden != 0) {
        return;
    }
    if (!m_ctx.session.LoggedOnUser()) {
        return;
    }
    std::unique_ptr<ImpersonationScope> asUser = m_ctx.session.Impersonate();
    m_ctx.windows.CloseStartButton();
}

bool PolicyManager::WritableHive(const std::string& hive) {
    if (hive == kLoadedHive) {
        return m_hiveLoaded;
    }
    return m_identity.IsLoggedOnSid(hive);
}

void PolicyManager::WritePolicies(const XmlNode& koDom) {
    wsClient* client = m_ctx.client;
    if (client == nullptr) {
        return;
    }
    client->isNewPolicy = 0;
    client->HideSB = 0;
    client->StartButtonHidden = 0;
    const LogonProfile::Policies policies =
        LogonProfile::ReadPolicies(koDom, m_ctx.globals.regional);
    if (!policies.present) {
        return;
    }
    const std::string hive = m_ctx.registry.PolicyHive();
    const bool writable = WritableHive(hive);
    if (!writable) {
        Logger::Info("policies: the hive \"" + hive +
                     "\" is not a loaded user hive; no policy is "
                     "written there");
    } else {
        m_ctx.registry.ClearPolicyHive();
    }
    for (const LogonProfile::PolicyEntry& entry : policies.entries) {
        if (entry.name == "NoStartButton") {
            client->HideSB = entry.value;
            continue;
        }
        if (!LogonProfile::IsClearablePolicySection(entry.section)) {
            Logger::Info("policies: section \"" + entry.section + "\" is not a policy key; " +
                         entry.name + " is not written");
            continue;
        }
        if (writable) {
            m_ctx.registry.WriteUserPolicy(entry.section, entry.name, entry.value);
        }
    }
    if (policies.complete && writable) {
        client->isNewPolicy = -1;
    }
}

std::string PolicyManager::ProfileHiveFile(const std::string& sid) {
    if (sid.empty()) {
        return {};
    }
    const std::optional<std::string> folder =
        m_ctx.registry.QueryText(RegRoot::LocalMachine, kProfileList + sid, "ProfileImagePath");
    if (!folder || folder->empty()) {
        return {};
    }
    const std::string expanded = ExpandEnvironment(*folder);
    return expanded.empty() ? std::string() : expanded + "\\NTUSER.DAT";
}

bool PolicyManager::LoadNextUserHive() {
    wsClient* client = m_ctx.client;
    m_hiveLoaded = false;
    m_ctx.registry.SetPolicyHive(kLoadedHive);
    if (client == nullptr || !IsValidAccountName(client->nextWinUser) ||
        !IsValidDomainName(client->nextDomain)) {
        Logger::Info(
            "policies: the next account's name is not an account name; its hive is "
            "not loaded");
        return false;
    }
    UserHiveSource source;
    source.nextWinUser = client->nextWinUser;
    source.hiveFile =
        ProfileHiveFile(m_identity.UserSidString(client->nextDomain, client->nextWinUser));
    m_ctx.registry.LoadUserHive(source);
    m_hiveLoaded = m_ctx.registry.LastLoadResult() == 0;
    return m_hiveLoaded;
}

void PolicyManager::ApplyProfilePolicies(std::shared_ptr<const XmlNode> profile,
                                         std::function<void()> then) {
    const XmlNode& koDom = *profile;
    wsClient* client = m_ctx.client;
    if (client == nullptr) {
        return;
    }
    RegistryModule& registry = m_ctx.registry;
    if (!m_ctx.globals.options.LogonSettingsReceived) {
        m_identity.SetUpCurrentUser();
        WritePolicies(koDom);
        if (client->isNewPolicy != 0) {
            ApplySameUserPolicy();
        }
        if (then) {
            then();
        }
        return;
    }
    const std::optional<SessionUser> user = m_identity.LoggedOnUser();
    // A name that cannot be read is nobody's name: logging that user off would end the
    // customer's session for nothing.
    const bool switchUser =
        !user || (user->name && !EqualsIgnoringAsciiCase(*user->name, client->nextWinUser));
    const std::string nextUser = client->nextWinUser;
    const std::string nextDomain = client->nextDomain;
    if (switchUser) {
        registry.ClearUserPolicies();
        const bool loaded = LoadNextUserHive();
        WritePolicies(koDom);
        if (loaded) {
            registry.UnloadUserHive();
        }
        m_hiveLoaded = false;
        registry.DropPrivileges();
        client->CurrentDomainName = nextDomain;
        client->CurrentUserName = nextUser;
        m_identity.SetCurrentUserSid(nextDomain, nextUser);
        // The profile is kept for the new account's shell: what could not go into its hive
        // file goes into its loaded hive once it runs.
        ApplyPolicy([this, loaded, profile, then] {
            if (!loaded) {
                m_identity.SetUpCurrentUser();
                WritePolicies(*profile);
                if (m_ctx.client != nullptr && m_ctx.client->isNewPolicy != 0) {
                    ApplySameUserPolicy();
                }
            }
            if (then) {
                then();
            }
        });
        return;
    }
    m_identity.SetCurrentUserSid(nextDomain, nextUser);
    registry.SetPolicyHive(registry.CurrentUserSid());
    WritePolicies(koDom);
    if (client->isNewPolicy != 0) {
        ApplySameUserPolicy();
    }
    client->CurrentDomainName = nextDomain;
    client->CurrentUserName = nextUser;
    if (then) {
        then();
    }
}

void PolicyManager::ApplyPolicy(std::function<void()> then) {
    if (m_polling) {
        Logger::Debug("policies: a newer log-off replaces the wait for the last one");
    }
    const std::optional<SessionUser> user = m_identity.LoggedOnUser();
    m_oldShell = user ? user->shellProcess : 0;
    m_afterShell = std::move(then);
    m_pollGeneration = m_profile.Generation();
    const ActionResult loggedOff = m_ctx.power.LogOff();
    // Without a user there is nobody to log off, but the next account's automatic logon is
    // coming all the same; a dry run or a refused log-off brings no other shell.
    const bool shellComing =
        loggedOff == ActionResult::Done || (!user && loggedOff != ActionResult::DryRun);
    if (!shellComing) {
        Logger::Debug("policies: log-off: " + std::string(ActionResultText(loggedOff)));
        m_polling = false;
        m_tmrShell.SetEnabled(false);
        FinishApplyPolicy();
        return;
    }
    m_polling = true;
    m_pollStart = m_ctx.loop.NowMs();
    m_tmrShell.SetEnabled(true);
}

void PolicyManager::PollShell() {
    if (!m_polling) {
        m_tmrShell.SetEnabled(false);
        return;
    }
    if (m_ctx.stopping || !m_profile.IsCurrent(m_pollGeneration)) {
        // The agent stops or a newer profile takes over: what this one would still do is moot.
        m_polling = false;
        m_tmrShell.SetEnabled(false);
        m_afterShell = nullptr;
        return;
    }
    const std::optional<SessionUser> user = m_identity.LoggedOnUser();
    const bool newShell = user && user->shellProcess != 0 && user->shellProcess != m_oldShell;
    const bool late = m_ctx.loop.NowMs() - m_pollStart >= kShellWaitMs;
    if (!newShell && !late) {
        return;
    }
    if (late) {
        Logger::Info("policies: no other user's shell came within 120 s of the log-off");
    }
    m_polling = false;
    m_tmrShell.SetEnabled(false);
    FinishApplyPolicy();
}

void PolicyManager::FinishApplyPolicy() {
    m_lock.EnableCtrlAltDel(0);
    HideStartButton();
    auto then = std::move(m_afterShell);
    m_afterShell = nullptr;
    if (then) {
        then();
    }
}

}  // namespace ko
