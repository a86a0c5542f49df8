#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/NetConfigDialog.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Handles.h"

namespace ko {

// The network configuration dialog `frmNetConfig` as a modeless user32 dialog built from an
// in-memory template: four text boxes for the server's address, the two ports and the
// workstation's name, an optional masked security password box, OK (the default button) and
// Cancel, and a line that names a field the program refused. It only shows, reads and reports;
// storing and reconnecting are the program's. Tab, Return and Esc work through the loop's message
// filter; its notices are posted and dropped once it is gone.
class Win32NetConfigDialog final : public NetConfigDialog {
  public:
    enum ControlId : int {
        kServerName = 101,
        kTcpPort = 102,
        kHttpPort = 103,
        kWorkstationName = 104,
        kSecurityPassword = 105,
        kSecurityPasswordLabel = 106,
        kProblemLine = 107,
    };

    Win32NetConfigDialog(Win32EventLoop& loop, NetConfigEvents& events);
    ~Win32NetConfigDialog() override;
    Win32NetConfigDialog(const Win32NetConfigDialog&) = delete;
    Win32NetConfigDialog& operator=(const Win32NetConfigDialog&) = delete;

    bool Created() const { return static_cast<bool>(m_window); }
    HWND Handle() const { return m_window.Get(); }

    void Show(const NetConfigFields& fields, bool askSecurityPassword) override;
    void Hide() override;
    void SetTopmost(bool topmost) override;
    void ShowInvalid(NetConfigField field, const std::string& text) override;
    bool IsVisible() const override { return m_visible; }

    // The template, built once per dialog.
    static std::vector<WORD> BuildTemplate();

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::string FieldText(int controlId) const;
    void FitToRows();
    void Post(std::function<void(NetConfigEvents&)> notice);
    void OnOk();

    Win32EventLoop& m_loop;
    NetConfigEvents& m_events;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    UniqueWindow m_window;
    Win32EventLoop::FilterId m_filter = 0;
    bool m_visible = false;
    bool m_askPassword = false;
    bool m_problemShown = false;
};

}  // namespace ko
