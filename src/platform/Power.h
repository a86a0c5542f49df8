#pragma once

#include "platform/ActionResult.h"

namespace ko {

// Switching the machine off, restarting it, ending the user's session. Power-off and restart
// force programs to close; log-off does not (a program may delay it). Every call honours
// OSTREL_DRY_RUN: it logs and answers DryRun, and the machine keeps running.
class Power {
  public:
    virtual ~Power() = default;
    virtual ActionResult PowerOff() = 0;
    virtual ActionResult Reboot() = 0;
    virtual ActionResult LogOff() = 0;
};

}  // namespace ko
