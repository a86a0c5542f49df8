#pragma once

namespace ko {

// `frmTimeoutMessage`, the strip that warns that the paid time runs out, and its sound.
class TimeoutWarning {
  public:
    virtual ~TimeoutWarning() = default;
    // Server message 33: the strip slides up, holds, and slides down again.
    virtual void ShowTimeoutWindow() = 0;
    // Server message 34: plays "TimeoutRemainder.wav" of the program folder, asynchronously.
    virtual void PlayTimeoutSound() = 0;
    // Unloads the strip (the lock closes every form but the main window).
    virtual void Unload() = 0;
};

}  // namespace ko
