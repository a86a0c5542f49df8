#include "Journal.h"

#include <cstdio>

namespace ko {

Journal::Journal() : m_start(std::chrono::steady_clock::now()) {}

void Journal::SetPrinter(Printer printer) {
    std::lock_guard lock(m_mutex);
    m_printer = std::move(printer);
}

double Journal::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

std::uint64_t Journal::Append(JournalEvent event) {
    std::lock_guard lock(m_mutex);
    event.seq = m_events.size();
    event.at = Elapsed();
    m_events.push_back(event);
    if (m_printer) {
        m_printer(m_events.back());
    }
    m_changed.notify_all();
    return event.seq;
}

void Journal::Note(const std::string& text, const std::string& workstation) {
    JournalEvent e;
    e.kind = EventKind::Note;
    e.workstation = workstation;
    e.text = text;
    Append(std::move(e));
}

std::uint64_t Journal::Next() const {
    std::lock_guard lock(m_mutex);
    return m_events.size();
}

std::vector<JournalEvent> Journal::Events(std::uint64_t fromSeq) const {
    std::lock_guard lock(m_mutex);
    if (fromSeq >= m_events.size()) {
        return {};
    }
    return {m_events.begin() + static_cast<std::ptrdiff_t>(fromSeq), m_events.end()};
}

std::optional<JournalEvent> Journal::WaitFor(const Match& match, std::uint64_t fromSeq,
                                             std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    std::uint64_t next = fromSeq;
    while (true) {
        for (; next < m_events.size(); ++next) {
            if (match(m_events[next])) {
                return m_events[next];
            }
        }
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout &&
            next == m_events.size()) {
            return std::nullopt;
        }
    }
}

std::string Journal::Format(const JournalEvent& e) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%8.3f  ", e.at);
    std::string who = e.workstation.empty() ? "kosim" : e.workstation;
    if (who.size() < 10) {
        who.resize(10, ' ');
    }
    std::string arrow;
    switch (e.kind) {
        case EventKind::Received:
            arrow = "->  ";
            break;
        case EventKind::Sent:
            arrow = "<-  ";
            break;
        case EventKind::Fetched:
            arrow = "web ";
            break;
        case EventKind::StateChanged:
            arrow = "==  ";
            break;
        case EventKind::Connected:
        case EventKind::Disconnected:
            arrow = "tcp ";
            break;
        case EventKind::Step:
            return std::string("\n") + stamp + "=== " + e.text + " ===";
        case EventKind::Note:
            arrow = "    ";
            break;
    }
    return stamp + who + " " + arrow + e.text;
}

}  // namespace ko
