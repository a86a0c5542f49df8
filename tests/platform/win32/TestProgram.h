#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/EventLoop.h"
#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Path.h"

namespace ko {

// ko_test_window.exe beside the tests, started with the given arguments and ended with the test.
class TestProgram {
  public:
    explicit TestProgram(const std::string& arguments) {
        std::string path = ModuleFilePath();
        path = path.substr(0, path.find_last_of('\\') + 1) + "ko_test_window.exe";
        std::string command = "\"" + path + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &started)) {
            m_process.Reset(started.hProcess);
            CloseHandle(started.hThread);
            m_id = started.dwProcessId;
        }
    }
    ~TestProgram() {
        if (m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.Get(), 99);
            WaitForSingleObject(m_process.Get(), 5000);
        }
    }
    TestProgram(const TestProgram&) = delete;
    TestProgram& operator=(const TestProgram&) = delete;

    bool Started() const { return m_process.Valid(); }
    DWORD Id() const { return m_id; }
    bool Running() const { return WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }
    // The exit code once ended; STILL_ACTIVE while it runs.
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.Get(), &code);
        return code;
    }
    bool WaitForEnd(DWORD ms) const {
        return WaitForSingleObject(m_process.Get(), ms) == WAIT_OBJECT_0;
    }

  private:
    UniqueHandle m_process;
    DWORD m_id = 0;
};

// The SID text of the account the tests run as.
inline std::string OwnSid() {
    UniqueHandle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put());
    return TokenUserSid(token.Get()).value_or("?");
}

// Runs the loop until done() (asked every 20 ms and after every event) or until limitMs passed.
inline bool RunPolling(EventLoop& loop, std::int64_t limitMs, const std::function<bool()>& done) {
    const std::int64_t end = loop.NowMs() + limitMs;
    EventLoop::TimerId tick = loop.AddTimer([] {});
    loop.SetTimerInterval(tick, 20);
    loop.RunUntil([&] { return done() || loop.NowMs() >= end; });
    loop.RemoveTimer(tick);
    return done();
}

// The top-level window of a process with the given title, or nullptr.
inline HWND FindProgramWindow(DWORD process, const std::string& title) {
    struct Search {
        DWORD process;
        const std::string* title;
        HWND found;
    } search{process, &title, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* search = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char text[256] = {};
            GetWindowTextA(window, text, sizeof(text));
            if (owner == search->process && *search->title == text) {
                search->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace ko
