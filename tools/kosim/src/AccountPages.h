#pragma once

#include <string>

#include "CafeData.h"
#include "CafeServer.h"

namespace ko {

// The customer's pages: the service order, the account history and the history of this visit.
// A history is shown only to the customer logged on at the workstation that asks for it.
class AccountPages {
  public:
    static std::string Service(const CafeData& data);
    static std::string CustomerHistory(const CafeData& data, const WorkstationSnapshot& ws,
                                       const std::string& customer);
    static std::string SessionHistory(const CafeData& data, const WorkstationSnapshot& ws,
                                      const std::string& customer);
};

}  // namespace ko
