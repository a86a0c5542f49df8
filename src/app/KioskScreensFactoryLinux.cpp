#include <memory>

#include "app/KioskScreensFactory.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxKioskScreensSource.h"
#include "platform/linux/LinuxSystemInfo.h"

namespace ko {

// The GTK screens live in a module next to the program, loaded once DISPLAY answers.
std::unique_ptr<KioskScreensSource> MakeKioskScreensSource(EventLoop& loop) {
    return std::make_unique<LinuxKioskScreensSource>(static_cast<LinuxEventLoop&>(loop),
                                                     LinuxSystemInfo("koagent").ProgramFolder());
}

}  // namespace ko
