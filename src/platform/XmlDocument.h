#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/XmlNode.h"

namespace ko {

// An XML document fetched from an http address without blocking the loop. Both programs load
// their documents from the cafe server through it: the agent its logon profile, the watcher its
// logon settings.
//
// Loading never fetches anything the document itself names. The predefined and character
// entities and those the document declares in its own document type declaration are expanded;
// an external entity stands for nothing, and an entity that expands past the size limit makes the
// document malformed.
class XmlDocument {
  public:
    // Receives the loaded document; an empty document (no root) when the address could not be
    // reached, the server answered other than 2xx, the load ran past its time or size limit, or
    // the body was empty or not well-formed XML.
    using Completion = std::function<void(XmlNode document)>;

    // A server that does not finish within this time gives an empty document.
    static constexpr std::uint32_t kDefaultTimeoutMs = 30000;
    // Larger documents give an empty document.
    static constexpr std::size_t kMaxBytes = 1024 * 1024;

    virtual ~XmlDocument() = default;

    // Starts loading url. A load still running is cancelled first: its completion never comes.
    // The completion always runs later from the loop, never inside Load, and once per load.
    virtual void Load(const std::string& url, Completion onComplete) = 0;
    // Cancels the running load, if any; its completion never comes.
    virtual void Cancel() = 0;
    // True from Load until the completion runs or the load is cancelled.
    virtual bool Loading() const = 0;

    // Only http and https addresses are loaded; any other gives the empty document at once (posted
    // like every completion), so a server-made address never reads a local file.
    static bool IsHttpAddress(const std::string& url);
};

}  // namespace ko
