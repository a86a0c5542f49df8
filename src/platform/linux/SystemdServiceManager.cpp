#include "platform/linux/SystemdServiceManager.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/linux/UniqueFd.h"
#include "shared/Logger.h"

extern char** environ;

namespace ko {

namespace {

constexpr const char* kAgentServiceName = "KoService";
constexpr const char* kAgentUnit = "koagent.service";

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A value written into the unit file: one line, and "%" is systemd's specifier character.
std::string UnitValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            out += ' ';
        } else if (c == '%') {
            out += "%%";
        } else {
            out += c;
        }
    }
    return out;
}

std::string ThisProgram() {
    char path[PATH_MAX] = {};
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            ::unlink(temporary.c_str());
            return false;
        }
    }
    ::chmod(temporary.c_str(), 0644);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> SystemdServiceManager::SystemUnitDirs() {
    return {"/run/systemd/system", "/usr/local/lib/systemd/system", "/usr/lib/systemd/system",
            "/lib/systemd/system"};
}

SystemdServiceManager::SystemdServiceManager(std::string unitDir, CommandRunner runner,
                                             std::vector<std::string> otherUnitDirs)
    : m_unitDir(std::move(unitDir)),
      m_runner(std::move(runner)),
      m_otherUnitDirs(std::move(otherUnitDirs)) {}

std::string SystemdServiceManager::UnitName(const std::string& serviceName) {
    if (serviceName == kAgentServiceName) {
        return kAgentUnit;
    }
    const std::string suffix = ".service";
    if (serviceName.size() > suffix.size() &&
        serviceName.compare(serviceName.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return serviceName;
    }
    return serviceName + suffix;
}

std::string SystemdServiceManager::UnitPath(const std::string& serviceName) const {
    return m_unitDir + "/" + UnitName(serviceName);
}

std::optional<std::string> SystemdServiceManager::FindUnit(const std::string& serviceName) const {
    const std::string unit = UnitName(serviceName);
    std::vector<std::string> dirs{m_unitDir};
    dirs.insert(dirs.end(), m_otherUnitDirs.begin(), m_otherUnitDirs.end());
    for (const std::string& dir : dirs) {
        const std::string path = dir + "/" + unit;
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> SystemdServiceManager::ImagePath(const std::string& name) {
    if (Trim(name).empty() || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    // A package's unit counts as much as one written here: writing a second one would override
    // it.
    std::optional<std::string> unitPath = FindUnit(Trim(name));
    if (!unitPath) {
        return std::nullopt;
    }
    std::ifstream in(*unitPath);
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    std::string section;
    // The last ExecStart= wins; empty means none (a plain string keeps GCC 12's optimiser quiet
    // about an optional it believes uninitialised).
    std::string program;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (!line.empty() && line.front() == '[') {
            section = line;
            continue;
        }
        if (section != "[Service]" || line.rfind("ExecStart=", 0) != 0) {
            continue;
        }
        std::string command = Trim(line.substr(10));
        // An empty ExecStart= resets the list; the prefixes -@:+! only change how it runs.
        std::size_t start = command.find_first_not_of("-@:+!");
        if (start == std::string::npos) {
            program.clear();
            continue;
        }
        command = command.substr(start);
        if (command.front() == '"') {
            std::size_t close = command.find('"', 1);
            program = command.substr(1, close == std::string::npos ? close : close - 1);
        } else {
            program = command.substr(0, command.find_first_of(" \t"));
        }
    }
    if (program.empty()) {
        return std::nullopt;
    }
    return program;
}

bool SystemdServiceManager::Register(const ServiceConfig& config) {
    const std::string name = Trim(config.serviceName);
    if (name.empty() || name.find('/') != std::string::npos) {
        return false;
    }
    std::string command = config.commandLine;
    if (command.empty()) {
        // "This program as a service": on Linux the service-host role is --foreground.
        const std::string self = ThisProgram();
        if (self.empty()) {
            return false;
        }
        command =
            (self.find(' ') != std::string::npos ? "\"" + self + "\"" : self) + " --foreground";
    }
    const std::string description = config.displayName.empty() ? name : config.displayName;
    std::ostringstream unit;
    unit << "[Unit]\n"
         << "Description=" << UnitValue(description) << "\n"
         << "\n"
         << "[Service]\n"
         << "ExecStart=" << UnitValue(command) << "\n"
         << "Restart=on-failure\n"
         // The session watcher finds the agent's socket in /run/ostrel, which everyone may
         // enter and only the agent may write.
         << "RuntimeDirectory=ostrel\n"
         << "RuntimeDirectoryMode=0755\n"
         << "\n"
         << "[Install]\n"
         << "WantedBy=multi-user.target\n";
    ::mkdir(m_unitDir.c_str(), 0755);
    if (!WriteFileAtomically(UnitPath(name), unit.str())) {
        Logger::Debug("SystemdServiceManager: cannot write " + UnitPath(name));
        return false;
    }
    CommandResult reload = m_runner({"systemctl", "daemon-reload"});
    bool ok = reload.startError == 0 && reload.exitCode == 0;
    // Only an automatic service starts with the machine; manual and disabled ones stay unlinked.
    if (config.startMode == 2) {
        CommandResult enable = m_runner({"systemctl", "enable", UnitName(name)});
        ok = ok && enable.startError == 0 && enable.exitCode == 0;
    }
    return ok;
}

bool SystemdServiceManager::Start(const std::string& name, std::optional<long>& errorCode) {
    CommandResult result = m_runner({"systemctl", "start", UnitName(Trim(name))});
    if (result.startError != 0) {
        errorCode = result.startError;
        return false;
    }
    return result.exitCode == 0;
}

std::optional<int> SystemdServiceManager::QueryState(const std::string& name) {
    // systemd reports any unknown unit as "inactive", so the load state tells whether the
    // service exists at all: a missing one cannot be queried, as on Windows.
    CommandResult result = m_runner(
        {"systemctl", "show", "-p", "LoadState", "-p", "ActiveState", UnitName(Trim(name))});
    if (result.startError != 0 || result.exitCode != 0) {
        return std::nullopt;
    }
    std::istringstream lines(result.output);
    std::string line;
    std::string loadState;
    std::string activeState;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.rfind("LoadState=", 0) == 0) {
            loadState = line.substr(10);
        } else if (line.rfind("ActiveState=", 0) == 0) {
            activeState = line.substr(12);
        }
    }
    if (loadState == "not-found" || loadState.empty()) {
        return std::nullopt;
    }
    if (activeState == "active" || activeState == "reloading") {
        return 4;
    }
    if (activeState == "inactive" || activeState == "failed") {
        return 1;
    }
    if (activeState == "activating") {
        return 2;
    }
    if (activeState == "deactivating") {
        return 3;
    }
    return std::nullopt;
}

CommandResult SystemdServiceManager::RunCommand(const std::vector<std::string>& argv) {
    CommandResult result;
    if (argv.empty()) {
        result.startError = EINVAL;
        return result;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.startError = errno;
        return result;
    }
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    // The loop blocks the signals it reads through signalfd; the child must not inherit that.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    ::posix_spawnattr_setsigmask(&attributes, &noSignals);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    int spawned = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    writeEnd.Reset();
    if (spawned != 0) {
        result.startError = spawned;
        return result;
    }

    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.startError = errno;
            return result;
        }
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace ko
