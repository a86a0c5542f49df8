#include "agent/messages/frmTimeoutMessage.h"

#include "agent/core/AgentGlobals.h"
#include "agent/core/PageAddress.h"
#include "agent/kiosk/WindowPlacement.h"
#include "platform/KioskScreens.h"
#include "platform/SoundPlayer.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

frmTimeoutMessage::frmTimeoutMessage(EventLoop& loop, AgentGlobals& globals, SoundPlayer& sound,
                                     std::function<KioskScreens*()> screens,
                                     std::function<std::int32_t()> mainWidth)
    : m_loop(loop),
      m_globals(globals),
      m_sound(sound),
      m_screens(std::move(screens)),
      m_mainWidth(std::move(mainWidth)),
      m_msgTmr(loop, [this] { OnTick(); }) {}

frmTimeoutMessage::~frmTimeoutMessage() = default;

frmTimeoutMessage::Screen frmTimeoutMessage::CurrentScreen() const {
    Screen screen;
    KioskScreens* screens = m_screens ? m_screens() : nullptr;
    if (screens == nullptr) {
        return screen;
    }
    const Desktop& desktop = screens->GetDesktop();
    const TwipsPerPixel twips = desktop.Twips();
    const PixelRect rect = desktop.Screen();
    screen.twipsX = twips.x;
    screen.twipsY = twips.y;
    screen.width = std::int64_t{rect.width} * twips.x;
    screen.height = std::int64_t{rect.height} * twips.y;
    return screen;
}

bool frmTimeoutMessage::Load() {
    if (m_window) {
        return true;
    }
    KioskScreens* screens = m_screens ? m_screens() : nullptr;
    if (screens == nullptr) {
        return false;
    }
    BrowserWindowSpec spec;
    spec.caption = "Timeout Message";
    spec.formName = "frmTimeoutMessage";
    // Never activated: the customer's window keeps the focus under it.
    spec.kind = WindowKind::Strip;
    spec.framed = false;
    spec.blockContextMenu = true;
    spec.cancelClickDefault = true;
    m_window = screens->CreateBrowserWindow(spec, *this);
    if (!m_window) {
        Logger::Debug("time-out strip: the window could not be created");
        return false;
    }
    const Screen screen = CurrentScreen();
    // As wide as the main window, flush with the screen's right edge, just below the screen.
    const std::int32_t mainWidth = m_mainWidth ? m_mainWidth() : 0;
    m_width = mainWidth > 0 ? std::int64_t{mainWidth} * screen.twipsX : screen.width;
    m_left = screen.width - m_width;
    m_top = screen.height;
    m_DirectionIsUp = true;
    const std::int64_t widthPx = WindowPlacement::ToPixels(m_width, screen.twipsX);
    const std::int64_t heightPx = WindowPlacement::ToPixels(kHeightTwips, screen.twipsY);
    if (widthPx >= 1 && heightPx >= 1) {
        m_window->Resize(static_cast<std::int32_t>(widthPx), static_cast<std::int32_t>(heightPx));
    }
    MoveToPosition();
    return true;
}

void frmTimeoutMessage::MoveToPosition() {
    if (!m_window) {
        return;
    }
    const Screen screen = CurrentScreen();
    m_window->Move(static_cast<std::int32_t>(WindowPlacement::ToPixels(m_left, screen.twipsX)),
                   static_cast<std::int32_t>(WindowPlacement::ToPixels(m_top, screen.twipsY)));
}

void frmTimeoutMessage::ShowMessage() {
    if (!Load()) {
        Logger::Info("time-out warning not shown: no display here, the strip is not supported");
        return;
    }
    m_DirectionIsUp = true;
    m_msgTmr.SetInterval(kStepMs);
    m_msgTmr.SetEnabled(true);
    m_window->Navigate(ServerPageAddress(m_globals, "/ws/wsTimeoutMessage.asp?msgID=502"));
    // Shown and raised above the customer's windows, the customer's window keeping the focus.
    m_window->Show(false);
    m_window->SetTopmost(true);
}

void frmTimeoutMessage::OnTick() {
    if (!m_window) {
        m_msgTmr.SetEnabled(false);
        return;
    }
    // Every tick starts with the step interval, so a hold set by the previous tick lasts for
    // that one tick.
    m_msgTmr.SetInterval(kStepMs);
    const Screen screen = CurrentScreen();
    if (m_DirectionIsUp) {
        m_top -= kStepTwips;
        MoveToPosition();
        if (screen.height - (kHeightTwips - 10) >= m_top) {
            // Arrived: the whole hold, however long; a hold of 0 or less would never end.
            std::int64_t hold = m_globals.options.TimeoutMessageSeconds;
            if (hold <= 0) {
                hold = kDefaultHoldSeconds;
            }
            m_msgTmr.SetInterval(hold * 1000);
            m_DirectionIsUp = false;
        }
    } else {
        m_top += kStepTwips;
        MoveToPosition();
        if (m_top >= screen.height + 10) {
            HideStrip();
        }
    }
}

void frmTimeoutMessage::HideStrip() {
    m_msgTmr.SetEnabled(false);
    if (m_window) {
        m_window->Hide();
    }
}

void frmTimeoutMessage::OnClick(const ClickInfo&) {
    // Any click on the strip puts it away at once; the page's own handling is cancelled.
    Guarded("time-out strip click", [this] { HideStrip(); });
}

void frmTimeoutMessage::Unload() {
    m_msgTmr.SetEnabled(false);
    m_window.reset();
}

void frmTimeoutMessage::PlayTimeoutSound() {
    // The full path: a bare name would be searched in the service's current folder (the system
    // folder) and the path, find nothing, and play the default beep.
    const std::string& folder = m_globals.ProgramFolder;
    const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    m_sound.Play(folder + separator + kSoundFile);
}

}  // namespace ko
