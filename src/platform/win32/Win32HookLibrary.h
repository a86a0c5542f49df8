#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <utility>

#include "platform/HookLibrary.h"
#include "platform/win32/Win32Handles.h"

namespace ko {

// hook.dll, loaded by its full path from the program's folder at the first call (never from the
// search path, where another "hook.dll" could be found first). The shell and window-creation hooks
// post their notices to a hidden window of this adapter, created on the thread that constructs it
// (the loop's thread); from there they go to the notice handler one at a time, also when a
// handler lets pending messages run.
//
// A call whose library or function is missing answers false; the file is looked for again at the
// next call, so a library put back later is found.
class Win32HookLibrary : public HookLibrary {
  public:
    explicit Win32HookLibrary(std::string libraryPath);
    ~Win32HookLibrary() override;

    Win32HookLibrary(const Win32HookLibrary&) = delete;
    Win32HookLibrary& operator=(const Win32HookLibrary&) = delete;

    void SetNoticeHandler(NoticeHandler handler) override;

    bool SetKeyboardHook() override;
    bool UnsetKeyboardHook() override;
    bool SetSaverHook() override;
    bool UnsetSaverHook() override;
    bool SetShellHook() override;
    bool UnsetShellHook() override;
    bool SetCBTHook() override;
    bool UnsetCBTHook() override;
    bool GoOnline() override;

    // The window the notices are posted to (for tests).
    HWND NoticeWindow() const { return m_window.Get(); }

  private:
    using NoArgument = BOOL(WINAPI*)();
    using ThreadArgument = BOOL(WINAPI*)(DWORD);
    using WindowArgument = BOOL(WINAPI*)(HWND);

    struct Functions {
        ThreadArgument setKeyboardHook = nullptr;
        NoArgument unsetKeyboardHook = nullptr;
        NoArgument setSaverHook = nullptr;
        NoArgument unsetSaverHook = nullptr;
        WindowArgument setShellHook = nullptr;
        NoArgument unsetShellHook = nullptr;
        WindowArgument setCbtHook = nullptr;
        NoArgument unsetCbtHook = nullptr;
        NoArgument goOnline = nullptr;
    };

    bool Load();
    bool Call(const char* name, NoArgument function);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnNotice(UINT message, WPARAM wParam);

    std::string m_path;
    UniqueModule m_module;
    Functions m_functions;
    UniqueWindow m_window;
    NoticeHandler m_handler;
    // Notices wait here while the handler runs, so it is never entered twice.
    std::deque<std::pair<HookNotice, WindowId>> m_pending;
    bool m_delivering = false;
    bool m_keyboardSet = false;
    bool m_saverSet = false;
    bool m_shellSet = false;
    bool m_cbtSet = false;
};

}  // namespace ko
