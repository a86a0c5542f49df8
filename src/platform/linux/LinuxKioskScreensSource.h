#pragma once

#include <memory>
#include <string>

#include "platform/KioskScreens.h"
#include "platform/linux/KioskModule.h"

namespace ko {

class LinuxEventLoop;

// The kiosk's screens on Linux: DISPLAY and XAUTHORITY come from the environment (the service's
// unit sets them). Without DISPLAY the agent is headless and the screens are not supported; with
// a display that does not answer yet they are not there yet (the agent asks again later); once it
// answers, the GTK module is loaded and opens it.
class LinuxKioskScreensSource : public KioskScreensSource {
  public:
    LinuxKioskScreensSource(LinuxEventLoop& loop, std::string moduleFolder);
    ~LinuxKioskScreensSource() override;
    LinuxKioskScreensSource(const LinuxKioskScreensSource&) = delete;
    LinuxKioskScreensSource& operator=(const LinuxKioskScreensSource&) = delete;

    Availability Open() override;
    KioskScreens* Screens() override { return m_screens.get(); }

  private:
    LinuxEventLoop& m_loop;
    std::string m_modulePath;
    // The module stays loaded for the program's life: GTK cannot be unloaded.
    void* m_module = nullptr;
    KioskModuleOpen m_open = nullptr;
    bool m_moduleFailed = false;
    std::unique_ptr<KioskScreens> m_screens;
};

}  // namespace ko
