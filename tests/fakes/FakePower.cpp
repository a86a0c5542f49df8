#include "fakes/FakePower.h"

namespace ko {

ActionResult FakePower::Call(const std::string& name) {
    m_calls.push_back(name);
    if (m_result == ActionResult::Done && DryRunRequested()) {
        return ActionResult::DryRun;
    }
    return m_result;
}

ActionResult FakeAutoLogon::Enable(const std::string& user) {
    m_calls.push_back("Enable " + user);
    if (m_result == ActionResult::Done) {
        m_user = user;
    }
    return m_result;
}

ActionResult FakeAutoLogon::Disable() {
    m_calls.push_back("Disable");
    if (m_result == ActionResult::Done) {
        m_user.reset();
    }
    return m_result;
}

}  // namespace ko
