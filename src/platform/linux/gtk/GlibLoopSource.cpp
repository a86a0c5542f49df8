#include "platform/linux/gtk/GlibLoopSource.h"

#include <algorithm>

#include "shared/Logger.h"

namespace ko {

GlibLoopSource::GlibLoopSource(LinuxEventLoop& loop)
    : m_loop(loop), m_context(g_main_context_default()) {
    m_acquired = g_main_context_acquire(m_context) != FALSE;
    if (!m_acquired) {
        Logger::Error("GlibLoopSource: GLib's main context belongs to another thread");
        return;
    }
    m_loop.SetPollSource(this);
    m_attached = true;
}

void GlibLoopSource::Detach() {
    if (m_attached) {
        m_loop.SetPollSource(nullptr);
        m_attached = false;
    }
}

GlibLoopSource::~GlibLoopSource() {
    if (!m_acquired) {
        return;
    }
    Detach();
    g_main_context_release(m_context);
}

void GlibLoopSource::Prepare(std::vector<pollfd>& fds, int& timeoutMs) {
    m_prepared = false;
    if (!m_acquired) {
        return;
    }
    const bool ready = g_main_context_prepare(m_context, &m_maxPriority) != FALSE;
    gint timeout = -1;
    if (m_pollFds.empty()) {
        m_pollFds.resize(8);
    }
    for (;;) {
        m_pollCount = g_main_context_query(m_context, m_maxPriority, &timeout, m_pollFds.data(),
                                           static_cast<gint>(m_pollFds.size()));
        if (m_pollCount <= static_cast<gint>(m_pollFds.size())) {
            break;
        }
        m_pollFds.resize(static_cast<std::size_t>(m_pollCount));
    }
    for (gint i = 0; i < m_pollCount; ++i) {
        fds.push_back(pollfd{m_pollFds[i].fd, static_cast<short>(m_pollFds[i].events), 0});
    }
    timeoutMs = ready ? 0 : timeout;
    m_prepared = true;
}

void GlibLoopSource::Dispatch(pollfd* fds, std::size_t count) {
    if (!m_prepared) {
        return;
    }
    m_prepared = false;
    const std::size_t used = std::min(count, static_cast<std::size_t>(m_pollCount));
    for (std::size_t i = 0; i < used; ++i) {
        m_pollFds[i].revents = static_cast<gushort>(fds[i].revents);
    }
    if (g_main_context_check(m_context, m_maxPriority, m_pollFds.data(), static_cast<gint>(used)) !=
        FALSE) {
        g_main_context_dispatch(m_context);
    }
}

}  // namespace ko
