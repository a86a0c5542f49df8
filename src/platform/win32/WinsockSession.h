#pragma once

namespace ko {

// Holds Winsock 2.2 open for as long as it lives (WSAStartup / WSACleanup).
class WinsockSession {
  public:
    WinsockSession();
    ~WinsockSession();

    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    bool Ok() const { return m_ok; }

  private:
    bool m_ok = false;
};

}  // namespace ko
