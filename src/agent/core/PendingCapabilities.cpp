#include "agent/core/PendingCapabilities.h"

#include "shared/Logger.h"
#include "shared/NumberRules.h"

namespace ko {

void PendingCapabilities::Note(const std::string& what) {
    // Debug, not info: a status alone makes five of these, and the journal is not for them.
    Logger::Debug("workstation: " + what);
}

void PendingCapabilities::CloseWindow(std::int32_t windowHandle) {
    Note("close window " + NumberRules::Format(std::int64_t{windowHandle}));
}

void PendingCapabilities::EnableCtrlAltDel(int state) {
    Note(state != 0 ? "secure-attention keys enabled" : "secure-attention keys disabled");
}

void PendingCapabilities::LoadProfile(const std::string& url, ProfileAction action) {
    Note("load profile " + url);
    if (m_watcher != nullptr && action == ProfileAction::Logon) {
        m_watcher->SendMessageToExe("KOW_CUPOLICY", "");
        m_watcher->SendMessageToExe("KOW_Update_State", "1");
    }
}

}  // namespace ko
