#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/TcpClientSocket.h"

namespace ko {

class FakeEventLoop;

// A socket the test drives: it records what the agent asks and delivers the notices the test
// chooses. Sends complete through the loop unless told otherwise.
class FakeSocket : public TcpClientSocket {
  public:
    explicit FakeSocket(FakeEventLoop& loop) : m_loop(loop) {}

    void SetHandler(Handler* handler) override { m_handler = handler; }
    bool Connect(const std::string& host, std::uint16_t port) override;
    void Close() override;
    bool SendData(const std::string& bytes) override;
    std::string GetData() override;
    std::string LocalHostName() override { return localHostName; }
    std::string LocalIP() override { return localIP; }

    // The test's side.
    void AcceptConnection();  // OnConnect
    void RefuseConnection();  // OnError 10061
    void Deliver(const std::string& wireBytes);
    void DeliverMessage(const std::string& text, int multiplier = 7);
    void PeerClose();
    void CompleteSend();
    // Plain texts of every message sent, in order.
    std::vector<std::string> SentMessages() const;
    std::vector<std::string> TakeSentMessages();

    struct ConnectCall {
        std::string host;
        std::uint16_t port;
    };
    std::vector<ConnectCall> connects;
    std::vector<std::string> sentWire;
    std::string localHostName = "cafe-pc-07";
    std::string localIP = "192.0.2.17";
    bool connected = false;
    bool connectFailsAtOnce = false;
    bool sendFailsAtOnce = false;
    bool autoCompleteSends = true;
    int closes = 0;

  private:
    FakeEventLoop& m_loop;
    Handler* m_handler = nullptr;
    std::string m_received;
};

}  // namespace ko
