#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ko::test {

// A tiny http server on loopback for adapter tests: every connection is answered on its own
// thread from the scripted responses, so the program's loop under test stays single-threaded.
class HttpTestServer {
  public:
    struct Response {
        int status = 200;
        std::string body;
        // Waits this long before answering.
        int delayMs = 0;
        // False: closes the connection after the wait without a word (a hung server).
        bool answer = true;
    };

    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Url(const std::string& path) const;
    void Serve(const std::string& path, Response response);
    // How many requests arrived for path.
    int Hits(const std::string& path);
    // A loopback port on which nothing listens.
    static std::uint16_t ClosedPort();

  private:
    void AcceptLoop();
    void Answer(std::intptr_t client);

    std::intptr_t m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::map<std::string, Response> m_responses;
    std::map<std::string, int> m_hits;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};

}  // namespace ko::test
