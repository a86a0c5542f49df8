#include "agent/core/PageAddress.h"

#include <gtest/gtest.h>

#include "fakes/AgentHarness.h"

namespace ko {
namespace {

TEST(PageAddress, NamesThatWouldChangeTheQueryAreEncodedAndPlainNamesStay) {
    EXPECT_EQ(QueryValue("PC07"), "PC07");
    EXPECT_EQ(QueryValue("PC 07-\xE9"), "PC 07-\xE9");
    EXPECT_EQ(QueryValue("A&wsName=B#c%2+d"), "A%26wsName=B%23c%252%2Bd");

    AgentHarness h;
    h.SetNetConfig("WorkstationName", "PC&wsName=PC02");
    h.StartConnected();
    h.Status(0);
    h.Status(1);
    EXPECT_TRUE(
        h.recorder.Saw("show page http://10.0.0.1:8080/ws/wsMain.asp?wsName=PC%26wsName=PC02"));
    EXPECT_TRUE(h.recorder.Saw(
        "load profile http://10.0.0.1:8080/ws/wsLogonProfile.asp?wsName=PC%26wsName=PC02"));
}

}  // namespace
}  // namespace ko
