#include "watcher/frmLogon.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/FakeBrowserTracking.h"
#include "fakes/FakeChannelPort.h"
#include "fakes/FakeEventLoop.h"
#include "fakes/FakeRegistry.h"
#include "fakes/FakeShellJobs.h"
#include "fakes/FakeSystem.h"
#include "fakes/FakeXmlDocument.h"
#include "shared/RegistryModule.h"
#include "watcher/wsClient.h"

namespace ko::watcher {
namespace {

using Message = MessageChannel::Message;

constexpr const char* kSettingsUrl = "http://10.0.0.5:8080/ws/wsLogonSettings.asp?wsName=PC%2607";

// Plays the agent's side of the channel: its message window, what it received, and its sends.
class FakeAgent : public ChannelPort::Receiver {
  public:
    explicit FakeAgent(FakeChannelHub& hub) : m_port(hub), m_channel(m_port) {}

    void Start() {
        m_channel.RegisterAll();
        m_port.CreateOwnWindow(MessageChannel::kAgentWindowName, this);
    }
    void Stop() { m_port.DestroyOwnWindow(); }
    ChannelPort::WindowHandle Window() const { return m_port.OwnWindow(); }

    void OnWindowMessage(const ChannelPort::Incoming& incoming) override {
        auto message = m_channel.Identify(incoming.number);
        if (!message) {
            return;
        }
        received.push_back(std::string(MessageChannel::Name(*message)) + " " + incoming.text);
        if (*message == Message::KOW_CONNECTION) {
            watcher = static_cast<ChannelPort::WindowHandle>(incoming.wParam);
            Send(Message::KOW_Update_State, std::to_string(state));
        }
        if (onMessage) {
            onMessage(*message, incoming.text);
        }
    }

    void Send(Message message, const std::string& text) {
        m_channel.SendMessageToExe(watcher, message, text);
    }

    std::vector<std::string> received;
    std::function<void(Message, const std::string&)> onMessage;
    ChannelPort::WindowHandle watcher = 0;
    int state = 0;

  private:
    FakeChannelPort m_port;
    MessageChannel m_channel;
};

class frmLogonTest : public ::testing::Test {
  protected:
    frmLogonTest() {
        const std::string key = RegistryModule::SettingsKey() + "\\NetConfig";
        m_registry.PutString(RegRoot::LocalMachine, key, "Server", "10.0.0.5");
        m_registry.PutString(RegRoot::LocalMachine, key, "HttpPort", "8080");
        m_registry.PutString(RegRoot::LocalMachine, key, "WorkstationName", "PC&07");
    }

    // Counts of what the agent received, by message name.
    int Received(const std::string& name) const {
        int count = 0;
        for (const auto& line : agent.received) {
            count += line.rfind(name + " ", 0) == 0 ? 1 : 0;
        }
        return count;
    }

    XmlNode ListOf(const std::string& text) {
        return XmlNode::MakeDocument(XmlNode::MakeElement(
            "LogonSettings",
            {XmlNode::MakeElement("DisallowedUrls",
                                  {XmlNode::MakeElement("Url", {XmlNode::MakeText(text)})})}));
    }

    FakeEventLoop m_loop;
    FakeSystemInfo m_system;
    FakeRegistry m_registry;
    RegistryModule m_registryModule{m_registry};
    FakeXmlDocument m_xml{m_loop};
    FakeBrowserTracking m_browsers;
    FakeShellJobs m_shell{m_loop};
    FakeChannelHub m_hub;
    FakeChannelPort m_port{m_hub};
    FakeAgent agent{m_hub};
    WatcherPlatform m_platform{m_loop,  m_system, m_registryModule, m_xml, m_browsers,
                               m_shell, m_port};
    frmLogon m_form{m_platform};
};

TEST_F(frmLogonTest, ASecondCopyInTheSessionEndsAtOnce) {
    m_system.anotherInstance = true;
    EXPECT_FALSE(m_form.Load());
    EXPECT_EQ(m_port.OwnWindow(), 0);
    EXPECT_EQ(m_browsers.Subscriptions(), 0u);
    agent.Start();
    m_loop.Advance(60000);
    EXPECT_TRUE(agent.received.empty());
}

TEST_F(frmLogonTest, AnnouncesEveryTenSecondsUntilTheAgentAnswers) {
    ASSERT_TRUE(m_form.Load());
    EXPECT_NE(m_form.OwnWindow(), 0);
    EXPECT_EQ(m_browsers.Subscriptions(), 1u);  // the subscription exists from the start
    EXPECT_EQ(m_form.Client()->LogonSettingsAddress(), kSettingsUrl);

    m_loop.Advance(115000);  // the agent's window exists from 115 s
    EXPECT_EQ(m_form.ConnectAttempts(), 11);
    agent.Start();
    m_loop.Advance(5000);
    EXPECT_EQ(m_form.ConnectAttempts(), 12);
    EXPECT_TRUE(m_form.ServiceConnected());
    EXPECT_EQ(agent.received,
              std::vector<std::string>{"KOW_CONNECTION " + std::to_string(m_form.OwnWindow())});
    EXPECT_EQ(m_form.Client()->wsState, 0);
    // Connected, the watcher does not announce itself again.
    m_loop.Advance(600000);
    EXPECT_EQ(Received("KOW_CONNECTION"), 1);
    EXPECT_TRUE(m_xml.Requests().empty());  // state 0 loads nothing
}

TEST_F(frmLogonTest, AfterThirtyOneAttemptsTheAgentIsStillLookedForEveryMinute) {
    ASSERT_TRUE(m_form.Load());
    m_loop.Advance(310000);
    EXPECT_EQ(m_form.ConnectAttempts(), 31);
    m_loop.Advance(59999);
    EXPECT_EQ(m_form.ConnectAttempts(), 31);
    m_loop.Advance(1);
    EXPECT_EQ(m_form.ConnectAttempts(), 32);
    agent.Start();  // an agent that starts 6 minutes late
    m_loop.Advance(60000);
    EXPECT_TRUE(m_form.ServiceConnected());
    EXPECT_EQ(Received("KOW_CONNECTION"), 1);
}

TEST_F(frmLogonTest, AnAgentThatCameBackIsAnnouncedToAgain) {
    agent.Start();
    agent.state = 1;
    m_xml.Serve(kSettingsUrl, ListOf("casino"));
    ASSERT_TRUE(m_form.Load());
    m_loop.Advance(10000);
    ASSERT_TRUE(m_form.ServiceConnected());
    const auto first = m_form.AgentWindow();

    // The agent crashes and its recovery starts a new one: no KOW_CLOSEWS was sent.
    agent.Stop();
    agent.Start();
    agent.received.clear();
    m_loop.Advance(10000);
    EXPECT_NE(m_form.AgentWindow(), first);
    EXPECT_EQ(m_form.AgentWindow(), agent.Window());
    EXPECT_EQ(Received("KOW_CONNECTION"), 1);
    EXPECT_TRUE(m_form.ServiceConnected());
    // Still in the same session: the document is not fetched a second time.
    EXPECT_EQ(m_xml.Requests().size(), 1u);
    EXPECT_TRUE(m_browsers.Navigate("http://casino.example/") == false);
}

TEST_F(frmLogonTest, StateOneFetchesTheSettingsOncePerSessionAndFiltersEveryBrowser) {
    agent.Start();
    m_xml.Serve(kSettingsUrl, ListOf("casino"), 200);
    ASSERT_TRUE(m_form.Load());
    m_loop.Advance(10000);

    agent.Send(Message::KOW_Update_State, "1");
    EXPECT_TRUE(m_xml.Requests().empty()) << "the work runs after the handler";
    m_loop.RunPosted();
    EXPECT_EQ(m_xml.Requests(), std::vector<std::string>{kSettingsUrl});
    agent.Send(Message::KOW_Update_State, "1");
    agent.Send(Message::KOW_Update_State, " 1");
    m_loop.Advance(200);
    EXPECT_EQ(m_xml.Requests().size(), 1u);
    // Subscriptions: start, the change to 1, the document's completion.
    EXPECT_EQ(m_browsers.Subscriptions(), 3u);

    agent.received.clear();
    EXPECT_FALSE(m_browsers.Navigate(1, "http://www.CASINO.example/"));
    EXPECT_FALSE(m_browsers.Navigate(2, "http://ca%73ino.example/"));
    EXPECT_TRUE(m_browsers.Navigate(2, "http://news.example/a|b"));
    m_loop.RunPosted();
    // One notice for two refusals within 10 s, sent after the browser had its answer; the
    // visited address reported with its "|" escaped.
    EXPECT_EQ(agent.received,
              (std::vector<std::string>{"KOW_Disallowed_URL http://news.example/a%7Cb",
                                        "KOW_DISALLOWEDURL http://www.CASINO.example/"}));

    // The session ends and the next one's document fails: the last list still holds.
    agent.Send(Message::KOW_Update_State, "0");
    m_xml.Serve(kSettingsUrl, XmlNode{});
    agent.Send(Message::KOW_Update_State, "1");
    m_loop.Advance(1);
    EXPECT_EQ(m_xml.Requests().size(), 2u);
    EXPECT_FALSE(m_browsers.Navigate("http://casino.example/"));
}

TEST_F(frmLogonTest, TheWholeAddressIsTestedAndOnlyWhatTravelsIsCut) {
    agent.Start();
    agent.state = 1;
    m_xml.Serve(kSettingsUrl, ListOf("casino"));
    ASSERT_TRUE(m_form.Load());
    m_loop.Advance(10000);
    agent.received.clear();

    // The listed text lies beyond the 254 characters a message can carry.
    const std::string address = "http://example.org/?" + std::string(300, 'x') + "&go=CASINO";
    EXPECT_FALSE(m_browsers.Navigate(address));
    m_loop.RunPosted();
    ASSERT_EQ(agent.received.size(), 1u);
    EXPECT_EQ(agent.received[0], "KOW_DISALLOWEDURL " + address.substr(0, 254));

    // A visited address that long is reported with its first 254 characters.
    const std::string visited = "http://example.org/?" + std::string(300, 'y');
    EXPECT_TRUE(m_browsers.Navigate(visited));
    EXPECT_EQ(agent.received.back(), "KOW_Disallowed_URL " + visited.substr(0, 254));
}

TEST_F(frmLogonTest, TextsThatNameNoStateAreIgnored) {
    agent.Start();
    ASSERT_TRUE(m_form.Load());
    m_loop.Advance(10000);
    for (const char* text : {"", "abc", "99999"}) {
        agent.Send(Message::KOW_Update_State, text);
    }
    m_loop.RunPosted();
    EXPECT_EQ(m_form.Client()->wsState, 0);
    EXPECT_EQ(m_form.Client()->oldWsState, -1);
}

TEST_F(frmLogonTest, PolicyNoticeBeforeAnyStateConnectsAndSubscribes) {
    ASSERT_TRUE(m_form.Load());
    agent.Start();
    agent.watcher = m_form.OwnWindow();  // the agent knows the watcher from an earlier run
    agent.Send(Message::KOW_CUPOLICY, "");
    EXPECT_TRUE(m_form.ServiceConnected());
    m_loop.RunPosted();
    EXPECT_EQ(m_browsers.Subscriptions(), 2u);
    m_loop.Advance(60000);
    EXPECT_EQ(Received("KOW_CONNECTION"), 0);
}

TEST_F(frmLogonTest, JobsRunAfterTheHandlerInTheOrderTheyCame) {
    agent.Start();
    ASSERT_TRUE(m_form.Load());
    m_loop.Advance(10000);
    m_shell.AllowRun("notepad.exe");
    agent.Send(Message::KOW_DELETE_IEC, "");
    agent.Send(Message::KOW_Run_Application, "notepad.exe");
    agent.Send(Message::KOW_Run_Application, "");
    agent.Send(Message::KOW_DELETE_IEH, "");
    EXPECT_TRUE(m_shell.Calls().empty());
    m_loop.Advance(1000);
    EXPECT_EQ(m_shell.Calls(),
              (std::vector<std::string>{"DeleteUrlCache", "Run notepad.exe", "ClearUrlHistory"}));
}

TEST_F(frmLogonTest, CloseDuringTheWatchersOwnSendEndsOnlyAfterItReturns) {
    agent.Start();
    ASSERT_TRUE(m_form.Load());
    m_loop.Advance(10000);
    // The agent stops while it handles the watcher's report: its close arrives nested.
    agent.onMessage = [this](Message message, const std::string&) {
        if (message == Message::KOW_Disallowed_URL) {
            agent.Send(Message::KOW_CLOSEWS, "");
            agent.Send(Message::KOW_DELETE_IEC, "");
            EXPECT_TRUE(m_form.Loaded()) << "the form is still on the stack";
        }
    };
    EXPECT_TRUE(m_browsers.Navigate("http://news.example/"));
    EXPECT_TRUE(m_form.Loaded());
    m_loop.RunPosted();
    EXPECT_FALSE(m_form.Loaded());
    EXPECT_TRUE(m_loop.QuitRequested());
    EXPECT_EQ(m_port.OwnWindow(), 0);
    EXPECT_FALSE(m_browsers.Subscribed());
    m_loop.Advance(1000);
    EXPECT_TRUE(m_shell.Calls().empty()) << "nothing queued after the close runs";
    // Later messages reach no window.
    agent.Send(Message::KOW_Update_State, "1");
    m_loop.RunPosted();
    EXPECT_TRUE(m_xml.Requests().empty());
}

}  // namespace
}  // namespace ko::watcher
