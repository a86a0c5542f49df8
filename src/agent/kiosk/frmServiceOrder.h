#pragma once

#include "agent/kiosk/HtmlDialog.h"

namespace ko {

// The service order dialog: the service the customer chose, with its quantity and price data,
// goes to the server for an employee to handle.
class frmServiceOrder : public HtmlDialog {
  public:
    explicit frmServiceOrder(KioskContext& context);

  protected:
    std::optional<std::string> OpenAddress(const std::string& mode,
                                           const std::string& CurrentCustomer) override;
    void OnCommand(const koClientBrowser& selected) override;
};

}  // namespace ko
