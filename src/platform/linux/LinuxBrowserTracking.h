#pragma once

#include "platform/BrowserTracking.h"

namespace ko {

// Linux's browsers keep their windows and navigations to themselves: there is no session-wide
// list of browser windows to subscribe to. Following them takes a browser extension that reports
// to the watcher, which is not part of this adapter, so tracking is not supported here; the
// watcher still keeps its list, ready for such a bridge.
class LinuxBrowserTracking : public BrowserTracking {
  public:
    void SetHandler(Handler*) override {}
    Status CreateIECollection() override;
    void Stop() override {}
    std::size_t TrackedCount() const override { return 0; }

  private:
    bool m_told = false;
};

}  // namespace ko
