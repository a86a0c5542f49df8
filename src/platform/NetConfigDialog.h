#pragma once

#include <string>

namespace ko {

// The four network settings the dialog edits, as typed (ANSI).
struct NetConfigFields {
    std::string serverName;
    std::string tcpPort;
    std::string httpPort;
    std::string workstationName;
    friend bool operator==(const NetConfigFields&, const NetConfigFields&) = default;
};

enum class NetConfigField { ServerName, TcpPort, HttpPort, WorkstationName, SecurityPassword };

// The dialog's notices, posted to the loop like a browser window's.
class NetConfigEvents {
  public:
    virtual ~NetConfigEvents() = default;
    // OK pressed (button, Return as the default button). The dialog stays shown until the core
    // hides it. The password is the security password field's text, empty when it was not asked.
    virtual void OnOk(const NetConfigFields& /*typed*/, const std::string& /*password*/) {}
    // Cancel, the close box or Escape.
    virtual void OnCancel() {}
};

// The native network configuration dialog, caption "NetConfig 2003": labels "Server Name or IP
// Address", "TCP/IP Port", "HTPP Port" (spelled so), "Workstation Name", the four text boxes in
// that order, then "OK" (the default button) and "Cancel"; tab order as listed. With the
// security password asked, a fifth, masked box "Security Password" follows the workstation name.
// Created hidden; destroying it ends its notices.
class NetConfigDialog {
  public:
    virtual ~NetConfigDialog() = default;
    // Fills the boxes, shows the dialog activated with the focus in the first box.
    virtual void Show(const NetConfigFields& fields, bool askSecurityPassword) = 0;
    virtual void Hide() = 0;
    virtual void SetTopmost(bool topmost) = 0;
    // Tells the operator what is wrong (a message box or a line in the dialog) and puts the focus
    // into that field; the typed texts stay.
    virtual void ShowInvalid(NetConfigField field, const std::string& text) = 0;
    virtual bool IsVisible() const = 0;
};

}  // namespace ko
