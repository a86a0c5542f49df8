// The entry point of the kiosk module: the only symbol it exports.

#include <string>

#include "platform/linux/KioskModule.h"
#include "platform/linux/gtk/GtkKioskScreens.h"
#include "shared/Logger.h"

extern "C" __attribute__((visibility("default"))) ko::KioskScreens* ko_kiosk_module_open(
    const ko::KioskModuleHost* host) {
    if (host == nullptr || host->version != ko::kKioskModuleVersion || host->loop == nullptr) {
        return nullptr;
    }
    if (host->log != nullptr) {
        // The module keeps its own copy of the logger; its lines go to the agent's.
        auto* log = host->log;
        ko::Logger::SetMinimumLevel(ko::Logger::Level::Debug);
        ko::Logger::SetSink([log](ko::Logger::Level level, std::string_view text) {
            // The numbers the host reads (KioskModuleHost::log).
            const int number = level == ko::Logger::Level::Debug     ? 0
                               : level == ko::Logger::Level::Info    ? 1
                               : level == ko::Logger::Level::Warning ? 3
                                                                     : 2;
            log(number, std::string(text).c_str());
        });
    }
    try {
        return ko::GtkKioskScreens::Open(*host->loop).release();
    } catch (...) {
        return nullptr;
    }
}
