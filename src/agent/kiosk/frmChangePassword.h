#pragma once

#include "agent/kiosk/HtmlDialog.h"

namespace ko {

// The change password dialog: the new password typed twice alike goes to the server. The page's
// own handling of clicks never runs here.
class frmChangePassword : public HtmlDialog {
  public:
    explicit frmChangePassword(KioskContext& context);

  protected:
    std::optional<std::string> OpenAddress(const std::string& mode,
                                           const std::string& CurrentCustomer) override;
    void OnCommand(const koClientBrowser& selected) override;
};

}  // namespace ko
