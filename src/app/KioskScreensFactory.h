#pragma once

#include <memory>

#include "platform/KioskScreens.h"

namespace ko {

class EventLoop;

// The screens source of the platform this program is built for; each platform's adapter provides
// the definition (KioskScreensFactoryLinux.cpp, KioskScreensFactoryWin32.cpp). The loop is the
// program's own (a LinuxEventLoop or Win32EventLoop) and outlives the source.
std::unique_ptr<KioskScreensSource> MakeKioskScreensSource(EventLoop& loop);

// A source for programs without screens: the kiosk reports itself not supported.
class NoKioskScreens : public KioskScreensSource {
  public:
    Availability Open() override { return Availability::Unsupported; }
    KioskScreens* Screens() override { return nullptr; }
};

}  // namespace ko
