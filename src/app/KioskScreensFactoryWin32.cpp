#include "app/KioskScreensFactory.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32KioskScreens.h"

namespace ko {

// The agent's loop on Windows is always the message loop of its one thread.
std::unique_ptr<KioskScreensSource> MakeKioskScreensSource(EventLoop& loop) {
    return std::make_unique<Win32KioskScreens>(static_cast<Win32EventLoop&>(loop));
}

}  // namespace ko
