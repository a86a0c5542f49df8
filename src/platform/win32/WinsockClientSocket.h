#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <string>

#include "platform/TcpClientSocket.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/WinsockSession.h"

namespace ko {

class Win32EventLoop;

// The server link's socket over Winsock: a non-blocking socket whose notices (WSAAsyncSelect)
// arrive as a private message of the loop's window.
class WinsockClientSocket : public TcpClientSocket {
  public:
    explicit WinsockClientSocket(Win32EventLoop& loop);
    ~WinsockClientSocket() override;

    WinsockClientSocket(const WinsockClientSocket&) = delete;
    WinsockClientSocket& operator=(const WinsockClientSocket&) = delete;

    void SetHandler(Handler* handler) override { m_handler = handler; }
    bool Connect(const std::string& host, std::uint16_t port) override;
    void Close() override;
    bool SendData(const std::string& bytes) override;
    std::string GetData() override;
    std::string LocalHostName() override;
    std::string LocalIP() override;

  private:
    LRESULT OnSocketMessage(WPARAM wParam, LPARAM lParam);
    void OnConnectResult(int error);
    void OnReadable();
    void OnWritable();
    void OnPeerClosed(int error);
    // Reads what the socket holds now into the buffer; false on a socket error (number in error).
    bool ReadAvailable(bool& gotData, int& error);
    // Hands queued bytes to send(); false on a socket error (number in error).
    bool Flush(int& error);
    // Closes the socket and drops notices of it that are still queued.
    void CloseSocket();
    void Fail(int error);

    Win32EventLoop& m_loop;
    WinsockSession m_session;
    UINT m_message = 0;
    UniqueSocket m_socket;
    Handler* m_handler = nullptr;
    bool m_connected = false;
    bool m_sendCompletePending = false;
    // Counts connections: Windows reuses socket numbers, so a handler that closed the link and
    // opened a new one is recognised by this, not by the number.
    std::uint32_t m_generation = 0;
    std::string m_received;
    std::string m_sendQueue;
};

}  // namespace ko
