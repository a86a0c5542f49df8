#include "platform/win32/Win32KioskScreens.h"

#include <ole2.h>

#include "platform/win32/Win32BrowserWindow.h"
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
    return dialog;
}

}  // namespace ko
