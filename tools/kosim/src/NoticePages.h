#pragma once

#include <string>
#include <vector>

#include "CafeData.h"
#include "CafeServer.h"

namespace ko {

// The message box page, the time-out strip, the advertisements and kosim's own overview.
class NoticePages {
  public:
    // style 1: a notice with OK; any other style: a question with OK and Cancel.
    static std::string Message(const std::string& id, const std::string& text,
                               const std::string& parameter, const std::string& style);
    // remaining: what the strip tells of the paid time, empty when the workstation is unknown.
    static std::string Timeout(const CafeData& data, const std::string& remaining);
    static std::string Advertisement(const CafeData& data, std::size_t index);
    static std::string Overview(const CafeData& data, const std::vector<Workstation>& stations);
    static std::string NotFound(const std::string& path);

  private:
    static std::string AdvertisementLinks(std::size_t index);
};

}  // namespace ko
