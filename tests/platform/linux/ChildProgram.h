#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace ko {

// A helper program the adapter tests start, with its standard output on a pipe; killed and
// reaped when the test ends.
class ChildProgram {
  public:
    explicit ChildProgram(const std::vector<std::string>& argv) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        if (::posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~ChildProgram() {
        Stop();
        if (m_out >= 0) {
            ::close(m_out);
        }
    }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t Pid() const { return m_pid; }

    // The next line the program writes, waiting at most timeoutMs; empty on time-out or end.
    std::string ReadLine(int timeoutMs = 10000) {
        std::string line;
        while (true) {
            const std::size_t newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return line;
            }
            pollfd entry{m_out, POLLIN, 0};
            if (::poll(&entry, 1, timeoutMs) <= 0) {
                return line;
            }
            char chunk[256];
            const ssize_t count = ::read(m_out, chunk, sizeof(chunk));
            if (count <= 0) {
                return line;
            }
            m_buffer.append(chunk, static_cast<std::size_t>(count));
        }
    }

    void Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

  private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

}  // namespace ko
