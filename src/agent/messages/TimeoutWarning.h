#pragma once

namespace ko {

class TimeoutWarning {
  public:
    virtual ~TimeoutWarning() = default;
    virtual void ShowTimeoutWindow() = 0;
    // Plays "TimeoutRemainder.wav" of the program folder, asynchronously.
    virtual void PlayTimeoutSound() = 0;
};

}  // namespace ko
