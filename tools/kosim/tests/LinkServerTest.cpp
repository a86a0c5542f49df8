#include "LinkServer.h"

#include <gtest/gtest.h>

#include <thread>

#include "KosimTestSupport.h"
#include "shared/WireCodec.h"

namespace ko {

namespace {

using asio::ip::tcp;

// A real link server on a loopback port, and workstations made of plain blocking sockets.
class LinkServerTest : public ::testing::Test {
  protected:
    LinkServerTest()
        : link(io, "127.0.0.1", 0, std::chrono::milliseconds(150)),
          server(test::SmallCafe(), journal, link) {
        link.Start(server);
        thread = std::thread([this] { io.run(); });
    }
    ~LinkServerTest() override {
        io.stop();
        thread.join();
    }

    tcp::socket Connect() {
        tcp::socket s(client);
        s.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), link.Port()));
        return s;
    }

    static void Send(tcp::socket& s, const std::string& wire) {
        asio::write(s, asio::buffer(wire));
    }

    // One read, as the workstation does it: whatever has arrived is one message.
    static std::string ReadOnce(tcp::socket& s) {
        std::array<char, 4096> buffer{};
        std::size_t n = s.read_some(asio::buffer(buffer));
        return std::string(buffer.data(), n);
    }

    std::optional<JournalEvent> Wait(EventKind kind, int code) {
        return journal.WaitFor(
            [&](const JournalEvent& e) { return e.kind == kind && e.code == code; }, 0,
            std::chrono::seconds(5));
    }

    asio::io_context io;
    asio::io_context client;
    Journal journal;
    LinkServer link;
    CafeServer server;
    std::thread thread;
};

TEST_F(LinkServerTest, AnswersTheHelloInTheWireForm) {
    tcp::socket ws = Connect();
    Send(ws, WireCodec::EncodeMessage("5|PC01|COMPUTER|127.0.0.1|os|id|"));
    std::string wire = ReadOnce(ws);
    EXPECT_TRUE(WireCodec::DecodesExactly(wire));
    EXPECT_EQ(static_cast<unsigned char>(wire[0]), LinkServer::kServerMultiplier);
    std::string status = WireCodec::DecodeMessage(wire);
    EXPECT_EQ(status.substr(0, 2), "0|");
    auto hello = Wait(EventKind::Received, 5);
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->workstation, "PC01");
}

TEST_F(LinkServerTest, SplitsMessagesThatArriveTogether) {
    tcp::socket ws = Connect();
    Send(ws, WireCodec::EncodeMessage("5|PC01|C|127.0.0.1|os|id|"));
    ReadOnce(ws);
    Send(ws, WireCodec::EncodeMessage("36|") + WireCodec::EncodeMessage(" 25|", 3));
    EXPECT_TRUE(Wait(EventKind::Received, 36));
    EXPECT_TRUE(Wait(EventKind::Received, 25));
}

TEST_F(LinkServerTest, PacesMessagesSoEachArrivesOnItsOwn) {
    tcp::socket ws = Connect();
    Send(ws, WireCodec::EncodeMessage("5|PC01|C|127.0.0.1|os|id|"));
    ReadOnce(ws);
    Send(ws, WireCodec::EncodeMessage("36|"));
    // The status, the options and the advertisement profile: three reads, three messages.
    std::vector<std::string> codes;
    for (int i = 0; i < 3; ++i) {
        std::string wire = ReadOnce(ws);
        ASSERT_TRUE(WireCodec::DecodesExactly(wire)) << "read " << i << " holds one message";
        std::string text = WireCodec::DecodeMessage(wire);
        codes.push_back(text.substr(0, text.find('|')));
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"0", "35", "32"}));
}

TEST_F(LinkServerTest, NoticesAWorkstationThatGoes) {
    {
        tcp::socket ws = Connect();
        Send(ws, WireCodec::EncodeMessage("5|PC01|C|127.0.0.1|os|id|"));
        ReadOnce(ws);
    }
    EXPECT_TRUE(
        journal.WaitFor([](const JournalEvent& e) { return e.kind == EventKind::Disconnected; }, 0,
                        std::chrono::seconds(5)));
    EXPECT_FALSE(server.Workstations().front().connection.has_value());
}

}  // namespace

}  // namespace ko
