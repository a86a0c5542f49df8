#include "platform/win32/Win32ErrorText.h"

#include <windows.h>

namespace ko {

std::string Win32ErrorText(unsigned long code) {
    char buffer[512] = {};
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       buffer, static_cast<DWORD>(sizeof(buffer)), nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        text = "Error " + std::to_string(code);
    }
    return text;
}

}  // namespace ko
