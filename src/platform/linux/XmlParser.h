#pragma once

#include <string_view>

#include "platform/XmlNode.h"

namespace ko {

// Parses a whole document held in memory with libxml2 into the tree both platforms share. Nothing
// is fetched: no network, no external entity or DTD, and a document with a document type
// declaration is refused. Anything malformed gives the empty document.
XmlNode ParseXmlDocument(std::string_view body);

}  // namespace ko
