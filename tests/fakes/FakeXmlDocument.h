#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/XmlDocument.h"

namespace ko {

class FakeEventLoop;

// Documents the test scripts by address, completed on the fake loop's virtual clock with the
// contract of the real adapters: always from the loop, a newer load cancels the older, an address
// that is not scripted, fails or is not http(s) gives the empty document, a server that never
// answers gives it at the time limit.
class FakeXmlDocument : public XmlDocument {
  public:
    explicit FakeXmlDocument(FakeEventLoop& loop, std::uint32_t timeoutMs = kDefaultTimeoutMs);
    ~FakeXmlDocument() override;
    FakeXmlDocument(const FakeXmlDocument&) = delete;
    FakeXmlDocument& operator=(const FakeXmlDocument&) = delete;

    void Load(const std::string& url, Completion onComplete) override;
    void Cancel() override;
    bool Loading() const override { return m_loading; }

    // url answers document (the empty document for a failure) delayMs after the load starts.
    void Serve(const std::string& url, XmlNode document, std::uint32_t delayMs = 0);
    // url never answers.
    void Hang(const std::string& url);
    // Every address loaded, in order.
    const std::vector<std::string>& Requests() const { return m_requests; }

  private:
    struct Script {
        XmlNode document;
        std::uint32_t delayMs = 0;
        bool hang = false;
    };

    void Deliver(std::uint64_t generation);

    FakeEventLoop& m_loop;
    std::uint32_t m_timeoutMs;
    EventLoop::TimerId m_timer;
    std::map<std::string, Script> m_scripts;
    std::vector<std::string> m_requests;
    XmlNode m_pending;
    Completion m_onComplete;
    bool m_loading = false;
    std::uint64_t m_generation = 0;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace ko
