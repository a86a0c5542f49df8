#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ko {

enum class EventKind { Note, Step, Connected, Disconnected, Received, Sent, Fetched, StateChanged };

// One thing kosim observed or did.
struct JournalEvent {
    std::uint64_t seq = 0;
    double at = 0;  // seconds since kosim started
    EventKind kind = EventKind::Note;
    std::string workstation;  // empty when none applies
    int code = 0;             // message code, HTTP status, or new state
    std::string path;         // the page or document fetched (path and query)
    std::string text;         // what the timeline prints
    // The fields of a message received or sent (the first is the code); kept for scripts that
    // compare a page with what the workstation was told. Never printed.
    std::vector<std::string> fields;
};

// The record of everything observed, in order. The timeline prints it as it grows; scripts wait
// on it and assert what it holds. Safe to use from several threads.
class Journal {
  public:
    using Printer = std::function<void(const JournalEvent&)>;
    using Match = std::function<bool(const JournalEvent&)>;

    Journal();

    void SetPrinter(Printer printer);
    std::uint64_t Append(JournalEvent event);
    void Note(const std::string& text, const std::string& workstation = {});

    // Sequence number the next event will get.
    std::uint64_t Next() const;
    std::vector<JournalEvent> Events(std::uint64_t fromSeq = 0) const;

    // The first event from fromSeq on that matches, waiting up to timeout for it to happen.
    std::optional<JournalEvent> WaitFor(const Match& match, std::uint64_t fromSeq,
                                        std::chrono::milliseconds timeout) const;

    double Elapsed() const;
    // One printed line of an event: seconds, workstation, arrow and text.
    static std::string Format(const JournalEvent& event);

  private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<JournalEvent> m_events;
    Printer m_printer;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace ko
