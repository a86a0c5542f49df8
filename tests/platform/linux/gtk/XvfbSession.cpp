#include "XvfbSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace ko {
namespace {

pid_t Spawn(const char* const* argv, int keepFd) {
    pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    // The child ends with the test process, whatever way that goes.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    if (std::getenv("KO_TEST_X_VERBOSE") == nullptr) {
        ::dup2(null, 2);
    }
    for (int fd = 3; fd < 256; ++fd) {
        if (fd != keepFd) {
            ::close(fd);
        }
    }
    ::execvp(argv[0], const_cast<char* const*>(argv));
    ::_exit(127);
}

void End(pid_t& pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

bool WaitFor(const std::string& command, int seconds) {
    const std::time_t end = std::time(nullptr) + seconds;
    while (std::time(nullptr) <= end) {
        if (!RunCommand(command).empty()) {
            return true;
        }
        ::usleep(50 * 1000);
    }
    return false;
}

}  // namespace

XvfbSession::~XvfbSession() {
    End(m_windowManager);
    End(m_server);
}

bool XvfbSession::Start(int width, int height) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return false;
    }
    const std::string fd = std::to_string(pipeFds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const char* server[] = {"Xvfb", "-displayfd",   fd.c_str(),  "-screen",
                            "0",    screen.c_str(), "-nolisten", "tcp",
                            "-dpi", "96",           nullptr};
    m_server = Spawn(server, pipeFds[1]);
    ::close(pipeFds[1]);
    std::string number;
    pollfd wait{pipeFds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&wait, 1, 10000) == 1 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    ::close(pipeFds[0]);
    if (number.empty()) {
        std::fprintf(stderr, "Xvfb did not start (is it installed?)\n");
        return false;
    }
    m_display = ":" + number;
    ::setenv("DISPLAY", m_display.c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    const char* windowManager[] = {"openbox", "--sm-disable", nullptr};
    m_windowManager = Spawn(windowManager, -1);
    if (!WaitFor("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -F 'window id'", 30)) {
        std::fprintf(stderr, "openbox did not start on %s\n", m_display.c_str());
        return false;
    }
    return true;
}

void XvfbSession::StopServer() {
    End(m_server);
}

XvfbSession& TestDisplay() {
    static XvfbSession session;
    return session;
}

std::string RunCommand(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

}  // namespace ko
