#include "agent/messages/Advertisements.h"

#include "agent/core/AgentGlobals.h"
#include "agent/core/wsClient.h"
#include "platform/KioskScreens.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

Advertisements::Advertisements(EventLoop& loop, AgentGlobals& globals,
                               std::function<KioskScreens*()> screens,
                               std::function<wsClient*()> client)
    : m_loop(loop),
      m_globals(globals),
      m_screens(std::move(screens)),
      m_client(std::move(client)),
      m_tmrAdvertisement(loop, [this] { OnIdleTick(); }),
      m_tmrAdDuration(loop, [this] { OnRotationTick(); }) {}

Advertisements::~Advertisements() = default;

void Advertisements::SaveAdProfile() {
    wsClient* client = m_client ? m_client() : nullptr;
    if (client == nullptr) {
        return;
    }
    m_profile =
        AdProfile::FromFields(client->MessageFields, client->MessageFieldCount, m_globals.regional);
    client->StartAdAfter = m_profile.StartAdAfter;
    if (!m_profile.Playable()) {
        // Nothing to show: no idle count, and a window that shows closes.
        Logger::Info("advertising off: the profile has no advertisement to show");
        m_tmrAdvertisement.SetEnabled(false);
        HideAds();
        return;
    }
    if (client->wsState != 1) {
        StartAdTimer();
    }
}

void Advertisements::StartAdTimer() {
    if (!m_profile.Playable() || m_profile.StartAdAfter <= 0) {
        m_tmrAdvertisement.SetEnabled(false);
        return;
    }
    // Setting the interval restarts the count from zero.
    m_tmrAdvertisement.SetInterval(std::int64_t{m_profile.StartAdAfter} * 1000);
    m_tmrAdvertisement.SetEnabled(true);
}

void Advertisements::ResetAdTimers() {
    m_tmrAdvertisement.SetEnabled(false);
    StartAdTimer();
}

void Advertisements::DeactivateAdvertisements() {
    m_tmrAdvertisement.SetEnabled(false);
    m_tmrAdvertisement.SetInterval(0);
    Unload();
}

void Advertisements::Unload() {
    m_tmrAdDuration.SetEnabled(false);
    m_tmrAdDuration.SetInterval(0);
    m_frmAdvertisement.reset();
    m_index = 0;
    m_pageLoaded = false;
}

void Advertisements::OnIdleTick() {
    // Advertising is for a free workstation: never over a customer's work or without a server,
    // whichever path left the count running into such a state.
    wsClient* client = m_client ? m_client() : nullptr;
    const bool free = client != nullptr && client->wsState != 1 && client->wsState != -1;
    if (!m_profile.Playable() || !free) {
        m_tmrAdvertisement.SetEnabled(false);
        return;
    }
    // A showing window goes on; the count goes on too.
    if (!Showing()) {
        ShowAds();
    }
}

bool Advertisements::EnsureWindow() {
    if (m_frmAdvertisement) {
        return true;
    }
    KioskScreens* screens = m_screens ? m_screens() : nullptr;
    if (screens == nullptr) {
        // Said once: the idle count ticks on, and shows them once a display answers.
        if (!m_unsupportedLogged) {
            m_unsupportedLogged = true;
            Logger::Info("advertisements not shown: no display here, advertising is not supported");
        }
        return false;
    }
    BrowserWindowSpec spec;
    spec.caption = kCaption;
    spec.formName = "frmAdvertisement";
    // Over the whole screen, holding the keyboard while it shows; no key or click reaches the
    // advertisement.
    spec.kind = WindowKind::Advertisement;
    spec.framed = false;
    spec.blockContextMenu = true;
    // A click ends advertising; it never follows a link of the advertisement.
    spec.cancelClickDefault = true;
    m_frmAdvertisement = screens->CreateBrowserWindow(spec, *this);
    if (!m_frmAdvertisement) {
        Logger::Debug("advertising: the window could not be created");
        return false;
    }
    return true;
}

void Advertisements::ShowAds() {
    if (!EnsureWindow()) {
        return;
    }
    // The window covers the screen by itself, and fits itself again when the display changes.
    m_frmAdvertisement->SetTopmost(true);
    m_frmAdvertisement->Show(true);
    // Each showing starts with the first advertisement, at once.
    m_index = 0;
    m_pageLoaded = false;
    OnRotationTick();
}

void Advertisements::OnRotationTick() {
    if (!Showing()) {
        m_tmrAdDuration.SetEnabled(false);
        return;
    }
    std::optional<std::size_t> next = m_profile.NextAfter(m_index);
    if (!next) {
        HideAds();
        return;
    }
    m_index = *next;
    const AdProfile::Advertisement& ad = m_profile.ads[m_index - 1];
    m_frmAdvertisement->Navigate(ad.address);
    m_tmrAdDuration.SetInterval(ad.durationMs);
    m_tmrAdDuration.SetEnabled(true);
}

void Advertisements::HideAds() {
    m_tmrAdDuration.SetEnabled(false);
    m_index = 0;
    if (!m_frmAdvertisement) {
        return;
    }
    if (m_frmAdvertisement->IsVisible()) {
        // A hidden advertisement neither loads nor plays on.
        m_frmAdvertisement->Blank();
        m_frmAdvertisement->Hide();
    }
}

void Advertisements::Dismiss() {
    if (!Showing()) {
        return;
    }
    HideAds();
    // The customer is here: the count starts again from zero rather than keeping its phase,
    // which could bring the advertisements back a moment later.
    if (m_tmrAdvertisement.Running()) {
        ResetAdTimers();
    }
}

void Advertisements::OnNavigating(const std::string&) {
    m_pageLoaded = false;
}

void Advertisements::OnDocumentComplete(const DocumentInfo&) {
    m_pageLoaded = true;
}

void Advertisements::OnClick(const ClickInfo&) {
    Guarded("advertisement click", [this] { Dismiss(); });
}

void Advertisements::OnKeyDown(const KeyInfo&) {
    Guarded("advertisement key", [this] { Dismiss(); });
}

}  // namespace ko
