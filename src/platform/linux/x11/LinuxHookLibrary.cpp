#include "platform/linux/x11/LinuxHookLibrary.h"

#include "platform/linux/x11/X11DesktopWindows.h"

namespace ko {

LinuxHookLibrary::~LinuxHookLibrary() {
    m_shell = false;
    m_cbt = false;
    UpdateSink();
}

void LinuxHookLibrary::SetNoticeHandler(NoticeHandler handler) {
    m_handler = std::move(handler);
    UpdateSink();
}

// The kiosk grabs the keyboard while it locks; nothing more is needed here.
bool LinuxHookLibrary::SetKeyboardHook() {
    return true;
}
bool LinuxHookLibrary::UnsetKeyboardHook() {
    return true;
}

bool LinuxHookLibrary::SetSaverHook() {
    if (m_desktop != nullptr) {
        m_desktop->SuspendScreenSaver(true);
    }
    return true;
}

bool LinuxHookLibrary::UnsetSaverHook() {
    if (m_desktop != nullptr) {
        m_desktop->SuspendScreenSaver(false);
    }
    return true;
}

bool LinuxHookLibrary::SetShellHook() {
    m_shell = true;
    UpdateSink();
    return true;
}

bool LinuxHookLibrary::UnsetShellHook() {
    m_shell = false;
    UpdateSink();
    return true;
}

bool LinuxHookLibrary::SetCBTHook() {
    m_cbt = true;
    UpdateSink();
    return true;
}

bool LinuxHookLibrary::UnsetCBTHook() {
    m_cbt = false;
    UpdateSink();
    return true;
}

// The notices flow while either hook is in place, as the two hooks together produce them.
void LinuxHookLibrary::UpdateSink() {
    if (m_desktop == nullptr) {
        return;
    }
    if ((m_shell || m_cbt) && m_handler) {
        m_desktop->SetNoticeSink(m_handler);
    } else {
        m_desktop->SetNoticeSink(nullptr);
    }
}

}  // namespace ko
