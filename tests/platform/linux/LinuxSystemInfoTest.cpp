#include "platform/linux/LinuxSystemInfo.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

namespace ko {
namespace {

namespace fs = std::filesystem;

TEST(LinuxSystemInfo, ReportsTheKernelReleaseAsAnNtFamilyVersion) {
    OsVersion version = LinuxSystemInfo::ParseRelease("6.1.0-13-amd64");
    EXPECT_EQ(version.major, 6u);
    EXPECT_EQ(version.minor, 1u);
    EXPECT_EQ(version.build, 0u);
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_FALSE(version.windows);
    EXPECT_TRUE(version.servicePack.empty());
    version = LinuxSystemInfo::ParseRelease("5.15.90.1-microsoft-standard-WSL2");
    EXPECT_EQ(version.build, 90u);
    version = LinuxSystemInfo::ParseRelease("4.19-rc1");
    EXPECT_EQ(version.minor, 19u);
    EXPECT_EQ(version.build, 0u);
    EXPECT_EQ(LinuxSystemInfo::ParseRelease("").major, 0u);

    LinuxSystemInfo info("ignored");
    EXPECT_GE(info.Version().major, 3u);
    EXPECT_EQ(info.ProductType(), 1);
}

TEST(LinuxSystemInfo, NamesTheMachineAndTheProgram) {
    LinuxSystemInfo info("ignored");
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(info.ComputerName(), std::string(host));

    const fs::path self = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(info.ProgramFolder(), self.parent_path().string());
    EXPECT_EQ(info.ExecutableName(), self.stem().string());
    EXPECT_NE(info.ProgramFolder().back(), '/');

    if (fs::exists("/etc/machine-id")) {
        const std::string id = info.MachineIdentity();
        EXPECT_EQ(id.find_first_of(" \r\n"), std::string::npos);
    }
}

TEST(LinuxSystemInfo, OnlyTheFirstInstanceHoldsTheMarker) {
    std::string pattern = (fs::temp_directory_path() / "ko-instance-XXXXXX").string();
    const std::string folder = ::mkdtemp(pattern.data());
    ::setenv("OSTREL_INSTANCE_DIR", folder.c_str(), 1);

    auto first = std::make_unique<LinuxSystemInfo>("a");
    LinuxSystemInfo second("b");
    EXPECT_FALSE(first->AnotherInstanceRunning());
    EXPECT_TRUE(second.AnotherInstanceRunning());
    EXPECT_FALSE(first->AnotherInstanceRunning());  // the answer does not change
    EXPECT_TRUE(fs::exists(folder + "/" + first->ExecutableName() + ".lock"));

    first.reset();  // the first copy ends: its marker goes with it
    LinuxSystemInfo third("c");
    EXPECT_FALSE(third.AnotherInstanceRunning());

    ::unsetenv("OSTREL_INSTANCE_DIR");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace ko
