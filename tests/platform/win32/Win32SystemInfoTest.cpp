#include "platform/win32/Win32SystemInfo.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace ko {
namespace {

TEST(Win32SystemInfo, ReportsAnNtFamilyVersion) {
    Win32SystemInfo system;
    OsVersion version = system.Version();
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_GE(version.major, 5u);
    EXPECT_GT(version.build, 0u);
    EXPECT_EQ(version.servicePack.find('\0'), std::string::npos);
    std::optional<int> productType = system.ProductType();
    ASSERT_TRUE(productType.has_value());
    EXPECT_GE(*productType, 1);
    EXPECT_LE(*productType, 3);
}

TEST(Win32SystemInfo, NamesTheComputerAndTheProgram) {
    Win32SystemInfo system;
    std::optional<std::string> computer = system.ComputerName();
    ASSERT_TRUE(computer.has_value());
    EXPECT_FALSE(computer->empty());

    EXPECT_EQ(system.ExecutableName(), "ko_adapter_tests");
    std::string folder = system.ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    std::string program = folder + "\\" + system.ExecutableName() + ".exe";
    EXPECT_NE(GetFileAttributesA(program.c_str()), INVALID_FILE_ATTRIBUTES) << program;
}

TEST(Win32SystemInfo, InstanceMarkerIsHeldByTheFirstCopyOnly) {
    {
        Win32SystemInfo first;
        EXPECT_FALSE(first.AnotherInstanceRunning());
        Win32SystemInfo second;
        EXPECT_TRUE(second.AnotherInstanceRunning());
        EXPECT_FALSE(first.AnotherInstanceRunning()) << "the first answer stands";
        EXPECT_NE(first.InstanceMarkerName().find("ko_adapter_tests"), std::string::npos);
    }
    // Once the holder is gone, a new copy is the first again.
    Win32SystemInfo third;
    EXPECT_FALSE(third.AnotherInstanceRunning());
}

TEST(Win32SystemInfo, ASessionMarkerLivesInTheSessionsOwnNamespace) {
    Win32SystemInfo machine;
    Win32SystemInfo session(Win32SystemInfo::InstanceScope::Session);
    EXPECT_EQ(session.InstanceMarkerName().rfind("Local\\", 0), 0u);
    EXPECT_EQ(machine.InstanceMarkerName().rfind("Global\\", 0), 0u);
    EXPECT_FALSE(session.AnotherInstanceRunning());
    Win32SystemInfo sameSession(Win32SystemInfo::InstanceScope::Session);
    EXPECT_TRUE(sameSession.AnotherInstanceRunning());
}

TEST(Win32SystemInfo, MachineIdentityIsAGuidWhenPresent) {
    Win32SystemInfo system;
    std::string identity = system.MachineIdentity();
    if (!identity.empty()) {
        EXPECT_EQ(identity.size(), 36u) << identity;
        EXPECT_EQ(identity.find('\0'), std::string::npos);
    }
    EXPECT_EQ(system.MachineIdentity(), identity);
}

}  // namespace
}  // namespace ko
