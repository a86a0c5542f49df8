#include "watcher/wsClient.h"

#include "platform/EventLoop.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/QueryValue.h"
#include "watcher/UrlText.h"

namespace ko::watcher {

wsClient::wsClient(EventLoop& loop, XmlDocument& document, WatcherSettings settings, Send send,
                   std::function<void()> createIECollection, std::function<void()> closeClient)
    : m_loop(loop),
      m_settings(std::move(settings)),
      m_send(std::move(send)),
      m_createIECollection(std::move(createIECollection)),
      m_closeClient(std::move(closeClient)),
      m_document(
          loop, document, [this] { m_createIECollection(); }, [this] { return wsState == 1; }) {}

void wsClient::updateState(std::int16_t newState) {
    oldWsState = wsState;
    wsState = newState;
    if (wsState != 1) {
        m_document.StopRetrying();
        return;
    }
    if (oldWsState == 1) {
        return;
    }
    m_createIECollection();
    m_document.Load(LogonSettingsAddress());
}

std::string wsClient::LogonSettingsAddress() const {
    return "http://" + m_settings.server + ":" + m_settings.httpPort +
           "/ws/wsLogonSettings.asp?wsName=" + QueryValue(m_settings.workstationName);
}

void wsClient::URLNavigation(const std::string& address, bool& cancel) {
    // Taken once: the list may be replaced while a notice is on its way.
    const auto list = m_document.List();
    if (!list->FoundIn(address) && !list->FoundIn(NormalisedAddress(address))) {
        return;
    }
    cancel = true;
    Logger::Info("refused " + TravellingUrl(address));
    if (!m_notices.Admit(m_loop.NowMs())) {
        return;
    }
    m_loop.Post([this, life = std::weak_ptr<int>(m_life), text = TravellingUrl(address)] {
        if (life.expired()) {
            return;
        }
        Guarded("refusal notice",
                [&] { m_send(MessageChannel::Message::KOW_DISALLOWEDURL, text); });
    });
}

void wsClient::NavigateComplete(const std::string& address) {
    const std::string reported = ReportedUrl(address);
    if (!m_reports.Admit(reported, m_loop.NowMs())) {
        return;
    }
    m_send(MessageChannel::Message::KOW_Disallowed_URL, reported);
}

}  // namespace ko::watcher
