#include "platform/win32/WinsockSession.h"

#include <winsock2.h>

namespace ko {

WinsockSession::WinsockSession() {
    WSADATA data;
    m_ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSession::~WinsockSession() {
    if (m_ok) {
        WSACleanup();
    }
}

}  // namespace ko
