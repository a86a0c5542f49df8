#include "platform/win32/Win32DesktopWindows.h"

#include <windows.h>

#include <tlhelp32.h>

#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32WindowId.h"
#include "shared/AsciiCase.h"
#include "shared/Logger.h"

namespace ko {

namespace {

// The longest class name the agent reads.
constexpr int kClassNameLength = 200;

bool IsVistaOrLater() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExA(&version) && version.dwMajorVersion >= 6;
}

struct TopLevelWalk {
    DWORD self;
    std::vector<WindowId> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context) {
    auto* walk = reinterpret_cast<TopLevelWalk*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != walk->self) {
        walk->windows.push_back(ToWindowId(window));
    }
    return TRUE;
}

}  // namespace

bool Win32DesktopWindows::Available() {
    return GetDesktopWindow() != nullptr;
}

bool Win32DesktopWindows::Exists(WindowId window) {
    return window != 0 && IsWindow(ToHwnd(window)) != FALSE;
}

std::optional<std::string> Win32DesktopWindows::ClassName(WindowId window) {
    char name[kClassNameLength + 1];
    int length = GetClassNameA(ToHwnd(window), name, sizeof(name));
    if (length <= 0) {
        return std::nullopt;
    }
    return std::string(name, static_cast<std::size_t>(length));
}

std::optional<std::string> Win32DesktopWindows::Title(WindowId window) {
    HWND hwnd = ToHwnd(window);
    if (!Exists(window)) {
        return std::nullopt;
    }
    int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) {
        return std::string();
    }
    std::string title(static_cast<std::size_t>(length) + 1, '\0');
    int read = GetWindowTextA(hwnd, title.data(), length + 1);
    title.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
    return title;
}

std::optional<ProcessId> Win32DesktopWindows::ProcessOf(WindowId window) {
    DWORD process = 0;
    if (GetWindowThreadProcessId(ToHwnd(window), &process) == 0 || process == 0) {
        return std::nullopt;
    }
    return process;
}

ActionResult Win32DesktopWindows::Show(WindowId window) {
    if (!Exists(window)) {
        return ActionResult::Failed;
    }
    return ShowWindowAsync(ToHwnd(window), SW_SHOW) ? ActionResult::Done : ActionResult::Failed;
}

ActionResult Win32DesktopWindows::Hide(WindowId window) {
    if (!Exists(window)) {
        return ActionResult::Failed;
    }
    return ShowWindowAsync(ToHwnd(window), SW_HIDE) ? ActionResult::Done : ActionResult::Failed;
}

ActionResult Win32DesktopWindows::RequestClose(WindowId window) {
    if (!Exists(window)) {
        return ActionResult::Failed;
    }
    if (DryRunRequested()) {
        Logger::Info("dry run: would close window " + std::to_string(window));
        return ActionResult::DryRun;
    }
    return PostMessageA(ToHwnd(window), WM_CLOSE, 0, 0) ? ActionResult::Done : ActionResult::Failed;
}

std::vector<WindowId> Win32DesktopWindows::TopLevelWindows() {
    TopLevelWalk walk{GetCurrentProcessId(), {}};
    // The system enumerates the top-level windows in z-order, topmost first.
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&walk));
    return walk.windows;
}

ActionResult Win32DesktopWindows::CloseStartButton() {
    // From Vista on the Start button is no child of the taskbar any more (and from 8 on there is
    // none to close).
    if (IsVistaOrLater()) {
        return ActionResult::NotSupported;
    }
    HWND tray = FindWindowA("Shell_TrayWnd", "");
    HWND button = tray != nullptr ? FindWindowExA(tray, nullptr, "Button", nullptr) : nullptr;
    if (button == nullptr) {
        return ActionResult::Failed;
    }
    if (DryRunRequested()) {
        Logger::Info("dry run: would close the Start button");
        return ActionResult::DryRun;
    }
    // A shell that hangs must not hang the agent.
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(button, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer)
               ? ActionResult::Done
               : ActionResult::Failed;
}

std::vector<ProcessId> Win32DesktopWindows::DesktopProcesses() {
    std::vector<ProcessId> processes;
    DWORD owner = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &owner);
    if (owner != 0) {
        processes.push_back(owner);
    }
    // The desktop window manager of Vista and later draws every window.
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot) {
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32First(snapshot.Get(), &entry); more;
             more = Process32Next(snapshot.Get(), &entry)) {
            if (EqualsIgnoringAsciiCase(FileNamePart(entry.szExeFile), "dwm.exe")) {
                processes.push_back(entry.th32ProcessID);
            }
        }
    }
    return processes;
}

}  // namespace ko
