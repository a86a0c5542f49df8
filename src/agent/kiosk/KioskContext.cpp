#include "agent/kiosk/KioskContext.h"

#include "agent/core/PageAddress.h"
#include "agent/core/wsClient.h"
#include "agent/messages/Advertising.h"
#include "platform/KioskScreens.h"

namespace ko {

std::int32_t KioskContext::State() const {
    return client != nullptr ? client->wsState : -1;
}

void KioskContext::UserActivity() {
    const std::int32_t state = State();
    if (client != nullptr && state != 1 && state != -1) {
        advertising.ResetAdTimers();
    }
}

PlacementScreen KioskContext::Screen() const {
    PlacementScreen screen;
    if (screens != nullptr) {
        const Desktop& desktop = screens->GetDesktop();
        screen.workArea = desktop.WorkArea();
        screen.twips = desktop.Twips();
        screen.maxWindow = desktop.MaxWindowSize();
    }
    return screen;
}

std::string KioskContext::ServerPage(const std::string& pathAndQuery) const {
    return ServerPageAddress(globals, pathAndQuery);
}

}  // namespace ko
