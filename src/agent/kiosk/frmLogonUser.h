#pragma once

#include "agent/kiosk/HtmlDialog.h"

namespace ko {

// The customer logon dialog: the server's logon page; "cmdOK" hands the customer id and password
// to the server, which answers with the workstation state.
class frmLogonUser : public HtmlDialog {
  public:
    explicit frmLogonUser(KioskContext& context);

  protected:
    std::optional<std::string> OpenAddress(const std::string& mode,
                                           const std::string& CurrentCustomer) override;
    void OnCommand(const koClientBrowser& selected) override;
};

}  // namespace ko
