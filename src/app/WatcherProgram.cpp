#include "app/WatcherProgram.h"

#include "platform/EventLoop.h"
#include "platform/ReadOnlyRegistry.h"
#include "shared/Logger.h"
#include "shared/RegistryModule.h"
#include "watcher/frmLogon.h"

namespace ko {

int RunWatcher(EventLoop& loop, SystemInfo& system, RegistryPrimitives& registry,
               XmlDocument& document, BrowserTracking& browsers, ShellJobs& shell,
               ChannelPort& channel) {
    ReadOnlyRegistry readOnly(registry);
    RegistryModule registryModule(readOnly);
    watcher::WatcherPlatform platform{loop,     system, registryModule, document,
                                      browsers, shell,  channel};
    watcher::frmLogon form(platform);
    if (!form.Load()) {
        return 0;
    }
    const int code = loop.Run();
    if (readOnly.Refused() != 0) {
        Logger::Error("the watcher tried to change the settings; nothing was written");
    }
    return code;
}

}  // namespace ko
