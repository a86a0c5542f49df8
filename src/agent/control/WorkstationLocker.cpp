#include "agent/control/WorkstationLocker.h"

#include "agent/control/ControlContext.h"
#include "agent/control/KoApplications.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/wsClient.h"
#include "agent/kiosk/KioskWindow.h"
#include "agent/messages/Advertising.h"
#include "agent/messages/MessageWindow.h"
#include "platform/HookLibrary.h"
#include "shared/Logger.h"

namespace ko {

WorkstationLocker::WorkstationLocker(ControlContext& context, KoApplications& applications)
    : m_ctx(context), m_applications(applications) {}

void WorkstationLocker::MissingHookLibrary() {
    if (m_ctx.stopping) {
        return;  // the stop goes on without the library
    }
    Logger::Error("lock: the hook library or one of its functions is missing");
    m_ctx.messages.ShowForm("ShowMessage", kMissingLibraryText, "1003", "", 1);
    if (m_ctx.client != nullptr) {
        m_ctx.client->CloseClient();
    }
}

void WorkstationLocker::LockWorkstation() {
    if (m_ctx.workstationLocked) {
        return;
    }
    KioskWindow& kiosk = m_ctx.kiosk;
    kiosk.UnloadForms();
    m_ctx.workstationLocked = true;
    m_applications.HideAll();
    kiosk.SetMainTopmost(true);
    kiosk.ForceForeground();
    // On X11 the keys stay with the agent's windows (the grab follows its active dialog); on
    // Windows the keyboard hook below keeps the system keys in.
    kiosk.GrabKeyboard(true);
    const bool keyboard = m_ctx.hookLibrary.SetKeyboardHook();
    const bool saver = m_ctx.hookLibrary.SetSaverHook();
    if (!keyboard || !saver) {
        MissingHookLibrary();
    }
    m_ctx.workstationLocked = true;
    kiosk.PosForm();
    kiosk.SetWindowFocusTimer(false);
    const wsClient* client = m_ctx.client;
    if (client != nullptr && client->wsState != -1 && client->wsState != client->oldWsState) {
        m_ctx.advertising.ResetAdTimers();
    }
    m_ctx.workstationLocked = true;
}

void WorkstationLocker::UnlockWorkstation() {
    if (!m_ctx.workstationLocked) {
        return;
    }
    m_applications.ShowAll();
    m_ctx.kiosk.SetMainTopmost(m_ctx.globals.options.KeepOnTop != 0);
    const bool saver = m_ctx.hookLibrary.UnsetSaverHook();
    const bool keyboard = m_ctx.hookLibrary.UnsetKeyboardHook();
    if (!saver || !keyboard) {
        // Ending the program here would leave the customer account's logon values and
        // policies in place; the stop gives everything back first.
        MissingHookLibrary();
    }
    m_ctx.kiosk.GrabKeyboard(false);
    m_ctx.advertising.DeactivateAdvertisements();
    m_ctx.workstationLocked = false;
}

void WorkstationLocker::EnableCtrlAltDel(int state) {
    // On the NT family only the flag changes: while it is off, Task Manager windows are closed.
    m_ctx.ctrlAltDelEnabled = state != 0;
}

void WorkstationLocker::ResetLockFlags() {
    m_ctx.workstationLocked = false;
    m_ctx.ctrlAltDelEnabled = false;
}

}  // namespace ko
