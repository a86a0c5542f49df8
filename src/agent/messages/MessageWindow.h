#pragma once

#include <cstdint>
#include <string>

namespace ko {

// `frmHtmlMessage`, the agent's one message box, drawn by the server's message page.
class MessageWindow {
  public:
    virtual ~MessageWindow() = default;
    // Returns when the window has been closed (a modal showing runs a nested loop).
    virtual void ShowForm(const std::string& kind, const std::string& msgEnglish,
                          const std::string& msgID, const std::string& msgParametar,
                          std::int16_t msgBoxStyle) = 0;
    // The customer's answer to the last question: true only after "cmdOK" of that showing. Every
    // showing starts at false, so a window closed unanswered (the lock unloads it) is a no.
    virtual bool KoActionApproved() const = 0;
    // Unloads the window: it closes, and its next showing creates it anew.
    virtual void Unload() = 0;
};

}  // namespace ko
