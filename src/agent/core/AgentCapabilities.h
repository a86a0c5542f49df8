#pragma once

namespace ko {

class KioskWindow;
class BillingDisplay;
class WorkstationLock;
class PowerControl;
class ApplicationControl;
class PolicyControl;
class ProfileLoader;
class HookControl;
class CleanupControl;
class MessageWindow;
class TimeoutWarning;
class Advertising;
class WatcherChannel;

// The capabilities that the workstation state and the start and stop routines drive. The program
// wires the real ones; tests wire recording fakes.
struct AgentCapabilities {
    KioskWindow& kiosk;
    BillingDisplay& billing;
    WorkstationLock& lock;
    PowerControl& power;
    ApplicationControl& applications;
    PolicyControl& policies;
    ProfileLoader& profile;
    HookControl& hooks;
    CleanupControl& cleanup;
    MessageWindow& messages;
    TimeoutWarning& timeout;
    Advertising& advertising;
    WatcherChannel& watcher;
};

}  // namespace ko
