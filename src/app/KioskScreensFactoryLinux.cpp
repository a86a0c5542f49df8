#include "app/KioskScreensFactory.h"

namespace ko {

// The GTK adapter is not wired yet: the agent runs headless.
std::unique_ptr<KioskScreensSource> MakeKioskScreensSource(EventLoop&) {
    return std::make_unique<NoKioskScreens>();
}

}  // namespace ko
