// A small program the Windows adapter tests start, find, watch and end.
//   ko_test_window.exe [--class NAME] [--title TEXT] [--no-window] [--ignore-close]
//                      [--exit-after MS] [--exit-code N]
// It shows one top-level window (unless --no-window) and runs until the window is closed, the
// time is up or it is ended from outside. With --ignore-close it refuses WM_CLOSE, as a program
// that asks to save its work would.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool g_ignoreClose = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            if (g_ignoreClose) {
                return 0;
            }
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string className = "KoTestWindow";
    std::string title = "Ostrel test window";
    bool window = true;
    DWORD exitAfter = 60000;
    int exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--class" && hasValue) {
            className = argv[++i];
        } else if (arg == "--title" && hasValue) {
            title = argv[++i];
        } else if (arg == "--no-window") {
            window = false;
        } else if (arg == "--ignore-close") {
            g_ignoreClose = true;
        } else if (arg == "--exit-after" && hasValue) {
            exitAfter = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--exit-code" && hasValue) {
            exitCode = std::atoi(argv[++i]);
        }
    }
    if (!window) {
        Sleep(exitAfter);
        return exitCode;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className.c_str();
    RegisterClassA(&windowClass);
    HWND hwnd = CreateWindowExA(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 10, 10,
                                200, 120, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (hwnd == nullptr) {
        return 2;
    }
    ShowWindow(hwnd, SW_SHOW);
    SetTimer(hwnd, 1, exitAfter, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == hwnd) {
            return exitCode;
        }
        DispatchMessageA(&msg);
    }
    return exitCode;
}
