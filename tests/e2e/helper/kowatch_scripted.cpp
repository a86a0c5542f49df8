// The session watcher with a scripted browser in place of the session's real browsers, for the
// end-to-end tests only: Linux follows no browser yet, so the filter and the address reports
// are driven from a file. Everything else is the product's own watcher and adapters.
// Usage: kowatch-scripted <navigations file>, one address a line. Every time the watcher renews
// its subscription the browser goes to each address in turn, a second later: the watcher may
// refuse it, else it completes.

#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramLog.h"
#include "app/WatcherProgram.h"
#include "platform/BrowserTracking.h"
#include "platform/linux/LinuxChannelPort.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxShellJobs.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/LinuxXmlDocument.h"
#include "platform/linux/RegistryFileStore.h"
#include "shared/Logger.h"
#include "shared/LoopTimer.h"

namespace {

class ScriptedBrowserTracking : public ko::BrowserTracking {
  public:
    ScriptedBrowserTracking(ko::EventLoop& loop, std::vector<std::string> addresses)
        : m_addresses(std::move(addresses)), m_play(loop, [this] { Play(); }) {
        m_play.SetInterval(1000);
    }

    void SetHandler(Handler* handler) override { m_handler = handler; }
    Status CreateIECollection() override {
        // Renewed several times as a session starts: one play for them all.
        if (!m_play.Enabled()) {
            m_play.SetEnabled(true);
        }
        return Status::Tracking;
    }
    void Stop() override { m_play.SetEnabled(false); }
    std::size_t TrackedCount() const override { return 1; }

  private:
    void Play() {
        m_play.SetEnabled(false);
        for (const std::string& address : m_addresses) {
            if (m_handler == nullptr) {
                return;
            }
            bool cancel = false;
            m_handler->BeforeNavigate(address, cancel);
            ko::Logger::Info(std::string("scripted browser: ") +
                             (cancel ? "refused " : "went to ") + address);
            if (!cancel && m_handler != nullptr) {
                m_handler->NavigateComplete(address);
            }
        }
    }

    std::vector<std::string> m_addresses;
    Handler* m_handler = nullptr;
    ko::LoopTimer m_play;
};

std::vector<std::string> ReadLines(const char* path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

int Main(int argc, char** argv) {
    ko::LinuxSystemInfo system(argv[0]);
    ko::RegistryFileStore registry(ko::RegistryFileStore::MachinePath());
    ko::LinuxEventLoop loop;
    loop.OnSignal(SIGTERM, [&loop] { loop.Quit(0); });
    loop.OnSignal(SIGINT, [&loop] { loop.Quit(0); });
    ko::LinuxXmlDocument document(loop);
    ScriptedBrowserTracking browsers(loop,
                                     argc > 1 ? ReadLines(argv[1]) : std::vector<std::string>{});
    ko::LinuxShellJobs shell(loop);
    ko::LinuxChannelPort channel(loop, ko::LinuxChannelPort::Side::Connecting);
    return ko::RunWatcher(loop, system, registry, document, browsers, shell, channel);
}

}  // namespace

int main(int argc, char** argv) {
    return ko::RunLogged("kowatch", [&] { return Main(argc, argv); });
}
