#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shared/Logger.h"

namespace ko {

// Takes the log's lines while it lives and lets them go nowhere again when it goes, so a test
// that ends early never leaves the logger writing into its dead locals.
class LogCapture {
  public:
    LogCapture() {
        Logger::SetSink([this](Logger::Level level, std::string_view text) {
            m_lines.emplace_back(level, std::string(text));
        });
    }
    ~LogCapture() { Logger::SetSink(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<std::pair<Logger::Level, std::string>>& Lines() const { return m_lines; }
    std::size_t Count(Logger::Level level) const {
        std::size_t count = 0;
        for (const auto& line : m_lines) {
            count += line.first == level ? 1 : 0;
        }
        return count;
    }

  private:
    std::vector<std::pair<Logger::Level, std::string>> m_lines;
};

}  // namespace ko
