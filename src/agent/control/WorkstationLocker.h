#pragma once

namespace ko {

struct ControlContext;
class KoApplications;

// `LockWorkstation`, `UnlockWorkstation` and `EnableCtrlAltDel`: the kiosk covers the desktop
// on top of everything, the customers' windows are hidden, and the keyboard and screen-saver hooks
// keep the keys inside the kiosk until the next customer logs on.
class WorkstationLocker {
  public:
    static constexpr const char* kMissingLibraryText =
        "Missing configuration files. Run setup again!";

    WorkstationLocker(ControlContext& context, KoApplications& applications);

    void LockWorkstation();
    void UnlockWorkstation();
    void EnableCtrlAltDel(int state);
    void ResetLockFlags();

  private:
    // Message 1003, then the service's stop, which gives the workstation back whole.
    void MissingHookLibrary();

    ControlContext& m_ctx;
    KoApplications& m_applications;
};

}  // namespace ko
