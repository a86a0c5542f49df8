#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopWindows.h"

namespace ko {

// A scripted desktop: windows with a class, a title and an owning process, in a z-order. Every
// action is recorded.
class FakeDesktopWindows : public DesktopWindows {
  public:
    struct Window {
        std::string className;
        std::string title;
        ProcessId process = 0;
        bool visible = true;
    };
    enum class Action { Show, Hide, RequestClose, CloseStartButton };
    struct Call {
        Action action;
        WindowId window;
        ActionResult result;
    };

    bool Available() override { return m_available; }
    bool Exists(WindowId window) override { return m_windows.count(window) != 0; }
    std::optional<std::string> ClassName(WindowId window) override;
    std::optional<std::string> Title(WindowId window) override;
    std::optional<ProcessId> ProcessOf(WindowId window) override;
    ActionResult Show(WindowId window) override;
    ActionResult Hide(WindowId window) override;
    ActionResult RequestClose(WindowId window) override;
    std::vector<WindowId> TopLevelWindows() override { return m_zOrder; }
    ActionResult CloseStartButton() override;
    std::vector<ProcessId> DesktopProcesses() override { return m_desktopProcesses; }

    // Opens a window on top of the others. Showing a window brings it to the top as well, as the
    // real desktops do (the window manager raises a mapped window; Windows activates it).
    void Open(WindowId id, const Window& window);
    // The customer brings the window to the top.
    void Raise(WindowId id);
    // The window is gone (its program closed it or ended).
    void Destroy(WindowId id);
    void SetTitle(WindowId id, const std::string& title);
    std::optional<Window> Get(WindowId id) const;
    void SetAvailable(bool available) { m_available = available; }
    void SetStartButtonResult(ActionResult result) { m_startButtonResult = result; }
    void SetDesktopProcesses(std::vector<ProcessId> ids) { m_desktopProcesses = std::move(ids); }
    // What a polite close does to a window (by default nothing: the program ignores it).
    void SetOnCloseRequest(std::function<void(WindowId)> onClose) {
        m_onClose = std::move(onClose);
    }

    const std::vector<Call>& Calls() const { return m_calls; }
    std::vector<WindowId> WindowsWith(Action action) const;
    void ClearCalls() { m_calls.clear(); }

  private:
    ActionResult Record(Action action, WindowId window, ActionResult result);
    ActionResult SetVisible(Action action, WindowId window, bool visible);

    std::map<WindowId, Window> m_windows;
    std::vector<WindowId> m_zOrder;  // topmost first
    std::vector<ProcessId> m_desktopProcesses;
    std::vector<Call> m_calls;
    std::function<void(WindowId)> m_onClose;
    ActionResult m_startButtonResult = ActionResult::Done;
    bool m_available = true;
};

}  // namespace ko
