#include "agent/control/ProfileDocument.h"

#include <utility>

#include "platform/EventLoop.h"
#include "platform/XmlDocument.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

ProfileDocument::ProfileDocument(EventLoop& loop, XmlDocument& document)
    : m_xml(document), m_tmrRetry(loop, [this] {
          m_tmrRetry.SetEnabled(false);
          StartLoad();
      }) {
    m_tmrRetry.SetInterval(kRetryDelayMs);
}

ProfileDocument::~ProfileDocument() {
    m_xml.Cancel();
}

void ProfileDocument::LoadProfile(const std::string& url, ProfileAction action) {
    Cancel();
    ++m_generation;
    m_url = url;
    m_action = action;
    m_retriesLeft = action == ProfileAction::Logoff ? kLogoffRetries : 0;
    m_document = std::make_shared<const XmlNode>();
    StartLoad();
}

void ProfileDocument::Cancel() {
    m_tmrRetry.SetEnabled(false);
    m_xml.Cancel();
}

void ProfileDocument::StartLoad() {
    const std::uint64_t generation = m_generation;
    m_xml.Load(m_url, [this, generation](XmlNode document) {
        Guarded("profile loaded", [&] { OnLoaded(generation, std::move(document)); });
    });
}

void ProfileDocument::OnLoaded(std::uint64_t generation, XmlNode document) {
    if (!IsCurrent(generation)) {
        return;
    }
    if (document.Empty() && m_retriesLeft > 0) {
        --m_retriesLeft;
        Logger::Debug("profile: " + m_url + " did not load, asking again in 5 s");
        m_tmrRetry.SetEnabled(true);
        return;
    }
    if (document.Empty()) {
        Logger::Debug("profile: " + m_url + " did not load");
    }
    m_document = std::make_shared<const XmlNode>(std::move(document));
    if (m_handler) {
        m_handler(m_document, generation);
    }
}

}  // namespace ko
