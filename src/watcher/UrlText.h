#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ko::watcher {

// A text sent to the agent travels as one global atom, which holds at most 255 characters.
inline constexpr std::size_t kMaxTravellingUrl = 254;

// The address as a browser or a web server reads it, so that a listed text cannot be slipped
// past the filter by spelling: tabs, carriage returns and line feeds removed (browsers drop
// them), percent escapes decoded (again while an escape remains, for "%2573"), backslashes read
// as slashes, and the dots that end the host name removed ("casino.com./" is "casino.com/").
// Letter case is kept; the list folds it.
std::string NormalisedAddress(std::string_view address);

// The first kMaxTravellingUrl characters of the address, the part that can reach the agent.
std::string TravellingUrl(std::string_view address);

// A visited address as it reaches the server in a report: the server splits its messages at
// "|", so each "|" is sent as "%7C"; then cut to what can travel, never in the middle of an
// escape.
std::string ReportedUrl(std::string_view address);

}  // namespace ko::watcher
