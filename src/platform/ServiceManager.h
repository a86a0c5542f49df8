#pragma once

#include <optional>
#include <string>

namespace ko {

// The controls a service accepts, as the service setting "Controls" gives them: a set of bits.
// The agent has no paused state, so pause and continue are never accepted. A host that accepts
// stop also takes the system's shutdown notice as a stop; one that does not cannot be stopped
// from outside, though the agent still stops itself when the server tells it to.
struct ServiceControls {
    static constexpr int kPauseContinue = 1;
    static constexpr int kStop = 2;
    static constexpr int kDefault = kStop;

    static bool AcceptsStop(int controls) { return (controls & kStop) != 0; }
};

// What the service control is told before it registers the service.
struct ServiceConfig {
    std::string displayName;
    std::string serviceName;
    bool interactive = true;
    int startMode = 2;  // 2 automatic, 3 manual, 4 disabled
    int controls = ServiceControls::kDefault;
    std::string account;
    // The program to run, with its arguments; empty means this program as a service.
    std::string commandLine;
};

// The service control manager of the local machine (Windows), systemd (Linux: a registered
// service is an installed unit file; "KoService" maps to the unit koagent.service).
class ServiceManager {
  public:
    virtual ~ServiceManager() = default;

    // The service's registered program path; nothing when it is not registered (a missing or
    // empty "ImagePath" on Windows, no unit file on Linux).
    virtual std::optional<std::string> ImagePath(const std::string& name) = 0;
    virtual bool Register(const ServiceConfig& config) = 0;
    // Starts the service. True on success, false when it cannot be opened or started; the
    // system's error code in errorCode when the service manager itself cannot be reached.
    virtual bool Start(const std::string& name, std::optional<long>& errorCode) = 0;
    // The raw current state as the service manager reports it (1 stopped, 2 start pending,
    // 3 stop pending, 4 running, 5 continue pending, 6 pause pending, 7 paused); nothing when the
    // service cannot be opened or queried.
    virtual std::optional<int> QueryState(const std::string& name) = 0;
};

// The service host: runs the program's body as the service and delivers the service manager's
// Start and Stop through the program's loop.
class ServiceHost {
  public:
    class Handler {
      public:
        virtual ~Handler() = default;
        virtual void OnServiceStart(bool& success) = 0;
        virtual void OnServiceStop() = 0;
    };

    virtual ~ServiceHost() = default;

    // Calls Attach's handler with Start from the loop, once the body has attached.
    virtual void Attach(class EventLoop& loop, Handler& handler) = 0;
    // Which of the service manager's controls the host honours (ServiceControls).
    virtual void SetControls(int controls) = 0;
    // Asks the service manager to stop the service; Stop then arrives through the loop. In the
    // foreground host (no service manager) Stop is posted at once.
    virtual void RequestStop() = 0;
    // Tells the service manager the service has stopped, with the process's exit code.
    virtual void ReportStopped(int exitCode) = 0;
};

}  // namespace ko
