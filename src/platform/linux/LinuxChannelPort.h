#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ChannelPort.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/UniqueFd.h"

namespace ko {

// The channel on Linux: the agent (the serving side) listens on a Unix domain socket named after
// its window in the runtime folder; a watcher connects to it, and both directions share that one
// connection. A window handle is the peer's process id, which the kernel vouches for
// (SO_PEERCRED); a message must name its sender's own pid.
//
// One frame: kind (1 message, 2 answer), sequence, number, wParam, text length (at most 255),
// text. A frame that breaks these rules closes the connection. A send returns when the peer
// answers; while it waits it handles the messages that any connected peer sends (and nothing
// else of the loop), as a synchronous window message does.
class LinuxChannelPort : public ChannelPort {
  public:
    enum class Side { Serving, Connecting };

    // The runtime folder: $OSTREL_RUNTIME_DIR, else /run/ostrel.
    static std::string RuntimeDir();

    LinuxChannelPort(LinuxEventLoop& loop, Side side, std::string runtimeDir = RuntimeDir());
    ~LinuxChannelPort() override;
    LinuxChannelPort(const LinuxChannelPort&) = delete;
    LinuxChannelPort& operator=(const LinuxChannelPort&) = delete;

    // Registered numbers come from the name alone (case-insensitive), so both programs agree
    // without a shared table.
    std::uint32_t RegisterMessage(const std::string& name) override;
    bool CreateOwnWindow(const std::string& windowName, Receiver* receiver) override;
    void DestroyOwnWindow() override;
    WindowHandle OwnWindow() const override { return m_own; }
    WindowHandle FindPeerWindow(const std::string& windowName) override;
    bool IsWindow(WindowHandle handle) override;
    std::uint32_t ProcessOfWindow(WindowHandle handle) override;
    // The socket admits every local user; the peer's pid and account are what is checked.
    void AdmitMessage(std::uint32_t) override {}
    // Asked at every connection with the peer's uid as a SID text ("S-1-22-1-<uid>"); root and
    // the agent's own uid always pass. A refused peer is logged and its connection closed.
    void SetPeerAccountCheck(AccountCheck check) override { m_accountCheck = std::move(check); }
    SendResult Send(WindowHandle peer, std::uint32_t number, const std::string& text,
                    std::uint32_t timeoutMs) override;
    bool SendInProgress() const override { return !m_waiting.empty(); }

    // The number a name registers as, the same in every process.
    static std::uint32_t NumberOfName(const std::string& name);

  private:
    struct Connection {
        UniqueFd fd;
        WindowHandle pid = 0;
        LinuxEventLoop::WatchId watch = 0;
        std::string input;
        // Sequences of our sends that gave up waiting: their late answers are dropped.
        std::set<std::uint32_t> late;
        bool open = true;
    };
    using ConnectionPtr = std::shared_ptr<Connection>;

    void Accept();
    // Whether a process of this account may connect.
    bool AccountAdmitted(uid_t uid, pid_t pid);
    ConnectionPtr Adopt(UniqueFd fd, pid_t pid);
    void OnReadable(const ConnectionPtr& connection);
    // Reads what is buffered in the socket; false when the peer closed or the read failed.
    bool ReadInput(Connection& connection);
    // Handles the complete frames in the connection's input, one at a time.
    void ProcessFrames(const ConnectionPtr& connection);
    void CloseConnection(const ConnectionPtr& connection, const char* why);
    bool WriteFrame(Connection& connection, const std::string& frame, std::int64_t deadline);
    void Dispatch(const ConnectionPtr& connection, std::uint32_t sequence, std::uint32_t number,
                  WindowHandle wParam, std::string text);

    LinuxEventLoop& m_loop;
    Side m_side;
    std::string m_runtimeDir;
    std::string m_socketPath;
    UniqueFd m_listen;
    LinuxEventLoop::WatchId m_listenWatch = 0;
    Receiver* m_receiver = nullptr;
    AccountCheck m_accountCheck;
    // The accounts whose refusal has been logged.
    std::set<uid_t> m_refusedAccounts;
    WindowHandle m_own = 0;
    std::map<WindowHandle, ConnectionPtr> m_connections;
    std::map<std::uint32_t, std::string> m_registered;
    std::uint32_t m_nextSequence = 1;
    // The sends waiting for their answers, innermost last, and the answers that came.
    std::vector<std::uint32_t> m_waiting;
    std::set<std::uint32_t> m_answered;
};

}  // namespace ko
