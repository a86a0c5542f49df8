#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace ko::test {

// A scripted cafe server on loopback for one agent at a time: blocking sockets with time limits,
// messages in the link's wire form.
class LoopbackServer {
  public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    bool Accept(int timeoutMs);
    // The next decoded message from the agent; several in one read are split.
    std::optional<std::string> Receive(int timeoutMs);
    // True when nothing arrives within the time.
    bool Silent(int timeoutMs);
    void Send(const std::string& text, int multiplier = 7);
    void SendRaw(const std::string& bytes);
    void DropClient();
    // True when the agent closes its end within the time.
    bool ClientClosed(int timeoutMs);

  private:
    bool ReadSome(int timeoutMs);

    std::intptr_t m_listener = -1;
    std::intptr_t m_client = -1;
    std::uint16_t m_port = 0;
    bool m_peerClosed = false;
    std::deque<std::string> m_messages;
};

// The agent program started as its own process, with the environment the tests need.
class AgentProcess {
  public:
    AgentProcess() = default;
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    bool Start(const std::string& program, const std::string& argument);
    std::optional<int> WaitExit(int timeoutMs);
    void Kill();
    int Pid() const { return static_cast<int>(m_handle); }

  private:
    std::intptr_t m_handle = -1;
    bool m_running = false;
};

// The settings store the agent reads: a store file on Linux, the registry under Wine.
void SetAgentEnvironment(const std::string& storeFile);
std::string AgentProgramPath();
void SleepMs(int ms);

}  // namespace ko::test
