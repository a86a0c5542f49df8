#pragma once

#include "platform/ServiceManager.h"

namespace ko {

class EventLoop;

// The service-host role in the current process, without a service manager: `--foreground` runs
// the agent this way (under systemd, in the demo, in tests and when debugging). Start is posted
// when the body attaches; Stop is posted when the agent asks to stop, or when the program is
// told to end from outside (a signal on Linux) and the service accepts stop.
class ForegroundServiceHost : public ServiceHost {
  public:
    void Attach(EventLoop& loop, Handler& handler) override;
    void SetControls(int controls) override { m_controls = controls; }
    void RequestStop() override;
    void ReportStopped(int exitCode) override;

    // The stop that comes from outside, as the service manager's would: delivered only when
    // the service accepts stop. Returns whether it was taken.
    bool ControlStop();
    // Delivers Stop through the loop, once.
    void PostStop();
    int ExitCode() const { return m_exitCode; }

  private:
    EventLoop* m_loop = nullptr;
    Handler* m_handler = nullptr;
    int m_controls = ServiceControls::kDefault;
    bool m_stopPosted = false;
    int m_exitCode = 0;
};

}  // namespace ko
