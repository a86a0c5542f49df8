#include "platform/linux/LinuxChannelPort.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/LogCapture.h"
#include "platform/LoopTestSupport.h"
#include "platform/linux/UniqueFd.h"
#include "shared/Logger.h"
#include "shared/MessageChannel.h"

namespace ko {
namespace {

namespace fs = std::filesystem;
using Message = MessageChannel::Message;
using SendResult = ChannelPort::SendResult;

class RuntimeFolder {
  public:
    RuntimeFolder() {
        std::string pattern = (fs::temp_directory_path() / "ko-channel-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~RuntimeFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }
    std::string Socket() const { return m_path + "/" + MessageChannel::kAgentWindowName; }

  private:
    std::string m_path;
};

struct Receiver : ChannelPort::Receiver {
    std::function<void(const ChannelPort::Incoming&)> onMessage;
    void OnWindowMessage(const ChannelPort::Incoming& message) override {
        if (onMessage) {
            onMessage(message);
        }
    }
};

// A watcher in a process of its own: body gets its loop, port and channel, after it has found
// the agent; its result is the process's exit code.
using WatcherBody = std::function<int(LinuxEventLoop&, LinuxChannelPort&, MessageChannel&,
                                      Receiver&, ChannelPort::WindowHandle agent)>;

// account, when given, makes the child that account's process first.
pid_t StartWatcher(const std::string& runtimeDir, const WatcherBody& body,
                   std::optional<std::pair<uid_t, gid_t>> account = std::nullopt) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (account && (::setgroups(0, nullptr) != 0 || ::setgid(account->second) != 0 ||
                        ::setuid(account->first) != 0)) {
            ::_exit(92);
        }
        int code = 90;
        {
            LinuxEventLoop loop;
            LinuxChannelPort port(loop, LinuxChannelPort::Side::Connecting, runtimeDir);
            MessageChannel channel(port);
            Receiver receiver;
            channel.RegisterAll();
            if (port.CreateOwnWindow(MessageChannel::kWatcherWindowName, &receiver)) {
                const auto agent = port.FindPeerWindow(MessageChannel::kAgentWindowName);
                code = agent == 0 ? 91 : body(loop, port, channel, receiver, agent);
            }
        }
        ::_exit(code);
    }
    return child;
}

int ExitCode(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The agent's side of every test: a serving port on a private runtime folder.
class LinuxChannelPortTest : public ::testing::Test {
  protected:
    LinuxChannelPortTest() {
        channel.RegisterAll();
        ok = port.CreateOwnWindow(MessageChannel::kAgentWindowName, &receiver);
    }
    void SetUp() override { ASSERT_TRUE(ok); }

    RuntimeFolder folder;
    LinuxEventLoop loop;
    LinuxChannelPort port{loop, LinuxChannelPort::Side::Serving, folder.Path()};
    MessageChannel channel{port};
    Receiver receiver;
    bool ok = false;
};

TEST_F(LinuxChannelPortTest, NumbersComeFromTheNamesAloneAndTheNineNeverShareOne) {
    std::set<std::uint32_t> numbers;
    for (std::size_t i = 0; i < MessageChannel::kMessageCount; ++i) {
        const auto number = channel.Number(static_cast<Message>(i));
        EXPECT_GE(number, 0xC000u);
        numbers.insert(number);
    }
    EXPECT_EQ(MessageChannel::kMessageCount, numbers.size());
    EXPECT_EQ(LinuxChannelPort::NumberOfName("KOW_CLOSEWS"),
              LinuxChannelPort::NumberOfName("kow_closews"));
    struct stat info {};
    ASSERT_EQ(0, ::stat(folder.Socket().c_str(), &info));
    EXPECT_EQ(0666u, info.st_mode & 0777);
}

TEST_F(LinuxChannelPortTest, AnnouncementIsAnsweredInsideTheWatchersSendAndSendsNest) {
    ChannelPort::WindowHandle announced = 0;
    std::uint32_t announcedProcess = 0;
    std::uintptr_t sender = 0;
    bool refusalDuringSend = false;
    std::string refused;
    SendResult reply = SendResult::Failed;
    receiver.onMessage = [&](const ChannelPort::Incoming& m) {
        if (m.number == channel.Number(Message::KOW_CONNECTION)) {
            announced = *MessageChannel::NumberOfText(m.text);
            sender = m.wParam;
            announcedProcess = port.ProcessOfWindow(announced);
            // Answered inside the watcher's send; the watcher sends again inside this one.
            reply = channel.SendMessageToExe(announced, Message::KOW_Update_State, "0");
        } else if (m.number == channel.Number(Message::KOW_DISALLOWEDURL)) {
            refused = m.text;
            refusalDuringSend = m.duringSend;
        }
    };
    const pid_t child = StartWatcher(folder.Path(), [](LinuxEventLoop&, LinuxChannelPort& port,
                                                       MessageChannel& channel, Receiver& receiver,
                                                       ChannelPort::WindowHandle agent) {
        std::string state;
        SendResult nested = SendResult::Failed;
        receiver.onMessage = [&](const ChannelPort::Incoming& m) {
            if (m.number == channel.Number(Message::KOW_Update_State) && m.duringSend &&
                m.wParam == static_cast<std::uintptr_t>(agent)) {
                state = m.text;
                nested = channel.SendMessageToService(agent, Message::KOW_DISALLOWEDURL,
                                                      "http://casino.example/");
            }
        };
        const auto result = channel.SendMessageToService(agent, Message::KOW_CONNECTION,
                                                         std::to_string(port.OwnWindow()));
        if (result != SendResult::Delivered || state != "0" || nested != SendResult::Delivered) {
            return 1;
        }
        return agent == static_cast<ChannelPort::WindowHandle>(::getppid()) ? 0 : 2;
    });
    ASSERT_TRUE(RunFor(loop, 10000, [&] { return announced != 0 && !port.IsWindow(child); }))
        << "announced " << announced;
    EXPECT_EQ(0, ExitCode(child));
    // The kernel's word for who is calling: the handle is the watcher's pid.
    EXPECT_EQ(child, announced);
    EXPECT_EQ(static_cast<std::uintptr_t>(child), sender);
    EXPECT_EQ(static_cast<std::uint32_t>(child), announcedProcess);
    // A connection that has closed names no process.
    EXPECT_EQ(0u, port.ProcessOfWindow(child));
    EXPECT_EQ(SendResult::Delivered, reply);
    EXPECT_EQ("http://casino.example/", refused);
    EXPECT_TRUE(refusalDuringSend);
    EXPECT_FALSE(port.SendInProgress());
}

// The watcher announces itself, then behaves as asked when the agent next sends.
pid_t AnnouncingWatcher(const std::string& runtimeDir, std::function<void()> onAgentMessage) {
    return StartWatcher(runtimeDir, [onAgentMessage](LinuxEventLoop& loop, LinuxChannelPort& port,
                                                     MessageChannel& channel, Receiver& receiver,
                                                     ChannelPort::WindowHandle agent) {
        receiver.onMessage = [&](const ChannelPort::Incoming&) { onAgentMessage(); };
        channel.SendMessageToService(agent, Message::KOW_CONNECTION,
                                     std::to_string(port.OwnWindow()));
        RunFor(loop, 30000, [&] { return !port.IsWindow(agent); });
        return 0;
    });
}

TEST_F(LinuxChannelPortTest,
       AHungWatcherReleasesTheAgentAfterFiveSecondsAndItsLateAnswerIsDropped) {
    ChannelPort::WindowHandle watcher = 0;
    receiver.onMessage = [&](const ChannelPort::Incoming& m) {
        watcher = *MessageChannel::NumberOfText(m.text);
    };
    // Only its first message hangs it.
    const pid_t child = AnnouncingWatcher(folder.Path(), [hung = false]() mutable {
        if (!std::exchange(hung, true)) {
            ::sleep(6);
        }
    });
    ASSERT_TRUE(RunFor(loop, 10000, [&] { return watcher != 0; }));
    const auto start = LinuxEventLoop::MonotonicMs();
    EXPECT_EQ(SendResult::TimedOut, channel.SendMessageToExe(watcher, Message::KOW_CUPOLICY, ""));
    const auto waited = LinuxEventLoop::MonotonicMs() - start;
    EXPECT_GE(waited, 4900);
    EXPECT_LT(waited, 5900);
    // The connection survives: the late answer is recognised and the next send is answered.
    EXPECT_TRUE(port.IsWindow(watcher));
    EXPECT_EQ(SendResult::Delivered,
              channel.SendMessageToExe(watcher, Message::KOW_DELETE_IEC, ""));
    EXPECT_TRUE(port.IsWindow(watcher));
    port.DestroyOwnWindow();
    EXPECT_EQ(0, ExitCode(child));
}

TEST_F(LinuxChannelPortTest, AWatcherThatDiesInsideItsHandlerEndsTheSendAtOnce) {
    ChannelPort::WindowHandle watcher = 0;
    receiver.onMessage = [&](const ChannelPort::Incoming& m) {
        watcher = *MessageChannel::NumberOfText(m.text);
    };
    const pid_t child = AnnouncingWatcher(folder.Path(), [] { ::_exit(7); });
    ASSERT_TRUE(RunFor(loop, 10000, [&] { return watcher != 0; }));
    // The watcher's own sends wait without limit, so they too end when the peer goes.
    EXPECT_EQ(SendResult::Failed, port.Send(watcher, channel.Number(Message::KOW_CLOSEWS), "", 0));
    EXPECT_FALSE(port.IsWindow(watcher));
    EXPECT_EQ(SendResult::NoPeer, channel.SendMessageToExe(watcher, Message::KOW_CLOSEWS, ""));
    EXPECT_EQ(7, ExitCode(child));
}

// A watcher run as another user announces itself: 0 when the agent answered, 1 when the agent
// closed the connection instead.
pid_t WatcherOfAccount(const std::string& runtimeDir, uid_t uid, gid_t gid) {
    return StartWatcher(
        runtimeDir,
        [](LinuxEventLoop&, LinuxChannelPort& port, MessageChannel& channel, Receiver&,
           ChannelPort::WindowHandle agent) {
            const auto result = channel.SendMessageToService(agent, Message::KOW_CONNECTION,
                                                             std::to_string(port.OwnWindow()));
            return result == SendResult::Delivered ? 0 : 1;
        },
        std::make_pair(uid, gid));
}

TEST_F(LinuxChannelPortTest, OnlyAccountsTheCheckAdmitsConnectAndRootAlwaysDoes) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a watcher as another user";
    }
    ::chmod(folder.Path().c_str(), 0755);
    const uid_t nobody = 65534;
    std::vector<std::string> asked;
    bool admit = false;
    port.SetPeerAccountCheck([&](const std::string& sid) {
        asked.push_back(sid);
        return admit;
    });
    int announcements = 0;
    receiver.onMessage = [&](const ChannelPort::Incoming& m) {
        if (m.number == channel.Number(Message::KOW_CONNECTION)) {
            ++announcements;
        }
    };
    auto run = [&](pid_t child) {
        int code = -1;
        // The loop hears nothing of a child's end: it looks every few milliseconds.
        const EventLoop::TimerId look = loop.AddTimer([] {});
        loop.SetTimerInterval(look, 5);
        RunFor(loop, 10000, [&] {
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child) {
                code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            }
            return code >= 0;
        });
        loop.RemoveTimer(look);
        return code;
    };

    // Another user's process is refused before it can say anything, and named in the log once
    // however often it comes back.
    std::size_t warnings = 0;
    {
        LogCapture log;
        EXPECT_EQ(1, run(WatcherOfAccount(folder.Path(), nobody, nobody)));
        EXPECT_EQ(1, run(WatcherOfAccount(folder.Path(), nobody, nobody)));
        warnings = log.Count(Logger::Level::Warning);
    }
    EXPECT_EQ(0, announcements);
    EXPECT_EQ(1u, warnings);
    EXPECT_EQ((std::vector<std::string>{"S-1-22-1-65534", "S-1-22-1-65534"}), asked);

    // The session's user gets through.
    admit = true;
    EXPECT_EQ(0, run(WatcherOfAccount(folder.Path(), nobody, nobody)));
    EXPECT_EQ(1, announcements);

    // Root is never asked about.
    admit = false;
    asked.clear();
    EXPECT_EQ(0, run(WatcherOfAccount(folder.Path(), 0, 0)));
    EXPECT_EQ(2, announcements);
    EXPECT_TRUE(asked.empty());
}

TEST_F(LinuxChannelPortTest, AWatcherFindsNoAgentWhereNoneListens) {
    RuntimeFolder empty;
    LinuxChannelPort watcher(loop, LinuxChannelPort::Side::Connecting, empty.Path());
    Receiver nothing;
    ASSERT_TRUE(watcher.CreateOwnWindow(MessageChannel::kWatcherWindowName, &nothing));
    EXPECT_EQ(0, watcher.FindPeerWindow(MessageChannel::kAgentWindowName));
    EXPECT_EQ(::getpid(), watcher.OwnWindow());
}

// A raw client in this process: what the agent makes of frames that break the rules.
class RawClient {
  public:
    explicit RawClient(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        connected =
            ::connect(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    void Write(const std::string& bytes) { (void)!::write(m_fd.Get(), bytes.data(), bytes.size()); }
    // True once the agent has closed the connection; answers read on the way are kept.
    bool Closed() {
        pollfd fd{m_fd.Get(), POLLIN, 0};
        while (::poll(&fd, 1, 0) > 0) {
            char buffer[512];
            const ssize_t got = ::recv(m_fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0) {
                return true;
            }
            received.append(buffer, static_cast<std::size_t>(got));
        }
        return false;
    }
    bool connected = false;
    std::string received;

  private:
    UniqueFd m_fd;
};

std::string Frame(std::uint8_t kind, std::uint32_t sequence, std::uint32_t number,
                  std::int32_t wParam, const std::string& text, int length = -1) {
    std::string frame(1, static_cast<char>(kind));
    for (std::uint32_t value : {sequence, number, static_cast<std::uint32_t>(wParam)}) {
        for (int i = 0; i < 4; ++i) {
            frame += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    }
    frame += static_cast<char>(length < 0 ? text.size() : static_cast<std::size_t>(length));
    return frame + text;
}

TEST_F(LinuxChannelPortTest, AWellFormedFrameIsAnsweredEvenInPiecesAndEveryBadOneClosesTheLink) {
    const std::int32_t self = ::getpid();
    const std::uint32_t connection = channel.Number(Message::KOW_CONNECTION);
    std::vector<std::string> texts;
    receiver.onMessage = [&](const ChannelPort::Incoming& m) { texts.push_back(m.text); };
    {
        RawClient client(folder.Socket());
        ASSERT_TRUE(client.connected);
        const std::string frame = Frame(1, 9, connection, self, "123");
        client.Write(frame.substr(0, 5));
        RunFor(loop, 200, [] { return false; });
        client.Write(frame.substr(5));
        ASSERT_TRUE(RunFor(loop, 5000, [&] { return !texts.empty(); }));
        RunFor(loop, 5000, [&] { return client.Closed() || client.received.size() >= 14; });
        EXPECT_EQ(Frame(2, 9, connection, self, ""), client.received);
        EXPECT_FALSE(client.Closed());
    }
    const std::vector<std::pair<const char*, std::string>> bad = {
        {"unknown kind", Frame(3, 1, connection, self, "")},
        {"another process's handle", Frame(1, 1, connection, self + 1, "1")},
        {"an unregistered number", Frame(1, 1, 0x0010, self, "1")},
        {"an answer to nothing", Frame(2, 77, connection, self, "")},
        {"an answer with a text", Frame(2, 77, connection, self, "x")},
        {"a NUL inside the text", Frame(1, 1, connection, self, std::string("a\0b", 3))},
    };
    for (const auto& [what, frame] : bad) {
        RawClient client(folder.Socket());
        ASSERT_TRUE(client.connected);
        client.Write(frame);
        EXPECT_TRUE(RunFor(loop, 5000, [&] { return client.Closed(); })) << what;
    }
    EXPECT_EQ(1u, texts.size());
}

}  // namespace
}  // namespace ko
