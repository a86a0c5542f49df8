#include "platform/HttpTestServer.h"

#include <chrono>

#include "platform/TestSocket.h"

namespace ko::test {

namespace {

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        default:
            return "Status";
    }
}

}  // namespace

HttpTestServer::HttpTestServer() {
    m_listener = ListenOnLoopback(m_port, 16);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    m_stop = true;
    m_acceptor.join();
    for (auto& connection : m_connections) {
        connection.join();
    }
    CloseNative(N(m_listener));
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpTestServer::Serve(const std::string& path, Response response) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_responses[path] = std::move(response);
}

int HttpTestServer::Hits(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hits[path];
}

std::uint16_t HttpTestServer::ClosedPort() {
    std::uint16_t port = 0;
    CloseNative(N(ListenOnLoopback(port, 16)));
    return port;
}

void HttpTestServer::AcceptLoop() {
    while (!m_stop) {
        if (!WaitReadable(m_listener, 50)) {
            continue;
        }
        Native client = accept(N(m_listener), nullptr, nullptr);
        if (client == static_cast<Native>(-1)) {
            continue;
        }
        const auto handle = static_cast<std::intptr_t>(client);
        m_connections.emplace_back([this, handle] { Answer(handle); });
    }
}

void HttpTestServer::Answer(std::intptr_t client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && !m_stop) {
        if (!WaitReadable(client, 50)) {
            continue;
        }
        const int got = static_cast<int>(recv(N(client), buffer, sizeof buffer, 0));
        if (got <= 0) {
            break;
        }
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t pathStart = request.find(' ') + 1;
    const std::string path =
        pathStart == 0 ? std::string()
                       : request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    Response response{404, "", 0, true};
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_hits[path];
        auto it = m_responses.find(path);
        if (it != m_responses.end()) {
            response = it->second;
        }
    }
    const auto answerAt =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(response.delayMs);
    while (!m_stop && std::chrono::steady_clock::now() < answerAt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (response.answer && !m_stop) {
        const std::string out =
            "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) +
            "\r\nContent-Type: text/xml\r\nContent-Length: " +
            std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n" + response.body;
        std::size_t sent = 0;
        while (sent < out.size()) {
            const int n = static_cast<int>(send(N(client), out.data() + sent,
                                                static_cast<int>(out.size() - sent), kSendFlags));
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    CloseNative(N(client));
}

}  // namespace ko::test
