#pragma once

#include <string_view>

#include "platform/XmlNode.h"

namespace ko {

// Parses a whole document held in memory with libxml2 into the tree both platforms share. Nothing
// is fetched: no network, no external entity or DTD; the entities the document declares itself
// are expanded. Anything malformed gives the empty document.
XmlNode ParseXmlDocument(std::string_view body);

}  // namespace ko
