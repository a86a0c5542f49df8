#pragma once

#include <string>

namespace ko {

// A value for a page address's query. "&", "#", "%" and "+" would end the value or change its
// meaning (a workstation named "PC&wsName=PC02" would fetch PC02's page), so they are
// percent-encoded; every other character, and so every plain name, goes unchanged. Both programs
// build their server addresses with it.
std::string QueryValue(const std::string& value);

}  // namespace ko
