#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/TcpClientSocket.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/UniqueFd.h"

namespace ko {

// A non-blocking POSIX TCP client whose notices arrive through the LinuxEventLoop. No notice is
// ever delivered from inside a call the owner makes (Connect, SendData): they come from the loop.
class LinuxTcpClientSocket : public TcpClientSocket {
  public:
    explicit LinuxTcpClientSocket(LinuxEventLoop& loop);
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

  private:
    enum class State { Closed, Connecting, Connected, Ended };

    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };

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
