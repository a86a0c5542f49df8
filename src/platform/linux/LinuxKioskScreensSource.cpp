#include "platform/linux/LinuxKioskScreensSource.h"

#include <dlfcn.h>

#include <cstdlib>
#include <utility>

#include "platform/linux/DisplayProbe.h"
#include "shared/Logger.h"

namespace ko {
namespace {

void LogFromModule(int level, const char* text) {
    switch (level) {
        case 0:
            Logger::Debug(text);
            break;
        case 1:
            Logger::Info(text);
            break;
        case 3:
            Logger::Warning(text);
            break;
        default:
            Logger::Error(text);
            break;
    }
}

}  // namespace

LinuxKioskScreensSource::LinuxKioskScreensSource(LinuxEventLoop& loop, std::string moduleFolder)
    : m_loop(loop), m_modulePath(std::move(moduleFolder) + "/" + kKioskModuleFile) {}

LinuxKioskScreensSource::~LinuxKioskScreensSource() {
    m_screens.reset();
}

KioskScreensSource::Availability LinuxKioskScreensSource::Open() {
    if (m_screens) {
        return Availability::Ready;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0' || m_moduleFailed) {
        return Availability::Unsupported;
    }
    if (!DisplayAnswers(display)) {
        Logger::Debug(std::string("the display ") + display + " does not answer yet");
        return Availability::NotYet;
    }
    if (m_module == nullptr) {
        m_module = ::dlopen(m_modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_module == nullptr) {
            const char* why = ::dlerror();
            Logger::Error("the kiosk's screens cannot be loaded: " +
                          std::string(why != nullptr ? why : m_modulePath));
            m_moduleFailed = true;
            return Availability::Unsupported;
        }
        m_open = reinterpret_cast<KioskModuleOpen>(::dlsym(m_module, kKioskModuleEntry));
        if (m_open == nullptr) {
            Logger::Error("the kiosk module " + m_modulePath + " has no entry point");
            m_moduleFailed = true;
            return Availability::Unsupported;
        }
    }
    KioskModuleHost host;
    host.loop = &m_loop;
    host.log = LogFromModule;
    m_screens.reset(m_open(&host));
    if (!m_screens) {
        Logger::Info(std::string("the display ") + display +
                     " refuses the kiosk (is XAUTHORITY right?); trying again later");
        return Availability::NotYet;
    }
    Logger::Info(std::string("kiosk screens on display ") + display);
    return Availability::Ready;
}

}  // namespace ko
