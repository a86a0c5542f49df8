// Runs the real watcher program connected to an agent's channel in state 0 and reports its
// resident memory and how often it woke up in a minute (voluntary context switches: each is
// one return from the loop's poll). This process plays the agent: it serves the channel in a
// private runtime folder and answers the watcher's announcement.
//   ko_idle_watcher [seconds]

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "LoopbackServer.h"
#include "ProcStatus.h"
#include "platform/linux/LinuxChannelPort.h"
#include "platform/linux/LinuxEventLoop.h"
#include "shared/MessageChannel.h"

namespace {

// The agent's side: answers every announcement with state 0.
class IdleAgent : public ko::ChannelPort::Receiver {
  public:
    explicit IdleAgent(ko::ChannelPort& port) : m_channel(port) { m_channel.RegisterAll(); }

    void OnWindowMessage(const ko::ChannelPort::Incoming& incoming) override {
        if (m_channel.Identify(incoming.number) == ko::MessageChannel::Message::KOW_CONNECTION) {
            watcher = static_cast<ko::ChannelPort::WindowHandle>(incoming.wParam);
            m_channel.SendMessageToExe(watcher, ko::MessageChannel::Message::KOW_Update_State, "0");
        }
    }
    void Close() {
        m_channel.SendMessageToExe(watcher, ko::MessageChannel::Message::KOW_CLOSEWS, "");
    }

    ko::ChannelPort::WindowHandle watcher = 0;

  private:
    ko::MessageChannel m_channel;
};

// Runs the loop for ms, serving the channel meanwhile (in pieces a loop timer can hold).
void RunFor(ko::LinuxEventLoop& loop, int ms) {
    while (ms > 0) {
        const int piece = std::min(ms, 60000);
        bool done = false;
        const auto timer = loop.AddTimer([&done] { done = true; });
        loop.SetTimerInterval(timer, static_cast<std::uint32_t>(piece));
        loop.RunUntil([&done] { return done; });
        loop.RemoveTimer(timer);
        ms -= piece;
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ko::test;
    using ko::bench::ProcStatus;
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string dir = "/tmp/ko-idle-watcher-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
    std::ofstream(dir + "/registry.reg")
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrel "
           "Software\\Ostrel\\1\\NetConfig]\r\n"
        << "\"Server\"=\"127.0.0.1\"\r\n\"HttpPort\"=\"9\"\r\n\"WorkstationName\"=\"IDLE\"\r\n";
    SetAgentEnvironment(dir + "/registry.reg");
    setenv("OSTREL_RUNTIME_DIR", dir.c_str(), 1);
    setenv("OSTREL_LOG", "error", 0);  // OSTREL_LOG=debug shows the watcher's steps

    ko::LinuxEventLoop loop;
    ko::LinuxChannelPort port(loop, ko::LinuxChannelPort::Side::Serving, dir);
    IdleAgent agent(port);
    if (!port.CreateOwnWindow(ko::MessageChannel::kAgentWindowName, &agent)) {
        std::fprintf(stderr, "the agent's channel could not be served in %s\n", dir.c_str());
        return 1;
    }

    const std::string self = AgentProgramPath();
    AgentProcess watcher;
    if (!watcher.Start(self.substr(0, self.find_last_of('/') + 1) + "kowatch", "")) {
        std::fprintf(stderr, "the watcher did not start\n");
        return 1;
    }
    // Its first announcement comes 10 s after its start.
    RunFor(loop, 12000);
    if (agent.watcher == 0) {
        std::fprintf(stderr, "the watcher did not announce itself\n");
        return 1;
    }
    const int pid = watcher.Pid();
    const auto before = ProcStatus(pid);
    RunFor(loop, seconds * 1000);
    const auto after = ProcStatus(pid);
    const long wakeups = after.at("voluntary_ctxt_switches") - before.at("voluntary_ctxt_switches");
    std::printf("idle watcher: %ld wake-ups in %d s (%.1f per minute)\n", wakeups, seconds,
                wakeups * 60.0 / seconds);
    std::printf("idle watcher: resident memory %ld kB (peak %ld kB)\n", after.at("VmRSS"),
                after.at("VmHWM"));
    agent.Close();
    watcher.WaitExit(5000);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
