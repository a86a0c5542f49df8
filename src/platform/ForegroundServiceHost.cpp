#include "platform/ForegroundServiceHost.h"

#include "platform/EventLoop.h"

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
