#pragma once

namespace ko {

// Fills the billing labels of the kiosk page from the workstation's figures.
class BillingDisplay {
  public:
    virtual ~BillingDisplay() = default;
    virtual void UpdateBillingInformation() = 0;
};

}  // namespace ko
