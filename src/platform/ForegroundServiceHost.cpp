#include "platform/ForegroundServiceHost.h"

#include "platform/EventLoop.h"
#include "shared/Logger.h"

namespace ko {

void ForegroundServiceHost::Attach(EventLoop& loop, Handler& handler) {
    m_loop = &loop;
    m_handler = &handler;
    loop.Post([this] {
        bool success = false;
        m_handler->OnServiceStart(success);
    });
}

void ForegroundServiceHost::RequestStop() {
    PostStop();
}

bool ForegroundServiceHost::ControlStop() {
    if (!ServiceControls::AcceptsStop(m_controls)) {
        Logger::Info("stop refused: the service settings do not accept stop");
        return false;
    }
    PostStop();
    return true;
}

void ForegroundServiceHost::PostStop() {
    if (m_loop == nullptr || m_stopPosted) {
        return;
    }
    m_stopPosted = true;
    m_loop->Post([this] { m_handler->OnServiceStop(); });
}

void ForegroundServiceHost::ReportStopped(int exitCode) {
    m_exitCode = exitCode;
}

}  // namespace ko
