#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "agent/messages/AdProfile.h"
#include "agent/messages/Advertising.h"
#include "platform/BrowserWindow.h"
#include "shared/LongTimer.h"

namespace ko {

class EventLoop;
class KioskScreens;
class wsClient;
struct AgentGlobals;

// The idle advertising of a free workstation. After `StartAdAfter` seconds without a key or a
// mouse move on the kiosk, the advertising window (`frmAdvertisement`) covers the screen and
// shows the profile's advertisements in order, each for its own seconds. A key or a click ends
// it, and the idle count starts again.
//
// A profile without an advertisement that shows (none, or all of 0 seconds or less) means no
// advertising at all. Hidden, the window loads nothing: its rotation stops and its page is blank.
class Advertisements : public Advertising, private BrowserWindowEvents {
  public:
    static constexpr const char* kCaption = "Advertisement";

    // screens answers the kiosk's screens or null; client the workstation object (null before
    // the start routine creates it), whose fields carry the profile and whose state says whether
    // a customer works.
    Advertisements(EventLoop& loop, AgentGlobals& globals, std::function<KioskScreens*()> screens,
                   std::function<wsClient*()> client);
    ~Advertisements() override;
    Advertisements(const Advertisements&) = delete;
    Advertisements& operator=(const Advertisements&) = delete;

    // Advertising
    void DeactivateAdvertisements() override;
    void ResetAdTimers() override;
    void SaveAdProfile() override;
    void StartAdTimer() override;
    void Unload() override;

    const AdProfile& Profile() const { return m_profile; }
    // The advertisement shown now, 1-based; 0 none.
    std::size_t CurrentIndex() const { return m_index; }
    bool Showing() const { return m_frmAdvertisement && m_frmAdvertisement->IsVisible(); }
    BrowserWindow* Window() const { return m_frmAdvertisement.get(); }
    const LongTimer& tmrAdvertisement() const { return m_tmrAdvertisement; }
    const LongTimer& tmrAdDuration() const { return m_tmrAdDuration; }

  private:
    void OnIdleTick();
    void OnRotationTick();
    bool EnsureWindow();
    void ShowAds();
    void HideAds();
    void Dismiss();

    void OnNavigating(const std::string& url) override;
    void OnDocumentComplete(const DocumentInfo& document) override;
    void OnClick(const ClickInfo& click) override;
    void OnKeyDown(const KeyInfo& key) override;

    EventLoop& m_loop;
    AgentGlobals& m_globals;
    std::function<KioskScreens*()> m_screens;
    std::function<wsClient*()> m_client;
    AdProfile m_profile;
    LongTimer m_tmrAdvertisement;
    LongTimer m_tmrAdDuration;
    std::unique_ptr<BrowserWindow> m_frmAdvertisement;
    std::size_t m_index = 0;
    bool m_pageLoaded = false;
    bool m_unsupportedLogged = false;
};

}  // namespace ko
