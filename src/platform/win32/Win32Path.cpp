#include "platform/win32/Win32Path.h"

#include <windows.h>

#include <vector>

namespace ko {

std::string ModuleFilePath() {
    // The result is cut without notice when the buffer is too small; grow it until it fits.
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::string();
        }
        if (length < buffer.size() - 1 || buffer.size() >= 32768) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace ko
