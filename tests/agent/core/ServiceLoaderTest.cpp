#include "agent/core/ServiceLoader.h"

#include <gtest/gtest.h>

#include "fakes/FakeRegistry.h"
#include "fakes/FakeSystem.h"
#include "fakes/RecordingCapabilities.h"
#include "shared/ProgramSettings.h"

namespace ko {
namespace {

// By default the Linux way: the service manager runs the host with a command line of its own.
struct LoaderHarness {
    explicit LoaderHarness(std::string commandLine = "/opt/ostrel/koagent --foreground")
        : loader{services, system, settings, recorder, std::move(commandLine)} {}

    FakeServiceManager services;
    FakeSystemInfo system;
    FakeRegistry registry;
    ProgramSettings settings{registry};
    RecordingCapabilities recorder;
    ServiceLoader loader;
};

const std::string kSecondInstance =
    "message window ShowMessage 1000 A second instance of Ko Client not allowed!";

TEST(ServiceLoader, AFirstCopyRegistersAndStartsTheServiceThenCloses) {
    LoaderHarness h;
    EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Close);
    ASSERT_EQ(h.services.registered.size(), 1u);
    const ServiceConfig& config = h.services.registered[0];
    EXPECT_EQ(config.serviceName, "KoService");
    EXPECT_EQ(config.displayName, "Ostrel Service");
    EXPECT_TRUE(config.interactive);
    EXPECT_EQ(config.startMode, 2);
    EXPECT_EQ(config.commandLine, "/opt/ostrel/koagent --foreground");
    EXPECT_EQ(h.services.started, std::vector<std::string>{"KoService"});
    // The next copy finds it registered and running and stays idle.
    EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Idle);
    h.system.anotherInstance = true;
    EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Close);
}

TEST(ServiceLoader, TheServiceNameSettingDoesNotMoveTheService) {
    LoaderHarness h;
    h.settings.SaveSetting("koagent", "ServiceSettings", "ServiceName", "Other");
    h.settings.SaveSetting("koagent", "ServiceSettings", "DisplayName", "Cafe agent");
    h.settings.SaveSetting("koagent", "ServiceSettings", "Interactive", "0");
    h.loader.Load();
    ASSERT_EQ(h.services.registered.size(), 1u);
    EXPECT_EQ(h.services.registered[0].serviceName, "KoService");
    EXPECT_EQ(h.services.registered[0].displayName, "Cafe agent");
    EXPECT_FALSE(h.services.registered[0].interactive);
}

TEST(ServiceLoader, FollowsTheTableOfRoles) {
    {
        LoaderHarness h;
        h.system.anotherInstance = true;
        EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Close);
        EXPECT_TRUE(h.services.registered.empty());
        EXPECT_EQ(h.recorder.calls, std::vector<std::string>{kSecondInstance});
    }
    {
        LoaderHarness h;
        h.services.services["KoService"] = {"C:\\koagent.exe", 1};
        EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Close);
        EXPECT_EQ(h.services.started.size(), 1u);
        h.services.services["KoService"].state = 1;
        h.system.anotherInstance = true;
        EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Close);
        EXPECT_EQ(h.services.started.size(), 1u);
        EXPECT_EQ(h.recorder.calls, std::vector<std::string>{kSecondInstance});
    }
    for (int starting : {2, 3, 7, 16}) {
        LoaderHarness h("");  // the service manager starts this very program
        h.services.services["KoService"] = {"C:\\koagent.exe", starting};
        EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::ServiceHost) << starting;
    }
    {
        LoaderHarness h;
        h.system.version.platformId = 1;
        EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Direct);
    }
}

// Where the service manager runs the host with a command line of its own, a copy that comes
// through Load was started by hand: it never runs the agent beside the manager's copy.
TEST(ServiceLoader, ACopyStartedByHandNeverRunsBesideTheServicesOwnCopy) {
    for (int changing : {2, 3, 7, 16}) {
        LoaderHarness h;
        h.services.services["KoService"] = {"/opt/ostrel/koagent", changing};
        EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Close) << changing;
        EXPECT_TRUE(h.services.started.empty());
    }
    // The service manager cannot be asked: the copy runs the agent itself, unless another copy
    // already does.
    LoaderHarness h;
    h.services.services["KoService"] = {"/opt/ostrel/koagent", 4};
    h.services.unreachable = true;
    EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Direct);
    h.system.anotherInstance = true;
    EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Close);
}

TEST(ServiceLoader, AppliesTheServiceSettingsInEveryRoleWithRegionalNumbers) {
    struct Case {
        int state;
        ServiceLoader::Role role;
    };
    for (Case c : {Case{1, ServiceLoader::Role::Close}, Case{4, ServiceLoader::Role::Idle},
                   Case{2, ServiceLoader::Role::ServiceHost}}) {
        LoaderHarness h("");
        h.system.separators = NumberSeparators{',', '.'};
        h.settings.SaveSetting("koagent", "ServiceSettings", "Controls", "0");
        h.settings.SaveSetting("koagent", "ServiceSettings", "StartMode", "3,0");  // not 30
        h.settings.SaveSetting("koagent", "ServiceSettings", "Interactive", "0");
        h.services.services["KoService"] = {"C:\\koagent.exe", c.state};
        EXPECT_EQ(h.loader.Load(), c.role) << c.state;
        EXPECT_EQ(h.loader.Settings().controls, 0) << c.state;
        EXPECT_EQ(h.loader.Settings().startMode, 3) << c.state;
        EXPECT_FALSE(h.loader.Settings().interactive) << c.state;
    }
    // Windows 9x has no service control: nothing is applied.
    LoaderHarness h("");
    h.settings.SaveSetting("koagent", "ServiceSettings", "Controls", "0");
    h.system.version.platformId = 1;
    EXPECT_EQ(h.loader.Load(), ServiceLoader::Role::Direct);
    EXPECT_EQ(h.loader.Settings().controls, ServiceControls::kDefault);
}

TEST(ServiceLoader, MapsServiceStates) {
    LoaderHarness h;
    EXPECT_EQ(h.loader.GetServiceState("KoService"), 0);  // cannot be opened
    const std::vector<std::pair<int, int>> map = {{1, 1}, {2, 7}, {7, 7},  {3, 3},  {4, 4},
                                                  {5, 5}, {6, 6}, {16, 2}, {32, 1}, {99, 0}};
    for (auto [raw, mapped] : map) {
        h.services.services["KoService"] = {"x", raw};
        EXPECT_EQ(h.loader.GetServiceState(" KoService "), mapped) << raw;
    }
    h.services.services["Empty"] = {"", 4};
    EXPECT_FALSE(h.loader.IsServiceRegistered("Empty"));
    h.services.managerError = 1722;
    EXPECT_FALSE(h.loader.StartServiceByName("KoService"));
}

}  // namespace
}  // namespace ko
