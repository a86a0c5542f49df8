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
};

}  // namespace ko
