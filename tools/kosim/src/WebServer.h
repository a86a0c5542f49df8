#pragma once

#include <memory>
#include <string>
#include <thread>

#include "CafeServer.h"
#include "Journal.h"
#include "PageDriver.h"

namespace httplib {
class Server;
struct Request;
}  // namespace httplib

namespace ko {

// What a web request asks for, and the answer.
struct WebAnswer {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    std::string what;     // for the timeline: "main page", "logon profile", ...
    bool journal = true;  // the driver's requests stay off the timeline
};

// The cafe server's web side: the kiosk pages and the two XML documents, for the workstation
// named in the query (or, where the query names none, the one connecting from that address).
// Every fetch goes into the journal.
class WebServer {
  public:
    WebServer(CafeServer& server, Journal& journal);
    ~WebServer();

    // Scripted mode: pages carry the driver's script, and its requests go to the driver.
    void SetPageDriver(PageDriver* driver) { m_driver = driver; }

    // Binds and starts serving on its own threads; port 0 picks a free port. Returns the port,
    // or -1 when it cannot bind.
    int Start(const std::string& bindAddress, int port);
    void Stop();

    // The answer to one request, without any HTTP: path as "/ws/wsMain.asp", the query's
    // values already decoded.
    WebAnswer Answer(const std::string& path, const std::multimap<std::string, std::string>& query,
                     const std::string& workstation) const;

  private:
    WebAnswer Page(const std::string& path, const std::multimap<std::string, std::string>& query,
                   const std::string& workstation) const;

    CafeServer& m_server;
    Journal& m_journal;
    PageDriver* m_driver = nullptr;
    std::unique_ptr<httplib::Server> m_http;
    std::thread m_thread;
};

}  // namespace ko
