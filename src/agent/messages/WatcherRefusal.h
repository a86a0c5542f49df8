#pragma once

#include <string>

#include "agent/messages/MessageWindow.h"

namespace ko {

// "KOW_DISALLOWEDURL" from the watcher: the customer's browser was kept from an address. The box
// is modal, so the watcher, blocked in its send, goes on only when the customer has closed it.
inline void ShowDisallowedUrl(MessageWindow& messages, const std::string& url) {
    messages.ShowForm("ShowMessage", "Access Denied to URL:", "1017", url, 0);
}

}  // namespace ko
