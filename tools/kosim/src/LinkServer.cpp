#include "LinkServer.h"

#include <deque>

#include "shared/WireCodec.h"

namespace ko {

class LinkServer::Session : public std::enable_shared_from_this<Session> {
  public:
    Session(LinkServer& owner, asio::ip::tcp::socket socket, ConnectionId id)
        : m_owner(owner), m_socket(std::move(socket)), m_pause(m_socket.get_executor()), m_id(id) {}

    void Start() {
        asio::error_code ec;
        m_socket.set_option(asio::ip::tcp::no_delay(true), ec);
        auto remote = m_socket.remote_endpoint(ec);
        auto local = m_socket.local_endpoint(ec);
        m_owner.m_server->OnConnected(m_id, remote.address().to_string(),
                                      local.address().to_string());
        Read();
    }

    void Queue(std::string wire) {
        m_outbox.push_back(std::move(wire));
        if (!m_writing) {
            WriteNext();
        }
    }

    void Shut() {
        if (m_closed) {
            return;
        }
        m_closed = true;
        asio::error_code ec;
        m_pause.cancel();
        m_socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        m_socket.close(ec);
    }

  private:
    void Read() {
        auto self = shared_from_this();
        m_socket.async_read_some(asio::buffer(m_buffer),
                                 [this, self](const asio::error_code& ec, std::size_t n) {
                                     if (ec) {
                                         Lost();
                                         return;
                                     }
                                     Deliver(std::string_view(m_buffer.data(), n));
                                     Read();
                                 });
    }

    void Deliver(std::string_view data) {
        // One read may carry several messages of the workstation.
        for (const auto& piece : WireCodec::SplitReceived(data)) {
            m_owner.m_server->OnReceived(m_id, WireCodec::DecodeMessage(piece));
        }
    }

    void WriteNext() {
        if (m_outbox.empty() || m_closed) {
            m_writing = false;
            return;
        }
        m_writing = true;
        auto self = shared_from_this();
        asio::async_write(m_socket, asio::buffer(m_outbox.front()),
                          [this, self](const asio::error_code& ec, std::size_t) {
                              if (ec) {
                                  m_writing = false;
                                  Lost();
                                  return;
                              }
                              m_outbox.pop_front();
                              if (m_outbox.empty()) {
                                  m_writing = false;
                                  return;
                              }
                              m_pause.expires_after(m_owner.m_pace);
                              m_pause.async_wait([this, self](const asio::error_code& waitEc) {
                                  if (!waitEc) {
                                      WriteNext();
                                  }
                              });
                          });
    }

    void Lost() {
        if (m_lost) {
            return;
        }
        m_lost = true;
        Shut();
        m_owner.m_server->OnDisconnected(m_id);
        m_owner.Forget(m_id);
    }

    LinkServer& m_owner;
    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_pause;
    ConnectionId m_id;
    std::array<char, 8192> m_buffer{};
    std::deque<std::string> m_outbox;
    bool m_writing = false;
    bool m_closed = false;
    bool m_lost = false;
};

LinkServer::LinkServer(asio::io_context& io, const std::string& bindAddress, std::uint16_t port,
                       std::chrono::milliseconds pace)
    : m_io(io),
      m_acceptor(io, asio::ip::tcp::endpoint(asio::ip::make_address(bindAddress), port)),
      m_pace(pace) {}

LinkServer::~LinkServer() {
    asio::error_code ec;
    m_acceptor.close(ec);
    for (auto& [id, session] : m_sessions) {
        session->Shut();
    }
}

void LinkServer::Start(CafeServer& server) {
    m_server = &server;
    Accept();
}

std::uint16_t LinkServer::Port() const {
    return m_acceptor.local_endpoint().port();
}

void LinkServer::Accept() {
    m_acceptor.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted) {
            return;
        }
        if (!ec) {
            ConnectionId id = m_nextId++;
            auto session = std::make_shared<Session>(*this, std::move(socket), id);
            m_sessions[id] = session;
            session->Start();
        }
        Accept();
    });
}

void LinkServer::Send(ConnectionId connection, const std::string& text) {
    std::string wire = WireCodec::EncodeMessage(text, kServerMultiplier);
    asio::post(m_io, [this, connection, wire = std::move(wire)]() mutable {
        auto it = m_sessions.find(connection);
        if (it != m_sessions.end()) {
            it->second->Queue(std::move(wire));
        }
    });
}

void LinkServer::Close(ConnectionId connection) {
    asio::post(m_io, [this, connection] {
        auto it = m_sessions.find(connection);
        if (it != m_sessions.end()) {
            it->second->Shut();
            m_sessions.erase(it);
        }
    });
}

void LinkServer::Forget(ConnectionId connection) {
    m_sessions.erase(connection);
}

}  // namespace ko
