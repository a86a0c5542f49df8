#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ko {

// A TCP client connection whose notices arrive through the program's loop, as the socket control
// the agent was built around delivers them.
class TcpClientSocket {
  public:
    class Handler {
      public:
        virtual ~Handler() = default;
        virtual void OnConnect() = 0;
        virtual void OnDataArrival(std::size_t bytesTotal) = 0;
        virtual void OnSendComplete() = 0;
        // The peer closed the connection.
        virtual void OnClose() = 0;
        // A failed connection attempt or a broken connection. Number is the socket error code
        // (Winsock's on Windows, errno on Linux).
        virtual void OnError(int number, const std::string& description) = 0;
    };

    virtual ~TcpClientSocket() = default;

    virtual void SetHandler(Handler* handler) = 0;
    // Starts a connection; the result arrives later as OnConnect or OnError. Returns false when
    // the attempt fails at once (no notice follows), e.g. a host that does not resolve. Host and
    // port are used as given; an open connection must be closed first.
    virtual bool Connect(const std::string& host, std::uint16_t port) = 0;
    // Closes the connection, if any, and drops buffered data. No notice follows.
    virtual void Close() = 0;
    // Queues bytes for sending. Returns false when the socket is not connected or the send
    // fails at once; otherwise OnSendComplete (or OnError) follows once the bytes are handed over.
    virtual bool SendData(const std::string& bytes) = 0;
    // Takes all received bytes that are buffered now.
    virtual std::string GetData() = 0;
    virtual std::string LocalHostName() = 0;
    // The local address of the connection in dotted form (the host's main address when
    // unconnected).
    virtual std::string LocalIP() = 0;
};

}  // namespace ko
