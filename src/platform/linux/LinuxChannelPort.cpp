#include "platform/linux/LinuxChannelPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/linux/LinuxProcesses.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr std::uint8_t kKindMessage = 1;
constexpr std::uint8_t kKindAnswer = 2;
constexpr std::size_t kHeaderSize = 1 + 4 + 4 + 4 + 1;
// Registered numbers live where the window manager puts them.
constexpr std::uint32_t kFirstRegistered = 0xC000;
constexpr std::uint32_t kRegisteredSpan = 0x4000;
// A local user could open connections without end; the oldest goes when this many are open.
constexpr std::size_t kMaxConnections = 16;
// One turn reads at most this much from one peer; poll() brings us back for the rest.
constexpr std::size_t kMaxInput = 64 * 1024;

void PutU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint32_t GetU32(const std::string& in, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    }
    return value;
}

std::string Frame(std::uint8_t kind, std::uint32_t sequence, std::uint32_t number,
                  std::int32_t wParam, const std::string& text) {
    std::string frame;
    frame.reserve(kHeaderSize + text.size());
    frame.push_back(static_cast<char>(kind));
    PutU32(frame, sequence);
    PutU32(frame, number);
    PutU32(frame, static_cast<std::uint32_t>(wParam));
    frame.push_back(static_cast<char>(text.size()));
    frame += text;
    return frame;
}

bool PeerCredentials(int fd, pid_t& pid, uid_t& uid) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        credentials.pid <= 0) {
        return false;
    }
    pid = credentials.pid;
    uid = credentials.uid;
    return true;
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

std::string LinuxChannelPort::RuntimeDir() {
    const char* dir = std::getenv("OSTREL_RUNTIME_DIR");
    return dir != nullptr && *dir != '\0' ? dir : "/run/ostrel";
}

LinuxChannelPort::LinuxChannelPort(LinuxEventLoop& loop, Side side, std::string runtimeDir)
    : m_loop(loop), m_side(side), m_runtimeDir(std::move(runtimeDir)) {}

LinuxChannelPort::~LinuxChannelPort() {
    DestroyOwnWindow();
}

std::uint32_t LinuxChannelPort::NumberOfName(const std::string& name) {
    // FNV-1a over the upper-cased name.
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : name) {
        hash ^= static_cast<std::uint32_t>(std::toupper(c));
        hash *= 16777619u;
    }
    return kFirstRegistered + hash % kRegisteredSpan;
}

std::uint32_t LinuxChannelPort::RegisterMessage(const std::string& name) {
    if (name.empty()) {
        return 0;
    }
    const std::uint32_t number = NumberOfName(name);
    auto [it, inserted] = m_registered.emplace(number, name);
    if (!inserted && ::strcasecmp(it->second.c_str(), name.c_str()) != 0) {
        // Two names that share a number cannot be told apart: the later one is not registered.
        Logger::Error("channel: " + name + " shares its number with " + it->second);
        return 0;
    }
    return number;
}

bool LinuxChannelPort::CreateOwnWindow(const std::string& windowName, Receiver* receiver) {
    if (m_own != 0) {
        return true;
    }
    if (m_side == Side::Connecting) {
        m_receiver = receiver;
        m_own = static_cast<WindowHandle>(::getpid());
        return true;
    }
    const std::string path = m_runtimeDir + "/" + windowName;
    sockaddr_un address{};
    if (windowName.empty() || windowName.find('/') != std::string::npos ||
        !FillAddress(path, address)) {
        Logger::Error("channel: no socket can be named " + path);
        return false;
    }
    // Under the service manager the folder exists already; a program started by hand makes it.
    if (::mkdir(m_runtimeDir.c_str(), 0755) != 0 && errno != EEXIST) {
        Logger::Error("channel: cannot make " + m_runtimeDir + ": " + std::strerror(errno));
        return false;
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        return false;
    }
    // A socket left behind by an agent that died is in the way; only one agent runs at a time.
    ::unlink(path.c_str());
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0666) != 0 || ::listen(fd.Get(), 8) != 0) {
        Logger::Error("channel: cannot listen on " + path + ": " + std::strerror(errno));
        ::unlink(path.c_str());
        return false;
    }
    m_listen = std::move(fd);
    m_socketPath = path;
    m_receiver = receiver;
    m_own = static_cast<WindowHandle>(::getpid());
    m_listenWatch = m_loop.WatchFd(m_listen.Get(), POLLIN, [this](short) { Accept(); });
    return true;
}

void LinuxChannelPort::DestroyOwnWindow() {
    while (!m_connections.empty()) {
        CloseConnection(m_connections.begin()->second, nullptr);
    }
    if (m_listen) {
        m_loop.UnwatchFd(m_listenWatch);
        m_listen.Reset();
        ::unlink(m_socketPath.c_str());
    }
    m_listenWatch = 0;
    m_receiver = nullptr;
    m_own = 0;
}

void LinuxChannelPort::Accept() {
    for (;;) {
        UniqueFd fd(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd) {
            return;  // EAGAIN, or a peer that went before we took it
        }
        pid_t pid = 0;
        uid_t uid = 0;
        if (!PeerCredentials(fd.Get(), pid, uid) || !AccountAdmitted(uid, pid)) {
            continue;  // closed as it goes out of scope
        }
        if (m_connections.size() >= kMaxConnections) {
            CloseConnection(m_connections.begin()->second, "too many connections");
        }
        Adopt(std::move(fd), pid);
    }
}

bool LinuxChannelPort::AccountAdmitted(uid_t uid, pid_t pid) {
    if (uid == 0 || uid == ::geteuid() || !m_accountCheck ||
        m_accountCheck(LinuxProcesses::SidOfUid(uid))) {
        return true;
    }
    // The socket is open to every local user; only the session's own may play its watcher. Each
    // account is named once: a user who keeps connecting must not flood the log.
    if (m_refusedAccounts.size() < kMaxConnections && m_refusedAccounts.insert(uid).second) {
        Logger::Warning("channel: process " + std::to_string(pid) + " of uid " +
                        std::to_string(uid) +
                        " is not the session's user; its connections are refused");
    }
    return false;
}

LinuxChannelPort::ConnectionPtr LinuxChannelPort::Adopt(UniqueFd fd, pid_t pid) {
    const auto handle = static_cast<WindowHandle>(pid);
    // A process has one connection: a second one from the same pid replaces the first.
    if (auto it = m_connections.find(handle); it != m_connections.end()) {
        CloseConnection(it->second, "replaced by a new connection");
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = std::move(fd);
    connection->pid = handle;
    std::weak_ptr<Connection> weak = connection;
    connection->watch = m_loop.WatchFd(connection->fd.Get(), POLLIN, [this, weak](short) {
        if (auto alive = weak.lock()) {
            OnReadable(alive);
        }
    });
    m_connections[handle] = connection;
    return connection;
}

LinuxChannelPort::WindowHandle LinuxChannelPort::FindPeerWindow(const std::string& windowName) {
    if (m_side == Side::Serving) {
        return 0;  // the agent never looks for the watcher
    }
    for (const auto& [handle, connection] : m_connections) {
        if (connection->open) {
            return handle;
        }
    }
    sockaddr_un address{};
    if (windowName.find('/') != std::string::npos ||
        !FillAddress(m_runtimeDir + "/" + windowName, address)) {
        return 0;
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    // A local connect either succeeds or fails at once.
    if (!fd ||
        ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return 0;
    }
    pid_t pid = 0;
    uid_t uid = 0;
    if (!PeerCredentials(fd.Get(), pid, uid) || !SetNonBlocking(fd.Get())) {
        return 0;
    }
    return Adopt(std::move(fd), pid)->pid;
}

bool LinuxChannelPort::IsWindow(WindowHandle handle) {
    auto it = m_connections.find(handle);
    return handle != 0 && it != m_connections.end() && it->second->open;
}

std::uint32_t LinuxChannelPort::ProcessOfWindow(WindowHandle handle) {
    // A connection's handle is its peer's pid as the kernel reported it when it connected.
    return IsWindow(handle) ? static_cast<std::uint32_t>(handle) : 0;
}

void LinuxChannelPort::CloseConnection(const ConnectionPtr& connection, const char* why) {
    if (!connection->open) {
        return;
    }
    if (why != nullptr) {
        Logger::Info("channel: connection of " + std::to_string(connection->pid) +
                     " closed: " + why);
    }
    connection->open = false;
    m_loop.UnwatchFd(connection->watch);
    connection->fd.Reset();
    connection->input.clear();
    auto it = m_connections.find(connection->pid);
    if (it != m_connections.end() && it->second == connection) {
        m_connections.erase(it);
    }
}

bool LinuxChannelPort::ReadInput(Connection& connection) {
    char buffer[4096];
    while (connection.input.size() < kMaxInput) {
        const ssize_t got = ::recv(connection.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            connection.input.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return false;  // closed by the peer, or broken
    }
    return true;
}

void LinuxChannelPort::OnReadable(const ConnectionPtr& connection) {
    if (!connection->open) {
        return;
    }
    const bool alive = ReadInput(*connection);
    ProcessFrames(connection);
    if (!alive) {
        CloseConnection(connection, "the peer has gone");
    }
}

void LinuxChannelPort::ProcessFrames(const ConnectionPtr& connection) {
    while (connection->open && connection->input.size() >= kHeaderSize) {
        const std::string& in = connection->input;
        const auto kind = static_cast<std::uint8_t>(in[0]);
        const std::uint32_t sequence = GetU32(in, 1);
        const std::uint32_t number = GetU32(in, 5);
        const auto wParam = static_cast<WindowHandle>(GetU32(in, 9));
        const std::size_t length = static_cast<unsigned char>(in[13]);
        if (in.size() < kHeaderSize + length) {
            return;  // the rest comes later
        }
        std::string text = in.substr(kHeaderSize, length);
        connection->input.erase(0, kHeaderSize + length);

        if (kind == kKindAnswer) {
            if (length != 0) {
                CloseConnection(connection, "an answer with a text");
                return;
            }
            if (connection->late.erase(sequence) != 0) {
                continue;  // the send gave up on it
            }
            bool awaited = false;
            for (std::uint32_t waiting : m_waiting) {
                awaited = awaited || waiting == sequence;
            }
            if (!awaited || !m_answered.insert(sequence).second) {
                CloseConnection(connection, "an answer to nothing we sent");
                return;
            }
            continue;
        }
        if (kind != kKindMessage || number < kFirstRegistered ||
            number >= kFirstRegistered + kRegisteredSpan || wParam != connection->pid ||
            text.find('\0') != std::string::npos) {
            CloseConnection(connection, "a malformed frame");
            return;
        }
        Dispatch(connection, sequence, number, wParam, std::move(text));
    }
}

void LinuxChannelPort::Dispatch(const ConnectionPtr& connection, std::uint32_t sequence,
                                std::uint32_t number, WindowHandle wParam, std::string text) {
    if (m_receiver != nullptr) {
        Incoming incoming;
        incoming.number = number;
        incoming.wParam = static_cast<std::uintptr_t>(static_cast<std::uint32_t>(wParam));
        incoming.text = std::move(text);
        incoming.duringSend = !m_waiting.empty();
        m_receiver->OnWindowMessage(incoming);
    }
    // The sender waits for this, however long the handler took.
    if (connection->open &&
        !WriteFrame(*connection, Frame(kKindAnswer, sequence, number, m_own, ""), -1)) {
        CloseConnection(connection, "the answer could not be written");
    }
}

bool LinuxChannelPort::WriteFrame(Connection& connection, const std::string& frame,
                                  std::int64_t deadline) {
    std::size_t written = 0;
    while (written < frame.size()) {
        const ssize_t sent = ::send(connection.fd.Get(), frame.data() + written,
                                    frame.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            written += static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int timeout = -1;
            if (deadline >= 0) {
                const std::int64_t left = deadline - LinuxEventLoop::MonotonicMs();
                if (left <= 0) {
                    return false;
                }
                timeout = static_cast<int>(left);
            }
            pollfd fd{connection.fd.Get(), POLLOUT, 0};
            if (::poll(&fd, 1, timeout) < 0 && errno != EINTR) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

ChannelPort::SendResult LinuxChannelPort::Send(WindowHandle peer, std::uint32_t number,
                                               const std::string& text, std::uint32_t timeoutMs) {
    if (m_own == 0 || number < kFirstRegistered || number >= kFirstRegistered + kRegisteredSpan ||
        text.size() > kMaxText) {
        return SendResult::Refused;
    }
    auto it = m_connections.find(peer);
    if (peer == 0 || it == m_connections.end() || !it->second->open) {
        return SendResult::NoPeer;
    }
    const ConnectionPtr target = it->second;
    const std::int64_t deadline =
        timeoutMs == 0 ? -1 : LinuxEventLoop::MonotonicMs() + static_cast<std::int64_t>(timeoutMs);
    const std::uint32_t sequence = m_nextSequence++;
    if (!WriteFrame(*target, Frame(kKindMessage, sequence, number, m_own, text), deadline)) {
        // Part of a frame may be out: the stream cannot be trusted any more.
        CloseConnection(target, "a message could not be written");
        return SendResult::Failed;
    }

    m_waiting.push_back(sequence);
    auto result = SendResult::Delivered;
    for (;;) {
        if (m_answered.erase(sequence) != 0) {
            break;
        }
        if (!target->open) {
            result = SendResult::Failed;
            break;
        }
        int timeout = -1;
        if (deadline >= 0) {
            const std::int64_t left = deadline - LinuxEventLoop::MonotonicMs();
            if (left <= 0) {
                target->late.insert(sequence);
                result = SendResult::TimedOut;
                break;
            }
            timeout = static_cast<int>(left);
        }
        // Only the peers are heard while we wait: their answers and their own sends.
        std::vector<pollfd> fds;
        std::vector<ConnectionPtr> polled;
        for (const auto& [handle, connection] : m_connections) {
            fds.push_back(pollfd{connection->fd.Get(), POLLIN, 0});
            polled.push_back(connection);
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            result = SendResult::Failed;
            break;
        }
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].revents != 0) {
                OnReadable(polled[i]);
            }
        }
    }
    m_waiting.pop_back();
    m_answered.erase(sequence);
    return result;
}

}  // namespace ko
