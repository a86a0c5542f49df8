// The session watcher program: chooses the adapters of this platform and runs the watcher in
// the logged-on user's session. It is started with the session (Windows: the machine's "Run"
// key; Linux: the desktop's autostart) and ends when the agent tells it to close.

#include <exception>
#include <string>

#include "app/ProgramLog.h"
#include "app/WatcherProgram.h"
#include "shared/Logger.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/win32/ComApartment.h"
#include "platform/win32/Win32BrowserTracking.h"
#include "platform/win32/Win32ChannelPort.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32ShellJobs.h"
#include "platform/win32/Win32SystemInfo.h"
#include "platform/win32/Win32XmlDocument.h"
#else
#include <csignal>

#include "platform/linux/LinuxBrowserTracking.h"
#include "platform/linux/LinuxChannelPort.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxShellJobs.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/LinuxXmlDocument.h"
#include "platform/linux/RegistryFileStore.h"
#endif

namespace {

#if defined(_WIN32)

int Main(int, char**) {
    ko::Win32SystemInfo system(ko::Win32SystemInfo::InstanceScope::Session);
    // The browser windows and the history store are COM objects of this thread's apartment.
    ko::ComApartment apartment;
    ko::Win32Registry registry;
    ko::Win32EventLoop loop;
    ko::Win32XmlDocument document(loop);
    ko::Win32BrowserTracking browsers(loop);
    ko::Win32ShellJobs shell(loop);
    ko::Win32ChannelPort channel(loop, GetModuleHandleA(nullptr));
    return ko::RunWatcher(loop, system, registry, document, browsers, shell, channel);
}

#else

int Main(int argc, char** argv) {
    ko::LinuxSystemInfo system(argc > 0 ? argv[0] : "kowatch");
    // The agent's settings, in the machine's store whoever this session's user is.
    ko::RegistryFileStore registry(ko::RegistryFileStore::MachinePath());
    ko::LinuxEventLoop loop;
    // The session ends with SIGTERM or SIGHUP; the watcher lets go of what it holds and ends.
    loop.OnSignal(SIGTERM, [&loop] { loop.Quit(0); });
    loop.OnSignal(SIGINT, [&loop] { loop.Quit(0); });
    loop.OnSignal(SIGHUP, [&loop] { loop.Quit(0); });
    ko::LinuxXmlDocument document(loop);
    ko::LinuxBrowserTracking browsers;
    ko::LinuxShellJobs shell(loop);
    ko::LinuxChannelPort channel(loop, ko::LinuxChannelPort::Side::Connecting);
    return ko::RunWatcher(loop, system, registry, document, browsers, shell, channel);
}

#endif

}  // namespace

int main(int argc, char** argv) {
    return ko::RunLogged("kowatch", [&] { return Main(argc, argv); });
}
