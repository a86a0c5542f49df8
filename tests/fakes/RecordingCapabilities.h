#pragma once

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

    bool Saw(const std::string& call) const;
    int Count(const std::string& call) const;
    std::vector<std::string> Take() { return std::exchange(calls, {}); }

    std::vector<std::string> calls;
    std::vector<ApplicationControl::Entry> applications;

  protected:
    void Note(const std::string& what) override { calls.push_back(what); }
};

}  // namespace ko
