#include "agent/control/CleanupManager.h"

#include <memory>

#include "agent/control/ControlContext.h"
#include "agent/control/KoApplications.h"
#include "agent/control/LogonProfile.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/wsClient.h"
#include "platform/UserSession.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/WatcherChannel.h"

namespace ko {

CleanupManager::CleanupManager(ControlContext& context, KoApplications& applications)
    : m_ctx(context), m_applications(applications) {}

void CleanupManager::SetCleanUpOptions(const XmlNode& koDom, std::function<bool()> stillCurrent,
                                       std::function<void()> then) {
    wsClient* client = m_ctx.client;
    LogonProfile::CleanUpOptions options;
    const bool readable = LogonProfile::ReadCleanUpOptions(koDom, m_ctx.globals.regional, options);
    if (client != nullptr) {
        client->coCloseAllApp = options.coCloseAllApp;
        client->coDelMyDocs = options.coDelMyDocs;
        client->coDelIETemp = options.coDelIETemp;
        client->coDelIEHistory = options.coDelIEHistory;
        client->coRunScript = options.coRunScript;
        client->coScriptPath = options.coScriptPath;
    }
    if (!readable || client == nullptr) {
        if (then) {
            then();
        }
        return;
    }
    auto rest = [this, options, stillCurrent, then] {
        if (stillCurrent && !stillCurrent()) {
            return;
        }
        if (options.coDelMyDocs != 0) {
            DeleteMyDocuments();
        }
        if (options.coDelIEHistory != 0) {
            m_ctx.watcher.SendMessageToExe("KOW_DELETE_IEH", "");
        }
        if (options.coDelIETemp != 0) {
            m_ctx.watcher.SendMessageToExe("KOW_DELETE_IEC", "");
        }
        if (options.coRunScript != 0 && !options.coScriptPath.empty()) {
            m_applications.KoRunScript(options.coScriptPath);
        }
        if (then && (!stillCurrent || stillCurrent())) {
            then();
        }
    };
    if (options.coCloseAllApp != 0) {
        m_applications.CleanUp(rest);
    } else {
        rest();
    }
}

void CleanupManager::DeleteMyDocuments() {
    if (!m_ctx.session.LoggedOnUser()) {
        Logger::Debug("clean-up: nobody is logged on; no documents are deleted");
        return;
    }
    const DocumentsDeletion deletion = m_ctx.session.DeleteDocuments();
    Logger::Info("clean-up: documents in " + deletion.folder + ": " +
                 NumberRules::Format(static_cast<std::int64_t>(deletion.deleted.size())) +
                 " deleted, " +
                 NumberRules::Format(static_cast<std::int64_t>(deletion.failed.size())) +
                 " stayed (" + std::string(ActionResultText(deletion.result)) + ")");
}

}  // namespace ko
