#pragma once

namespace ko {

class PowerControl {
  public:
    virtual ~PowerControl() = default;
    virtual void ShutDown() = 0;
    virtual void Restart() = 0;
    virtual void LogOffUser() = 0;
};

}  // namespace ko
