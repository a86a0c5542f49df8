#include "agent/core/ServerLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "fakes/AgentHarness.h"
#include "shared/WireCodec.h"

namespace ko {
namespace {

using Strings = std::vector<std::string>;

TEST(ServerLink, ConnectsOnTheFirstTickAndSendsTheHelloWithEveryField) {
    AgentHarness h;
    h.Start();
    h.loop.Advance(9999);
    EXPECT_TRUE(h.socket.connects.empty());
    h.loop.Advance(1);
    ASSERT_EQ(h.socket.connects.size(), 1u);
    EXPECT_EQ(h.socket.connects[0].host, "10.0.0.1");
    EXPECT_EQ(h.socket.connects[0].port, 9678);
    h.socket.AcceptConnection();
    EXPECT_EQ(h.Sent(),
              Strings{"5|WS07|PC07|192.0.2.17|Microsoft Windows XP Professional  Version: "
                      "5.1.2600 Service Pack 3 Build 2600|"
                      "{0f5c2a7e-1111-2222-3333-444455556666}|"});
    EXPECT_TRUE(h.Client().SocketConnection);
}

TEST(ServerLink, WorkstationNameDefaultsToTheLocalHostName) {
    AgentHarness h;
    h.registry.DeleteValue(RegRoot::LocalMachine, AgentHarness::kSettingsKey, "WorkstationName");
    h.StartConnected();
    EXPECT_EQ(h.globals.WorkstationName, "cafe-pc-07");
}

TEST(ServerLink, APortThatIsNoTcpPortNeverConnects) {
    for (const char* port : {"70000", "65536", "abc", "0", "-5", ""}) {
        AgentHarness h;
        h.SetNetConfig("Port", port);
        h.Start();
        h.loop.Advance(30000);
        EXPECT_TRUE(h.socket.connects.empty()) << port;
        EXPECT_EQ(h.Client().wsState, -1);
    }
    AgentHarness h;
    // Every TCP port is usable, also those above 32767.
    h.SetNetConfig("Port", " 40000");
    h.Start();
    h.loop.Advance(10000);
    ASSERT_EQ(h.socket.connects.size(), 1u);
    EXPECT_EQ(h.socket.connects[0].port, 40000);
}

TEST(ServerLink, WithoutSettingsRetriesEveryTenSecondsWithoutLimit) {
    AgentHarness h;
    h.registry.DeleteKey(RegRoot::LocalMachine, AgentHarness::kSettingsKey);
    h.Start();
    h.loop.Advance(310000);  // 31 ticks
    ASSERT_EQ(h.socket.connects.size(), 31u);
    EXPECT_EQ(h.socket.connects.back().host, "");
    EXPECT_EQ(h.socket.connects.back().port, 9678);
    EXPECT_EQ(h.Client().wsState, -1);
    EXPECT_EQ(h.recorder.LocationName(), "wsStopped.htm");
}

TEST(ServerLink, SettingsTakeEffectAtTheNextReconnectOnly) {
    AgentHarness h;
    h.StartConnected();
    h.Status(0);
    h.SetNetConfig("Server", "10.0.0.2");
    h.form.Link().Reconnect();
    EXPECT_EQ(h.Client().oldWsState, -1);  // only this, while connected
    EXPECT_EQ(h.socket.connects.size(), 1u);
    EXPECT_EQ(h.globals.ServerName, "10.0.0.1");
    h.socket.PeerClose();
    h.loop.Advance(10000);
    ASSERT_EQ(h.socket.connects.size(), 2u);
    EXPECT_EQ(h.socket.connects[1].host, "10.0.0.2");
}

TEST(ServerLink, SilenceOf210SecondsIsALostLink) {
    AgentHarness h;
    h.StartConnected();
    h.Status(0);
    h.Sent();
    h.recorder.Take();
    h.loop.Advance(200000);  // 20 ticks: Timer reaches 200
    EXPECT_EQ(h.Client().Timer, 200);
    EXPECT_EQ(h.Client().wsState, 0);
    EXPECT_EQ(h.socket.connects.size(), 1u);
    h.loop.Advance(10000);  // Timer 210
    EXPECT_EQ(h.Client().wsState, -1);
    EXPECT_FALSE(h.Client().SocketConnection);
    EXPECT_TRUE(h.recorder.Saw("lock workstation"));
    EXPECT_EQ(h.recorder.LocationName(), "wsStopped.htm");
    h.loop.Advance(10000);  // the next tick reconnects
    EXPECT_EQ(h.socket.connects.size(), 2u);
    h.socket.AcceptConnection();
    EXPECT_EQ(h.Sent().size(), 1u);  // a new hello
    h.Status(0);
    EXPECT_EQ(h.Client().Timer, 0);
    EXPECT_EQ(h.Client().wsState, 0);
}

TEST(ServerLink, ServerCloseLocksAndReconnectsWithinTenSeconds) {
    AgentHarness h;
    h.StartConnected();
    h.Status(1);
    h.Sent();
    h.recorder.Take();
    h.socket.PeerClose();
    EXPECT_EQ(h.Client().wsState, -1);
    EXPECT_FALSE(h.Client().SocketConnection);
    EXPECT_TRUE(h.recorder.Saw("lock workstation"));
    EXPECT_TRUE(h.recorder.Saw("deactivate advertisements"));
    EXPECT_FALSE(h.recorder.Saw(
        "load profile http://10.0.0.1:8080/ws/wsLogonProfile.asp?wsName=WS07&action=Logoff"));
    h.loop.Advance(10000);
    ASSERT_EQ(h.socket.connects.size(), 2u);
    h.socket.AcceptConnection();
    Strings sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(0, 7), "5|WS07|");
    EXPECT_EQ(h.system.identityReads, 1);  // read once, kept for the life of the process
}

TEST(ServerLink, ErrorMarksTheLinkLostAndFreesTheSender) {
    AgentHarness h;
    h.StartConnected();
    h.Status(0);
    h.socket.autoCompleteSends = false;
    h.Client().SendPing();
    EXPECT_FALSE(h.form.Link().ReadyToSend());
    h.socket.RefuseConnection();
    EXPECT_TRUE(h.form.Link().ReadyToSend());
    EXPECT_EQ(h.Client().wsState, -1);
    EXPECT_FALSE(h.Client().SocketConnection);
}

TEST(ServerLink, OneSendInFlightTheNextWaitsInsteadOfBeingDropped) {
    AgentHarness h;
    h.StartConnected();
    h.socket.autoCompleteSends = false;
    h.Status(0);
    // The status moved the workstation out of -1: 36 goes first, the ping waits for it.
    EXPECT_EQ(h.socket.SentMessages(), Strings{"36|"});
    h.Client().logonCustomer("bob", "pw");
    h.socket.CompleteSend();
    h.loop.Advance(99);
    EXPECT_EQ(h.socket.SentMessages(), Strings{"36|"});  // a short gap keeps them apart
    h.loop.Advance(1);
    EXPECT_EQ(h.socket.SentMessages(), (Strings{"36|", " 25|"}));
    h.socket.CompleteSend();
    h.loop.Advance(100);
    EXPECT_EQ(h.Sent(), (Strings{"36|", " 25|", " 1|bob|pw||||"}));
    // A new connection forgets what was waiting on the old one.
    h.Client().SendPing();
    h.Client().SendPing();
    h.socket.PeerClose();
    h.socket.CompleteSend();
    h.loop.Advance(1000);
    EXPECT_EQ(h.form.Link().QueuedMessages(), 0u);
}

TEST(ServerLink, ASendThatFailsAtOnceDoesNotBlockLaterMessages) {
    AgentHarness h;
    h.StartConnected();
    h.socket.sendFailsAtOnce = true;
    h.Client().SendPing();
    EXPECT_TRUE(h.form.Link().ReadyToSend());
    h.socket.sendFailsAtOnce = false;
    h.Client().logonCustomer("bob", "pw");
    h.loop.RunPosted();
    EXPECT_EQ(h.Sent(), Strings{" 1|bob|pw||||"});
}

TEST(ServerLink, MessagesThatArriveInOneReadAreEachHandled) {
    AgentHarness h;
    h.StartConnected();
    h.Status(1);
    h.recorder.Take();
    h.socket.Deliver(WireCodec::EncodeMessage("33|", 5) + WireCodec::EncodeMessage("34|", 9));
    EXPECT_EQ(h.recorder.Take(), (Strings{"time-out warning", "time-out sound"}));
}

TEST(ServerLink, AMessageThatFailsDoesNotHoldBackTheRestOfItsRead) {
    AgentHarness h;
    h.StartConnected();
    h.Status(1);
    h.recorder.Take();
    h.recorder.onCall = [](const std::string& call) {
        if (call == "time-out warning") {
            throw std::runtime_error("the warning window failed");
        }
    };
    h.socket.Deliver(WireCodec::EncodeMessage("33|", 5) + WireCodec::EncodeMessage("34|", 9) +
                     WireCodec::EncodeMessage("33|", 3) + WireCodec::EncodeMessage("19|", 11));
    EXPECT_EQ(h.recorder.Take(), (Strings{"time-out warning", "time-out sound", "time-out warning",
                                          "close all applications"}));
}

TEST(ServerLink, MessagesKeepTheServersOrderAcrossAModalWindow) {
    AgentHarness h;
    h.StartConnected();
    h.Status(0);
    h.recorder.Take();
    // A read with an operator message and a session start; while the message is shown, the
    // operator logs the customer off again.
    h.recorder.whileMessageShown = [&] { h.Server("0|x||||||||0|"); };
    h.socket.Deliver(WireCodec::EncodeMessage("15|7|Hello|", 5) +
                     WireCodec::EncodeMessage("0|bob||||||||1|", 9));
    EXPECT_EQ(h.Client().wsState, 0);
    Strings calls = h.recorder.Take();
    auto unlock = std::find(calls.begin(), calls.end(), "unlock workstation");
    auto lock = std::find(calls.begin(), calls.end(), "lock workstation");
    ASSERT_NE(unlock, calls.end());
    ASSERT_NE(lock, calls.end());
    EXPECT_LT(unlock, lock);  // the older status first, the newer one last
}

TEST(ServerLink, AClosedLinkLeavesNoSendInFlight) {
    AgentHarness h;
    h.StartConnected();
    h.socket.autoCompleteSends = false;
    h.Client().SendPing();
    EXPECT_FALSE(h.form.Link().ReadyToSend());
    h.Sent();
    h.socket.PeerClose();
    EXPECT_TRUE(h.form.Link().ReadyToSend());
    h.loop.Advance(10000);
    h.socket.AcceptConnection();
    EXPECT_EQ(h.Sent().size(), 1u);  // the hello goes out at once
}

TEST(ServerLink, MalformedDataNeverChangesTheState) {
    AgentHarness h;
    h.StartConnected();
    h.Status(1);
    h.Sent();
    h.recorder.Take();
    std::string longField(5000, 'x');
    std::string manyFields(400, '|');
    const std::vector<std::string> garbage = {
        std::string("\x00\x00\x30\x00\x7c", 5),            // multiplier 0
        WireCodec::EncodeMessage("xx|", 3).substr(0, 4),   // odd length
        std::string("\x01\xff\xff\xff\xff", 5),            // overflowing pairs
        WireCodec::EncodeMessage("abc" + manyFields, 11),  // more than 300 fields
        WireCodec::EncodeMessage(longField, 13),           // a 5,000-character field
        WireCodec::EncodeMessage(manyFields, 2),           // empty code fields
        std::string(1, '\x80'),                            // a multiplier alone
    };
    for (const auto& bytes : garbage) {
        h.socket.Deliver(bytes);
        h.loop.RunPosted();
        EXPECT_EQ(h.Client().wsState, 1);
    }
    EXPECT_TRUE(h.Sent().empty());
    EXPECT_TRUE(h.recorder.calls.empty());
}

}  // namespace
}  // namespace ko
