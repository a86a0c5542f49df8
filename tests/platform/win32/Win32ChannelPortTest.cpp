#include "platform/win32/Win32ChannelPort.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "fakes/FakeEventLoop.h"
#include "platform/LoopTestSupport.h"
#include "platform/win32/Win32EventLoop.h"
#include "shared/MessageChannel.h"

namespace ko {
namespace {

using Message = MessageChannel::Message;
using SendResult = ChannelPort::SendResult;

// The peer runs as a second process: this test program again, running only the disabled peer
// test below, told by the environment which watcher to play.
constexpr const char* kModeVariable = "KO_CHANNEL_PEER";
constexpr const char* kAgentNameVariable = "KO_CHANNEL_AGENT";

std::string Environment(const char* name) {
    char value[512] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// What reaches a window; wakes the loop that pumps the thread's messages, so that the loop looks
// at what the test waits for (the program's port does the same on its own loop).
struct Receiver : ChannelPort::Receiver {
    explicit Receiver(EventLoop& pumping) : loop(pumping) {}
    std::function<void(const ChannelPort::Incoming&)> onMessage;
    void OnWindowMessage(const ChannelPort::Incoming& message) override {
        if (onMessage) {
            onMessage(message);
        }
        loop.Post([] {});
    }
    EventLoop& loop;
};

class Peer {
  public:
    Peer(const std::string& mode, const std::string& agentName) {
        SetEnvironmentVariableA(kModeVariable, mode.c_str());
        SetEnvironmentVariableA(kAgentNameVariable, agentName.c_str());
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string command = std::string("\"") + self +
                              "\" --gtest_also_run_disabled_tests "
                              "--gtest_filter=Win32ChannelPeer.DISABLED_PlayTheWatcher";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &info) != FALSE;
        SetEnvironmentVariableA(kModeVariable, nullptr);
        if (started) {
            CloseHandle(info.hThread);
            m_process = info.hProcess;
        }
    }
    ~Peer() {
        if (m_process != nullptr) {
            if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
                TerminateProcess(m_process, 99);
            }
            CloseHandle(m_process);
        }
    }
    // The peer's exit code once it has ended (within waitMs), else -1.
    int ExitCode(DWORD waitMs) {
        DWORD code = 0;
        if (WaitForSingleObject(m_process, waitMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(m_process, &code)) {
            return -1;
        }
        return static_cast<int>(code);
    }
    bool started = false;

  private:
    HANDLE m_process = nullptr;
};

// The agent's side: a real loop pumps the thread's messages; the port's own timers (a late
// atom's deletion) run on a virtual clock, so the test can move a minute on.
class Win32ChannelPortTest : public ::testing::Test {
  protected:
    Win32ChannelPortTest() {
        channel.RegisterAll();
        created = port.CreateOwnWindow(agentName, &receiver);
    }
    void SetUp() override { ASSERT_TRUE(created); }
    ChannelPort::WindowHandle AwaitAnnouncement() {
        ChannelPort::WindowHandle watcher = 0;
        receiver.onMessage = [&](const ChannelPort::Incoming& m) {
            if (m.number == channel.Number(Message::KOW_CONNECTION)) {
                watcher = MessageChannel::NumberOfText(m.text).value_or(0);
            }
        };
        RunFor(loop, 60000, [&] { return watcher != 0; });
        receiver.onMessage = nullptr;
        return watcher;
    }

    std::string agentName = std::string(MessageChannel::kAgentWindowName) + " test " +
                            std::to_string(GetCurrentProcessId());
    Win32EventLoop loop;
    FakeEventLoop clock;
    Win32ChannelPort port{clock, GetModuleHandleA(nullptr)};
    MessageChannel channel{port};
    Receiver receiver{loop};
    bool created = false;
};

TEST_F(Win32ChannelPortTest, TheWindowIsAHiddenTopLevelStaticThatOtherProgramsFind) {
    HWND window = Win32ChannelPort::ToWindow(port.OwnWindow());
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ("Static", className) << className;
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(nullptr, GetParent(window));
    EXPECT_EQ(port.OwnWindow(), port.FindPeerWindow(agentName));
    // The window names its process (what the agent protects of the watcher), a gone one none.
    EXPECT_EQ(GetCurrentProcessId(), port.ProcessOfWindow(port.OwnWindow()));
    // Admitting a message never fails loudly, with or without a message filter.
    port.AdmitMessage(channel.Number(Message::KOW_CONNECTION));
    // A handler may give the window up while its message is still being delivered.
    receiver.onMessage = [&](const ChannelPort::Incoming&) { port.DestroyOwnWindow(); };
    SendMessageA(window, channel.Number(Message::KOW_CLOSEWS), 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0, port.FindPeerWindow(agentName));
    EXPECT_EQ(0u, port.ProcessOfWindow(Win32ChannelPort::FromWindow(window)));
}

TEST_F(Win32ChannelPortTest, AnAnnouncementIsAnsweredInsideTheWatchersSendAndSendsNest) {
    ChannelPort::WindowHandle watcher = 0;
    std::string refused;
    bool refusedDuringSend = false;
    SendResult reply = SendResult::Failed;
    receiver.onMessage = [&](const ChannelPort::Incoming& m) {
        if (m.number == channel.Number(Message::KOW_CONNECTION)) {
            watcher = MessageChannel::NumberOfText(m.text).value_or(0);
            reply = channel.SendMessageToExe(watcher, Message::KOW_Update_State, "0");
        } else if (m.number == channel.Number(Message::KOW_DISALLOWEDURL)) {
            refused = m.text;
            refusedDuringSend = m.duringSend;
        }
    };
    Peer peer("nest", agentName);
    ASSERT_TRUE(peer.started);
    ASSERT_TRUE(RunFor(loop, 60000, [&] { return !refused.empty(); }));
    EXPECT_EQ(SendResult::Delivered, reply);
    EXPECT_EQ("http://casino.example/nested", refused);
    EXPECT_TRUE(refusedDuringSend);
    // Every atom of the conversation is gone again.
    EXPECT_EQ(0, GlobalFindAtomA("0"));
    EXPECT_EQ(SendResult::Delivered, channel.SendMessageToExe(watcher, Message::KOW_CLOSEWS, ""));
    RunFor(loop, 100, [] { return false; });
    EXPECT_EQ(0, peer.ExitCode(10000));
    EXPECT_EQ(0, GlobalFindAtomA("http://casino.example/nested"));
    EXPECT_EQ(0, GlobalFindAtomA(std::to_string(watcher).c_str()));
}

TEST_F(Win32ChannelPortTest, AHungWatcherReleasesTheAgentAtFiveSecondsAndItsAtomGoesAMinuteLater) {
    Peer peer("hang", agentName);
    ASSERT_TRUE(peer.started);
    const auto watcher = AwaitAnnouncement();
    ASSERT_NE(0, watcher);
    // Another owner's atom of the same text stays: the send takes a reference of its own.
    const ATOM theirs = GlobalAddAtomA("C:\\cleanup.cmd");
    const DWORD start = GetTickCount();
    EXPECT_EQ(SendResult::TimedOut,
              channel.SendMessageToExe(watcher, Message::KOW_Run_Application, "C:\\cleanup.cmd"));
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 4900u);
    EXPECT_LT(waited, 5900u);
    // A late reader may still look the text up for a minute.
    clock.Advance(59000);
    EXPECT_NE(0, GlobalFindAtomA("C:\\cleanup.cmd"));
    clock.Advance(1000);
    ASSERT_EQ(theirs, GlobalFindAtomA("C:\\cleanup.cmd"));
    GlobalDeleteAtom(theirs);
    EXPECT_EQ(0, GlobalFindAtomA("C:\\cleanup.cmd"));
}

TEST_F(Win32ChannelPortTest, AWatcherThatDiesInsideItsHandlerEndsTheSendAndLeavesNoAtom) {
    Peer peer("die", agentName);
    ASSERT_TRUE(peer.started);
    const auto watcher = AwaitAnnouncement();
    ASSERT_NE(0, watcher);
    // The watcher's own sends wait without limit: a peer that is gone ends them too.
    EXPECT_NE(SendResult::Delivered,
              port.Send(watcher, channel.Number(Message::KOW_Run_Application), "C:\\x.exe", 0));
    EXPECT_EQ(7, peer.ExitCode(10000));
    RunFor(loop, 200, [&] { return !port.IsWindow(watcher); });
    EXPECT_FALSE(port.IsWindow(watcher));
    EXPECT_EQ(SendResult::NoPeer, channel.SendMessageToExe(watcher, Message::KOW_CLOSEWS, ""));
    EXPECT_EQ(0, GlobalFindAtomA("C:\\x.exe"));
}

// The second process of the tests above. Exit codes: 0 as expected, others say what went wrong.
TEST(Win32ChannelPeer, DISABLED_PlayTheWatcher) {
    const std::string mode = Environment(kModeVariable);
    Win32EventLoop loop;
    Win32ChannelPort port(loop, GetModuleHandleA(nullptr));
    MessageChannel channel(port);
    Receiver receiver(loop);
    channel.RegisterAll();
    if (!port.CreateOwnWindow(MessageChannel::kWatcherWindowName, &receiver)) {
        ExitProcess(90);
    }
    const auto agent = port.FindPeerWindow(Environment(kAgentNameVariable));
    if (agent == 0) {
        ExitProcess(91);
    }
    bool closed = false;
    int failures = 0;
    bool hung = false;
    receiver.onMessage = [&](const ChannelPort::Incoming& m) {
        const auto which = channel.Identify(m.number);
        if (!which) {
            return;
        }
        if (mode == "die") {
            ExitProcess(7);
        }
        if (mode == "hang" && !std::exchange(hung, true)) {
            Sleep(6000);
        }
        if (*which == Message::KOW_Update_State && mode == "nest") {
            if (m.text != "0" || !m.duringSend) {
                failures |= 1;
            }
            if (channel.SendMessageToService(agent, Message::KOW_DISALLOWEDURL,
                                             "http://casino.example/nested") !=
                SendResult::Delivered) {
                failures |= 2;
            }
        }
        if (*which == Message::KOW_CLOSEWS) {
            closed = true;
        }
    };
    if (channel.SendMessageToService(agent, Message::KOW_CONNECTION,
                                     std::to_string(port.OwnWindow())) != SendResult::Delivered) {
        failures |= 4;
    }
    RunFor(loop, 30000, [&] { return closed; });
    port.DestroyOwnWindow();
    ExitProcess(static_cast<UINT>(failures));
}

}  // namespace
}  // namespace ko
