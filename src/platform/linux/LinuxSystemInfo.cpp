#include "platform/linux/LinuxSystemInfo.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace ko {

namespace {

std::string ReadTrimmed(const char* path) {
    std::ifstream in(path);
    if (!in) {
        return std::string();
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string value = text.str();
    const char* blanks = " \t\r\n";
    std::size_t first = value.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return value.substr(first, value.find_last_not_of(blanks) - first + 1);
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

LinuxSystemInfo::LinuxSystemInfo(std::string argv0) : m_argv0(std::move(argv0)) {}

OsVersion LinuxSystemInfo::ParseRelease(std::string_view release) {
    OsVersion version;
    std::uint32_t* fields[] = {&version.major, &version.minor, &version.build};
    std::size_t pos = 0;
    for (std::uint32_t* field : fields) {
        if (pos >= release.size() || release[pos] < '0' || release[pos] > '9') {
            break;
        }
        std::uint64_t number = 0;
        while (pos < release.size() && release[pos] >= '0' && release[pos] <= '9') {
            number = std::min<std::uint64_t>(number * 10 + (release[pos] - '0'), UINT32_MAX);
            ++pos;
        }
        *field = static_cast<std::uint32_t>(number);
        if (pos >= release.size() || release[pos] != '.') {
            break;
        }
        ++pos;
    }
    version.platformId = 2;
    version.windows = false;
    return version;
}

OsVersion LinuxSystemInfo::Version() {
    utsname names{};
    if (::uname(&names) != 0) {
        return ParseRelease("");
    }
    return ParseRelease(names.release);
}

std::optional<std::string> LinuxSystemInfo::ComputerName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return std::nullopt;
    }
    return std::string(name);
}

std::string LinuxSystemInfo::InstanceFolder() const {
    std::string folder = Env("OSTREL_INSTANCE_DIR");
    if (!folder.empty()) {
        return folder;
    }
    folder = Env("XDG_RUNTIME_DIR");
    if (!folder.empty()) {
        return folder;
    }
    return ::geteuid() == 0 ? std::string("/run/lock") : std::string("/tmp");
}

bool LinuxSystemInfo::AnotherInstanceRunning() {
    if (m_anotherInstance) {
        return *m_anotherInstance;
    }
    const std::string folder = InstanceFolder();
    std::string name = ExecutableName();
    if (folder == "/tmp") {
        // A shared folder: one marker per user, so users do not block each other.
        name += "-" + std::to_string(::geteuid());
    }
    const std::string path = folder + "/" + name + ".lock";
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        // Without a marker nothing can be told; assume this copy is alone rather than refuse
        // to run. The next call tries again.
        return false;
    }
    int locked = 0;
    while ((locked = ::flock(fd.Get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked == 0) {
        m_instanceLock = std::move(fd);
        m_anotherInstance = false;
    } else if (errno == EWOULDBLOCK) {
        m_anotherInstance = true;
    } else {
        return false;
    }
    return *m_anotherInstance;
}

std::string LinuxSystemInfo::ProgramPath() const {
    char path[PATH_MAX] = {};
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) {
        return std::string(path, static_cast<std::size_t>(n));
    }
    char resolved[PATH_MAX] = {};
    if (!m_argv0.empty() && ::realpath(m_argv0.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return m_argv0;
}

std::string LinuxSystemInfo::ProgramFolder() {
    const std::string path = ProgramPath();
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return path.substr(0, slash);
}

std::string LinuxSystemInfo::ExecutableName() {
    std::string name = ProgramPath();
    std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return name;
}

std::string LinuxSystemInfo::MachineIdentity() {
    std::string id = ReadTrimmed("/etc/machine-id");
    if (id.empty()) {
        id = ReadTrimmed("/var/lib/dbus/machine-id");
    }
    return id;
}

}  // namespace ko
