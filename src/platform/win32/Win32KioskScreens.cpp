#include "platform/win32/Win32KioskScreens.h"

#include <ole2.h>

#include "platform/win32/Win32BrowserWindow.h"
#include "platform/win32/Win32Frame.h"
#include "platform/win32/Win32NetConfigDialog.h"
#include "shared/Logger.h"

namespace ko {

Win32KioskScreens::~Win32KioskScreens() {
    m_desktop.reset();
    if (m_oleStarted) {
        OleUninitialize();
    }
}

KioskScreensSource::Availability Win32KioskScreens::Open() {
    if (m_desktop) {
        return Availability::Ready;
    }
    // In-place activation of the control needs OLE (not only COM) on this thread.
    if (!m_oleStarted) {
        HRESULT result = OleInitialize(nullptr);
        if (FAILED(result)) {
            Logger::Error("Win32KioskScreens: OLE did not start; no kiosk screens");
            return Availability::Unsupported;
        }
        m_oleStarted = true;
    }
    m_desktop = std::make_unique<Win32Desktop>(m_loop);
    return Availability::Ready;
}

std::unique_ptr<BrowserWindow> Win32KioskScreens::CreateBrowserWindow(const BrowserWindowSpec& spec,
                                                                      BrowserWindowEvents& events) {
    auto window = std::make_unique<Win32BrowserWindow>(m_loop, spec, events);
    if (!window->Created()) {
        return nullptr;
    }
    return window;
}

std::unique_ptr<NetConfigDialog> Win32KioskScreens::CreateNetConfigDialog(NetConfigEvents& events) {
    auto dialog = std::make_unique<Win32NetConfigDialog>(m_loop, events);
    if (!dialog->Created()) {
        return nullptr;
    }
    m_netConfigWindow = dialog->Handle();
    return dialog;
}

void Win32KioskScreens::ShowMessageBox(const std::string& text, const std::string& caption) {
    // Task-modal without an owner: every window of the thread takes no input while it shows.
    // Its own message loop dispatches the program's posted tasks, timers and socket notices,
    // and it ends on the loop's quit message (which it leaves in the queue for the loop).
    MessageBoxA(nullptr, text.c_str(), caption.c_str(),
                MB_OK | MB_TASKMODAL | MB_TOPMOST | MB_SETFOREGROUND);
}

std::string Win32KioskScreens::FormOfWindow(std::uint64_t handle) const {
    HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
    std::string form = Win32Frame::FormOf(window);
    // The network dialog is a system dialog of its own class; its handle is ours while it
    // lives in this process.
    DWORD process = 0;
    if (form.empty() && window != nullptr && window == m_netConfigWindow && IsWindow(window) &&
        GetWindowThreadProcessId(window, &process) != 0 && process == GetCurrentProcessId()) {
        form = "frmNetConfig";
    }
    return form;
}

}  // namespace ko
