#include "LoopbackServer.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "shared/WireCodec.h"

#include "platform/TestSocket.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#endif

namespace ko::test {

LoopbackServer::LoopbackServer() {
    m_listener = ListenOnLoopback(m_port, 4);
}

LoopbackServer::~LoopbackServer() {
    DropClient();
    if (m_listener != -1) {
        CloseNative(N(m_listener));
    }
}

bool LoopbackServer::Accept(int timeoutMs) {
    if (!WaitReadable(m_listener, timeoutMs)) {
        return false;
    }
    DropClient();
    m_client = static_cast<std::intptr_t>(accept(N(m_listener), nullptr, nullptr));
    m_peerClosed = false;
    m_messages.clear();
    return m_client != -1;
}

bool LoopbackServer::ReadSome(int timeoutMs) {
    if (m_client == -1 || m_peerClosed || !WaitReadable(m_client, timeoutMs)) {
        return false;
    }
    char buffer[65536];
    int n = static_cast<int>(recv(N(m_client), buffer, sizeof buffer, 0));
    if (n <= 0) {
        m_peerClosed = true;
        return false;
    }
    for (const auto& piece : WireCodec::SplitReceived(std::string(buffer, n))) {
        m_messages.push_back(WireCodec::DecodeMessage(piece));
    }
    return true;
}

std::optional<std::string> LoopbackServer::Receive(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_messages.empty()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0 || !ReadSome(static_cast<int>(left))) {
            if (m_messages.empty()) {
                return std::nullopt;
            }
        }
    }
    std::string text = m_messages.front();
    m_messages.pop_front();
    return text;
}

bool LoopbackServer::Silent(int timeoutMs) {
    return !Receive(timeoutMs).has_value();
}

void LoopbackServer::Send(const std::string& text, int multiplier) {
    SendRaw(WireCodec::EncodeMessage(text, multiplier));
}

void LoopbackServer::SendRaw(const std::string& bytes) {
    if (m_client != -1) {
        send(N(m_client), bytes.data(), static_cast<int>(bytes.size()), 0);
    }
}

void LoopbackServer::DropClient() {
    if (m_client != -1) {
        CloseNative(N(m_client));
        m_client = -1;
    }
}

bool LoopbackServer::ClientClosed(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_peerClosed && std::chrono::steady_clock::now() < deadline) {
        ReadSome(100);
    }
    return m_peerClosed;
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

#if defined(_WIN32)

void SetAgentEnvironment(const std::string&) {
    SetEnvironmentVariableA("OSTREL_DRY_RUN", "1");
}

std::string AgentProgramPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self = path;
    return self.substr(0, self.find_last_of("\\/") + 1) + "koagent.exe";
}

bool AgentProcess::Start(const std::string& program, const std::string& argument) {
    std::string commandLine = "\"" + program + "\" " + argument;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    m_handle = reinterpret_cast<std::intptr_t>(info.hProcess);
    m_running = true;
    return true;
}

std::optional<int> AgentProcess::WaitExit(int timeoutMs) {
    if (!m_running) {
        return std::nullopt;
    }
    HANDLE process = reinterpret_cast<HANDLE>(m_handle);
    if (WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    m_running = false;
    return static_cast<int>(code);
}

void AgentProcess::Kill() {
    if (m_running) {
        TerminateProcess(reinterpret_cast<HANDLE>(m_handle), 9);
        WaitExit(5000);
    }
}

#else

void SetAgentEnvironment(const std::string& storeFile) {
    setenv("OSTREL_REGISTRY", storeFile.c_str(), 1);
    setenv("OSTREL_DRY_RUN", "1", 1);
    std::string folder = storeFile.substr(0, storeFile.find_last_of('/'));
    setenv("OSTREL_INSTANCE_DIR", folder.c_str(), 1);
    // The channel's socket goes beside the store, never into the machine's /run/ostrel.
    setenv("OSTREL_RUNTIME_DIR", folder.c_str(), 1);
}

std::string AgentProgramPath() {
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    return self.substr(0, self.find_last_of('/') + 1) + "koagent";
}

bool AgentProcess::Start(const std::string& program, const std::string& argument) {
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    m_handle = pid;
    m_running = true;
    return true;
}

std::optional<int> AgentProcess::WaitExit(int timeoutMs) {
    if (!m_running) {
        return std::nullopt;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        int status = 0;
        if (waitpid(static_cast<pid_t>(m_handle), &status, WNOHANG) ==
            static_cast<pid_t>(m_handle)) {
            m_running = false;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        SleepMs(20);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

void AgentProcess::Kill() {
    if (m_running) {
        kill(static_cast<pid_t>(m_handle), SIGKILL);
        WaitExit(5000);
    }
}

#endif

AgentProcess::~AgentProcess() {
    Kill();
}

}  // namespace ko::test
