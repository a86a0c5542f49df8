#pragma once

#include <sys/socket.h>

#include <cerrno>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/TcpClientSocket.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/UniqueFd.h"

namespace ko {

// A non-blocking POSIX TCP client whose notices arrive through the LinuxEventLoop. No notice is
// ever delivered from inside a call the owner makes (Connect, SendData): they come from the loop.
//
// A host name is resolved on a thread of its own, which posts the answer to the loop: a DNS
// server that never answers must not hold the loop (the reconnect tick, the silence watchdog, a
// status). One name is resolved at a time; a Connect made while it runs waits for its answer
// when it asks for the same name, and an answer that comes after Close is dropped. The socket
// must be destroyed before its loop.
class LinuxTcpClientSocket : public TcpClientSocket {
  public:
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };
    // What a resolver found: the addresses (the port is set later), or why there are none.
    struct Resolution {
        std::vector<Address> addresses;
        std::string error;
    };
    // Turns a host name into addresses. Runs on the resolving thread and may block.
    using Resolver = std::function<Resolution(const std::string& host)>;
    // The error number of a name that does not resolve.
    static constexpr int kHostNotFound = EHOSTUNREACH;

    // getaddrinfo, with the system's resolver configuration.
    static Resolution SystemResolver(const std::string& host);

    explicit LinuxTcpClientSocket(LinuxEventLoop& loop, Resolver resolver = &SystemResolver);
    ~LinuxTcpClientSocket() override;
    LinuxTcpClientSocket(const LinuxTcpClientSocket&) = delete;
    LinuxTcpClientSocket& operator=(const LinuxTcpClientSocket&) = delete;

    void SetHandler(Handler* handler) override { m_handler = handler; }
    bool Connect(const std::string& host, std::uint16_t port) override;
    void Close() override;
    bool SendData(const std::string& bytes) override;
    std::string GetData() override;
    std::string LocalHostName() override;
    std::string LocalIP() override;

    // Whether a name is being resolved now (for tests).
    bool Resolving() const { return m_resolving; }

  private:
    enum class State { Closed, Resolving, Connecting, Connected, Ended };

    // The loop the resolving thread posts its answer to, for as long as the socket lives.
    struct Mailbox {
        std::mutex mutex;
        LinuxEventLoop* loop = nullptr;
    };

    // Starts connecting to the addresses found (port set, IPv4 first).
    void ConnectTo(std::vector<Address> addresses, std::uint16_t port);
    // Starts the resolving thread for host; false when no thread can be started.
    bool StartResolving(const std::string& host);
    void OnResolved(const std::string& host, Resolution resolution);
    // Tries the resolved addresses from m_nextAddress on; false when none could be started
    // (the last error is in m_lastError).
    bool StartNextAddress();
    void OnReady(short revents);
    void FinishConnect();
    void ReadAvailable();
    void WriteQueued();
    // Drops what went out, posts SendComplete for every message handed over, updates the watch.
    void CompleteWrites();
    // Ends the connection because of an error and reports it once.
    void Fail(int error);
    // The same, for a failure found inside a call of the owner: the notice goes through the loop.
    void PostError(int error);
    void StopWatching();
    void UpdateWatch();
    // Posts a notice that is dropped if the connection it belongs to is gone by then.
    void PostNotice(void (LinuxTcpClientSocket::*notice)());
    void NoticeConnect();
    void NoticeSendComplete();

    // Tells whether the connection that a handler call started from is still the current one.
    bool Still(std::uint64_t generation, const std::weak_ptr<int>& life) const {
        return !life.expired() && generation == m_generation;
    }

    LinuxEventLoop& m_loop;
    Resolver m_resolver;
    std::shared_ptr<Mailbox> m_mailbox = std::make_shared<Mailbox>();
    // A resolving thread runs; the name the socket waits for, and the port to use with it.
    bool m_resolving = false;
    std::string m_wantedHost;
    std::uint16_t m_wantedPort = 0;
    Handler* m_handler = nullptr;
    UniqueFd m_fd;
    LinuxEventLoop::WatchId m_watch = 0;
    State m_state = State::Closed;
    std::vector<Address> m_addresses;
    std::size_t m_nextAddress = 0;
    int m_lastError = 0;

    std::string m_received;
    std::string m_sendQueue;
    std::size_t m_sendOffset = 0;
    // Bytes handed over so far and, per SendData call, the count at which its bytes are all out.
    std::uint64_t m_sentTotal = 0;
    std::uint64_t m_queuedTotal = 0;
    std::deque<std::uint64_t> m_sendMarks;

    // A new connection (or Close) bumps the generation, so late notices of an old one are dropped.
    std::uint64_t m_generation = 0;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace ko
