#include "platform/win32/Win32HookLibrary.h"

#include "hook/HookNotices.h"
#include "platform/win32/Win32WindowId.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr char kWindowClass[] = "OstrelHookNotices";

static_assert(static_cast<UINT>(HookNotice::WindowCreated) == hook::kNoticeWindowCreated);
static_assert(static_cast<UINT>(HookNotice::WindowActivated) == hook::kNoticeWindowActivated);
static_assert(static_cast<UINT>(HookNotice::WindowDestroyed) == hook::kNoticeWindowDestroyed);

// On Vista and later a program of lower integrity may not post to the agent's windows unless the
// window lets the message through; XP has neither the barrier nor the calls.
void LetNoticesThrough(HWND window) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    auto filterEx = reinterpret_cast<FilterEx>(
        reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
    auto filter = reinterpret_cast<Filter>(
        reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW and MSGFLT_ADD
    for (UINT notice :
         {hook::kNoticeWindowCreated, hook::kNoticeWindowActivated, hook::kNoticeWindowDestroyed}) {
        if (filterEx != nullptr) {
            filterEx(window, notice, kAllow, nullptr);
        } else if (filter != nullptr) {
            filter(notice, kAllow);
        }
    }
}

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

Win32HookLibrary::Win32HookLibrary(std::string libraryPath) : m_path(std::move(libraryPath)) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);  // fails harmlessly when a second adapter registered it
    m_window.Reset(CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   instance, nullptr));
    if (m_window) {
        SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        LetNoticesThrough(m_window.Get());
    } else {
        Logger::Error("hook library: the notice window could not be created");
    }
}

Win32HookLibrary::~Win32HookLibrary() {
    // Hooks die with the thread that set them; a library unloaded under a live hook would not.
    if (m_keyboardSet) {
        UnsetKeyboardHook();
    }
    if (m_saverSet) {
        UnsetSaverHook();
    }
    if (m_cbtSet) {
        UnsetCBTHook();
    }
    if (m_shellSet) {
        UnsetShellHook();
    }
    if (m_window) {
        SetWindowLongPtrA(m_window.Get(), GWLP_USERDATA, 0);
    }
}

bool Win32HookLibrary::Load() {
    if (m_module) {
        return true;
    }
    // Only the given file: an altered search path keeps the library's own dependencies to the
    // system's folders and its folder.
    m_module.Reset(LoadLibraryExA(m_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!m_module) {
        Logger::Error("hook library: cannot load " + m_path + " (error " +
                      std::to_string(GetLastError()) + ")");
        return false;
    }
    HMODULE module = m_module.Get();
    m_functions.setKeyboardHook = Resolve<ThreadArgument>(module, "SetKeyboardHook");
    m_functions.unsetKeyboardHook = Resolve<NoArgument>(module, "UnsetKeyboardHook");
    m_functions.setSaverHook = Resolve<NoArgument>(module, "SetSaverHook");
    m_functions.unsetSaverHook = Resolve<NoArgument>(module, "UnsetSaverHook");
    m_functions.setShellHook = Resolve<WindowArgument>(module, "SetShellHook");
    m_functions.unsetShellHook = Resolve<NoArgument>(module, "UnsetShellHook");
    m_functions.setCbtHook = Resolve<WindowArgument>(module, "SetCBTHook");
    m_functions.unsetCbtHook = Resolve<NoArgument>(module, "UnsetCBTHook");
    m_functions.goOnline = Resolve<NoArgument>(module, "goOnline");
    return true;
}

bool Win32HookLibrary::Call(const char* name, NoArgument function) {
    if (function == nullptr) {
        Logger::Error(std::string("hook library: ") + name + " is missing in " + m_path);
        return false;
    }
    function();
    return true;
}

void Win32HookLibrary::SetNoticeHandler(NoticeHandler handler) {
    m_handler = std::move(handler);
}

bool Win32HookLibrary::SetKeyboardHook() {
    if (!Load() || m_functions.setKeyboardHook == nullptr) {
        return Call("SetKeyboardHook", nullptr);
    }
    // The low-level keyboard hook runs on this thread, which is the loop's.
    m_functions.setKeyboardHook(GetCurrentThreadId());
    m_keyboardSet = true;
    return true;
}

bool Win32HookLibrary::UnsetKeyboardHook() {
    m_keyboardSet = false;
    return Load() && Call("UnsetKeyboardHook", m_functions.unsetKeyboardHook);
}

bool Win32HookLibrary::SetSaverHook() {
    m_saverSet = Load() && Call("SetSaverHook", m_functions.setSaverHook);
    return m_saverSet;
}

bool Win32HookLibrary::UnsetSaverHook() {
    m_saverSet = false;
    return Load() && Call("UnsetSaverHook", m_functions.unsetSaverHook);
}

bool Win32HookLibrary::SetShellHook() {
    if (!Load() || m_functions.setShellHook == nullptr) {
        return Call("SetShellHook", nullptr);
    }
    m_functions.setShellHook(m_window.Get());
    m_shellSet = true;
    return true;
}

bool Win32HookLibrary::UnsetShellHook() {
    m_shellSet = false;
    return Load() && Call("UnsetShellHook", m_functions.unsetShellHook);
}

bool Win32HookLibrary::SetCBTHook() {
    if (!Load() || m_functions.setCbtHook == nullptr) {
        return Call("SetCBTHook", nullptr);
    }
    m_functions.setCbtHook(m_window.Get());
    m_cbtSet = true;
    return true;
}

bool Win32HookLibrary::UnsetCBTHook() {
    m_cbtSet = false;
    return Load() && Call("UnsetCBTHook", m_functions.unsetCbtHook);
}

bool Win32HookLibrary::GoOnline() {
    return Load() && Call("goOnline", m_functions.goOnline);
}

LRESULT CALLBACK Win32HookLibrary::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == hook::kNoticeWindowCreated || message == hook::kNoticeWindowActivated ||
        message == hook::kNoticeWindowDestroyed) {
        auto* self = reinterpret_cast<Win32HookLibrary*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr) {
            Guarded("hook notice", [&] { self->OnNotice(message, wParam); });
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Win32HookLibrary::OnNotice(UINT message, WPARAM wParam) {
    WindowId window = ToWindowId(reinterpret_cast<HWND>(wParam));
    if (window == 0 || !m_handler) {
        return;
    }
    m_pending.emplace_back(static_cast<HookNotice>(message), window);
    if (m_delivering) {
        return;
    }
    m_delivering = true;
    while (!m_pending.empty() && m_handler) {
        auto [notice, target] = m_pending.front();
        m_pending.pop_front();
        // A copy: the handler may replace itself.
        NoticeHandler handler = m_handler;
        Guarded("hook notice handler", [&] { handler(notice, target); });
    }
    m_pending.clear();
    m_delivering = false;
}

}  // namespace ko
