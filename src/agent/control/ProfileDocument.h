#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "agent/control/ProfileLoader.h"
#include "platform/XmlNode.h"
#include "shared/LoopTimer.h"

namespace ko {

class EventLoop;
class XmlDocument;

// `koDom`, the customer's profile document. Each load replaces the document before it: the older
// load is cancelled and its completion never comes. The handler always runs from the loop, after
// LoadProfile has returned, with a document it may keep while newer loads come and go.
//
// A logoff profile that cannot be loaded is asked for twice more, 5 s apart: it carries the
// clean-up between customers, and skipping it would hand the next customer the last one's
// documents. If it still fails, the handler runs on the empty document, so the watcher gets its
// messages all the same.
class ProfileDocument : public ProfileLoader {
  public:
    using Handler =
        std::function<void(std::shared_ptr<const XmlNode> koDom, std::uint64_t generation)>;

    static constexpr std::uint32_t kRetryDelayMs = 5000;
    static constexpr int kLogoffRetries = 2;

    ProfileDocument(EventLoop& loop, XmlDocument& document);
    ~ProfileDocument() override;
    ProfileDocument(const ProfileDocument&) = delete;
    ProfileDocument& operator=(const ProfileDocument&) = delete;

    void SetHandler(Handler handler) { m_handler = std::move(handler); }

    void LoadProfile(const std::string& url, ProfileAction action) override;
    // Drops the running load and any retry; the handler is not called for it.
    void Cancel();

    // Each LoadProfile starts a new generation. A handler that lets events run checks whether its
    // generation is still the current one before each step.
    std::uint64_t Generation() const { return m_generation; }
    bool IsCurrent(std::uint64_t generation) const { return generation == m_generation; }
    // The document as it stands: empty while a load runs, the loaded one once it completed.
    const XmlNode& Document() const { return *m_document; }

  private:
    void StartLoad();
    void OnLoaded(std::uint64_t generation, XmlNode document);

    XmlDocument& m_xml;
    Handler m_handler;
    LoopTimer m_tmrRetry;
    std::string m_url;
    ProfileAction m_action = ProfileAction::Logon;
    int m_retriesLeft = 0;
    std::uint64_t m_generation = 0;
    std::shared_ptr<const XmlNode> m_document = std::make_shared<const XmlNode>();
};

}  // namespace ko
