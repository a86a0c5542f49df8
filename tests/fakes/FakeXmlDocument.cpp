#include "fakes/FakeXmlDocument.h"

#include <utility>

#include "fakes/FakeEventLoop.h"

namespace ko {

FakeXmlDocument::FakeXmlDocument(FakeEventLoop& loop, std::uint32_t timeoutMs)
    : m_loop(loop), m_timeoutMs(timeoutMs) {
    m_timer = m_loop.AddTimer([this] {
        m_loop.SetTimerInterval(m_timer, 0);
        Deliver(m_generation);
    });
}

FakeXmlDocument::~FakeXmlDocument() {
    m_loop.RemoveTimer(m_timer);
}

void FakeXmlDocument::Serve(const std::string& url, XmlNode document, std::uint32_t delayMs) {
    m_scripts[url] = Script{std::move(document), delayMs, false};
}

void FakeXmlDocument::Hang(const std::string& url) {
    m_scripts[url] = Script{XmlNode(), 0, true};
}

void FakeXmlDocument::Load(const std::string& url, Completion onComplete) {
    Cancel();
    m_requests.push_back(url);
    m_onComplete = std::move(onComplete);
    m_loading = true;
    Script script;
    auto it = m_scripts.find(url);
    if (it != m_scripts.end() && IsHttpAddress(url)) {
        script = it->second;
    }
    // A server slower than the limit is cut off at the limit, like a hung one.
    const bool timesOut = script.hang || script.delayMs >= m_timeoutMs;
    m_pending = timesOut ? XmlNode() : std::move(script.document);
    const std::uint32_t delay = timesOut ? m_timeoutMs : script.delayMs;
    if (delay == 0) {
        std::weak_ptr<int> life = m_life;
        const std::uint64_t generation = m_generation;
        m_loop.Post([this, life, generation] {
            if (!life.expired()) {
                Deliver(generation);
            }
        });
    } else {
        m_loop.SetTimerInterval(m_timer, delay);
    }
}

void FakeXmlDocument::Cancel() {
    ++m_generation;
    m_loop.SetTimerInterval(m_timer, 0);
    m_loading = false;
    m_onComplete = nullptr;
    m_pending = XmlNode();
}

void FakeXmlDocument::Deliver(std::uint64_t generation) {
    if (generation != m_generation || !m_loading) {
        return;
    }
    m_loading = false;
    Completion onComplete = std::move(m_onComplete);
    m_onComplete = nullptr;
    XmlNode document = std::move(m_pending);
    m_pending = XmlNode();
    if (onComplete) {
        onComplete(std::move(document));
    }
}

}  // namespace ko
