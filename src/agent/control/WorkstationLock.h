#pragma once

namespace ko {

class ServerLink;
class wsClient;

// Locking the workstation behind the kiosk and the secure-attention keys.
class WorkstationLock {
  public:
    virtual ~WorkstationLock() = default;
    virtual void LockWorkstation() = 0;
    virtual void UnlockWorkstation() = 0;
    // Non-zero enables the secure-attention keys, 0 disables them.
    virtual void EnableCtrlAltDel(int state) = 0;
    // Forgets the lock and hook flags: the secure-attention keys count as disabled.
    virtual void ResetLockFlags() = 0;
    // Tells the system a screen saver runs (on Windows 9x this disables the secure-attention keys).
    virtual void SetScreenSaverRunning(bool running) = 0;

    // The workstation object and the server link once the start routine created them; both null
    // again when the agent stops.
    virtual void SetClient(wsClient* /*client*/, ServerLink* /*link*/) {}
    // The stop routine begins: what waits on the loop gives up, and a missing hook library no
    // longer stops the agent (it is stopping already).
    virtual void BeginRestore() {}
};

}  // namespace ko
