#include "platform/linux/LinuxPower.h"

#include "shared/Logger.h"

namespace ko {

namespace {

ActionResult Outcome(bool accepted) {
    return accepted ? ActionResult::Done : ActionResult::Failed;
}

}  // namespace

ActionResult LinuxPower::PowerOff() {
    if (DryRunRequested()) {
        Logger::Info("dry run: would power the machine off");
        return ActionResult::DryRun;
    }
    return Outcome(m_logind.PowerOff());
}

ActionResult LinuxPower::Reboot() {
    if (DryRunRequested()) {
        Logger::Info("dry run: would restart the machine");
        return ActionResult::DryRun;
    }
    return Outcome(m_logind.Reboot());
}

ActionResult LinuxPower::LogOff() {
    const auto session = m_logind.ActiveGraphicalSession();
    if (!session) {
        return ActionResult::Failed;  // nobody to log off
    }
    if (DryRunRequested()) {
        Logger::Info("dry run: would end the session of " + session->userName);
        return ActionResult::DryRun;
    }
    return Outcome(m_logind.TerminateSession(session->id));
}

}  // namespace ko
