#include "platform/linux/DisplayProbe.h"

#include <gtest/gtest.h>

namespace ko {
namespace {

TEST(DisplayProbe, ReadsTheDisplayNamesXAccepts) {
    auto local = ParseDisplayName(":0");
    ASSERT_TRUE(local);
    EXPECT_EQ(local->host, "");
    EXPECT_EQ(local->number, 0);
    auto screen = ParseDisplayName("unix:12.1");
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->host, "unix");
    EXPECT_EQ(screen->number, 12);
    auto remote = ParseDisplayName("kiosk-7.lan:3");
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->host, "kiosk-7.lan");
    EXPECT_EQ(remote->number, 3);

    for (const char* bad : {"", "0", ":", ":x", ":1x", ":99999999999"}) {
        EXPECT_FALSE(ParseDisplayName(bad)) << bad;
        EXPECT_FALSE(DisplayAnswers(bad)) << bad;
    }
}

}  // namespace
}  // namespace ko
