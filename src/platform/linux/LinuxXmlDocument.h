#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/XmlDocument.h"
#include "platform/linux/LinuxEventLoop.h"

namespace ko {

// Loads documents with libcurl's multi-socket interface driven by the LinuxEventLoop (its
// sockets are watched by the loop and its timer is a loop timer: no thread, no blocking call)
// and parses the body from memory with libxml2.
class LinuxXmlDocument : public XmlDocument {
  public:
    // The limits are the product's; tests shorten them.
    explicit LinuxXmlDocument(LinuxEventLoop& loop, std::uint32_t timeoutMs = kDefaultTimeoutMs,
                              std::size_t maxBytes = kMaxBytes);
    ~LinuxXmlDocument() override;
    LinuxXmlDocument(const LinuxXmlDocument&) = delete;
    LinuxXmlDocument& operator=(const LinuxXmlDocument&) = delete;

    void Load(const std::string& url, Completion onComplete) override;
    void Cancel() override;
    bool Loading() const override { return m_loading; }

  private:
    static int OnSocket(CURL* easy, curl_socket_t fd, int what, void* self, void* socketData);
    static int OnCurlTimer(CURLM* multi, long timeoutMs, void* self);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);

    void WatchSocket(curl_socket_t fd, int what);
    void SetCurlTimer(long timeoutMs);
    bool StartTransfer(const std::string& url);
    // Lets curl act on a ready socket (or on its timer) and finishes a transfer that is done.
    void Drive(curl_socket_t fd, int flags);
    void Finish(CURLcode result);
    void StopTransfer();
    // Hands the document to the completion from the loop, unless a newer load or a cancel
    // came first.
    void PostCompletion(XmlNode document);

    LinuxEventLoop& m_loop;
    std::uint32_t m_timeoutMs;
    std::size_t m_maxBytes;
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> m_multi;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> m_easy;
    std::map<curl_socket_t, LinuxEventLoop::WatchId> m_watches;
    EventLoop::TimerId m_curlTimer = 0;

    std::string m_body;
    bool m_tooLarge = false;
    Completion m_onComplete;
    bool m_loading = false;
    // Every load and cancel bumps it, so what an older load left in the loop is dropped.
    std::uint64_t m_generation = 0;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace ko
