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
    }
    void OnServiceStop() override {
        WriteRole(m_registry, "Stopped", "1");
        m_loop.Quit(0);
    }

  private:
    Win32EventLoop& m_loop;
    ScmServiceHost& m_host;
    Win32Registry& m_registry;
};

TEST(ScmServiceHostRole, RunsAsService) {
    Win32Registry registry;
    std::optional<std::string> name = ReadRole(registry, "Name");
    if (!name || ReadRole(registry, "Started")) {
        GTEST_SKIP() << "runs only when the service manager starts this program";
    }
    int result = ScmServiceHost::Run(*name, [&](ScmServiceHost& host) {
        Win32EventLoop loop;
        RoleHandler handler(loop, host, registry);
        host.Attach(loop, handler);
        int exitCode = loop.Run();
        host.ReportStopped(exitCode);
        return exitCode;
    });
    EXPECT_EQ(result, 0);
}

class ScmServiceHostTest : public ::testing::TestWithParam<bool> {
  protected:
    ScmServiceHostTest() : m_name("OstrelHostTest" + std::to_string(GetCurrentProcessId())) {}
    ~ScmServiceHostTest() override {
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

    std::string m_name;
    Win32Registry m_registry;
    ScmServiceManager m_services;
};

TEST_P(ScmServiceHostTest, DeliversStartAndStopThroughTheLoop) {
    const bool selfStop = GetParam();
    ASSERT_TRUE(m_registry.CreateKey(RegRoot::LocalMachine, kRoleKey, "1"));
    WriteRole(m_registry, "Name", m_name);
    WriteRole(m_registry, "SelfStop", selfStop ? "1" : "0");
    ServiceConfig config;
    config.serviceName = m_name;
    config.displayName = m_name;
    config.startMode = 3;
    config.interactive = false;
    config.commandLine =
        ScmServiceManager::OwnCommandLine() + " --gtest_filter=ScmServiceHostRole.RunsAsService";
    ASSERT_TRUE(m_services.Register(config));

    std::optional<long> errorCode;
    ASSERT_TRUE(m_services.Start(m_name, errorCode));
    ASSERT_TRUE(WaitFor([&] { return ReadRole(m_registry, "Started").has_value(); }));
    if (!selfStop) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceA(manager, m_name.c_str(), SERVICE_STOP);
        SERVICE_STATUS status = {};
        EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
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
