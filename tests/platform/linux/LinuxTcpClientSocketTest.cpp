#include "platform/linux/LinuxTcpClientSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fakes/RecordingSocketHandler.h"
#include "platform/LoopTestSupport.h"
#include "platform/linux/UniqueFd.h"

namespace ko {
namespace {

using Recorder = RecordingSocketHandler;

// A loopback listener on a port the kernel picks.
struct Listener {
    UniqueFd fd;
    std::uint16_t port = 0;

    Listener() {
        fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd.Get(), 4), 0);
        socklen_t length = sizeof address;
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    UniqueFd Accept() { return UniqueFd(::accept4(fd.Get(), nullptr, nullptr, SOCK_CLOEXEC)); }
};

std::string ReadSome(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) {
        return std::string();
    }
    char buffer[256];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

TEST(LinuxTcpClientSocket, ConnectsSaysHelloBothWaysAndReportsPeerCloseOnce) {
    LinuxEventLoop loop;
    Listener listener;
    LinuxTcpClientSocket socket(loop);
    Recorder recorder;
    socket.SetHandler(&recorder);

    ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port));
    EXPECT_TRUE(recorder.events.empty());  // never from inside Connect
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("connect") == 1; }));
    UniqueFd server = listener.Accept();
    ASSERT_TRUE(server);
    EXPECT_EQ(socket.LocalIP(), "127.0.0.1");

    ASSERT_TRUE(socket.SendData("hello server"));
    EXPECT_EQ(recorder.Count("sent"), 0);  // posted, not inside SendData
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("sent") == 1; }));
    EXPECT_EQ(ReadSome(server.Get()), "hello server");

    ASSERT_EQ(::send(server.Get(), "hello client", 12, 0), 12);
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("data") == 1; }));
    EXPECT_EQ(recorder.lastTotal, 12u);
    EXPECT_EQ(socket.GetData(), "hello client");
    EXPECT_EQ(socket.GetData(), "");

    ASSERT_EQ(::send(server.Get(), "bye", 3, 0), 3);
    server.Reset();
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("close") == 1; }));
    EXPECT_EQ(socket.GetData(), "bye");  // data before the close is delivered first
    loop.PumpPending();
    EXPECT_EQ(recorder.Count("close"), 1);
    EXPECT_EQ(recorder.Count("error"), 0);
    EXPECT_FALSE(socket.SendData("late"));

    // After Close the same object connects again.
    socket.Close();
    ASSERT_TRUE(socket.Connect("localhost", listener.port));
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("connect") == 2; }));
}

TEST(LinuxTcpClientSocket, RefusedPortReportsErrorThroughTheLoop) {
    LinuxEventLoop loop;
    std::uint16_t port = 0;
    {
        Listener closed;  // take a free port, then stop listening on it
        port = closed.port;
    }
    LinuxTcpClientSocket socket(loop);
    Recorder recorder;
    socket.SetHandler(&recorder);
    ASSERT_TRUE(socket.Connect("127.0.0.1", port));
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("error") == 1; }));
    EXPECT_EQ(recorder.errorNumber, ECONNREFUSED);
    EXPECT_FALSE(recorder.errorText.empty());
    EXPECT_EQ(recorder.Count("connect"), 0);
    EXPECT_FALSE(socket.SendData("x"));
}

// A name service that answers only when the test lets it: every name is 127.0.0.1, except
// "unknown", which does not resolve. Shared with the resolving threads, which may outlive a test
// that forgets to let them go.
struct HeldResolver {
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        std::vector<std::string> asked;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    ~HeldResolver() { Open(); }
    LinuxTcpClientSocket::Resolver Get() const {
        return [state = state](const std::string& host) {
            std::unique_lock<std::mutex> lock(state->mutex);
            state->asked.push_back(host);
            state->changed.notify_all();
            state->changed.wait(lock, [&] { return state->open; });
            LinuxTcpClientSocket::Resolution resolution;
            if (host == "unknown") {
                resolution.error = "Name or service not known";
                return resolution;
            }
            LinuxTcpClientSocket::Address address;
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.length = sizeof(sockaddr_in);
            resolution.addresses.push_back(address);
            return resolution;
        };
    }
    void Open() {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->open = true;
        state->changed.notify_all();
    }
    // The names asked for so far, once at least count were asked.
    std::vector<std::string> Asked(std::size_t count) const {
        std::unique_lock<std::mutex> lock(state->mutex);
        state->changed.wait(lock, [&] { return state->asked.size() >= count; });
        return state->asked;
    }
};

// A socket whose names are resolved by a HeldResolver, and a server to reach.
class LinuxTcpClientSocketNames : public ::testing::Test {
  protected:
    LinuxTcpClientSocketNames() { socket.SetHandler(&recorder); }

    LinuxEventLoop loop;
    Listener listener;
    HeldResolver resolver;
    LinuxTcpClientSocket socket{loop, resolver.Get()};
    Recorder recorder;
};

TEST_F(LinuxTcpClientSocketNames, EmptyOrUnresolvableHostFailsWithoutHoldingTheLoop) {
    EXPECT_FALSE(socket.Connect("", 9678));
    // A name that does not resolve fails through the loop, once its answer comes.
    resolver.Open();
    ASSERT_TRUE(socket.Connect("unknown", 9678));
    EXPECT_TRUE(recorder.events.empty());
    ASSERT_TRUE(RunFor(loop, 2000, [&] { return recorder.Count("error") == 1; }));
    EXPECT_EQ(recorder.errorNumber, LinuxTcpClientSocket::kHostNotFound);
    EXPECT_NE(recorder.errorText.find("unknown"), std::string::npos);
    EXPECT_FALSE(socket.LocalHostName().empty());
    EXPECT_FALSE(socket.LocalIP().empty());
    // The system's resolver says the same of a name that cannot exist.
    EXPECT_FALSE(LinuxTcpClientSocket::SystemResolver("no-such-host.invalid").error.empty());
    EXPECT_EQ(LinuxTcpClientSocket::SystemResolver("localhost").error, "");
}

TEST_F(LinuxTcpClientSocketNames, ANameIsResolvedOffTheLoopAndTheAttemptGoesOnWithTheAnswer) {
    // The name service does not answer: Connect and the loop go on regardless.
    ASSERT_TRUE(socket.Connect("cafe-server", listener.port));
    EXPECT_EQ(resolver.Asked(1), (std::vector<std::string>{"cafe-server"}));
    EXPECT_TRUE(socket.Resolving());
    loop.PumpPending();
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(socket.Connect("cafe-server", listener.port));  // one attempt at a time

    // The next tick closes and asks again while the first answer is still out: it waits for that
    // answer instead of starting a second lookup.
    socket.Close();
    ASSERT_TRUE(socket.Connect("cafe-server", listener.port));
    resolver.Open();
    ASSERT_TRUE(RunFor(loop, 2000, [&] { return recorder.Count("connect") == 1; }));
    EXPECT_TRUE(listener.Accept());
    EXPECT_EQ(resolver.Asked(1).size(), 1u);
    EXPECT_FALSE(socket.Resolving());
}

TEST_F(LinuxTcpClientSocketNames, AnAnswerForAnAttemptThatWasGivenUpIsDropped) {
    // Closed while the name was resolved: the answer connects nothing.
    ASSERT_TRUE(socket.Connect("old-server", listener.port));
    resolver.Asked(1);
    socket.Close();
    resolver.Open();
    RunFor(loop, 200, [&] { return !socket.Resolving(); });
    EXPECT_FALSE(socket.Resolving());
    RunFor(loop, 50, [] { return false; });
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(LinuxTcpClientSocketNames, AnAttemptForAnotherNameWaitsForTheOldAnswerThenAsksAgain) {
    ASSERT_TRUE(socket.Connect("old-server", listener.port));
    resolver.Asked(1);
    socket.Close();
    ASSERT_TRUE(socket.Connect("new-server", listener.port));
    resolver.Open();
    ASSERT_TRUE(RunFor(loop, 2000, [&] { return recorder.Count("connect") == 1; }));
    EXPECT_EQ(resolver.Asked(2), (std::vector<std::string>{"old-server", "new-server"}));
}

TEST(LinuxTcpClientSocket, LargeSendCompletesOnceWhenTheQueueDrains) {
    LinuxEventLoop loop;
    Listener listener;
    LinuxTcpClientSocket socket(loop);
    Recorder recorder;
    socket.SetHandler(&recorder);
    ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port));
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("connect") == 1; }));
    UniqueFd server = listener.Accept();

    const std::string big(8 * 1024 * 1024, 'x');
    ASSERT_TRUE(socket.SendData(big));
    loop.PumpPending();
    EXPECT_EQ(recorder.Count("sent"), 0);  // the peer has not read yet

    std::size_t received = 0;
    LinuxEventLoop::WatchId reader = loop.WatchFd(server.Get(), POLLIN, [&](short) {
        char buffer[65536];
        ssize_t n = ::recv(server.Get(), buffer, sizeof buffer, 0);
        received += n > 0 ? static_cast<std::size_t>(n) : 0;
    });
    ASSERT_TRUE(RunFor(loop, 5000, [&] { return received == big.size(); }));
    RunFor(loop, 1000, [&] { return recorder.Count("sent") == 1; });
    loop.UnwatchFd(reader);
    EXPECT_EQ(recorder.Count("sent"), 1);
}

TEST(LinuxTcpClientSocket, CloseIsSilentAndDropsPendingNotices) {
    LinuxEventLoop loop;
    Listener listener;
    LinuxTcpClientSocket socket(loop);
    Recorder recorder;
    socket.SetHandler(&recorder);
    ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port));
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("connect") == 1; }));
    UniqueFd server = listener.Accept();
    ASSERT_TRUE(socket.SendData("x"));
    socket.Close();
    server.Reset();
    RunFor(loop, 50, [] { return false; });
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"connect"}));
}

TEST(LinuxTcpClientSocket, HandlerMayCloseTheSocketInsideDataArrival) {
    LinuxEventLoop loop;
    Listener listener;
    LinuxTcpClientSocket socket(loop);
    Recorder recorder;
    recorder.onData = [&] { socket.Close(); };
    socket.SetHandler(&recorder);
    ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port));
    ASSERT_TRUE(RunFor(loop, 1000, [&] { return recorder.Count("connect") == 1; }));
    UniqueFd server = listener.Accept();
    ASSERT_EQ(::send(server.Get(), "last words", 10, 0), 10);
    server.Reset();  // data and end of stream arrive together
    RunFor(loop, 100, [&] { return false; });
    EXPECT_EQ(recorder.Count("data"), 1);
    EXPECT_EQ(recorder.Count("close"), 0);
    EXPECT_EQ(socket.GetData(), "");
}

}  // namespace
}  // namespace ko
