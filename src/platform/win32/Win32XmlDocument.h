#pragma once

#include <msxml2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/XmlDocument.h"
#include "platform/win32/ComPtr.h"
#include "platform/win32/Win32EventLoop.h"

namespace ko {

class ReadyStateSink;

// Loads documents with the Windows XML component (MSXML2.DOMDocument) over COM, asynchronously,
// on the loop's thread (a single-threaded apartment must be entered there). Each load gets a new
// document object whose ready-state event is handled at state 4 (complete). The loaded tree is
// copied into plain data, so the COM object never outlives the load.
class Win32XmlDocument : public XmlDocument {
  public:
    // The limits are the product's; tests shorten them. The time limit is at most 65535 ms.
    explicit Win32XmlDocument(Win32EventLoop& loop, std::uint32_t timeoutMs = kDefaultTimeoutMs,
                              std::size_t maxBytes = kMaxBytes);
    ~Win32XmlDocument() override;
    Win32XmlDocument(const Win32XmlDocument&) = delete;
    Win32XmlDocument& operator=(const Win32XmlDocument&) = delete;

    void Load(const std::string& url, Completion onComplete) override;
    void Cancel() override;
    bool Loading() const override { return m_loading; }

    // Called by the ready-state sink of the load of that generation.
    void OnReadyStateChange(std::uint64_t generation);

  private:
    bool StartLoad(const std::string& url);
    // Detaches the event sink, aborts a load still running and lets the document go.
    void ReleaseDocument();
    // Queues the delivery for the current load once; failed gives the empty document.
    void Complete(bool failed);
    void Deliver(std::uint64_t generation);
    XmlNode ReadDocument();

    Win32EventLoop& m_loop;
    std::uint32_t m_timeoutMs;
    std::size_t m_maxBytes;
    EventLoop::TimerId m_timer = 0;

    ComPtr<IXMLDOMDocument> m_document;
    ComPtr<ReadyStateSink> m_sink;
    Completion m_onComplete;
    bool m_loading = false;
    bool m_completionQueued = false;
    bool m_failed = false;
    // Every load and cancel bumps it, so what an older load left in the loop is dropped.
    std::uint64_t m_generation = 0;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace ko
