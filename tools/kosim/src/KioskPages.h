#pragma once

#include <string>

#include "CafeData.h"
#include "CafeServer.h"

namespace ko {

// The pages of the kiosk itself: the main page, its minimized strip, the logon and the change
// of password. Command elements sit inside the element with id "WorkstationObject", whose
// KoCustomer attribute names the customer; program buttons sit in "ApplicationObject" elements
// with a fileName attribute.
class KioskPages {
  public:
    static std::string Main(const CafeData& data, const WorkstationSnapshot& ws);
    static std::string MainMin(const CafeData& data, const WorkstationSnapshot& ws);
    static std::string LogonCustomer(const CafeData& data);
    static std::string ChangePassword();
    // The billing labels that the workstation refreshes with every status.
    static std::string BillingPanel(const CafeData& data, const WorkstationSnapshot& ws);
};

}  // namespace ko
