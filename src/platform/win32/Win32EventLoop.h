#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/EventLoop.h"
#include "platform/win32/CriticalSection.h"
#include "platform/win32/TickCounter.h"
#include "platform/win32/Win32Handles.h"

namespace ko {

// The program's loop on the Windows message queue of the thread that constructs it. One hidden
// message-only window receives the timers, the posted tasks and the private messages that other
// adapters register (socket notices). Only Post may be called from another thread.
class Win32EventLoop : public EventLoop {
  public:
    // A handler for a private message of the loop's window; its result is the message's result.
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    // Sees each queued message before it is translated and dispatched; true consumes it. Windows
    // with keyboard needs of their own use it: dialog navigation, a hosted control's accelerators,
    // swallowed keys.
    using MessageFilter = std::function<bool(const MSG&)>;
    using FilterId = std::uint32_t;

    Win32EventLoop();
    ~Win32EventLoop() override;

    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    std::int64_t NowMs() const override;

    TimerId AddTimer(std::function<void()> onTick) override;
    bool SetTimerInterval(TimerId id, std::uint32_t intervalMs) override;
    void RemoveTimer(TimerId id) override;

    void Post(std::function<void()> task) override;

    void PumpPending() override;
    void RunUntil(const std::function<bool()>& done) override;
    int Run() override;
    void Quit(int exitCode) override;
    bool QuitRequested() const override { return m_quitRequested; }

    // The window that receives the loop's messages (the target of WSAAsyncSelect and the like).
    HWND NotifyWindow() const { return m_window.Get(); }
    // Reserves a private message number of the loop's window and routes it to handler.
    UINT RegisterHandler(MessageHandler handler);
    void UnregisterHandler(UINT message);
    FilterId AddMessageFilter(MessageFilter filter);
    void RemoveMessageFilter(FilterId id);

  private:
    struct Timer {
        std::function<void()> onTick;
        bool running = false;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer(TimerId id);
    // Handles one message taken from the queue; false when it was WM_QUIT.
    bool Deliver(const MSG& msg);
    bool Filtered(const MSG& msg);
    void RunNextTask();

    UniqueWindow m_window;
    // Posted tasks wait here; the window only gets a wake-up message per task, so a message that
    // another process posts to the window can never pass a pointer the loop would call.
    CriticalSection m_tasksLock;
    std::deque<std::function<void()>> m_tasks;
    mutable TickCounter m_ticks;
    std::map<TimerId, std::shared_ptr<Timer>> m_timers;
    TimerId m_nextTimerId = 1;
    std::map<UINT, MessageHandler> m_handlers;
    std::map<FilterId, MessageFilter> m_filters;
    FilterId m_nextFilterId = 1;
    UINT m_nextMessage;
    bool m_quitRequested = false;
    bool m_quitInQueue = false;
    int m_exitCode = 0;
};

}  // namespace ko
