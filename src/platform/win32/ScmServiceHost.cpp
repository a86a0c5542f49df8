#include "platform/win32/ScmServiceHost.h"

#include <utility>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/win32/Win32Handles.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

ScmServiceHost* ScmServiceHost::s_current = nullptr;
unsigned long ScmServiceHost::s_dispatcherError = 0;

ScmServiceHost::ScmServiceHost(std::string name, Body body, int controls)
    : m_name(std::move(name)), m_body(std::move(body)), m_controls(controls) {}

int ScmServiceHost::Run(const std::string& name, Body body, int controls) {
    ScmServiceHost host(name, std::move(body), controls);
    s_current = &host;
    s_dispatcherError = 0;
    std::vector<char> serviceName(name.begin(), name.end());
    serviceName.push_back('\0');
    SERVICE_TABLE_ENTRYA table[] = {{serviceName.data(), &ServiceMain}, {nullptr, nullptr}};
    BOOL dispatched = StartServiceCtrlDispatcherA(table);
    if (!dispatched) {
        s_dispatcherError = GetLastError();
    }
    s_current = nullptr;
    if (!dispatched || !host.m_bodyRan) {
        return kNotAService;
    }
    return host.m_exitCode;
}

void WINAPI ScmServiceHost::ServiceMain(DWORD, LPSTR*) {
    if (s_current != nullptr) {
        Guarded("service main", [] { s_current->RunService(); });
    }
}

void WINAPI ScmServiceHost::ControlHandler(DWORD control) {
    if (s_current != nullptr) {
        Guarded("service control", [control] { s_current->OnControl(control); });
    }
}

void ScmServiceHost::RunService() {
    m_statusHandle = RegisterServiceCtrlHandlerA(m_name.c_str(), &ControlHandler);
    if (m_statusHandle == nullptr) {
        Logger::Error("service control handler not registered");
        return;
    }
    SetStatus(SERVICE_START_PENDING);
    SetStatus(SERVICE_RUNNING);
    m_bodyRan = true;
    m_exitCode = 1;
    Guarded("service body", [this] { m_exitCode = m_body(*this); });
    Detach();
    // The last thing this thread does: once the only service of the process reports stopped,
    // the dispatcher returns on the main thread, which then ends the process.
    m_stoppedReported = true;
    SetStatus(SERVICE_STOPPED, static_cast<DWORD>(m_exitCode));
}

void ScmServiceHost::OnControl(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            SetStatus(SERVICE_STOP_PENDING);
            m_stopWanted = true;
            if (m_loop.load() != nullptr) {
                PostStopOnce();
            }
            break;
        default:
            // Interrogation and anything else: repeat the current state.
            SetStatus(m_state.load());
            break;
    }
}

void ScmServiceHost::Attach(EventLoop& loop, Handler& handler) {
    m_handler = &handler;
    // Start is queued before the loop is published, so a stop can never overtake it.
    loop.Post([this] {
        bool success = false;
        m_handler->OnServiceStart(success);
    });
    {
        CriticalSection::Scope hold(m_lock);
        m_loop = &loop;
    }
    // A stop that came before the loop was attached is delivered now, after the start.
    if (m_stopWanted) {
        PostStopOnce();
    }
}

void ScmServiceHost::SetControls(int controls) {
    m_controls = controls;
    if (m_state.load() == SERVICE_RUNNING) {
        SetStatus(SERVICE_RUNNING);
    }
}

void ScmServiceHost::PostStopOnce() {
    CriticalSection::Scope hold(m_lock);
    EventLoop* loop = m_loop.load();
    if (loop == nullptr || m_stopPosted.exchange(true)) {
        return;
    }
    loop->Post([this] { m_handler->OnServiceStop(); });
}

void ScmServiceHost::Detach() {
    CriticalSection::Scope hold(m_lock);
    m_loop = nullptr;
}

void ScmServiceHost::RequestStop() {
    UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueScHandle service;
    if (manager) {
        service.Reset(OpenServiceA(manager.Get(), m_name.c_str(), SERVICE_STOP));
    }
    SERVICE_STATUS status = {};
    if (service && ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        return;  // Stop comes back through the control handler
    }
    m_stopWanted = true;
    PostStopOnce();
}

void ScmServiceHost::ReportStopped(int exitCode) {
    m_exitCode = exitCode;
    SetStatus(SERVICE_STOP_PENDING);
}

void ScmServiceHost::SetStatus(DWORD state, DWORD exitCode) {
    CriticalSection::Scope hold(m_lock);
    // Nothing may follow the stopped report: the manager may end the process after it.
    if (m_statusHandle == nullptr || (m_stoppedReported && state != SERVICE_STOPPED)) {
        return;
    }
    m_state = state;
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    // Pause and continue are never accepted: the agent has no paused state.
    status.dwControlsAccepted = state == SERVICE_RUNNING && ServiceControls::AcceptsStop(m_controls)
                                    ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN
                                    : 0;
    if (exitCode != 0) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = exitCode;
    }
    status.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 10000 : 0;
    status.dwCheckPoint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 1 : 0;
    SetServiceStatus(m_statusHandle, &status);
}

}  // namespace ko
