#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "platform/ServiceManager.h"
#include "platform/win32/CriticalSection.h"

namespace ko {

// The service host under the service control manager. Run hands the calling thread to the
// service dispatcher; the body runs on the service's own thread, builds the loop and the agent
// there and runs the loop. The manager's stop and shutdown arrive on the dispatcher thread and
// are posted to the attached loop, so the agent sees them on its one thread.
class ScmServiceHost : public ServiceHost {
  public:
    using Body = std::function<int(ScmServiceHost&)>;

    // Returned by Run when the process was not started by the service control manager (the
    // dispatcher refuses, error 1063); the body has not run then. LastDispatcherError tells why.
    static constexpr int kNotAService = -1;

    // Runs body as the service called name, accepting the given controls (ServiceControls);
    // returns the body's exit code.
    static int Run(const std::string& name, Body body, int controls = ServiceControls::kDefault);
    static unsigned long LastDispatcherError() { return s_dispatcherError; }

    void Attach(EventLoop& loop, Handler& handler) override;
    // Tells the service manager at once when the service already runs.
    void SetControls(int controls) override;
    void RequestStop() override;
    // Keeps the exit code and says the stop is under way; the manager hears "stopped" only when
    // the body has returned, since it may end the process as soon as it does.
    void ReportStopped(int exitCode) override;
    // The body calls this before its loop goes away: no control may post to it after that.
    void Detach();

  private:
    ScmServiceHost(std::string name, Body body, int controls);

    static void WINAPI ServiceMain(DWORD argc, LPSTR* argv);
    static void WINAPI ControlHandler(DWORD control);

    void RunService();
    void OnControl(DWORD control);
    void PostStopOnce();
    void SetStatus(DWORD state, DWORD exitCode = 0);

    // The dispatcher calls ServiceMain and the handler without context: one service per process.
    static ScmServiceHost* s_current;
    static unsigned long s_dispatcherError;

    std::string m_name;
    Body m_body;
    SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
    int m_exitCode = 0;
    bool m_bodyRan = false;
    // Shared between the service thread (Attach) and the dispatcher thread (controls).
    // Guards the loop pointer and the status reports against the dispatcher thread.
    CriticalSection m_lock;
    std::atomic<EventLoop*> m_loop{nullptr};
    Handler* m_handler = nullptr;
    std::atomic<bool> m_stopWanted{false};
    std::atomic<bool> m_stopPosted{false};
    std::atomic<bool> m_stoppedReported{false};
    std::atomic<DWORD> m_state{SERVICE_STOPPED};
    std::atomic<int> m_controls;
};

}  // namespace ko
