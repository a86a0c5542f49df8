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

void PendingCapabilities::ShowForm(const std::string& kind, const std::string& msgEnglish,
                                   const std::string& msgID, const std::string&, std::int16_t) {
    Note("message window " + kind + " " + msgID + " " + msgEnglish);
}

void PendingCapabilities::LoadProfile(const std::string& url) {
    Note("load profile " + url);
    static const std::string kLogoff = "&action=Logoff";
    const bool logoff = url.size() >= kLogoff.size() &&
                        url.compare(url.size() - kLogoff.size(), kLogoff.size(), kLogoff) == 0;
    if (m_watcher != nullptr && !logoff) {
        m_watcher->SendMessageToExe("KOW_CUPOLICY", "");
        m_watcher->SendMessageToExe("KOW_Update_State", "1");
    }
}

}  // namespace ko
