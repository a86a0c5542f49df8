#pragma once

#include <string>

namespace ko {

// The channel to the other program: registered message names, the agent's hidden message window.
class WatcherChannel {
  public:
    virtual ~WatcherChannel() = default;
    virtual void RegisterMessages() = 0;
    virtual void CreateMessageWindow(const std::string& windowName) = 0;
    virtual void SendMessageToExe(const std::string& messageName, const std::string& text) = 0;
};

}  // namespace ko
