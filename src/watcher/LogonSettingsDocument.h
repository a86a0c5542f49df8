#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/XmlDocument.h"
#include "shared/LoopTimer.h"
#include "watcher/DisallowedUrlList.h"

namespace ko {
class EventLoop;
}

namespace ko::watcher {

// The logon settings document of the customer session and the list of disallowed addresses it
// carries. The list in force stays until a newer document has loaded and parsed: a document
// still loading, or one that failed, never switches the filter off. A failed load is tried
// again every 30 s for as long as the owner says the session lasts.
class LogonSettingsDocument {
  public:
    static constexpr std::uint32_t kRetryMs = 30000;

    // onCompleted runs after every load that ends, good or not (the document's "completed").
    // inSession tells whether a failed load is still worth another try.
    LogonSettingsDocument(EventLoop& loop, XmlDocument& document, std::function<void()> onCompleted,
                          std::function<bool()> inSession);

    // Starts loading url, replacing a load that still runs and any retry that waits.
    void Load(const std::string& url);
    // Stops a waiting retry (the session ended); the list stays.
    void StopRetrying();

    // The list in force; never null. Shared so a check that pumps the loop keeps its list.
    std::shared_ptr<const DisallowedUrlList> List() const { return m_list; }
    bool Loading() const { return m_document.Loading(); }
    bool RetryWaiting() const { return m_retry.Enabled(); }
    // Loads started, retries included.
    std::uint32_t Loads() const { return m_loads; }

  private:
    void OnLoaded(const XmlNode& document);

    XmlDocument& m_document;
    std::function<void()> m_onCompleted;
    std::function<bool()> m_inSession;
    std::string m_url;
    std::shared_ptr<const DisallowedUrlList> m_list;
    LoopTimer m_retry;
    std::uint32_t m_loads = 0;
};

}  // namespace ko::watcher
