#pragma once

namespace ko {

class Advertising {
  public:
    virtual ~Advertising() = default;
    virtual void DeactivateAdvertisements() = 0;
    virtual void ResetAdTimers() = 0;
    virtual void SaveAdProfile() = 0;
};

}  // namespace ko
