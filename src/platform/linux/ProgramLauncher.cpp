#include "platform/linux/ProgramLauncher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/UniqueFd.h"
#include "shared/Logger.h"

namespace ko {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsExecutable(const std::string& path) {
    return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

// An address such as "http://host/" or "mailto:someone": its scheme is letters, digits, "+",
// "-" and "." before the first ":", and it is not a path.
bool IsAddress(const std::string& word) {
    std::size_t colon = word.find(':');
    if (colon == std::string::npos || colon < 2 || word.find('/') < colon) {
        return false;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        char c = word[i];
        bool fits = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!fits) {
            return false;
        }
    }
    return true;
}

// The program a bare name stands for, from PATH (empty entries, the current folder, are not
// searched); empty when no folder of PATH holds an executable of that name.
std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder[0] != '/') {
            continue;
        }
        std::string candidate = folder + "/" + name;
        if (IsExecutable(candidate)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace

ProgramLauncher::ProgramLauncher(EventLoop& loop)
    : m_loop(loop), m_reapTimer(loop.AddTimer([this] { Reap(); })) {}

ProgramLauncher::~ProgramLauncher() {
    m_loop.RemoveTimer(m_reapTimer);
}

std::vector<std::string> ProgramLauncher::SplitCommand(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

bool ProgramLauncher::Run(const std::string& command) {
    std::vector<std::string> words = SplitCommand(command);
    if (words.empty() || words[0].empty()) {
        return false;
    }
    const std::string& target = words[0];
    std::string program;
    if (IsAddress(target)) {
        program.clear();
    } else if (target.find('/') != std::string::npos) {
        program = target;
    } else {
        program = FindInPath(target);
    }
    if (!program.empty() && IsExecutable(program)) {
        return Start(program, words);
    }
    if (IsAddress(target) || (!program.empty() && Exists(program))) {
        // A document, a folder or an address: the desktop's own choice of program opens it.
        std::string opener = FindInPath("xdg-open");
        if (opener.empty()) {
            Logger::Debug("no xdg-open to open " + target);
            return false;
        }
        return Start(opener, {"xdg-open", target});
    }
    return false;
}

bool ProgramLauncher::Start(const std::string& program, const std::vector<std::string>& arguments) {
    // Everything the child needs is made before the fork.
    std::vector<char*> argv;
    for (const std::string& word : arguments) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const char* home = std::getenv("HOME");

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);

    pid_t pid = ::fork();
    if (pid < 0) {
        Logger::Debug(std::string("fork failed: ") + std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        // The child: its own session, so it outlives the watcher's and gets no terminal signals;
        // the signals the watcher blocks or ignores are the program's business again.
        ::setsid();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP}) {
            ::signal(signal, SIG_DFL);
        }
        int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
        }
        if (home != nullptr && ::chdir(home) != 0) {
            // The watcher's own folder then.
        }
        ::execv(program.c_str(), argv.data());
        int error = errno;
        ssize_t written = ::write(pipeFds[1], &error, sizeof error);
        (void)written;
        ::_exit(127);
    }
    writeEnd.Reset();
    int error = 0;
    ssize_t got;
    do {
        got = ::read(readEnd.Get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        // The program could not be executed: the child has ended already.
        int status = 0;
        ::waitpid(pid, &status, 0);
        Logger::Debug("could not execute " + program + ": " + std::strerror(error));
        return false;
    }
    m_children.insert(pid);
    m_loop.SetTimerInterval(m_reapTimer, kReapIntervalMs);
    return true;
}

void ProgramLauncher::Reap() {
    for (auto it = m_children.begin(); it != m_children.end();) {
        int status = 0;
        pid_t result = ::waitpid(*it, &status, WNOHANG);
        if (result == *it || (result < 0 && errno == ECHILD)) {
            it = m_children.erase(it);
        } else {
            ++it;
        }
    }
    if (m_children.empty()) {
        m_loop.SetTimerInterval(m_reapTimer, 0);
    }
}

}  // namespace ko
