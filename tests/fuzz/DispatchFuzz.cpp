// The dispatch of server messages on the whole agent core (fakes underneath), fed any sequence of
// messages and link events. The input is lines: each line is one decoded server message, except
//   ~tick    the 10-second link timer fires (reconnect, and the 210 s silence watchdog)
//   ~close   the server closes the link
//   ~accept  the server accepts a connection (the hello goes out)
//   ~modal   the next operator message window stays up while the message after it arrives
// and, as first lines, ~9x (a Windows 9x workstation) and ~comma (a decimal comma).
// After every step: a message whose code field is not led by a number changes nothing, only a
// status moves the state, to the number its field 10 reads as, and the workstation is locked in
// every state that locks and unlocked in the one that unlocks.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/AgentHarness.h"
#include "fuzz/FuzzSupport.h"
#include "shared/NumberRules.h"

namespace {

using ko::NumberRules;

// Field n (1-based) of a message text, if the text reaches it.
std::optional<std::string> FieldOf(std::string_view text, std::size_t n) {
    std::size_t start = 0;
    for (std::size_t i = 1; i < n; ++i) {
        const std::size_t bar = text.find('|', start);
        if (bar == std::string_view::npos) {
            return std::nullopt;
        }
        start = bar + 1;
    }
    return std::string(text.substr(start, text.find('|', start) - start));
}

bool IsLockingState(std::int32_t state) {
    return state == -1 || state == 0 || state == 2 || state == 13;
}

bool IsSystemState(std::int32_t state) {
    return IsLockingState(state) || state == 1 || state == 6 || state == 10;
}

class Run {
  public:
    explicit Run(bool windows9x, bool decimalComma) {
        if (windows9x) {
            m_h.system.version.platformId = 1;
            m_h.system.version.major = 4;
            m_h.system.version.minor = 10;
        }
        if (decimalComma) {
            m_h.system.separators.decimal = ',';
            m_h.system.separators.group = '.';
        }
        m_h.StartConnected();  // the start routine locked the workstation (state -1)
    }

    bool Stopped() const { return m_h.host.stoppedWith.has_value(); }

    void Event(std::string_view line) {
        if (line == "~tick") {
            m_h.loop.Advance(10000);
        } else if (line == "~close") {
            m_h.socket.PeerClose();
        } else if (line == "~accept") {
            m_h.socket.AcceptConnection();
        }
        Settle();
    }

    // Handles one message; a modal message window it shows lets nested run meanwhile.
    void Message(const std::string& text, const std::string* nested) {
        ko::wsClient& client = m_h.Client();
        const std::int32_t before = client.wsState;
        const std::string oldField10 = client.MessageFields[10];
        std::optional<std::int32_t> afterNested;
        if (nested != nullptr) {
            m_h.recorder.whileMessageShown = [&] {
                Message(*nested, nullptr);
                afterNested = client.wsState;
            };
        }
        m_h.recorder.calls.clear();
        m_h.socket.sentWire.clear();
        client.process(text);
        m_h.recorder.whileMessageShown = nullptr;
        const std::int32_t start = afterNested.value_or(before);
        const std::string code = FieldOf(text, 1).value_or("");

        if (std::getenv("KO_FUZZ_TRACE") != nullptr) {
            std::fprintf(stderr, "message [%s]: state %d -> %d\n", text.c_str(), start,
                         client.wsState);
        }

        if (fuzz::CannotLeadWithNumber(code)) {
            FUZZ_CHECK(client.wsState == before, "a message without a code leaves the state");
            FUZZ_CHECK(m_h.recorder.calls.empty(), "a message without a code does nothing");
            FUZZ_CHECK(m_h.socket.sentWire.empty(), "a message without a code is not answered");
        } else if (NumberRules::ReadLenient(code) != 0.0) {
            FUZZ_CHECK(client.wsState == start, "only a status message moves the state");
        } else {
            const std::string field10 = FieldOf(text, 10).value_or(oldField10);
            const auto state = NumberRules::ToInt32(NumberRules::ReadLenient(field10));
            const bool statusSet = client.wsState == state.value_or(start);
            // A code that is neither plainly a number nor plainly none ("- 0", "..0", "&H0")
            // may or may not be a message, by the reading.
            FUZZ_CHECK(statusSet || (!fuzz::LedByNumber(code) && client.wsState == start),
                       "a status sets the state its field 10 reads as");
            if (state) {
                m_fromServer.insert(*state);
            }
        }
        Settle();
    }

  private:
    // Lets posted work run, follows the lock, and checks the state against it.
    void Settle() {
        m_h.loop.RunPosted();
        if (m_h.host.stopRequests > m_stopRequests) {
            // The service manager answers a stop request with the stop.
            m_stopRequests = m_h.host.stopRequests;
            m_h.form.OnServiceStop();
        }
        for (const std::string& call : m_h.recorder.Take()) {
            if (call == "lock workstation") {
                m_locked = true;
            } else if (call == "unlock workstation") {
                m_locked = false;
            }
        }
        if (Stopped()) {
            FUZZ_CHECK(!m_locked, "the stop gives the workstation back");
            return;
        }
        const std::int32_t state = m_h.Client().wsState;
        FUZZ_CHECK(IsSystemState(state) || m_fromServer.count(state) != 0,
                   "the state is one of the system's or the one the server sent");
        if (IsLockingState(state)) {
            FUZZ_CHECK(m_locked, "the workstation is locked in this state");
        } else if (state == 1) {
            FUZZ_CHECK(!m_locked, "the workstation is unlocked for a customer");
        }
    }

    ko::AgentHarness m_h;
    bool m_locked = true;
    int m_stopRequests = 0;
    std::set<std::int32_t> m_fromServer;
};

std::vector<std::string> Lines(std::string_view data) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string_view::npos) {
            end = data.size();
        }
        lines.emplace_back(data.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::vector<std::string> lines =
        Lines(std::string_view(reinterpret_cast<const char*>(bytes), size));
    constexpr std::size_t kMaxSteps = 200;  // long enough for the watchdog (21 ticks)
    std::size_t i = 0;
    bool windows9x = false;
    bool decimalComma = false;
    for (; i < lines.size() && (lines[i] == "~9x" || lines[i] == "~comma"); ++i) {
        windows9x = windows9x || lines[i] == "~9x";
        decimalComma = decimalComma || lines[i] == "~comma";
    }
    Run run(windows9x, decimalComma);
    for (std::size_t steps = 0; i < lines.size() && steps < kMaxSteps && !run.Stopped(); ++steps) {
        const std::string& line = lines[i++];
        if (line == "~tick" || line == "~close" || line == "~accept") {
            run.Event(line);
        } else if (line == "~modal" && i + 1 < lines.size()) {
            run.Message(lines[i], &lines[i + 1]);
            i += 2;
        } else {
            run.Message(line, nullptr);
        }
    }
    return 0;
}
