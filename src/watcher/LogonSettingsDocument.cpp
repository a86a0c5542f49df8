#include "watcher/LogonSettingsDocument.h"

#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko::watcher {

LogonSettingsDocument::LogonSettingsDocument(EventLoop& loop, XmlDocument& document,
                                             std::function<void()> onCompleted,
                                             std::function<bool()> inSession)
    : m_document(document),
      m_onCompleted(std::move(onCompleted)),
      m_inSession(std::move(inSession)),
      m_list(std::make_shared<const DisallowedUrlList>()),
      m_retry(loop, [this] {
          Guarded("logon settings retry", [this] {
              m_retry.SetEnabled(false);
              if (m_inSession()) {
                  Load(m_url);
              }
          });
      }) {
    m_retry.SetInterval(kRetryMs);
}

void LogonSettingsDocument::Load(const std::string& url) {
    m_retry.SetEnabled(false);
    m_url = url;
    ++m_loads;
    Logger::Debug("loading the logon settings from " + url);
    m_document.Load(url, [this](XmlNode document) {
        Guarded("logon settings loaded", [&] { OnLoaded(document); });
    });
}

void LogonSettingsDocument::StopRetrying() {
    m_retry.SetEnabled(false);
}

void LogonSettingsDocument::OnLoaded(const XmlNode& document) {
    if (document.Empty()) {
        Logger::Info("the logon settings did not load; the filter keeps its list of " +
                     std::to_string(m_list->Size()) + " entries");
        if (m_inSession()) {
            m_retry.SetEnabled(true);
        }
    } else {
        m_list =
            std::make_shared<const DisallowedUrlList>(DisallowedUrlList::FromDocument(document));
        Logger::Info("logon settings loaded: " + std::to_string(m_list->Size()) +
                     " disallowed addresses");
    }
    m_onCompleted();
}

}  // namespace ko::watcher
