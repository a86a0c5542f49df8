#pragma once

#include <string_view>

namespace ko {

// Account and domain names that come from the server are checked before they become part of a
// file path, a registry path or a display manager's configuration: a name with a separator or a
// control character could point any of those somewhere else.
bool IsValidAccountName(std::string_view name);
// The empty domain (a local account) is valid.
bool IsValidDomainName(std::string_view domain);

}  // namespace ko
