#include "platform/win32/Win32EventLoop.h"

#include <utility>
#include <vector>

#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr const char* kWindowClass = "OstrelLoopWindow";
// One of these per posted task wakes the loop to run the next queued task.
constexpr UINT kTaskMessage = WM_APP + 1;
// Private messages handed out by RegisterHandler.
constexpr UINT kFirstHandlerMessage = WM_APP + 0x100;
constexpr UINT kLastHandlerMessage = 0xBFFF;

bool RegisterWindowClassOnce(HINSTANCE instance) {
    WNDCLASSA existing = {};
    if (GetClassInfoA(instance, kWindowClass, &existing)) {
        return true;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

Win32EventLoop::Win32EventLoop() : m_nextMessage(kFirstHandlerMessage) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClassOnce(instance)) {
        Logger::Error("Win32EventLoop: window class not registered");
        return;
    }
    // The class's procedure is DefWindowProc, so creation needs no instance pointer; the loop's own
    // procedure is put in place once the window knows which loop it belongs to.
    m_window.Reset(CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   instance, nullptr));
    if (!m_window) {
        Logger::Error("Win32EventLoop: message window not created");
        return;
    }
    SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(m_window.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
}

Win32EventLoop::~Win32EventLoop() {
    if (m_window) {
        for (const auto& entry : m_timers) {
            KillTimer(m_window.Get(), entry.first);
        }
        // Wake-ups of tasks that will never run.
        MSG msg;
        while (PeekMessageA(&msg, m_window.Get(), kTaskMessage, kTaskMessage,
                            PM_REMOVE | PM_QS_POSTMESSAGE)) {
        }
        SetWindowLongPtrA(m_window.Get(), GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(&DefWindowProcA));
        m_window.Reset();
    }
    if (m_quitInQueue) {
        MSG msg;
        PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
}

std::int64_t Win32EventLoop::NowMs() const {
    return m_ticks.Extend(GetTickCount());
}

EventLoop::TimerId Win32EventLoop::AddTimer(std::function<void()> onTick) {
    TimerId id = m_nextTimerId++;
    auto timer = std::make_shared<Timer>();
    timer->onTick = std::move(onTick);
    m_timers.emplace(id, std::move(timer));
    return id;
}

bool Win32EventLoop::SetTimerInterval(TimerId id, std::uint32_t intervalMs) {
    if (intervalMs > kMaxTimerInterval || m_timers.count(id) == 0 || !m_window) {
        return false;
    }
    if (intervalMs == 0) {
        KillTimer(m_window.Get(), id);
        return true;
    }
    // SetTimer on an existing id replaces the timer, so the count starts again.
    return SetTimer(m_window.Get(), id, intervalMs, nullptr) != 0;
}

void Win32EventLoop::RemoveTimer(TimerId id) {
    if (m_timers.erase(id) != 0 && m_window) {
        KillTimer(m_window.Get(), id);
    }
}

void Win32EventLoop::Post(std::function<void()> task) {
    // Called from other threads too (the service control handler): touch only the task queue,
    // under its lock, and the window handle, which is fixed for the loop's life.
    {
        CriticalSection::Scope scope(m_tasksLock);
        m_tasks.push_back(std::move(task));
    }
    if (!m_window || !PostMessageA(m_window.Get(), kTaskMessage, 0, 0)) {
        // The task stays queued and runs at the next wake-up.
        Logger::Error("Win32EventLoop: task wake-up not posted");
    }
}

void Win32EventLoop::RunNextTask() {
    std::function<void()> task;
    {
        CriticalSection::Scope scope(m_tasksLock);
        if (m_tasks.empty()) {
            return;
        }
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
    }
    if (task) {
        Guarded("posted task", task);
    }
}

bool Win32EventLoop::Deliver(const MSG& msg) {
    if (msg.message == WM_QUIT) {
        m_quitInQueue = false;
        if (!m_quitRequested) {
            m_quitRequested = true;
            m_exitCode = static_cast<int>(msg.wParam);
        }
        return false;
    }
    // The loop's timers have no callback address; a timer message for its window that carries one
    // was posted by someone else, and dispatching it would call that address.
    if (msg.message == WM_TIMER && msg.lParam != 0 && msg.hwnd == m_window.Get()) {
        return true;
    }
    if (Filtered(msg)) {
        return true;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

bool Win32EventLoop::Filtered(const MSG& msg) {
    if (m_filters.empty()) {
        return false;
    }
    // A filter may remove itself or another one while it runs: look each one up again, and call
    // a copy.
    std::vector<FilterId> ids;
    ids.reserve(m_filters.size());
    for (const auto& entry : m_filters) {
        ids.push_back(entry.first);
    }
    for (FilterId id : ids) {
        auto found = m_filters.find(id);
        if (found == m_filters.end()) {
            continue;
        }
        MessageFilter filter = found->second;
        bool consumed = false;
        Guarded("message filter", [&] { consumed = filter(msg); });
        if (consumed) {
            return true;
        }
    }
    return false;
}

Win32EventLoop::FilterId Win32EventLoop::AddMessageFilter(MessageFilter filter) {
    FilterId id = m_nextFilterId++;
    m_filters.emplace(id, std::move(filter));
    return id;
}

void Win32EventLoop::RemoveMessageFilter(FilterId id) {
    m_filters.erase(id);
}

void Win32EventLoop::PumpPending() {
    MSG msg;
    while (!m_quitRequested && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!Deliver(msg)) {
            break;
        }
    }
}

void Win32EventLoop::RunUntil(const std::function<bool()>& done) {
    MSG msg;
    while (!m_quitRequested && !done()) {
        BOOL result = GetMessageA(&msg, nullptr, 0, 0);
        if (result == -1) {
            Logger::Error("Win32EventLoop: GetMessage failed");
            return;
        }
        if (!Deliver(msg)) {
            return;
        }
    }
}

int Win32EventLoop::Run() {
    RunUntil([] { return false; });
    return m_exitCode;
}

void Win32EventLoop::Quit(int exitCode) {
    if (m_quitRequested) {
        return;
    }
    m_quitRequested = true;
    m_exitCode = exitCode;
    // WM_QUIT also ends modal loops of the system (message boxes) that the program may be in.
    PostQuitMessage(exitCode);
    m_quitInQueue = true;
}

UINT Win32EventLoop::RegisterHandler(MessageHandler handler) {
    if (m_nextMessage > kLastHandlerMessage) {
        return 0;
    }
    UINT message = m_nextMessage++;
    m_handlers.emplace(message, std::move(handler));
    return message;
}

void Win32EventLoop::UnregisterHandler(UINT message) {
    m_handlers.erase(message);
}

LRESULT CALLBACK Win32EventLoop::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* loop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (loop == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return loop->HandleMessage(window, message, wParam, lParam);
}

LRESULT Win32EventLoop::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTaskMessage) {
        RunNextTask();
        return 0;
    }
    if (message == WM_TIMER) {
        OnTimer(static_cast<TimerId>(wParam));
        return 0;
    }
    auto found = m_handlers.find(message);
    if (found != m_handlers.end()) {
        // A copy, so that a handler may unregister itself while it runs.
        MessageHandler handler = found->second;
        LRESULT result = 0;
        Guarded("window message", [&] { result = handler(wParam, lParam); });
        return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Win32EventLoop::OnTimer(TimerId id) {
    // Every tick reads the clock, so the 32-bit tick count's wrap after 49.7 days is never missed.
    m_ticks.Extend(GetTickCount());
    auto found = m_timers.find(id);
    if (found == m_timers.end()) {
        return;
    }
    // Holding the entry keeps the callback alive even when it removes its own timer.
    std::shared_ptr<Timer> timer = found->second;
    if (timer->running || !timer->onTick) {
        return;
    }
    timer->running = true;
    Guarded("timer", [&] { timer->onTick(); });
    timer->running = false;
}

}  // namespace ko
