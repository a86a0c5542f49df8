#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "agent/core/AgentCapabilities.h"
#include "agent/core/PendingCapabilities.h"

namespace ko {

// Every capability call, in order, as a short text ("lock workstation", "show page <url>").
class RecordingCapabilities : public PendingCapabilities {
  public:
    AgentCapabilities All() {
        return AgentCapabilities{*this, *this, *this, *this, *this, *this, *this,
                                 *this, *this, *this, *this, *this, *this};
    }
    std::vector<ApplicationControl::Entry> TrackedApplications() override { return applications; }
    // The message window is modal: whatever the test puts here runs while it is shown.
    void ShowForm(const std::string& kind, const std::string& msgEnglish, const std::string& msgID,
                  const std::string& msgParametar, std::int16_t msgBoxStyle) override {
        PendingCapabilities::ShowForm(kind, msgEnglish, msgID, msgParametar, msgBoxStyle);
        if (whileMessageShown) {
            auto during = std::exchange(whileMessageShown, nullptr);
            during();
        }
    }

    bool Saw(const std::string& call) const;
    int Count(const std::string& call) const;
    std::vector<std::string> Take() { return std::exchange(calls, {}); }

    std::vector<std::string> calls;
    std::vector<ApplicationControl::Entry> applications;
    std::function<void()> whileMessageShown;
    // Runs after every recorded call, with its text: to look at the world at that moment, or
    // to make the call fail.
    std::function<void(const std::string&)> onCall;

  protected:
    void Note(const std::string& what) override {
        calls.push_back(what);
        if (onCall) {
            onCall(what);
        }
    }
};

}  // namespace ko
