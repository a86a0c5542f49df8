// hook.dll: the system-wide hooks of the workstation agent.
//
// The agent loads the library by full path and calls nine functions, all with plain arguments and
// results it does not examine:
//   SetKeyboardHook(thread) / UnsetKeyboardHook()  keyboard escapes out of the kiosk swallowed
//   SetSaverHook() / UnsetSaverHook()              the screen saver refused
//   SetShellHook(window) / UnsetShellHook()        window created (1027) and destroyed (1032)
//   SetCBTHook(window) / UnsetCBTHook()            window activated (1029)
//   goOnline()                                     records that the library is back online
//
// The shell and window-creation hooks run inside every process of the desktop, so what they need
// (the window to post to and the hook handles) lives in a section that every copy of the library
// shares. The keyboard hook is a low-level one: the system calls it on the agent's own thread,
// which therefore must keep its loop running while the workstation is locked.
//
// Each notice comes from one hook only, so the agent never sees the same event twice: creation and
// destruction from the shell hook (which announces exactly the unowned top-level windows that are
// shown), activation from the window-creation hook (the shell hook's activation event does not
// reach every desktop, and the window-creation hook reports activation reliably). An activation
// without a window, which the system reports while the active window is destroyed, is not posted.

#include <windows.h>

#include "hook/HookNotices.h"

namespace {

// Shared by every process that has the library mapped. Initialised, or the compiler would put
// them into .bss, which is not shared.
#define KO_SHARED __attribute__((section(".shr"), shared))

HWND volatile g_shellTarget KO_SHARED = nullptr;
HWND volatile g_cbtTarget KO_SHARED = nullptr;
HHOOK volatile g_shellHook KO_SHARED = nullptr;
HHOOK volatile g_cbtHook KO_SHARED = nullptr;
HHOOK volatile g_keyboardHook KO_SHARED = nullptr;
HHOOK volatile g_saverHook KO_SHARED = nullptr;
DWORD volatile g_keyboardThread KO_SHARED = 0;
LONG volatile g_online KO_SHARED = 1;

// This process's mapping of the library; every hook is installed with it.
HINSTANCE g_instance = nullptr;

void Post(HWND target, UINT notice, HWND window) {
    if (target != nullptr && window != nullptr) {
        PostMessageA(target, notice, reinterpret_cast<WPARAM>(window), 0);
    }
}

bool KeyDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

// The keys that would take a customer out of the kiosk: the Windows keys (Start menu and their
// shortcuts), Alt+Tab and Alt+Esc (task switching) and Ctrl+Esc (Start menu; with Shift it opens
// Task Manager). Both the press and the release are swallowed so no program sees half a key.
bool IsEscapeKey(const KBDLLHOOKSTRUCT& key) {
    // Injected input may come without the Alt flag; the key state tells as well.
    bool alt = (key.flags & LLKHF_ALTDOWN) != 0 || KeyDown(VK_MENU);
    switch (key.vkCode) {
        case VK_LWIN:
        case VK_RWIN:
            return true;
        case VK_TAB:
            return alt;
        case VK_ESCAPE:
            return alt || KeyDown(VK_CONTROL);
        default:
            return false;
    }
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && IsEscapeKey(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam))) {
        return 1;
    }
    return CallNextHookEx(g_keyboardHook, code, wParam, lParam);
}

// The system asks the foreground window to start the screen saver with a system command; a
// window-creation hook that answers non-zero to that command keeps the saver from starting.
LRESULT CALLBACK SaverProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_SYSCOMMAND && (wParam & 0xFFF0) == SC_SCREENSAVE) {
        return 1;
    }
    return CallNextHookEx(g_saverHook, code, wParam, lParam);
}

LRESULT CALLBACK ShellProc(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HSHELL_WINDOWCREATED && GetWindow(window, GW_OWNER) == nullptr) {
        Post(g_shellTarget, ko::hook::kNoticeWindowCreated, window);
    } else if (code == HSHELL_WINDOWDESTROYED) {
        Post(g_shellTarget, ko::hook::kNoticeWindowDestroyed, window);
    }
    return CallNextHookEx(g_shellHook, code, wParam, lParam);
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        Post(g_cbtTarget, ko::hook::kNoticeWindowActivated, reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(g_cbtHook, code, wParam, lParam);
}

// Removes the hook in slot (if any); a second Set replaces the first hook instead of leaking it.
BOOL Unhook(HHOOK volatile& slot) {
    HHOOK hook = static_cast<HHOOK>(InterlockedExchangePointer(
        const_cast<PVOID volatile*>(reinterpret_cast<PVOID volatile*>(&slot)), nullptr));
    return hook == nullptr || UnhookWindowsHookEx(hook);
}

BOOL Hook(HHOOK volatile& slot, int type, HOOKPROC proc) {
    Unhook(slot);
    HHOOK hook = SetWindowsHookExA(type, proc, g_instance, 0);
    InterlockedExchangePointer(
        const_cast<PVOID volatile*>(reinterpret_cast<PVOID volatile*>(&slot)), hook);
    return hook != nullptr;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

// Low-level keyboard hooks are always system-wide; the thread is recorded for the caller's sake.
BOOL WINAPI SetKeyboardHook(DWORD thread) {
    g_keyboardThread = thread;
    return Hook(g_keyboardHook, WH_KEYBOARD_LL, KeyboardProc);
}

BOOL WINAPI UnsetKeyboardHook() {
    g_keyboardThread = 0;
    return Unhook(g_keyboardHook);
}

BOOL WINAPI SetSaverHook() {
    return Hook(g_saverHook, WH_CBT, SaverProc);
}

BOOL WINAPI UnsetSaverHook() {
    return Unhook(g_saverHook);
}

BOOL WINAPI SetShellHook(HWND target) {
    g_shellTarget = target;
    return Hook(g_shellHook, WH_SHELL, ShellProc);
}

BOOL WINAPI UnsetShellHook() {
    BOOL ok = Unhook(g_shellHook);
    g_shellTarget = nullptr;
    return ok;
}

BOOL WINAPI SetCBTHook(HWND target) {
    g_cbtTarget = target;
    return Hook(g_cbtHook, WH_CBT, CbtProc);
}

BOOL WINAPI UnsetCBTHook() {
    BOOL ok = Unhook(g_cbtHook);
    g_cbtTarget = nullptr;
    return ok;
}

// The library keeps no off-line mode of its own; the agent calls this before it ends or the
// machine goes down, and the call only records that the library is on line.
BOOL WINAPI goOnline() {
    InterlockedExchange(const_cast<LONG*>(&g_online), 1);
    return TRUE;
}

}  // extern "C"
