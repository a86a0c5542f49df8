#pragma once

#include <string>

#include "platform/SystemInfo.h"

namespace ko {

// The operating-system text of the hello, e.g.
// "Microsoft Windows XP Professional  Version: 5.1.2600 Service Pack 3 Build 2600".
std::string OsVersionText(const OsVersion& version, int productType);

// Reads the version, and the product type where the system offers it (NT 5, or NT 4 after
// service pack 5); elsewhere the product type counts as 0.
std::string OsVersionText(SystemInfo& system);

}  // namespace ko
