#pragma once

#include <glib.h>

#include <vector>

#include "platform/linux/LinuxEventLoop.h"

namespace ko {

// Serves GLib's default main context (GTK, WebKit's user-interface side) from the program's own
// loop: every turn of the loop prepares the context, polls its descriptors beside the loop's own
// and dispatches what became ready. So Run, PumpPending and RunUntil (a modal dialog's page must
// load while the core waits) all keep GTK alive. The context is acquired for the loop's thread,
// the only thread that may touch GTK.
class GlibLoopSource : public LinuxEventLoop::PollSource {
  public:
    explicit GlibLoopSource(LinuxEventLoop& loop);
    ~GlibLoopSource() override;
    GlibLoopSource(const GlibLoopSource&) = delete;
    GlibLoopSource& operator=(const GlibLoopSource&) = delete;

    // False when another thread owns GLib's default context; the source then serves nothing.
    bool Acquired() const { return m_acquired; }

    // Stops serving GLib for good (the display connection broke: GTK must not read from it).
    void Detach();

    void Prepare(std::vector<pollfd>& fds, int& timeoutMs) override;
    void Dispatch(pollfd* fds, std::size_t count) override;

  private:
    LinuxEventLoop& m_loop;
    GMainContext* m_context = nullptr;
    bool m_acquired = false;
    bool m_attached = false;
    bool m_prepared = false;
    gint m_maxPriority = 0;
    std::vector<GPollFD> m_pollFds;
    gint m_pollCount = 0;
};

}  // namespace ko
