#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "agent/messages/TimeoutWarning.h"
#include "platform/BrowserWindow.h"
#include "shared/LongTimer.h"

namespace ko {

class EventLoop;
class KioskScreens;
class SoundPlayer;
struct AgentGlobals;

// `frmTimeoutMessage`: a strip with the server's time-out page that slides up from the bottom
// edge of the screen, holds for the seconds the server set, and slides down again, without ever
// taking the focus from the customer's work. Positions are kept in twips, as the steps are
// counted in them, and converted to pixels at each move.
class frmTimeoutMessage : public TimeoutWarning, private BrowserWindowEvents {
  public:
    static constexpr std::int32_t kHeightTwips = 1500;
    static constexpr std::int32_t kStepTwips = 50;
    static constexpr std::uint32_t kStepMs = 10;
    // A hold the server has not set (0 until its options arrive), or set to 0 or less.
    static constexpr std::int32_t kDefaultHoldSeconds = 9;
    static constexpr const char* kSoundFile = "TimeoutRemainder.wav";

    // screens answers the kiosk's screens or null; mainWidth the main window's width in pixels
    // (0 when it has none yet: the strip then spans the screen).
    frmTimeoutMessage(EventLoop& loop, AgentGlobals& globals, SoundPlayer& sound,
                      std::function<KioskScreens*()> screens,
                      std::function<std::int32_t()> mainWidth);
    ~frmTimeoutMessage() override;
    frmTimeoutMessage(const frmTimeoutMessage&) = delete;
    frmTimeoutMessage& operator=(const frmTimeoutMessage&) = delete;

    // TimeoutWarning
    void ShowTimeoutWindow() override { ShowMessage(); }
    void PlayTimeoutSound() override;
    void Unload() override;

    void ShowMessage();

    bool DirectionIsUp() const { return m_DirectionIsUp; }
    // The strip's top edge in twips (the screen's bottom edge is the screen height).
    std::int64_t TopTwips() const { return m_top; }
    BrowserWindow* Window() const { return m_window.get(); }
    const LongTimer& msgTmr() const { return m_msgTmr; }

  private:
    struct Screen {
        std::int64_t width = 0;   // twips
        std::int64_t height = 0;  // twips
        std::int32_t twipsX = 15;
        std::int32_t twipsY = 15;
    };

    bool Load();
    Screen CurrentScreen() const;
    void MoveToPosition();
    void OnTick();
    void HideStrip();

    void OnClick(const ClickInfo& click) override;

    EventLoop& m_loop;
    AgentGlobals& m_globals;
    SoundPlayer& m_sound;
    std::function<KioskScreens*()> m_screens;
    std::function<std::int32_t()> m_mainWidth;
    std::unique_ptr<BrowserWindow> m_window;
    LongTimer m_msgTmr;
    bool m_DirectionIsUp = true;
    std::int64_t m_left = 0;
    std::int64_t m_top = 0;
    std::int64_t m_width = 0;
};

}  // namespace ko
