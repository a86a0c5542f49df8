#include "agent/kiosk/frmNetConfig.h"

#include <gtest/gtest.h>

#include "agent/kiosk/Kiosk.h"
#include "agent/kiosk/KioskTestPages.h"

namespace ko {
namespace {

using namespace kiosk_test;

class NetConfig : public testing::Test {
  protected:
    // Opens the dialog from the stopped page, as an operator on site does.
    FakeNetConfigDialog& Open() {
        h.Settle();
        h.ClickMain("cmdNetConfig");
        FakeNetConfigDialog* dialog = h.screens.NetConfig();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }
    void Ok(FakeNetConfigDialog& dialog) {
        dialog.PressOk();
        h.Settle();
    }
    std::string Stored(const std::string& name) {
        return h.Setting(AgentHarness::kSettingsKey, name);
    }

    KioskHarness h;
};

TEST_F(NetConfig, EachOpeningShowsTheStoreAndCancelStoresNothing) {
    h.SetNetConfig("Port", "9700");
    h.Start();
    FakeNetConfigDialog& dialog = Open();
    EXPECT_EQ(dialog.typed, (NetConfigFields{"10.0.0.1", "9700", "8080", "WS07"}));
    EXPECT_TRUE(dialog.visible);
    EXPECT_TRUE(dialog.topmost);  // above the locked kiosk
    EXPECT_FALSE(dialog.passwordAsked);

    dialog.typed.serverName = "typed but cancelled";
    dialog.PressCancel();
    h.Settle();
    EXPECT_FALSE(dialog.visible);
    EXPECT_EQ(Stored("Server"), "10.0.0.1");

    // Stored meanwhile (by an earlier OK, or by hand): the next opening shows it.
    h.SetNetConfig("Server", "cafe-server");
    EXPECT_EQ(Open().typed.serverName, "cafe-server");
    EXPECT_EQ(dialog.shows, 2);
}

TEST_F(NetConfig, OkStoresAndReconnectsAtOnceWithoutAServer) {
    h.SetNetConfig("Port", "1");  // a wrong port: the link never comes up
    h.Start();
    FakeNetConfigDialog& dialog = Open();
    const std::size_t attempts = h.socket.connects.size();
    dialog.typed = NetConfigFields{"10.0.0.9", "9678", "80", "PC 07"};
    Ok(dialog);
    EXPECT_FALSE(dialog.visible);
    EXPECT_EQ(Stored("Server"), "10.0.0.9");
    EXPECT_EQ(Stored("Port"), "9678");
    EXPECT_EQ(Stored("HttpPort"), "80");
    EXPECT_EQ(Stored("WorkstationName"), "PC 07");
    ASSERT_EQ(h.socket.connects.size(), attempts + 1);
    EXPECT_EQ(h.socket.connects.back().host, "10.0.0.9");
    EXPECT_EQ(h.socket.connects.back().port, 9678);
}

TEST_F(NetConfig, OkWithAServerStoresForTheNextConnection) {
    h.StartConnected();
    h.Status(0);
    FakeNetConfigDialog& dialog = Open();
    const std::size_t attempts = h.socket.connects.size();
    dialog.typed.httpPort = "8081";
    Ok(dialog);
    EXPECT_EQ(Stored("HttpPort"), "8081");
    EXPECT_EQ(h.socket.connects.size(), attempts);
}

TEST_F(NetConfig, EntriesThatCannotConnectAreNamedAndNothingIsStored) {
    h.Start();
    FakeNetConfigDialog& dialog = Open();
    struct Case {
        NetConfigFields typed;
        NetConfigField field;
    };
    const Case cases[] = {{{"", "9678", "80", "PC07"}, NetConfigField::ServerName},
                          {{"  ", "9678", "80", "PC07"}, NetConfigField::ServerName},
                          {{"srv", "", "80", "PC07"}, NetConfigField::TcpPort},
                          {{"srv", "0", "80", "PC07"}, NetConfigField::TcpPort},
                          {{"srv", "65536", "80", "PC07"}, NetConfigField::TcpPort},
                          {{"srv", "96 78", "80", "PC07"}, NetConfigField::TcpPort},
                          {{"srv", "9678", "", "PC07"}, NetConfigField::HttpPort},
                          {{"srv", "9678", "80a", "PC07"}, NetConfigField::HttpPort},
                          {{"srv", "9678", "80", ""}, NetConfigField::WorkstationName}};
    for (const Case& c : cases) {
        dialog.complaints.clear();
        dialog.typed = c.typed;
        Ok(dialog);
        ASSERT_EQ(dialog.complaints.size(), 1u);
        EXPECT_EQ(dialog.complaints[0].first, c.field) << c.typed.tcpPort << c.typed.httpPort;
        EXPECT_TRUE(dialog.visible);
    }
    EXPECT_EQ(Stored("Server"), "10.0.0.1");
    EXPECT_EQ(Stored("Port"), "<missing>");
    dialog.typed = NetConfigFields{"srv", "65535", "1", "PC07"};
    Ok(dialog);
    EXPECT_EQ(Stored("Port"), "65535");
}

TEST_F(NetConfig, ASecuredWorkstationAsksTheSecurityPassword) {
    h.SetNetConfig("Left", "1");
    h.SetNetConfig("window", "staff");
    h.Start();
    FakeNetConfigDialog& dialog = Open();
    EXPECT_TRUE(dialog.passwordAsked);
    dialog.typed.serverName = "laptop";
    dialog.password = "guess";
    Ok(dialog);
    ASSERT_EQ(dialog.complaints.size(), 1u);
    EXPECT_EQ(dialog.complaints[0],
              (std::pair{NetConfigField::SecurityPassword, std::string("Wrong password")}));
    EXPECT_EQ(Stored("Server"), "10.0.0.1");
    dialog.password = "staff";
    Ok(dialog);
    EXPECT_EQ(Stored("Server"), "laptop");
}

}  // namespace
}  // namespace ko
