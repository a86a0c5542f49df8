#include "agent/core/PendingCapabilities.h"

#include "shared/Logger.h"
#include "shared/NumberRules.h"

namespace ko {

void PendingCapabilities::Note(const std::string& what) {
    Logger::Info("workstation: " + what);
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

void PendingCapabilities::SendMessageToExe(const std::string& messageName,
                                           const std::string& text) {
    Note("to the watcher " + messageName + " " + text);
}

}  // namespace ko
