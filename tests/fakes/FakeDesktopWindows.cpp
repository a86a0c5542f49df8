#include "fakes/FakeDesktopWindows.h"

#include <algorithm>

namespace ko {

std::optional<std::string> FakeDesktopWindows::ClassName(WindowId window) {
    const auto it = m_windows.find(window);
    if (it == m_windows.end()) {
        return std::nullopt;
    }
    return it->second.className;
}

std::optional<std::string> FakeDesktopWindows::Title(WindowId window) {
    const auto it = m_windows.find(window);
    if (it == m_windows.end()) {
        return std::nullopt;
    }
    return it->second.title;
}

std::optional<ProcessId> FakeDesktopWindows::ProcessOf(WindowId window) {
    const auto it = m_windows.find(window);
    if (it == m_windows.end()) {
        return std::nullopt;
    }
    return it->second.process;
}

ActionResult FakeDesktopWindows::Show(WindowId window) {
    const ActionResult result = SetVisible(Action::Show, window, true);
    if (result == ActionResult::Done) {
        Raise(window);
    }
    return result;
}

ActionResult FakeDesktopWindows::Hide(WindowId window) {
    return SetVisible(Action::Hide, window, false);
}

ActionResult FakeDesktopWindows::SetVisible(Action action, WindowId window, bool visible) {
    const auto it = m_windows.find(window);
    if (it == m_windows.end()) {
        return Record(action, window, ActionResult::Failed);
    }
    it->second.visible = visible;
    return Record(action, window, ActionResult::Done);
}

ActionResult FakeDesktopWindows::RequestClose(WindowId window) {
    if (m_windows.count(window) == 0) {
        return Record(Action::RequestClose, window, ActionResult::Failed);
    }
    if (DryRunRequested()) {
        return Record(Action::RequestClose, window, ActionResult::DryRun);
    }
    Record(Action::RequestClose, window, ActionResult::Done);
    if (m_onClose) {
        m_onClose(window);
    }
    return ActionResult::Done;
}

ActionResult FakeDesktopWindows::CloseStartButton() {
    return Record(Action::CloseStartButton, 0, m_startButtonResult);
}

void FakeDesktopWindows::Open(WindowId id, const Window& window) {
    Destroy(id);
    m_windows[id] = window;
    m_zOrder.insert(m_zOrder.begin(), id);
}

void FakeDesktopWindows::Raise(WindowId id) {
    const auto at = std::find(m_zOrder.begin(), m_zOrder.end(), id);
    if (at != m_zOrder.end()) {
        m_zOrder.erase(at);
        m_zOrder.insert(m_zOrder.begin(), id);
    }
}

void FakeDesktopWindows::Destroy(WindowId id) {
    m_windows.erase(id);
    m_zOrder.erase(std::remove(m_zOrder.begin(), m_zOrder.end(), id), m_zOrder.end());
}

void FakeDesktopWindows::SetTitle(WindowId id, const std::string& title) {
    const auto it = m_windows.find(id);
    if (it != m_windows.end()) {
        it->second.title = title;
    }
}

std::optional<FakeDesktopWindows::Window> FakeDesktopWindows::Get(WindowId id) const {
    const auto it = m_windows.find(id);
    if (it == m_windows.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::vector<WindowId> FakeDesktopWindows::WindowsWith(Action action) const {
    std::vector<WindowId> windows;
    for (const auto& call : m_calls) {
        if (call.action == action) {
            windows.push_back(call.window);
        }
    }
    return windows;
}

ActionResult FakeDesktopWindows::Record(Action action, WindowId window, ActionResult result) {
    m_calls.push_back(Call{action, window, result});
    return result;
}

}  // namespace ko
