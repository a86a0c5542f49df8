#include "platform/linux/DisplayProbe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/linux/UniqueFd.h"

namespace ko {
namespace {

// A TCP display on another machine may be slow to answer; the agent's loop waits this long at
// most per attempt.
constexpr int kConnectTimeoutMs = 1000;

bool ConnectWithin(int fd, const sockaddr* address, socklen_t length) {
    if (::connect(fd, address, length) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        return false;
    }
    pollfd wait{fd, POLLOUT, 0};
    if (::poll(&wait, 1, kConnectTimeoutMs) != 1) {
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool LocalAnswers(int number) {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    // The X server listens on an abstract socket of the same name as well as on the file; either
    // answers for it.
    for (bool abstract : {true, false}) {
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd) {
            return false;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        if (path.size() + offset >= sizeof address.sun_path) {
            return false;
        }
        std::memcpy(address.sun_path + offset, path.data(), path.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                                   path.size() + (abstract ? 0 : 1));
        if (ConnectWithin(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length)) {
            return true;
        }
    }
    return false;
}

bool TcpAnswers(const std::string& host, int number) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(6000 + number);
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        return false;
    }
    bool answered = false;
    for (addrinfo* a = found; a != nullptr && !answered; a = a->ai_next) {
        UniqueFd fd(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        answered = fd && ConnectWithin(fd.Get(), a->ai_addr, a->ai_addrlen);
    }
    ::freeaddrinfo(found);
    return answered;
}

}  // namespace

std::optional<DisplayAddress> ParseDisplayName(const std::string& name) {
    const std::size_t colon = name.rfind(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    DisplayAddress address;
    address.host = name.substr(0, colon);
    std::size_t i = colon + 1;
    const std::size_t digits = i;
    long number = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && number < 100000) {
        number = number * 10 + (name[i] - '0');
        ++i;
    }
    if (i == digits || number >= 100000 || (i < name.size() && name[i] != '.')) {
        return std::nullopt;
    }
    address.number = static_cast<int>(number);
    return address;
}

bool DisplayAnswers(const std::string& name) {
    std::optional<DisplayAddress> address = ParseDisplayName(name);
    if (!address) {
        return false;
    }
    if (address->host.empty() || address->host == "unix") {
        return LocalAnswers(address->number);
    }
    return TcpAnswers(address->host, address->number);
}

}  // namespace ko
