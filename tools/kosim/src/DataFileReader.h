#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CafeData.h"

namespace ko {

// Reads the cafe's data file (JSON, UTF-8). Every key is optional; a key that is there with the
// wrong type is an error, so that a typo never turns silently into a default.
class DataFileReader {
  public:
    static std::optional<CafeData> Read(const std::string& text, std::vector<std::string>& errors);
};

}  // namespace ko
