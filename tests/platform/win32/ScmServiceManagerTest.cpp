#include "platform/win32/ScmServiceManager.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/win32/ScmServiceHost.h"

namespace ko {
namespace {

const char* const kMissing = "OstrelNoSuchService";

TEST(ScmServiceManager, MissingServiceGivesNothing) {
    ScmServiceManager services;
    EXPECT_FALSE(services.ImagePath(kMissing).has_value());
    EXPECT_FALSE(services.QueryState(kMissing).has_value());
    std::optional<long> errorCode = 5;
    EXPECT_FALSE(services.Start(kMissing, errorCode));
    EXPECT_FALSE(errorCode.has_value()) << "the manager itself was reachable";
}

TEST(ScmServiceManager, OwnCommandLineIsQuoted) {
    std::string commandLine = ScmServiceManager::OwnCommandLine();
    ASSERT_GE(commandLine.size(), 3u);
    EXPECT_EQ(commandLine.front(), '"');
    EXPECT_EQ(commandLine.back(), '"');
    EXPECT_NE(commandLine.find(".exe"), std::string::npos);
}

// Registers a throwaway service (never started), reads it back and removes it again.
TEST(ScmServiceManager, RegisteredServiceIsFoundStopped) {
    ScmServiceManager services;
    ServiceConfig config;
    config.serviceName = "OstrelAdapterTest" + std::to_string(GetCurrentProcessId());
    config.displayName = "Ostrel adapter test";
    config.startMode = 3;
    config.commandLine = "\"C:\\ostrel test\\koagent.exe\"";
    ASSERT_TRUE(services.Register(config));
    EXPECT_FALSE(services.Register(config)) << "a second registration under the name fails";

    EXPECT_EQ(services.ImagePath(config.serviceName), config.commandLine);
    EXPECT_EQ(services.QueryState("  " + config.serviceName + " "), 1) << "1 is stopped";

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = OpenServiceA(manager, config.serviceName.c_str(), SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr);
    char buffer[8192] = {};
    DWORD needed = 0;
    auto* serviceConfig = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    ASSERT_TRUE(QueryServiceConfigA(service, serviceConfig, sizeof(buffer), &needed));
    EXPECT_EQ(serviceConfig->dwServiceType,
              DWORD{SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS});
    EXPECT_EQ(serviceConfig->dwStartType, DWORD{3});
    EXPECT_TRUE(DeleteService(service));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// Under Wine the refusal takes the dispatcher's full wait (about 10 s).
TEST(ScmServiceHost, ConsoleProcessIsNotRunAsAService) {
    bool bodyRan = false;
    int result = ScmServiceHost::Run("OstrelNoSuchService", [&](ScmServiceHost&) {
        bodyRan = true;
        return 0;
    });
    EXPECT_EQ(result, ScmServiceHost::kNotAService);
    EXPECT_FALSE(bodyRan);
    EXPECT_EQ(ScmServiceHost::LastDispatcherError(),
              static_cast<unsigned long>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
}

}  // namespace
}  // namespace ko
