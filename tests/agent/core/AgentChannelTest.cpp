#include "agent/core/AgentChannel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/core/AgentWindowHandler.h"
#include "fakes/AgentHarness.h"
#include "fakes/FakeChannelPort.h"
#include "fakes/FakeProcesses.h"
#include "fakes/FakeUserSession.h"

namespace ko {
namespace {

using Message = MessageChannel::Message;

struct ShownBoxes : MessageWindow {
    std::vector<std::string> shown;
    void ShowForm(const std::string& kind, const std::string& msgEnglish, const std::string& msgID,
                  const std::string& msgParametar, std::int16_t msgBoxStyle) override {
        shown.push_back(kind + "|" + msgEnglish + "|" + msgID + "|" + msgParametar + "|" +
                        std::to_string(msgBoxStyle));
    }
    bool KoActionApproved() const override { return false; }
    void Unload() override {}
};

// One watcher: its own window on the hub, what it heard, and what it does when it hears it.
struct Watcher : ChannelPort::Receiver {
    explicit Watcher(FakeChannelHub& hub) : port(hub), channel(port) {
        port.CreateOwnWindow(MessageChannel::kWatcherWindowName, this);
        channel.RegisterAll();
    }
    void OnWindowMessage(const ChannelPort::Incoming& message) override {
        const auto which = channel.Identify(message.number);
        heard.push_back(std::string(which ? MessageChannel::Name(*which) : "?") + " " +
                        message.text);
        if (onMessage) {
            onMessage(message);
        }
    }
    void Announce(ChannelPort::WindowHandle agent, const std::string& text) {
        channel.SendMessageToService(agent, Message::KOW_CONNECTION, text);
    }
    std::string Own() const { return std::to_string(port.OwnWindow()); }

    FakeChannelPort port;
    MessageChannel channel;
    std::vector<std::string> heard;
    std::function<void(const ChannelPort::Incoming&)> onMessage;
};

struct HookNotices : AgentWindowHandler {
    std::vector<std::uint32_t> numbers;
    void OnAgentWindowMessage(const ChannelPort::Incoming& message) override {
        numbers.push_back(message.number);
    }
};

class AgentChannelTest : public ::testing::Test {
  protected:
    AgentChannelTest() {
        h.StartConnected();
        h.Status(0);
        agent.RegisterMessages();
        agent.CreateMessageWindow(MessageChannel::kAgentWindowName);
    }
    ChannelPort::WindowHandle AgentWindow() { return agent.OwnWindow(); }

    AgentHarness h;
    FakeChannelHub hub;
    FakeChannelPort port{hub};
    ShownBoxes boxes;
    AgentChannel agent{h.loop, port, boxes, [this] { return h.form.Client(); }};
};

TEST_F(AgentChannelTest, AnAnnouncedWatcherIsAnsweredWithTheCurrentStateAndDrivenFromThen) {
    Watcher watcher(hub);
    // Nothing reaches a watcher that has not announced itself.
    agent.SendMessageToExe("KOW_DELETE_IEC", "");
    EXPECT_TRUE(watcher.heard.empty());

    watcher.Announce(AgentWindow(), watcher.Own());
    EXPECT_EQ(watcher.port.OwnWindow(), agent.WatcherWindow());
    EXPECT_EQ((std::vector<std::string>{"KOW_Update_State 0"}), watcher.heard);
    EXPECT_EQ(MessageChannel::kAgentSendTimeoutMs, port.Sent().back().timeoutMs);

    agent.SendMessageToExe("KOW_Run_Application", "C:\\Games\\chess.exe");
    EXPECT_EQ("KOW_Run_Application C:\\Games\\chess.exe", watcher.heard.back());
    // A text that cannot travel whole is not sent, nor a message without a name.
    agent.SendMessageToExe("KOW_Run_Application", std::string(256, 'x'));
    agent.SendMessageToExe("KOW_NOSUCH", "");
    EXPECT_EQ(2u, watcher.heard.size());

    // The filter admits exactly the watcher's three messages.
    EXPECT_EQ((std::set<std::uint32_t>{agent.Channel().Number(Message::KOW_CONNECTION),
                                       agent.Channel().Number(Message::KOW_DISALLOWEDURL),
                                       agent.Channel().Number(Message::KOW_Disallowed_URL)}),
              port.Admitted());
}

TEST_F(AgentChannelTest, AnnouncementsThatNameNoWindowAreIgnored) {
    Watcher watcher(hub);
    Watcher other(hub);
    for (const std::string& text :
         std::vector<std::string>{"", "abc", " -", "0", "123456", other.Own()}) {
        watcher.Announce(AgentWindow(), text);
    }
    EXPECT_TRUE(other.heard.empty());
    EXPECT_EQ(0, agent.WatcherWindow());
    EXPECT_TRUE(watcher.heard.empty());
}

TEST_F(AgentChannelTest, ASecondWatcherIsServedAndTheFirstIsToldToClose) {
    Watcher first(hub);
    Watcher second(hub);
    first.Announce(AgentWindow(), first.Own());
    // The same watcher announcing itself again is only answered.
    first.Announce(AgentWindow(), first.Own());
    EXPECT_EQ(2u, first.heard.size());
    EXPECT_EQ("KOW_Update_State 0", first.heard.back());

    second.Announce(AgentWindow(), second.Own());
    EXPECT_EQ("KOW_CLOSEWS ", first.heard.back());
    EXPECT_EQ((std::vector<std::string>{"KOW_Update_State 0"}), second.heard);
    EXPECT_EQ(second.port.OwnWindow(), agent.WatcherWindow());

    // A watcher that has gone is simply replaced.
    Watcher third(hub);
    second.port.DestroyOwnWindow();
    third.Announce(AgentWindow(), third.Own());
    EXPECT_EQ(1u, second.heard.size());
    EXPECT_EQ(third.port.OwnWindow(), agent.WatcherWindow());
}

TEST_F(AgentChannelTest, TheWatcherProgramsProcessIsProtectedFromBeingEndedOnceItAnnounces) {
    FakeProcesses processes(h.loop);
    agent.ProtectWatchersIn(&processes);
    processes.Start(ProcessInfo{4100, "C:\\Program Files\\Ostrel\\KOWATCH.EXE", "S-1-5-21-7", 1});
    processes.Start(ProcessInfo{4200, "/opt/ostrel/bin/kowatch", "S-1-22-1-1000", 2});
    processes.Start(ProcessInfo{4300, "C:\\Users\\bob\\shield.exe", "S-1-5-21-7", 1});
    Watcher first(hub);
    Watcher second(hub);
    Watcher impostor(hub);
    port.SetProcessOf(first.port.OwnWindow(), 4100);
    port.SetProcessOf(second.port.OwnWindow(), 4200);
    port.SetProcessOf(impostor.port.OwnWindow(), 4300);

    // An announcement naming another window protects nobody.
    impostor.Announce(AgentWindow(), first.Own());
    EXPECT_FALSE(processes.IsProtected(4100));

    first.Announce(AgentWindow(), first.Own());
    EXPECT_TRUE(processes.IsProtected(4100));
    // The replaced watcher is told to close, not ended: it stays protected.
    second.Announce(AgentWindow(), second.Own());
    EXPECT_TRUE(processes.IsProtected(4100));
    EXPECT_TRUE(processes.IsProtected(4200));

    // A customer's program that announces its own window is served as the watcher, but cannot
    // shield itself from being ended that way.
    impostor.Announce(AgentWindow(), impostor.Own());
    EXPECT_EQ(impostor.port.OwnWindow(), agent.WatcherWindow());
    EXPECT_FALSE(processes.IsProtected(4300));

    // Nor does a watcher whose process the system cannot name protect anything.
    Watcher unknown(hub);
    unknown.Announce(AgentWindow(), unknown.Own());
    EXPECT_EQ(unknown.port.OwnWindow(), agent.WatcherWindow());
    EXPECT_FALSE(processes.IsProtected(0));
}

TEST_F(AgentChannelTest, OnlyTheLoggedOnUsersAccountMayReachTheWindowAsTheWatcher) {
    FakeUserSession session;
    EXPECT_FALSE(port.HasAccountCheck());
    agent.AdmitSessionUserOf(&session);
    // Nobody logged on: no user's process is the session's watcher.
    EXPECT_FALSE(port.AccountAdmitted("S-1-22-1-1000"));
    // The user is asked at each connection: a new log-on admits the new user only.
    session.SetUser(SessionUser{1, std::string("alice"), "", "S-1-22-1-1000"});
    EXPECT_TRUE(port.AccountAdmitted("S-1-22-1-1000"));
    EXPECT_FALSE(port.AccountAdmitted("S-1-22-1-1001"));
    EXPECT_FALSE(port.AccountAdmitted(""));
    session.SetUser(SessionUser{2, std::string("bob"), "", "S-1-22-1-1001"});
    EXPECT_FALSE(port.AccountAdmitted("S-1-22-1-1000"));
    EXPECT_TRUE(port.AccountAdmitted("S-1-22-1-1001"));
    // A user whose SID cannot be read admits nobody by an empty one.
    session.SetUser(SessionUser{3, std::string("carol"), "", ""});
    EXPECT_FALSE(port.AccountAdmitted(""));
    agent.AdmitSessionUserOf(nullptr);
    EXPECT_FALSE(port.HasAccountCheck());
}

TEST_F(AgentChannelTest, ARefusedAddressOpensTheAccessDeniedBoxButNeverInsideTheAgentsOwnSend) {
    Watcher watcher(hub);
    watcher.Announce(AgentWindow(), watcher.Own());
    watcher.channel.SendMessageToService(AgentWindow(), Message::KOW_DISALLOWEDURL, "");
    EXPECT_TRUE(boxes.shown.empty());
    watcher.channel.SendMessageToService(AgentWindow(), Message::KOW_DISALLOWEDURL,
                                         "http://casino.example/");
    EXPECT_EQ((std::vector<std::string>{
                  "ShowMessage|Access Denied to URL:|1017|http://casino.example/|0"}),
              boxes.shown);

    // The watcher refuses a navigation while it handles the agent's message: the modal box
    // would hold the agent's send and the watcher's handler under it.
    watcher.onMessage = [&](const ChannelPort::Incoming&) {
        watcher.channel.SendMessageToService(AgentWindow(), Message::KOW_DISALLOWEDURL,
                                             "http://b.example/");
    };
    agent.SendMessageToExe("KOW_CUPOLICY", "");
    EXPECT_EQ(1u, boxes.shown.size());
    h.loop.RunPosted();
    ASSERT_EQ(2u, boxes.shown.size());
    EXPECT_EQ("ShowMessage|Access Denied to URL:|1017|http://b.example/|0", boxes.shown.back());
}

TEST_F(AgentChannelTest, VisitedAddressesAreReportedOnlyWithReportUrlsAndKeepTheirFields) {
    Watcher watcher(hub);
    watcher.Announce(AgentWindow(), watcher.Own());
    h.Sent();
    watcher.channel.SendMessageToService(AgentWindow(), Message::KOW_Disallowed_URL, "http://a/");
    h.loop.Advance(10);
    EXPECT_TRUE(h.Sent().empty());

    h.globals.options.ReportUrls = -1;
    watcher.channel.SendMessageToService(AgentWindow(), Message::KOW_Disallowed_URL, "");
    watcher.channel.SendMessageToService(AgentWindow(), Message::KOW_Disallowed_URL,
                                         "http://a/?x=1|2");
    h.loop.Advance(10);
    EXPECT_EQ((std::vector<std::string>{"47|http://a/?x=1%7C2|"}), h.Sent());
}

TEST_F(AgentChannelTest, OtherMessagesOfTheWindowGoToTheHooksHandler) {
    HookNotices notices;
    agent.SetWindowHandler(&notices);
    Watcher watcher(hub);
    watcher.Announce(AgentWindow(), watcher.Own());
    port.Deliver(0xC123, 0, "", 42);
    watcher.channel.SendMessageToService(AgentWindow(), Message::KOW_CLOSEWS, "");
    EXPECT_EQ((std::vector<std::uint32_t>{0xC123, agent.Channel().Number(Message::KOW_CLOSEWS)}),
              notices.numbers);
}

TEST_F(AgentChannelTest, AHungWatcherCostsTheAgentOneTimedOutSend) {
    Watcher watcher(hub);
    watcher.Announce(AgentWindow(), watcher.Own());
    watcher.port.SetHung(true);
    agent.SendMessageToExe("KOW_Update_State", "2");
    EXPECT_EQ(ChannelPort::SendResult::TimedOut, port.Sent().back().result);
    EXPECT_EQ(1u, watcher.heard.size());
}

TEST(PendingProfileLoader, ALogonProfileTellsTheWatcherToStartAndALogoffProfileDoesNot) {
    struct Told : RecordingCapabilities {
    } told;
    PendingCapabilities pending;
    pending.SetWatcher(&told);
    pending.LoadProfile("http://s:80/ws/wsLogonProfile.asp?wsName=PC1&action=Logoff",
                        ProfileAction::Logoff);
    EXPECT_TRUE(told.calls.empty());
    pending.LoadProfile("http://s:80/ws/wsLogonProfile.asp?wsName=PC1", ProfileAction::Logon);
    EXPECT_EQ((std::vector<std::string>{"to the watcher KOW_CUPOLICY ",
                                        "to the watcher KOW_Update_State 1"}),
              told.calls);
}

}  // namespace
}  // namespace ko
