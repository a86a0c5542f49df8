#include "platform/linux/LinuxBrowserTracking.h"

#include "shared/Logger.h"

namespace ko {

BrowserTracking::Status LinuxBrowserTracking::CreateIECollection() {
    if (!m_told) {
        // Said once: the watcher renews the subscription on every customer session.
        Logger::Info(
            "browser tracking is not supported on this platform: addresses are neither "
            "filtered nor reported");
        m_told = true;
    }
    return Status::NotSupported;
}

}  // namespace ko
