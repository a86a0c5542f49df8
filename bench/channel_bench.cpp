// One round trip of the channel between the agent and the session watcher: a message with a
// URL-sized text sent and answered by a watcher in a second process.

#include <benchmark/benchmark.h>

#if !defined(_WIN32)
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/linux/LinuxChannelPort.h"
#include "shared/MessageChannel.h"

namespace ko {
namespace {

struct Silent : ChannelPort::Receiver {
    void OnWindowMessage(const ChannelPort::Incoming&) override {}
};

void BM_ChannelRoundTrip(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "ko-bench-XXXXXX").string();
    const std::string folder = ::mkdtemp(pattern.data());
    LinuxEventLoop loop;
    LinuxChannelPort agent(loop, LinuxChannelPort::Side::Serving, folder);
    Silent silent;
    if (!agent.CreateOwnWindow(MessageChannel::kAgentWindowName, &silent)) {
        state.SkipWithError("no socket");
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // The watcher: connects and answers whatever comes until the agent goes.
        LinuxEventLoop watcherLoop;
        LinuxChannelPort watcher(watcherLoop, LinuxChannelPort::Side::Connecting, folder);
        Silent answering;
        watcher.CreateOwnWindow(MessageChannel::kWatcherWindowName, &answering);
        const auto handle = watcher.FindPeerWindow(MessageChannel::kAgentWindowName);
        watcherLoop.RunUntil([&] { return !watcher.IsWindow(handle); });
        ::_exit(0);
    }
    MessageChannel channel(agent);
    loop.RunUntil([&] { return agent.IsWindow(child); });
    const std::string url = "http://www.example.com/" + std::string(200, 'a');
    for (auto _ : state) {
        if (channel.SendMessageToExe(child, MessageChannel::Message::KOW_Run_Application, url) !=
            ChannelPort::SendResult::Delivered) {
            state.SkipWithError("not delivered");
            break;
        }
    }
    agent.DestroyOwnWindow();
    int status = 0;
    ::waitpid(child, &status, 0);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ChannelRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ko
#endif
