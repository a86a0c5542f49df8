// Workstation control's core figures: kosim's demo logon profile applied to the Linux registry
// store (goal: under 50 ms), and the bookkeeping of one window notice among 300 processes (goal:
// under 200 microseconds). The platform's ports are the fakes; the store and the XML parser are
// real. KO_DEMO_PROFILE names the file that ko_demo_profile wrote (bench/run does both).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "agent/control/WindowsLogonSettings.h"
#include "agent/control/WorkstationControl.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/LanguageStore.h"
#include "agent/core/ServerLink.h"
#include "agent/core/wsClient.h"
#include "fakes/FakeDesktopWindows.h"
#include "fakes/FakeEventLoop.h"
#include "fakes/FakeHookLibrary.h"
#include "fakes/FakePower.h"
#include "fakes/FakeProcesses.h"
#include "fakes/FakeSocket.h"
#include "fakes/FakeSystem.h"
#include "fakes/FakeUserSession.h"
#include "fakes/FakeXmlDocument.h"
#include "fakes/RecordingCapabilities.h"
#include "platform/linux/RegistryFileStore.h"
#include "platform/linux/XmlParser.h"
#include "shared/ProgramSettings.h"
#include "shared/RegistryModule.h"

namespace ko {
namespace {

constexpr const char* kUrl = "http://127.0.0.1/ws/wsLogonProfile.asp?wsName=BENCH";
constexpr const char* kSid = "S-1-22-1-1000";

std::string DemoProfileXml() {
    const char* path = std::getenv("KO_DEMO_PROFILE");
    std::ifstream in(path != nullptr ? path : "");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The agent's workstation object and control, wired as the program wires them.
struct Workstation {
    explicit Workstation(const std::string& storePath) : store(storePath) {
        session.SetUser(SessionUser{500, std::string("bench"), "", kSid});
        session.AddAccount("", "bench", kSid);
        processes.Start(ProcessInfo{500, "/usr/bin/openbox", kSid, 1});
        for (ProcessId pid = 1000; pid < 1300; ++pid) {
            processes.Start(ProcessInfo{pid, "/usr/bin/prog" + std::to_string(pid), kSid, 1});
        }
        control.SetClient(&client, &link);
        client.wsState = 1;
        // As the program runs it: the changes of one loop turn make one write of the store.
        store.DeferWritesTo(&loop);
    }
    ~Workstation() { store.DeferWritesTo(nullptr); }
    FakeEventLoop loop;
    FakeSocket socket{loop};
    RegistryFileStore store;
    RegistryModule registry{store};
    ProgramSettings settings{store};
    FakeSystemInfo system;
    AgentGlobals globals;
    RecordingCapabilities recorder;
    FakeXmlDocument xml{loop};
    FakeDesktopWindows windows;
    FakeProcesses processes{loop};
    FakeUserSession session;
    FakePower power;
    FakeHookLibrary hooks;
    FakeAutoLogon autoLogon;
    WindowsLogonSettings logonSettings{registry, globals};
    WorkstationControl control{
        ControlContext{loop, registry, globals, recorder, recorder, recorder, recorder, windows,
                       processes, session, power, hooks, autoLogon},
        xml, logonSettings};
    AgentCapabilities caps{recorder, recorder, control,  control,  control,  control, control,
                           control,  control,  recorder, recorder, recorder, recorder};
    ServerLink link{loop, socket, registry, system, globals, recorder};
    LanguageStore language{settings, globals};
    wsClient client{link, caps, globals, language, logonSettings, nullptr};
};

std::string TempStore(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string(name) + std::to_string(getpid()) + ".reg"))
        .string();
}

void BM_DemoProfileOnTheLinuxStore(benchmark::State& state) {
    const std::string path = TempStore("ko-bench-profile-");
    Workstation ws(path);
    const XmlNode document = ParseXmlDocument(DemoProfileXml());
    if (document.Empty()) {
        state.SkipWithError("no demo profile: run ko_demo_profile into KO_DEMO_PROFILE");
        return;
    }
    ws.xml.Serve(kUrl, document);
    for (auto _ : state) {
        ws.control.LoadProfile(kUrl, ProfileAction::Logon);
        ws.loop.RunPosted();
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_DemoProfileOnTheLinuxStore)->Unit(benchmark::kMillisecond);

void BM_WindowNoticeAmong300Processes(benchmark::State& state) {
    const std::string path = TempStore("ko-bench-notice-");
    Workstation ws(path);
    ws.control.InstallHooks();
    ws.globals.options.ReportApplications = 0;
    WindowId window = 0x1000;
    // Every program's path is known once its first window was seen; that first sighting writes
    // the store, the later ones only look.
    auto notice = [&] {
        const ProcessId pid = 1000 + (window % 300);
        ws.windows.Open(window, FakeDesktopWindows::Window{"Cls", "title", pid, true});
        ws.hooks.Notify(HookNotice::WindowCreated, window);
        ws.hooks.Notify(HookNotice::WindowDestroyed, window);
        ws.windows.Destroy(window);
        ++window;
    };
    for (int i = 0; i < 300; ++i) {
        notice();
    }
    ws.loop.RunPosted();
    for (auto _ : state) {
        notice();
    }
    ws.loop.RunPosted();
    std::filesystem::remove(path);
}
BENCHMARK(BM_WindowNoticeAmong300Processes)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ko
