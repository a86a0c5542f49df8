#pragma once

#include "platform/ChannelPort.h"

namespace ko {

// What the agent's message window receives besides the watcher's three messages: above all the
// hook library's notices (new and activated windows, the shell's events), which the window
// procedure of the workstation control handles. Called on the loop's thread, after the watcher's
// messages were tested and before the window's own procedure sees the message; it must not
// throw. On Linux the hooks do not come through this window, so it hears only the channel's
// messages that the agent does not handle itself.
class AgentWindowHandler {
  public:
    virtual ~AgentWindowHandler() = default;
    virtual void OnAgentWindowMessage(const ChannelPort::Incoming& message) = 0;
};

}  // namespace ko
