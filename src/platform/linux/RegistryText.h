#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryPrimitives.h"

namespace ko {

// The pieces of the REGEDIT4 text form: quoted names and texts (\\ and \" escaped), and value
// data as "text", dword:0000002a, hex:01,0a,ff or hex(N):... with wrapped continuation lines.
class RegistryText {
  public:
    static std::string_view TrimLeft(std::string_view text);
    static std::string_view TrimRight(std::string_view text);

    // Reads a quoted text at the start of text (which begins with the quote). Returns the
    // position after the closing quote, or nothing when it is not closed.
    static std::optional<std::size_t> ReadQuoted(std::string_view text, std::string& out);
    static std::string Quote(std::string_view text);
    // Whether a key or value name can be written on one line of the file.
    static bool CanStoreName(std::string_view name);

    // Reads the data after "name=". A hex list may go on over the next lines (index moves past
    // them). False for data that cannot be read, and for "-", which deletes rather than sets.
    static bool ParseData(std::string_view text, const std::vector<std::string_view>& lines,
                          std::size_t& index, RegData& data);
    // Writes the data after line ("name=") and ends the line; the exact bytes always survive.
    static void AppendValue(std::string& out, std::string line, const RegData& data);
};

}  // namespace ko
