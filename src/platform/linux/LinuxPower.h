#pragma once

#include "platform/Power.h"
#include "platform/linux/LogindClient.h"

namespace ko {

// Power and log-off through logind: PowerOff, Reboot, and TerminateSession of seat0's active
// graphical session.
class LinuxPower : public Power {
  public:
    explicit LinuxPower(LogindClient& logind) : m_logind(logind) {}
    ActionResult PowerOff() override;
    ActionResult Reboot() override;
    ActionResult LogOff() override;

  private:
    LogindClient& m_logind;
};

}  // namespace ko
