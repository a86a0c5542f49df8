#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/AutoLogon.h"
#include "platform/Power.h"

namespace ko {

// Records power calls ("PowerOff", "Reboot", "LogOff") and answers the scripted result (Done,
// or DryRun when OSTREL_DRY_RUN is set).
class FakePower : public Power {
  public:
    ActionResult PowerOff() override { return Call("PowerOff"); }
    ActionResult Reboot() override { return Call("Reboot"); }
    ActionResult LogOff() override { return Call("LogOff"); }

    void SetResult(ActionResult result) { m_result = result; }
    const std::vector<std::string>& Calls() const { return m_calls; }

  private:
    ActionResult Call(const std::string& name);

    ActionResult m_result = ActionResult::Done;
    std::vector<std::string> m_calls;
};

// Remembers the account the automatic logon is set for.
class FakeAutoLogon : public AutoLogon {
  public:
    ActionResult Enable(const std::string& user) override;
    ActionResult Disable() override;

    void SetResult(ActionResult result) { m_result = result; }
    const std::optional<std::string>& User() const { return m_user; }
    const std::vector<std::string>& Calls() const { return m_calls; }

  private:
    ActionResult m_result = ActionResult::Done;
    std::optional<std::string> m_user;
    std::vector<std::string> m_calls;
};

}  // namespace ko
