#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <asio.hpp>

#include "CafeServer.h"

namespace ko {

// The TCP side of the workstation link: accepts many workstations, splits and decodes what they
// send, hands it to the cafe server, and sends the server's messages in the wire form.
// The link has no framing and a workstation reads each arrival as one message, so messages to
// one workstation leave one at a time with a pause between them (the pace).
// Runs on the thread that runs the io_context; Send and Close may be called from any thread.
class LinkServer : public LinkTransport {
  public:
    static constexpr int kServerMultiplier = 61;

    LinkServer(asio::io_context& io, const std::string& bindAddress, std::uint16_t port,
               std::chrono::milliseconds pace);
    ~LinkServer() override;

    void Start(CafeServer& server);
    std::uint16_t Port() const;

    void Send(ConnectionId connection, const std::string& text) override;
    void Close(ConnectionId connection) override;

  private:
    class Session;

    void Accept();
    void Forget(ConnectionId connection);

    asio::io_context& m_io;
    asio::ip::tcp::acceptor m_acceptor;
    std::chrono::milliseconds m_pace;
    CafeServer* m_server = nullptr;
    ConnectionId m_nextId = 1;
    std::map<ConnectionId, std::shared_ptr<Session>> m_sessions;  // io thread only
};

}  // namespace ko
