#pragma once

#include "agent/kiosk/HtmlDialog.h"

namespace ko {

// The customer history dialog: the account's or the current visit's history for the customer the
// kiosk page names. It only displays; its one command is "cmdClose".
class frmCustomerHistory : public HtmlDialog {
  public:
    explicit frmCustomerHistory(KioskContext& context);

  protected:
    std::optional<std::string> OpenAddress(const std::string& mode,
                                           const std::string& CurrentCustomer) override;
    bool VisibleWhileLoading(const std::string& mode) const override;
    void OnCommand(const koClientBrowser& selected) override;
};

}  // namespace ko
