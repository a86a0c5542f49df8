#pragma once

#include "platform/DesktopWindows.h"

namespace ko {

// The top-level windows of the desktop the agent's thread is on. Showing, hiding and closing are
// asynchronous: a hung program can never stop the agent's loop.
class Win32DesktopWindows : public DesktopWindows {
  public:
    bool Available() override;
    bool Exists(WindowId window) override;
    std::optional<std::string> ClassName(WindowId window) override;
    std::optional<std::string> Title(WindowId window) override;
    std::optional<ProcessId> ProcessOf(WindowId window) override;

    ActionResult Show(WindowId window) override;
    ActionResult Hide(WindowId window) override;
    ActionResult RequestClose(WindowId window) override;

    std::vector<WindowId> TopLevelWindows() override;
    ActionResult CloseStartButton() override;
    std::vector<ProcessId> DesktopProcesses() override;
};

}  // namespace ko
