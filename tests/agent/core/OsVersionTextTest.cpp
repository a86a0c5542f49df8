#include "agent/core/OsVersionText.h"

#include <gtest/gtest.h>

#include "fakes/FakeSystem.h"

namespace ko {
namespace {

TEST(OsVersionText, NamesTheProductAndRepeatsTheBuild) {
    OsVersion xp{5, 1, 2600, 2, std::string("Service Pack 3\0junk", 19), 3};
    EXPECT_EQ(OsVersionText(xp, 1),
              "Microsoft Windows XP Professional  Version: 5.1.2600 Service Pack 3 Build 2600");
    OsVersion me{4, 90, 73010104, 1, " A ", 0};
    EXPECT_EQ(OsVersionText(me, 0),
              "Microsoft Windows ME   Version: 4.90.73010104 A Build 73010104");
    OsVersion seven{6, 1, 7601, 2, "", 1};
    EXPECT_EQ(OsVersionText(seven, 0), "  Version: 6.1.7601  Build 7601");
}

TEST(OsVersionText, ReadsTheProductTypeOnlyWhereTheSystemOffersIt) {
    FakeSystemInfo system;
    system.productType = 3;
    system.version = OsVersion{5, 0, 2195, 2, "", 4};
    EXPECT_EQ(OsVersionText(system),
              "Microsoft Windows 2000 Server  Version: 5.0.2195  Build 2195");
    system.version = OsVersion{6, 1, 7601, 2, "Service Pack 1", 1};
    EXPECT_EQ(OsVersionText(system), "  Version: 6.1.7601 Service Pack 1 Build 7601");
    system.version = OsVersion{4, 0, 1381, 2, "Service Pack 6", 6};
    EXPECT_EQ(OsVersionText(system),
              "Microsoft Windows NT 4.0 Server  Version: 4.0.1381 Service Pack 6 Build 1381");
}

TEST(OsVersionText, AKernelReleaseNamesNoWindowsProduct) {
    FakeSystemInfo system;
    for (auto [major, minor] : {std::pair{4u, 0u}, {5u, 0u}, {5u, 1u}, {3u, 51u}}) {
        system.version = OsVersion{major, minor, 7, 2, "", 0, false};
        const std::string text = OsVersionText(system);
        EXPECT_EQ(text.find("Windows"), std::string::npos) << text;
        EXPECT_NE(text.find("Version: " + std::to_string(major) + "." + std::to_string(minor)),
                  std::string::npos)
            << text;
    }
}

}  // namespace
}  // namespace ko
