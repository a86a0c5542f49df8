#include "platform/win32/ScmServiceHost.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/win32/ScmServiceManager.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Registry.h"

namespace ko {
namespace {

// The test program plays the service itself: the driver test registers it with a filter that
// runs only ScmServiceHostRole, and leaves the service's name and its instructions here.
const char* const kRoleKey = "Software\\OstrelAdapterTests\\ServiceRole";

std::optional<std::string> ReadRole(Win32Registry& registry, const std::string& name) {
    std::optional<RegData> data = registry.QueryValue(RegRoot::LocalMachine, kRoleKey, name);
    if (!data) {
        return std::nullopt;
    }
    std::string text = data->bytes;
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

void WriteRole(Win32Registry& registry, const std::string& name, const std::string& value) {
    registry.SetValue(RegRoot::LocalMachine, kRoleKey, name, {kRegSz, value + '\0'});
}

// The agent's part in the service: record Start and Stop, ask to stop when told to.
class RoleHandler : public ServiceHost::Handler {
  public:
    RoleHandler(Win32EventLoop& loop, ScmServiceHost& host, Win32Registry& registry)
        : m_loop(loop), m_host(host), m_registry(registry) {}

    void OnServiceStart(bool& success) override {
        success = true;
        WriteRole(m_registry, "Started", "1");
        if (ReadRole(m_registry, "SelfStop") == "1") {
            m_host.RequestStop();
        }
        // A service that refuses the manager's stop still stops itself when the driver says.
        m_poll = m_loop.AddTimer([this] {
            if (ReadRole(m_registry, "PleaseStop") == "1") {
                m_loop.SetTimerInterval(m_poll, 0);
                m_host.RequestStop();
            }
        });
        m_loop.SetTimerInterval(m_poll, 20);
    }
    void OnServiceStop() override {
        WriteRole(m_registry, "Stopped", "1");
        m_loop.Quit(0);
    }

  private:
    Win32EventLoop& m_loop;
    ScmServiceHost& m_host;
    Win32Registry& m_registry;
    EventLoop::TimerId m_poll{};
};

TEST(ScmServiceHostRole, RunsAsService) {
    Win32Registry registry;
    std::optional<std::string> name = ReadRole(registry, "Name");
    if (!name || ReadRole(registry, "Started")) {
        GTEST_SKIP() << "runs only when the service manager starts this program";
    }
    const int controls = ReadRole(registry, "Controls") == "0" ? 0 : ServiceControls::kDefault;
    int result = ScmServiceHost::Run(
        *name,
        [&](ScmServiceHost& host) {
            Win32EventLoop loop;
            RoleHandler handler(loop, host, registry);
            host.Attach(loop, handler);
            int exitCode = loop.Run();
            host.ReportStopped(exitCode);
            return exitCode;
        },
        controls);
    EXPECT_EQ(result, 0);
}

class ServiceRoleFixture : public ::testing::Test {
  protected:
    ServiceRoleFixture() : m_name("OstrelHostTest" + std::to_string(GetCurrentProcessId())) {}
    ~ServiceRoleFixture() override {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = manager ? OpenServiceA(manager, m_name.c_str(), DELETE) : nullptr;
        if (service != nullptr) {
            DeleteService(service);
            CloseServiceHandle(service);
        }
        if (manager != nullptr) {
            CloseServiceHandle(manager);
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRoleKey);
    }

    // Runs a loop until done() or a time limit, polling every 20 ms.
    bool WaitFor(const std::function<bool()>& done) {
        Win32EventLoop loop;
        bool expired = false;
        EventLoop::TimerId limit = loop.AddTimer([&] { expired = true; });
        EventLoop::TimerId poll = loop.AddTimer([] {});
        loop.SetTimerInterval(limit, 15000);
        loop.SetTimerInterval(poll, 20);
        loop.RunUntil([&] { return expired || done(); });
        return done();
    }

    // Registers this program as the service and starts it with the given instructions.
    void StartRole(const std::string& selfStop, const std::string& controls) {
        ASSERT_TRUE(m_registry.CreateKey(RegRoot::LocalMachine, kRoleKey, "1"));
        WriteRole(m_registry, "Name", m_name);
        WriteRole(m_registry, "SelfStop", selfStop);
        WriteRole(m_registry, "Controls", controls);
        ServiceConfig config;
        config.serviceName = m_name;
        config.displayName = m_name;
        config.startMode = 3;
        config.interactive = false;
        config.commandLine = ScmServiceManager::OwnCommandLine() +
                             " --gtest_filter=ScmServiceHostRole.RunsAsService";
        ASSERT_TRUE(m_services.Register(config));
        std::optional<long> errorCode;
        ASSERT_TRUE(m_services.Start(m_name, errorCode));
        ASSERT_TRUE(WaitFor([&] { return ReadRole(m_registry, "Started").has_value(); }));
    }

    // Asks the service manager to stop the service; false when it refuses.
    bool ManagerStop() {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceA(manager, m_name.c_str(), SERVICE_STOP);
        SERVICE_STATUS status = {};
        const bool stopped = ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE;
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return stopped;
    }

    std::string m_name;
    Win32Registry m_registry;
    ScmServiceManager m_services;
};

class ScmServiceHostTest : public ServiceRoleFixture, public ::testing::WithParamInterface<bool> {};
class ScmServiceHostControls : public ServiceRoleFixture {};

TEST_F(ScmServiceHostControls, AServiceThatDoesNotAcceptStopRefusesTheManagerButStopsItself) {
    ASSERT_NO_FATAL_FAILURE(StartRole("0", "0"));
    EXPECT_FALSE(ManagerStop());
    EXPECT_EQ(m_services.QueryState(m_name), 4);
    WriteRole(m_registry, "PleaseStop", "1");
    EXPECT_TRUE(WaitFor([&] { return m_services.QueryState(m_name) == 1; }));
    EXPECT_EQ(ReadRole(m_registry, "Stopped"), "1");
}

TEST_P(ScmServiceHostTest, DeliversStartAndStopThroughTheLoop) {
    const bool selfStop = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartRole(selfStop ? "1" : "0", "2"));
    if (!selfStop) {
        EXPECT_TRUE(ManagerStop());
    }
    EXPECT_TRUE(WaitFor([&] { return m_services.QueryState(m_name) == 1; }));
    EXPECT_EQ(ReadRole(m_registry, "Stopped"), "1");
}

INSTANTIATE_TEST_SUITE_P(StopAskedBy, ScmServiceHostTest, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? "TheServiceItself" : "TheServiceManager";
                         });

}  // namespace
}  // namespace ko
