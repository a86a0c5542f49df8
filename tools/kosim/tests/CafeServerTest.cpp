#include "CafeServer.h"

#include <gtest/gtest.h>

#include "KosimTestSupport.h"

namespace ko {

namespace {

using test::RecordingTransport;

class CafeServerTest : public ::testing::Test {
  protected:
    CafeServerTest() : server(test::SmallCafe(), journal, link, clock.Function()) {}

    // A workstation that connects, says hello and comes online.
    void Greet(ConnectionId id, const std::string& name) {
        server.OnConnected(id, "10.0.0." + std::to_string(id), "10.0.0.254");
        server.OnReceived(id, "5|" + name + "|COMPUTER|10.0.0.1|Linux  Version: 6.1.0 |id|");
        server.OnReceived(id, "36|");
    }

    std::vector<Workstation> Stations() { return server.Workstations(); }
    int StateOf(const std::string& name) {
        for (const auto& ws : Stations()) {
            if (ws.name == name) {
                return ws.state;
            }
        }
        return -99;
    }

    test::FakeClock clock;
    Journal journal;
    RecordingTransport link;
    CafeServer server;
};

TEST_F(CafeServerTest, HelloAndComingBackOnlineAreAnsweredWithTheStatus) {
    server.OnConnected(1, "10.0.0.1", "10.0.0.254");
    server.OnReceived(1, "5|PC01|COMPUTER|10.0.0.1|os|id|");
    ASSERT_EQ(link.Codes(1), (std::vector<int>{0}));
    auto status = link.Last(1, 0);
    ASSERT_EQ(status.size(), 17u) << "every status field is sent";
    EXPECT_EQ(status[9], "0");
    server.OnReceived(1, "36|");
    // The status again, then the options and the advertisement profile.
    EXPECT_EQ(link.Codes(1), (std::vector<int>{0, 0, 35, 32}));
    EXPECT_EQ(link.Last(1, 32)[3], "http://10.0.0.254:0/ws/wsAdvert.asp?ad=1");
}

TEST_F(CafeServerTest, MessagesBeforeTheHelloAreIgnored) {
    server.OnConnected(1, "10.0.0.1", "10.0.0.254");
    server.OnReceived(1, " 1|alice|secret||||");
    EXPECT_TRUE(link.sent.empty());
    EXPECT_TRUE(Stations().empty());
}

TEST_F(CafeServerTest, AGoodLogonStartsASessionWithItsFigures) {
    Greet(1, "PC01");
    link.Clear();
    server.OnReceived(1, " 1|alice|secret||||");
    EXPECT_EQ(StateOf("PC01"), 1);
    auto status = link.Last(1, 0);
    ASSERT_EQ(status.size(), 17u);
    EXPECT_EQ(status[1], "alice");
    EXPECT_EQ(status[2], "") << "the customer's password never travels back";
    EXPECT_EQ(status[3], "16");    // minutes that 1.00 buys at 3.60 an hour
    EXPECT_EQ(status[4], "1.00");  // credit at logon
    EXPECT_EQ(status[7], "3.60");
    EXPECT_EQ(status[8], "0.00");
    EXPECT_EQ(status[9], "1");
    EXPECT_EQ(status[12], "16");
    EXPECT_EQ(status[13], "1.00");
    EXPECT_EQ(status[16], "1.00");
}

TEST_F(CafeServerTest, ABadLogonLeavesTheWorkstationFreeAndSaysWhy) {
    Greet(1, "PC01");
    link.Clear();
    server.OnReceived(1, " 1|alice|wrong||||");
    server.OnReceived(1, " 1|nobody|secret||||");
    server.OnReceived(1, " 1|alice|secr|et|||");  // a "|" in the password shifts the fields
    EXPECT_EQ(StateOf("PC01"), 0);
    EXPECT_EQ(link.Codes(1), (std::vector<int>{15, 15, 15}));
}

TEST_F(CafeServerTest, ACustomerIsLoggedOnAtOneWorkstationOnly) {
    Greet(1, "PC01");
    Greet(2, "PC02");
    EXPECT_EQ(server.LogOn("PC01", "alice"), "");
    server.OnReceived(2, " 1|alice|secret||||");
    EXPECT_EQ(StateOf("PC02"), 0);
    EXPECT_NE(server.LogOn("PC02", "alice"), "");
    EXPECT_NE(server.LogOn("PC01", "carol"), "") << "PC01 is in use";
}

TEST_F(CafeServerTest, AnAccountWithoutCreditCannotLogOn) {
    Greet(1, "PC01");
    EXPECT_EQ(server.AddPayment("alice", -100), "");
    EXPECT_NE(server.LogOn("PC01", "alice"), "");
    EXPECT_EQ(server.LogOn("PC01", "carol"), "") << "open accounts need no credit";
}

TEST_F(CafeServerTest, StatusesFollowTheIntervalWhileInUse) {
    Greet(1, "PC01");
    server.LogOn("PC01", "carol");
    link.Clear();
    server.Tick();
    EXPECT_TRUE(link.sent.empty());
    clock.Advance(std::chrono::seconds(9));
    server.Tick();
    EXPECT_TRUE(link.sent.empty());
    clock.Advance(std::chrono::seconds(1));
    server.Tick();
    server.Tick();
    ASSERT_EQ(link.Codes(1), (std::vector<int>{0}));
    EXPECT_EQ(link.Last(1, 0)[6], "00:00:10");
    EXPECT_EQ(link.Last(1, 0)[8], "0.01");
    EXPECT_EQ(link.Last(1, 0)[12], "-1") << "open accounts have no remaining time";
    server.SetStatusInterval(3);
    clock.Advance(std::chrono::seconds(3));
    server.Tick();
    EXPECT_EQ(link.Codes(1).size(), 2u);
}

TEST_F(CafeServerTest, FreeWorkstationsGetNoRunningStatus) {
    Greet(1, "PC01");
    link.Clear();
    clock.Advance(std::chrono::seconds(60));
    server.Tick();
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(CafeServerTest, WarnsOnceBeforeThePaidTimeEndsThenEndsTheSession) {
    Greet(1, "PC01");
    server.LogOn("PC01", "alice");  // 1000 seconds of credit, warning 60 s before
    server.OnReceived(1, "30|1|7|Espresso|cup|19|2|1.8|");
    link.Clear();
    clock.Advance(std::chrono::seconds(939));
    server.Tick();
    EXPECT_EQ(link.Codes(1), (std::vector<int>{0}));
    clock.Advance(std::chrono::seconds(1));
    server.Tick();
    clock.Advance(std::chrono::seconds(1));
    server.Tick();
    EXPECT_EQ(link.Codes(1), (std::vector<int>{0, 33, 34})) << "one warning, then the sound";
    clock.Advance(std::chrono::seconds(60));
    server.Tick();
    EXPECT_EQ(StateOf("PC01"), 0);
    EXPECT_EQ(link.Last(1, 0)[9], "0");
    CafeData data = server.Data();
    const Account* alice = data.FindAccount("alice");
    EXPECT_EQ(alice->billed, 100);
    EXPECT_EQ(alice->Balance(), 0);
    ASSERT_EQ(alice->history.size(), 1u);
    EXPECT_EQ(alice->history[0].workstation, "PC01");
}

TEST_F(CafeServerTest, NoWarningWhenTheCafeWantsNone) {
    Greet(1, "PC01");
    server.SetWarnBefore(0);
    server.LogOn("PC01", "alice");
    link.Clear();
    clock.Advance(std::chrono::seconds(999));
    server.Tick();
    EXPECT_EQ(link.Codes(1), (std::vector<int>{0}));
    clock.Advance(std::chrono::seconds(1));
    server.Tick();
    EXPECT_EQ(link.Codes(1), (std::vector<int>{0, 0})) << "the session ends without a warning";
}

TEST_F(CafeServerTest, ALogoffRequestEndsTheSessionAndBillsIt) {
    Greet(1, "PC01");
    server.OnReceived(1, " 1|alice|secret||||");
    clock.Advance(std::chrono::seconds(100));
    link.Clear();
    server.OnReceived(1, " 2");
    EXPECT_EQ(StateOf("PC01"), 0);
    EXPECT_EQ(link.Codes(1), (std::vector<int>{0}));
    EXPECT_EQ(server.Data().FindAccount("alice")->billed, 10);
    server.OnReceived(1, " 2");  // nothing to end: the status again
    EXPECT_EQ(server.Data().FindAccount("alice")->billed, 10);
}

TEST_F(CafeServerTest, ThePasswordChangeNeedsASessionAndAUsablePassword) {
    Greet(1, "PC01");
    server.OnReceived(1, "14|new|");
    EXPECT_EQ(server.Data().FindAccount("alice")->password, "secret");
    server.OnReceived(1, " 1|alice|secret||||");
    server.OnReceived(1, "14||");
    server.OnReceived(1, "14|ne|w|");
    EXPECT_EQ(server.Data().FindAccount("alice")->password, "secret");
    server.OnReceived(1, "14|n3w|");
    EXPECT_EQ(server.Data().FindAccount("alice")->password, "n3w");
    EXPECT_EQ(link.Codes(1).back(), 15);
}

TEST_F(CafeServerTest, OrdersAndReportsAreRecorded) {
    Greet(1, "PC01");
    server.LogOn("PC01", "carol");
    server.OnReceived(1, "30|1|7|Espresso|cup|19|2|1.8|");
    server.OnReceived(1, "47|http://example.org/|");
    server.OnReceived(1, " 20|Notepad|1234|notepad.exe|5678");
    auto ws = Stations().front();
    ASSERT_EQ(ws.orders.size(), 1u);
    EXPECT_EQ(ws.orders[0].description, "Espresso");
    EXPECT_EQ(ws.orders[0].quantity, "2");
    EXPECT_EQ(ws.reports.size(), 2u);
    EXPECT_EQ(server.Snapshot("PC01").orders.size(), 1u);
}

TEST_F(CafeServerTest, ASessionOutlivesALostLinkAndResumes) {
    Greet(1, "PC01");
    server.LogOn("PC01", "carol");
    server.OnDisconnected(1);
    EXPECT_EQ(StateOf("PC01"), 1);
    link.Clear();
    Greet(2, "PC01");
    EXPECT_EQ(link.Last(2, 0)[9], "1");
    EXPECT_EQ(link.Last(2, 0)[1], "carol");
}

TEST_F(CafeServerTest, ANewLinkOfTheSameNameReplacesTheOldOne) {
    Greet(1, "PC01");
    Greet(2, "PC01");
    EXPECT_EQ(link.closed, (std::vector<ConnectionId>{1}));
    EXPECT_EQ(Stations().size(), 1u);
    server.OnDisconnected(1);  // the old link's late close changes nothing
    EXPECT_TRUE(Stations().front().connection.has_value());
}

TEST_F(CafeServerTest, OperatorCommandsReachTheirWorkstations) {
    Greet(1, "PC01");
    Greet(2, "PC02");
    link.Clear();
    EXPECT_EQ(server.SendNamed("all", "say", {"Closing in 10 minutes"}), "");
    EXPECT_EQ(link.Codes(1), (std::vector<int>{27}));
    EXPECT_EQ(link.Codes(2), (std::vector<int>{27}));
    EXPECT_EQ(server.SendNamed("@", "shutdown", {}), "");
    EXPECT_EQ(link.Codes(2).back(), 7) << "@ is the workstation greeted last";
    EXPECT_EQ(server.SendRaw("PC01", "17|raw text|"), "");
    EXPECT_EQ(link.sent.back().second, "17|raw text|");
    EXPECT_NE(server.SendNamed("PC09", "shutdown", {}), "");
    EXPECT_NE(server.SendNamed("PC01", "say", {"a|b"}), "");
    EXPECT_EQ(server.SetState("PC01", 2), "");
    EXPECT_EQ(StateOf("PC01"), 2);
    EXPECT_NE(server.LogOn("PC01", "carol"), "") << "a locked workstation takes no customer";
    EXPECT_NE(server.SetState("PC01", 1), "");
}

TEST_F(CafeServerTest, AWorkstationBackFromAShutDownIsFree) {
    Greet(1, "PC01");
    server.SetState("PC01", 6);
    EXPECT_EQ(link.Last(1, 0)[9], "6");
    server.OnDisconnected(1);
    Greet(2, "PC01");
    EXPECT_EQ(StateOf("PC01"), 0);
    EXPECT_EQ(link.Last(2, 0)[9], "0") << "not told to shut down once more";
    server.SetState("PC01", 13);
    server.OnDisconnected(2);
    Greet(3, "PC01");
    EXPECT_EQ(StateOf("PC01"), 13) << "a lock lasts";
}

TEST_F(CafeServerTest, LockingAWorkstationInUseEndsTheSessionFirst) {
    Greet(1, "PC01");
    server.LogOn("PC01", "carol");
    clock.Advance(std::chrono::seconds(3600));
    EXPECT_EQ(server.SetState("PC01", 2), "");
    EXPECT_EQ(StateOf("PC01"), 2);
    EXPECT_EQ(server.Data().FindAccount("carol")->billed, 360);
}

TEST_F(CafeServerTest, ServerTracksWhichWorkstationUsesAnAddress) {
    Greet(1, "PC01");
    Greet(2, "PC02");
    EXPECT_EQ(server.NameForAddress("10.0.0.1"), "PC01");
    EXPECT_EQ(server.NameForAddress("10.0.0.9"), "");
}

}  // namespace

}  // namespace ko
