#include "shared/MessageChannel.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fakes/FakeChannelPort.h"

namespace ko {
namespace {

using Message = MessageChannel::Message;
using SendResult = ChannelPort::SendResult;

struct Recorder : ChannelPort::Receiver {
    std::vector<ChannelPort::Incoming> seen;
    std::function<void(const ChannelPort::Incoming&)> onMessage;
    void OnWindowMessage(const ChannelPort::Incoming& message) override {
        seen.push_back(message);
        if (onMessage) {
            onMessage(message);
        }
    }
};

TEST(MessageChannel, NamesAreTheNineExactlyAndTwoUrlMessagesStayApart) {
    const std::vector<std::string> expected = {
        "KOW_Update_State", "KOW_Run_Application", "KOW_DELETE_IEC",
        "KOW_DELETE_IEH",   "KOW_Disallowed_URL",  "KOW_CLOSEWS",
        "KOW_CONNECTION",   "KOW_DISALLOWEDURL",   "KOW_CUPOLICY"};
    FakeChannelHub hub;
    FakeChannelPort port(hub);
    MessageChannel channel(port);
    std::set<std::uint32_t> numbers;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto message = static_cast<Message>(i);
        EXPECT_EQ(expected[i], MessageChannel::Name(message));
        EXPECT_EQ(message, MessageChannel::FromName(expected[i]));
        numbers.insert(channel.Number(message));
        EXPECT_EQ(message, channel.Identify(channel.Number(message)));
    }
    EXPECT_EQ(9u, numbers.size());
    EXPECT_FALSE(MessageChannel::FromName("kow_closews").has_value());
    EXPECT_FALSE(channel.Identify(0).has_value());
    EXPECT_FALSE(channel.Identify(0x1234).has_value());
}

TEST(MessageChannel, RegistrationStopsAtTheFirstFailureAndIsRetriedAtTheNextUse) {
    FakeChannelHub hub;
    FakeChannelPort port(hub);
    MessageChannel channel(port);
    hub.FailRegistration("KOW_DELETE_IEC");
    EXPECT_FALSE(channel.RegisterAll());
    EXPECT_NE(0u, channel.Number(Message::KOW_Run_Application));
    EXPECT_EQ(0u, channel.Number(Message::KOW_DELETE_IEC));
    // Not reached by RegisterAll, registered at its first use.
    EXPECT_FALSE(channel.Identify(hub.Register("KOW_CUPOLICY")).has_value());
    EXPECT_NE(0u, channel.Number(Message::KOW_CUPOLICY));
    hub.FailRegistration("KOW_DELETE_IEC", false);
    EXPECT_TRUE(channel.RegisterAll());
}

// The agent and a watcher, each with its window on one hub.
class TwoPrograms : public ::testing::Test {
  protected:
    TwoPrograms() {
        agentPort.CreateOwnWindow(MessageChannel::kAgentWindowName, &agent);
        watcherPort.CreateOwnWindow(MessageChannel::kWatcherWindowName, &watcher);
    }
    FakeChannelHub hub;
    FakeChannelPort agentPort{hub};
    FakeChannelPort watcherPort{hub};
    Recorder agent;
    Recorder watcher;
    MessageChannel agentChannel{agentPort};
    MessageChannel watcherChannel{watcherPort};
};

TEST_F(TwoPrograms, SendsCarryTheTextAndTheSendersWindowAndRefuseWhatCannotTravel) {
    const auto agentWindow = watcherPort.FindPeerWindow(MessageChannel::kAgentWindowName);
    ASSERT_EQ(agentPort.OwnWindow(), agentWindow);

    EXPECT_EQ(SendResult::NoPeer, agentChannel.SendMessageToExe(0, Message::KOW_Update_State, "0"));
    EXPECT_EQ(SendResult::Delivered,
              watcherChannel.SendMessageToService(agentWindow, Message::KOW_CONNECTION, "7"));
    ASSERT_EQ(1u, agent.seen.size());
    EXPECT_EQ(agentChannel.Number(Message::KOW_CONNECTION), agent.seen[0].number);
    EXPECT_EQ(static_cast<std::uintptr_t>(watcherPort.OwnWindow()), agent.seen[0].wParam);
    EXPECT_EQ("7", agent.seen[0].text);
    EXPECT_EQ(0u, watcherPort.Sent()[0].timeoutMs);

    EXPECT_EQ(SendResult::Refused,
              agentChannel.SendMessageToExe(watcherPort.OwnWindow(), Message::KOW_Run_Application,
                                            std::string(256, 'a')));
    EXPECT_EQ(SendResult::Delivered,
              agentChannel.SendMessageToExe(watcherPort.OwnWindow(), Message::KOW_Run_Application,
                                            std::string(255, 'a')));
    EXPECT_EQ(MessageChannel::kAgentSendTimeoutMs, agentPort.Sent().back().timeoutMs);
    EXPECT_EQ(1u, watcher.seen.size());
    // A text travels up to its first NUL, however long the rest.
    EXPECT_EQ(SendResult::Delivered,
              agentChannel.SendMessageToExe(watcherPort.OwnWindow(), Message::KOW_Run_Application,
                                            std::string("run.sh\0", 7) + std::string(300, 'x')));
    ASSERT_EQ(2u, watcher.seen.size());
    EXPECT_EQ("run.sh", watcher.seen[1].text);
    EXPECT_EQ(254u, MessageChannel::CutUrl(std::string(300, 'u')).size());
}

TEST_F(TwoPrograms, APeersSendInsideAHandlerArrivesMarkedAsDuringTheSend) {
    watcher.onMessage = [&](const ChannelPort::Incoming&) {
        watcherChannel.SendMessageToService(agentPort.OwnWindow(), Message::KOW_DISALLOWEDURL,
                                            "http://x/");
    };
    agentChannel.SendMessageToExe(watcherPort.OwnWindow(), Message::KOW_Update_State, "1");
    ASSERT_EQ(1u, agent.seen.size());
    EXPECT_TRUE(agent.seen[0].duringSend);
    EXPECT_FALSE(agentPort.SendInProgress());

    watcherPort.SetHung(true);
    EXPECT_EQ(SendResult::TimedOut,
              agentChannel.SendMessageToExe(watcherPort.OwnWindow(), Message::KOW_CLOSEWS, ""));
}

TEST(MessageChannel, NumbersInTextsAreReadLenientlyButNeedADigit) {
    EXPECT_EQ(42, MessageChannel::NumberOfText("  42abc"));
    EXPECT_EQ(-1, MessageChannel::NumberOfText("-1"));
    EXPECT_EQ(-1, MessageChannel::NumberOfText("4294967295"));
    EXPECT_FALSE(MessageChannel::NumberOfText("").has_value());
    EXPECT_FALSE(MessageChannel::NumberOfText("abc").has_value());
    EXPECT_FALSE(MessageChannel::NumberOfText(" -").has_value());
    EXPECT_FALSE(MessageChannel::NumberOfText("4294967296").has_value());
    EXPECT_FALSE(MessageChannel::NumberOfText("99999999999999999999999").has_value());
}

}  // namespace
}  // namespace ko
