#include "platform/win32/WinsockClientSocket.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/RecordingSocketHandler.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/WinsockSession.h"

namespace ko {
namespace {

using Recorder = RecordingSocketHandler;

// A blocking loopback listener on a free port, playing the server.
class Listener {
  public:
    Listener() {
        m_socket.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(m_socket.Get(), 1);
        int length = sizeof(address);
        getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    std::uint16_t Port() const { return m_port; }
    void StopListening() { m_socket.Reset(); }
    // Accepts the pending connection; reads on it give up after a few seconds.
    UniqueSocket Accept() {
        UniqueSocket peer(accept(m_socket.Get(), nullptr, nullptr));
        DWORD timeoutMs = 5000;
        setsockopt(peer.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                   sizeof(timeoutMs));
        return peer;
    }

  private:
    WinsockSession m_session;
    UniqueSocket m_socket;
    std::uint16_t m_port = 0;
};

class WinsockClientSocketTest : public ::testing::Test {
  protected:
    WinsockClientSocketTest() : m_socket(m_loop) { m_socket.SetHandler(&m_recorder); }

    bool RunUntil(const std::function<bool()>& done) {
        bool expired = false;
        EventLoop::TimerId limit = m_loop.AddTimer([&] { expired = true; });
        m_loop.SetTimerInterval(limit, 5000);
        m_loop.RunUntil([&] { return expired || done(); });
        m_loop.RemoveTimer(limit);
        return done();
    }
    bool RunUntilEvent(const std::string& event) {
        return RunUntil([&] { return m_recorder.Saw(event); });
    }
    // Lets whatever is queued now run, with a marker to know it has.
    void Settle() {
        bool marker = false;
        m_loop.Post([&] { marker = true; });
        RunUntil([&] { return marker; });
    }

    Win32EventLoop m_loop;
    Recorder m_recorder;
    WinsockClientSocket m_socket;
    Listener m_listener;
};

TEST_F(WinsockClientSocketTest, ConnectsAndCarriesDataBothWays) {
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", m_listener.Port()));
    UniqueSocket peer = m_listener.Accept();
    ASSERT_TRUE(peer.Valid());
    ASSERT_TRUE(RunUntilEvent("connect"));
    EXPECT_EQ(m_socket.LocalIP(), "127.0.0.1");

    const std::string fromServer("\x05\x00\xFFhello", 8);
    ASSERT_EQ(send(peer.Get(), fromServer.data(), static_cast<int>(fromServer.size()), 0), 8);
    ASSERT_TRUE(RunUntil([&] { return m_recorder.lastTotal >= fromServer.size(); }));
    EXPECT_EQ(m_socket.GetData(), fromServer);
    EXPECT_EQ(m_socket.GetData(), "");

    ASSERT_TRUE(m_socket.SendData("ping|"));
    EXPECT_FALSE(m_recorder.Saw("sent")) << "completion is reported through the loop";
    ASSERT_TRUE(RunUntilEvent("sent"));
    char buffer[16] = {};
    ASSERT_EQ(recv(peer.Get(), buffer, sizeof(buffer), 0), 5);
    EXPECT_EQ(std::string(buffer, 5), "ping|");
}

TEST_F(WinsockClientSocketTest, PeerCloseDeliversRemainingDataThenClose) {
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", m_listener.Port()));
    UniqueSocket peer = m_listener.Accept();
    ASSERT_TRUE(RunUntilEvent("connect"));
    std::string received;
    m_recorder.onData = [&] { received += m_socket.GetData(); };
    send(peer.Get(), "last words", 10, 0);
    peer.Reset();
    ASSERT_TRUE(RunUntilEvent("close"));
    EXPECT_EQ(received, "last words");
    EXPECT_EQ(m_recorder.events.back(), "close");
    EXPECT_FALSE(m_socket.SendData("x")) << "a closed link sends nothing";
}

TEST_F(WinsockClientSocketTest, RefusedPortReportsError10061) {
    std::uint16_t port = m_listener.Port();
    m_listener.StopListening();
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", port));
    ASSERT_TRUE(RunUntilEvent("error"));
    EXPECT_EQ(m_recorder.errorNumber, 10061);
    EXPECT_FALSE(m_recorder.errorText.empty());
    EXPECT_FALSE(m_recorder.Saw("connect"));

    // The socket is free again for the next attempt.
    Listener again;
    EXPECT_TRUE(m_socket.Connect("127.0.0.1", again.Port()));
}

TEST_F(WinsockClientSocketTest, CloseSilencesTheConnection) {
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", m_listener.Port()));
    UniqueSocket peer = m_listener.Accept();
    ASSERT_TRUE(RunUntilEvent("connect"));
    send(peer.Get(), "queued", 6, 0);
    ASSERT_TRUE(m_socket.SendData("abc"));
    m_socket.Close();
    peer.Reset();
    Settle();
    EXPECT_EQ(m_recorder.events, std::vector<std::string>{"connect"});
    EXPECT_EQ(m_socket.GetData(), "");
}

TEST_F(WinsockClientSocketTest, RefusesWhatCannotStart) {
    EXPECT_FALSE(m_socket.Connect("", m_listener.Port()));
    EXPECT_FALSE(m_socket.SendData("not connected"));
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", m_listener.Port()));
    EXPECT_FALSE(m_socket.Connect("127.0.0.1", m_listener.Port()))
        << "an open connection must be closed first";
}

TEST_F(WinsockClientSocketTest, ANameIsLookedUpOffTheLoop) {
    // The lookup's answer comes through the loop, never from inside Connect.
    ASSERT_TRUE(m_socket.Connect("localhost", m_listener.Port()));
    EXPECT_TRUE(m_socket.Resolving());
    EXPECT_FALSE(m_socket.Connect("localhost", m_listener.Port())) << "one attempt at a time";
    EXPECT_TRUE(m_recorder.events.empty());
    // The next attempt, made while the answer is still out, waits for that answer.
    m_socket.Close();
    ASSERT_TRUE(m_socket.Connect("localhost", m_listener.Port()));
    ASSERT_TRUE(RunUntilEvent("connect"));
    UniqueSocket peer = m_listener.Accept();
    ASSERT_TRUE(peer.Valid());
    EXPECT_FALSE(m_socket.Resolving());
    EXPECT_EQ(m_recorder.events, std::vector<std::string>{"connect"});
}

TEST_F(WinsockClientSocketTest, AnAnswerForAnAttemptThatWasGivenUpIsDropped) {
    ASSERT_TRUE(m_socket.Connect("localhost", m_listener.Port()));
    m_socket.Close();
    ASSERT_TRUE(RunUntil([&] { return !m_socket.Resolving(); }));
    Settle();
    EXPECT_TRUE(m_recorder.events.empty());

    // A numeric attempt made while the old lookup is out is not disturbed by its answer.
    ASSERT_TRUE(m_socket.Connect("localhost", m_listener.Port()));
    m_socket.Close();
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", m_listener.Port()));
    UniqueSocket peer = m_listener.Accept();
    ASSERT_TRUE(RunUntil([&] { return !m_socket.Resolving() && m_recorder.Saw("connect"); }));
    Settle();
    EXPECT_EQ(m_recorder.events, std::vector<std::string>{"connect"});
}

TEST_F(WinsockClientSocketTest, AFastPeerIsReadInTurnsThatLetOtherEventsRun) {
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", m_listener.Port()));
    UniqueSocket peer = m_listener.Accept();
    ASSERT_TRUE(RunUntilEvent("connect"));
    std::vector<std::size_t> reads;
    m_recorder.onData = [&] { reads.push_back(m_socket.GetData().size()); };
    // Half a megabyte, handed over before the loop reads any of it.
    const std::string block(64 * 1024, 'x');
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(send(peer.Get(), block.data(), static_cast<int>(block.size()), 0),
                  static_cast<int>(block.size()));
    }
    std::size_t total = 0;
    ASSERT_TRUE(RunUntil([&] {
        total = 0;
        for (std::size_t n : reads) {
            total += n;
        }
        return total == 8 * block.size();
    }));
    for (std::size_t n : reads) {
        EXPECT_LE(n, WinsockClientSocket::kMaxReadPerTurn + 16384);
    }
}

TEST_F(WinsockClientSocketTest, KnowsTheLocalHost) {
    EXPECT_FALSE(m_socket.LocalHostName().empty());
    EXPECT_FALSE(m_socket.LocalIP().empty());
}

}  // namespace
}  // namespace ko
