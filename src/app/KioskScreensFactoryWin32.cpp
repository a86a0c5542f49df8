#include "app/KioskScreensFactory.h"

namespace ko {

// The user32 and WebBrowser adapter is not wired yet: the agent runs without screens.
std::unique_ptr<KioskScreensSource> MakeKioskScreensSource(EventLoop&) {
    return std::make_unique<NoKioskScreens>();
}

}  // namespace ko
