#pragma once

#include <functional>

#include "agent/control/CleanupControl.h"

namespace ko {

struct ControlContext;
struct XmlNode;
class KoApplications;

// The clean-up between customers that the profile's "CleanUpSettings" asks for: close the
// programs, delete the user's documents, have the watcher clear the browser's history and cache
// and run the clean-up script. The documents go after the programs that may hold them open have
// closed.
class CleanupManager : public CleanupControl {
  public:
    CleanupManager(ControlContext& context, KoApplications& applications);

    // Reads the options into the workstation object and performs them; then runs once the
    // clean-up is done (also when the profile asks for none). stillCurrent is asked before each
    // step that follows a wait: a newer profile or the agent's stop ends the clean-up.
    void SetCleanUpOptions(const XmlNode& koDom, std::function<bool()> stillCurrent,
                           std::function<void()> then);
    void DeleteMyDocuments() override;

  private:
    ControlContext& m_ctx;
    KoApplications& m_applications;
};

}  // namespace ko
