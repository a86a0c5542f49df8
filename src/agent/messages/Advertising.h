#pragma once

namespace ko {

// The idle advertising of a free workstation: the idle count (`tmrAdvertisement`), the rotation
// (`tmrAdDuration`) and the advertising window (`frmAdvertisement`).
class Advertising {
  public:
    virtual ~Advertising() = default;
    // Stops advertising: no idle count, no rotation, the window unloaded.
    virtual void DeactivateAdvertisements() = 0;
    // Activity on the kiosk: the idle count starts again from zero.
    virtual void ResetAdTimers() = 0;
    // Server message 32: keeps the profile of the current server message.
    virtual void SaveAdProfile() = 0;
    // Starts the idle count (a profile outside a session, a lock, a link that comes back).
    virtual void StartAdTimer() = 0;
    // Unloads the advertising window (the lock closes every form but the main window); the idle
    // count goes on.
    virtual void Unload() = 0;
};

}  // namespace ko
