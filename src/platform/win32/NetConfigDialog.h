#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/Win32Handles.h"

namespace ko {

class Win32EventLoop;

// The network configuration dialog `frmNetConfig` as a modeless user32 dialog built from an
// in-memory template: four text boxes for the server's address, the two ports and the
// workstation's name, OK (the default button) and Cancel. It only shows, reads and reports;
// storing and reconnecting are the program's. Its keyboard (Tab, Return, Esc) runs through the
// loop's message filter.
class NetConfigDialog {
  public:
    struct Values {
        std::string server;
        std::string tcpPort;
        std::string httpPort;
        std::string workstationName;
    };
    struct Events {
        std::function<void()> onOk;
        // The Cancel button, Esc and the close box.
        std::function<void()> onCancel;
    };
    enum ControlId : int {
        kServerName = 101,
        kTcpPort = 102,
        kHttpPort = 103,
        kWorkstationName = 104,
    };

    NetConfigDialog(Win32EventLoop& loop, Events events);
    ~NetConfigDialog();
    NetConfigDialog(const NetConfigDialog&) = delete;
    NetConfigDialog& operator=(const NetConfigDialog&) = delete;

    bool Created() const { return static_cast<bool>(m_window); }
    HWND Handle() const { return m_window.Get(); }

    void Fill(const Values& values);
    Values Read() const;
    void Show();
    void Hide();
    bool Visible() const;
    // Tells the operator something (a field that cannot be stored) in a message box the dialog
    // owns; returns when it is closed.
    void ShowMessage(const std::string& text);
    void FocusField(int controlId);

    // The template, built once: exposed for the test of its layout.
    static std::vector<WORD> BuildTemplate();

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::string FieldText(int controlId) const;

    Win32EventLoop& m_loop;
    Events m_events;
    UniqueWindow m_window;
    unsigned m_filter = 0;
};

}  // namespace ko
