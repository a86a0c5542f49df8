#include "platform/linux/LinuxTcpClientSocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "shared/Logger.h"

namespace ko {

namespace {

// A peer that floods us must not starve the rest of the loop: one turn reads at most this much,
// and poll() brings us back for the rest.
constexpr std::size_t kMaxReadPerTurn = 256 * 1024;

std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            ::inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        }
    }
    return text;
}

std::vector<LinuxTcpClientSocket::Address> Addresses(const addrinfo* found) {
    std::vector<LinuxTcpClientSocket::Address> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) ||
            entry->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        LinuxTcpClientSocket::Address address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        addresses.push_back(address);
    }
    return addresses;
}

LinuxTcpClientSocket::Resolution Resolve(const std::string& host, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    LinuxTcpClientSocket::Resolution resolution;
    int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result != 0) {
        resolution.error = ::gai_strerror(result);
        return resolution;
    }
    resolution.addresses = Addresses(found);
    ::freeaddrinfo(found);
    if (resolution.addresses.empty()) {
        resolution.error = "no IPv4 or IPv6 address";
    }
    return resolution;
}

}  // namespace

LinuxTcpClientSocket::Resolution LinuxTcpClientSocket::SystemResolver(const std::string& host) {
    return Resolve(host, 0);
}

LinuxTcpClientSocket::LinuxTcpClientSocket(LinuxEventLoop& loop, Resolver resolver)
    : m_loop(loop), m_resolver(std::move(resolver)) {
    m_mailbox->loop = &m_loop;
}

LinuxTcpClientSocket::~LinuxTcpClientSocket() {
    // A resolving thread that answers later finds no loop to post to.
    {
        std::lock_guard<std::mutex> lock(m_mailbox->mutex);
        m_mailbox->loop = nullptr;
    }
    Close();
}

bool LinuxTcpClientSocket::Connect(const std::string& host, std::uint16_t port) {
    if (host.empty() || m_state == State::Resolving || m_state == State::Connecting ||
        m_state == State::Connected) {
        return false;
    }
    Close();

    // A numeric address needs no name service and is used at once.
    Resolution numeric = Resolve(host, AI_NUMERICHOST);
    if (!numeric.addresses.empty()) {
        ConnectTo(std::move(numeric.addresses), port);
        return true;
    }
    // A name is resolved off the loop; the attempt goes on when the answer is posted back.
    m_state = State::Resolving;
    m_wantedHost = host;
    m_wantedPort = port;
    if (!m_resolving && !StartResolving(host)) {
        m_state = State::Closed;
        return false;
    }
    return true;
}

bool LinuxTcpClientSocket::StartResolving(const std::string& host) {
    std::weak_ptr<int> life = m_life;
    try {
        std::thread([this, life, host, resolver = m_resolver, mailbox = m_mailbox] {
            // Nothing may escape the thread: an exception here would end the program.
            Resolution resolution;
            try {
                resolution = resolver(host);
            } catch (const std::exception& e) {
                resolution = Resolution{{}, e.what()};
            }
            std::lock_guard<std::mutex> lock(mailbox->mutex);
            if (mailbox->loop == nullptr) {
                return;  // the socket is gone
            }
            try {
                mailbox->loop->Post(
                    [this, life, host, resolution = std::move(resolution)]() mutable {
                        if (!life.expired()) {
                            OnResolved(host, std::move(resolution));
                        }
                    });
            } catch (const std::exception&) {
                // Out of memory: no answer can be posted, and the lookup stays out for good.
            }
        }).detach();
    } catch (const std::system_error& e) {
        Logger::Debug(std::string("socket: no thread to resolve the name: ") + e.what());
        return false;
    }
    m_resolving = true;
    return true;
}

void LinuxTcpClientSocket::OnResolved(const std::string& host, Resolution resolution) {
    m_resolving = false;
    if (m_state != State::Resolving) {
        return;  // closed while the name was resolved: the answer is for nobody
    }
    if (host != m_wantedHost) {
        // A later Connect asked for another name.
        if (!StartResolving(m_wantedHost)) {
            Fail(EAGAIN);
        }
        return;
    }
    if (resolution.addresses.empty()) {
        m_state = State::Ended;
        if (m_handler != nullptr) {
            m_handler->OnError(kHostNotFound, host + ": " + resolution.error);
        }
        return;
    }
    ConnectTo(std::move(resolution.addresses), m_wantedPort);
}

void LinuxTcpClientSocket::ConnectTo(std::vector<Address> addresses, std::uint16_t port) {
    for (Address& address : addresses) {
        if (address.storage.ss_family == AF_INET) {
            reinterpret_cast<sockaddr_in*>(&address.storage)->sin_port = htons(port);
        } else {
            reinterpret_cast<sockaddr_in6*>(&address.storage)->sin6_port = htons(port);
        }
    }
    // The server is normally reached over IPv4; IPv6 addresses are the fallback.
    std::stable_partition(addresses.begin(), addresses.end(),
                          [](const Address& a) { return a.storage.ss_family == AF_INET; });
    m_addresses = std::move(addresses);
    m_state = State::Connecting;
    m_nextAddress = 0;
    if (!StartNextAddress()) {
        // Every address failed at once (no route, no descriptors left): that is still a failed
        // attempt, reported through the loop like a refused one.
        PostError(m_lastError);
    }
}

bool LinuxTcpClientSocket::StartNextAddress() {
    while (m_nextAddress < m_addresses.size()) {
        const Address& address = m_addresses[m_nextAddress++];
        StopWatching();
        m_fd.Reset(
            ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!m_fd) {
            m_lastError = errno;
            continue;
        }
        int result = ::connect(m_fd.Get(), reinterpret_cast<const sockaddr*>(&address.storage),
                               address.length);
        if (result == 0) {
            m_state = State::Connected;
            UpdateWatch();
            PostNotice(&LinuxTcpClientSocket::NoticeConnect);
            return true;
        }
        if (errno == EINPROGRESS || errno == EINTR) {
            m_state = State::Connecting;
            UpdateWatch();
            return true;
        }
        m_lastError = errno;
        m_fd.Reset();
    }
    return false;
}

void LinuxTcpClientSocket::Close() {
    StopWatching();
    m_fd.Reset();
    m_state = State::Closed;
    m_received.clear();
    m_sendQueue.clear();
    m_sendOffset = 0;
    m_sendMarks.clear();
    m_sentTotal = 0;
    m_queuedTotal = 0;
    ++m_generation;
}

bool LinuxTcpClientSocket::SendData(const std::string& bytes) {
    if (m_state != State::Connected) {
        return false;
    }
    const std::size_t queuedBefore = m_sendQueue.size();
    m_sendQueue += bytes;
    m_queuedTotal += bytes.size();
    m_sendMarks.push_back(m_queuedTotal);
    if (queuedBefore - m_sendOffset == 0) {
        // Nothing was waiting, so try to hand the bytes over now.
        int error = 0;
        for (;;) {
            if (m_sendOffset == m_sendQueue.size()) {
                break;
            }
            ssize_t n = ::send(m_fd.Get(), m_sendQueue.data() + m_sendOffset,
                               m_sendQueue.size() - m_sendOffset, MSG_NOSIGNAL);
            if (n > 0) {
                m_sendOffset += static_cast<std::size_t>(n);
                m_sentTotal += static_cast<std::uint64_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                error = (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) ? errno : 0;
                break;
            }
        }
        if (error != 0 && m_sendOffset == queuedBefore) {
            // The send failed at once and none of these bytes went out: take them back and say
            // so. The broken connection itself is reported by the read side through the loop.
            m_sendQueue.resize(queuedBefore);
            m_queuedTotal -= bytes.size();
            m_sendMarks.pop_back();
            return false;
        }
        if (error != 0) {
            // Part of the bytes went out before the connection broke: the caller hears of it
            // through the loop, as OnError.
            PostError(error);
            return true;
        }
        CompleteWrites();
        return true;
    }
    // Bytes were already waiting: these join them and go out when the socket can take more, so
    // no notice is ever delivered from inside this call.
    UpdateWatch();
    return true;
}

void LinuxTcpClientSocket::WriteQueued() {
    while (m_sendOffset < m_sendQueue.size()) {
        ssize_t n = ::send(m_fd.Get(), m_sendQueue.data() + m_sendOffset,
                           m_sendQueue.size() - m_sendOffset, MSG_NOSIGNAL);
        if (n > 0) {
            m_sendOffset += static_cast<std::size_t>(n);
            m_sentTotal += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        Fail(n < 0 ? errno : EPIPE);
        return;
    }
    CompleteWrites();
}

void LinuxTcpClientSocket::CompleteWrites() {
    if (m_sendOffset == m_sendQueue.size()) {
        m_sendQueue.clear();
        m_sendOffset = 0;
    }
    while (!m_sendMarks.empty() && m_sendMarks.front() <= m_sentTotal) {
        m_sendMarks.pop_front();
        PostNotice(&LinuxTcpClientSocket::NoticeSendComplete);
    }
    UpdateWatch();
}

std::string LinuxTcpClientSocket::GetData() {
    return std::exchange(m_received, std::string());
}

void LinuxTcpClientSocket::OnReady(short revents) {
    if (m_state == State::Connecting) {
        FinishConnect();
        return;
    }
    if (m_state != State::Connected) {
        return;
    }
    const std::uint64_t generation = m_generation;
    std::weak_ptr<int> life = m_life;
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        ReadAvailable();
        if (!Still(generation, life) || m_state != State::Connected) {
            return;
        }
    }
    if ((revents & POLLOUT) != 0) {
        WriteQueued();
    }
}

void LinuxTcpClientSocket::FinishConnect() {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error == EINPROGRESS || error == EALREADY) {
        return;
    }
    if (error != 0) {
        m_lastError = error;
        m_fd.Reset();
        if (StartNextAddress()) {
            return;
        }
        Fail(m_lastError);
        return;
    }
    m_state = State::Connected;
    UpdateWatch();
    if (m_handler != nullptr) {
        m_handler->OnConnect();
    }
}

void LinuxTcpClientSocket::ReadAvailable() {
    const std::uint64_t generation = m_generation;
    std::weak_ptr<int> life = m_life;
    const std::size_t before = m_received.size();
    bool ended = false;
    int error = 0;
    char buffer[16384];
    while (m_received.size() - before < kMaxReadPerTurn) {
        ssize_t n = ::recv(m_fd.Get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            m_received.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            ended = true;
            break;
        } else if (errno == EINTR) {
            continue;
        } else {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                error = errno;
            }
            break;
        }
    }
    // What arrived before the end is delivered before the end is reported.
    if (m_received.size() > before && m_handler != nullptr) {
        m_handler->OnDataArrival(m_received.size());
        if (!Still(generation, life) || m_state != State::Connected) {
            return;
        }
    }
    if (error != 0) {
        Fail(error);
        return;
    }
    if (ended) {
        m_state = State::Ended;
        StopWatching();
        if (m_handler != nullptr) {
            m_handler->OnClose();
        }
    }
}

void LinuxTcpClientSocket::Fail(int error) {
    m_state = State::Ended;
    StopWatching();
    m_fd.Reset();
    m_sendMarks.clear();
    if (m_handler != nullptr) {
        m_handler->OnError(error, std::strerror(error));
    }
}

void LinuxTcpClientSocket::PostError(int error) {
    m_state = State::Ended;
    StopWatching();
    m_fd.Reset();
    m_sendMarks.clear();
    const std::uint64_t generation = m_generation;
    std::weak_ptr<int> life = m_life;
    m_loop.Post([this, generation, life, error] {
        if (Still(generation, life) && m_handler != nullptr) {
            m_handler->OnError(error, std::strerror(error));
        }
    });
}

void LinuxTcpClientSocket::StopWatching() {
    if (m_watch != 0) {
        m_loop.UnwatchFd(m_watch);
        m_watch = 0;
    }
}

void LinuxTcpClientSocket::UpdateWatch() {
    short events = POLLOUT;
    if (m_state == State::Connected) {
        events = POLLIN;
        if (m_sendOffset < m_sendQueue.size()) {
            events |= POLLOUT;
        }
    }
    if (m_watch == 0) {
        m_watch = m_loop.WatchFd(m_fd.Get(), events, [this](short revents) { OnReady(revents); });
    } else {
        m_loop.ModifyFd(m_watch, events);
    }
}

void LinuxTcpClientSocket::PostNotice(void (LinuxTcpClientSocket::*notice)()) {
    const std::uint64_t generation = m_generation;
    std::weak_ptr<int> life = m_life;
    m_loop.Post([this, generation, life, notice] {
        if (Still(generation, life)) {
            (this->*notice)();
        }
    });
}

void LinuxTcpClientSocket::NoticeConnect() {
    if (m_state == State::Connected && m_handler != nullptr) {
        m_handler->OnConnect();
    }
}

void LinuxTcpClientSocket::NoticeSendComplete() {
    if (m_state == State::Connected && m_handler != nullptr) {
        m_handler->OnSendComplete();
    }
}

std::string LinuxTcpClientSocket::LocalHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return std::string();
    }
    return name;
}

std::string LinuxTcpClientSocket::LocalIP() {
    if (m_fd && m_state == State::Connected) {
        sockaddr_storage local{};
        socklen_t length = sizeof local;
        if (::getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&local), &length) == 0) {
            std::string text = AddressText(reinterpret_cast<const sockaddr*>(&local));
            if (!text.empty()) {
                return text;
            }
        }
    }
    ifaddrs* interfaces = nullptr;
    std::string result = "127.0.0.1";
    if (::getifaddrs(&interfaces) == 0) {
        for (ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
                (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
                continue;
            }
            result = AddressText(entry->ifa_addr);
            break;
        }
        ::freeifaddrs(interfaces);
    }
    return result;
}

}  // namespace ko
