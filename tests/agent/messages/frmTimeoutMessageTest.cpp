#include "agent/messages/frmTimeoutMessage.h"

#include <gtest/gtest.h>

#include "agent/messages/MessagesTestSupport.h"

namespace ko {
namespace {

using namespace messages_test;

// The screen is 768 pixels high: 11,520 twips at 15 twips a pixel.
constexpr std::int64_t kScreenBottom = 11520;
constexpr std::int64_t kArrived = kScreenBottom - frmTimeoutMessage::kHeightTwips;

struct Move {
    std::int64_t at;
    std::int64_t top;
    friend bool operator==(const Move&, const Move&) = default;
};

class TimeoutStrip : public ::testing::Test {
  protected:
    TimeoutStrip() {
        h.StartConnected();
        h.Settle();
        m_start = h.loop.NowMs();
    }

    FakeBrowserWindow* Strip() const { return h.screens.Window("Timeout Message"); }

    // Every move of the strip, with its time from the start of the test, step by step on the
    // virtual clock.
    std::vector<Move> Watch(std::int64_t forMs) {
        std::vector<Move> moves;
        std::int64_t last = h.timeout->TopTwips();
        for (std::int64_t t = 0; t < forMs; t += 10) {
            h.loop.Advance(10);
            if (h.timeout->TopTwips() != last) {
                last = h.timeout->TopTwips();
                moves.push_back({h.loop.NowMs() - m_start, last});
            }
        }
        return moves;
    }

    // 30 steps of 50 twips up, one every 10 ms; the hold; 31 steps down, and hidden.
    void ExpectFullRun(const std::vector<Move>& moves, std::int64_t holdMs) {
        ASSERT_EQ(moves.size(), 61u);
        for (std::int64_t i = 0; i < 30; ++i) {
            EXPECT_EQ(moves[i], (Move{10 * (i + 1), kScreenBottom - 50 * (i + 1)}));
        }
        EXPECT_EQ(moves[29].top, kArrived);
        for (std::int64_t i = 0; i < 31; ++i) {
            EXPECT_EQ(moves[30 + i], (Move{300 + holdMs + 10 * i, kArrived + 50 * (i + 1)}));
        }
        EXPECT_FALSE(Strip()->visible);
        EXPECT_FALSE(h.timeout->msgTmr().Running());
    }

    MessagesHarness h;
    std::int64_t m_start = 0;
};

TEST_F(TimeoutStrip, RisesHoldsTheServersSecondsAndSinksWithoutTakingTheFocus) {
    h.globals.options.TimeoutMessageSeconds = 9;
    FakeBrowserWindow* before = h.screens.ActiveWindow();
    h.Server("33|");
    FakeBrowserWindow* strip = Strip();
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->spec.kind, WindowKind::Strip);
    EXPECT_EQ(strip->navigations.back(), "http://10.0.0.1:8080/ws/wsTimeoutMessage.asp?msgID=502");
    EXPECT_TRUE(strip->visible);
    EXPECT_TRUE(strip->topmost);
    EXPECT_EQ(h.screens.ActiveWindow(), before);
    // As wide as the main window, at the right edge, just below the screen.
    EXPECT_EQ(strip->bounds, (PixelRect{0, 768, 1024, 100}));

    std::vector<Move> moves = Watch(400);
    EXPECT_EQ(strip->bounds.top, 668);  // fully visible
    std::vector<Move> rest = Watch(9400);
    for (Move& move : rest) {
        moves.push_back(move);
    }
    ExpectFullRun(moves, 9000);
    EXPECT_EQ(h.screens.ActiveWindow(), before);
}

TEST_F(TimeoutStrip, AHoldOfZeroIsNineSecondsAndALongHoldIsKeptWhole) {
    h.globals.options.TimeoutMessageSeconds = 0;  // no options from the server yet
    h.timeout->ShowTimeoutWindow();
    ExpectFullRun(Watch(9700), 9000);

    h.globals.options.TimeoutMessageSeconds = 70;  // beyond one timer interval
    m_start = h.loop.NowMs();
    h.timeout->ShowTimeoutWindow();
    // Up from where it lies (sunk 50 twips below the screen): arrival after 31 steps.
    std::vector<Move> moves = Watch(71000);
    ASSERT_GE(moves.size(), 32u);
    EXPECT_EQ(moves[30], (Move{310, kArrived}));
    EXPECT_EQ(moves[31], (Move{310 + 70000, kArrived + 50}));
}

TEST_F(TimeoutStrip, ASecondWarningWhileHeldStepsUpAndHoldsAgain) {
    h.globals.options.TimeoutMessageSeconds = 9;
    h.timeout->ShowTimeoutWindow();
    Watch(2000);  // arrived, holding
    EXPECT_EQ(h.timeout->TopTwips(), kArrived);
    m_start = h.loop.NowMs();
    h.timeout->ShowTimeoutWindow();
    std::vector<Move> moves = Watch(9010);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0], (Move{10, kArrived - 50}));  // one more step up: arrived again
    EXPECT_EQ(moves[1], (Move{9010, kArrived}));     // a new hold, then down
    EXPECT_EQ(Strip()->navigations.size(), 2u);      // the page loads again
}

TEST_F(TimeoutStrip, AClickWhileRisingHidesItAtOnceWhereItIs) {
    h.timeout->ShowTimeoutWindow();
    Watch(50);
    EXPECT_TRUE(Strip()->ClickPage());
    h.loop.Advance(1);
    EXPECT_FALSE(Strip()->visible);
    EXPECT_FALSE(h.timeout->msgTmr().Running());
    EXPECT_EQ(h.timeout->TopTwips(), kScreenBottom - 250);
    EXPECT_TRUE(Watch(1000).empty());
    // The next warning rises from there.
    m_start = h.loop.NowMs();
    h.timeout->ShowTimeoutWindow();
    EXPECT_EQ(Watch(10).front(), (Move{10, kScreenBottom - 300}));
}

TEST_F(TimeoutStrip, TheSoundIsTheProgramFoldersFileAndPlaysWithoutADisplay) {
    h.Server("34|");
    h.Server("34|");  // a second replaces the first: the player is simply asked again
    EXPECT_EQ(h.sound.played, (std::vector<std::string>{"/opt/ostrel/TimeoutRemainder.wav",
                                                        "/opt/ostrel/TimeoutRemainder.wav"}));
    EXPECT_EQ(Strip(), nullptr);  // no window involved

    AgentGlobals globals;
    globals.ProgramFolder = "C:\\Program Files\\Ostrel";
    FakeEventLoop loop;
    FakeSoundPlayer sound;
    sound.hasDevice = false;
    frmTimeoutMessage headless(
        loop, globals, sound, [] { return nullptr; }, [] { return 0; });
    headless.ShowTimeoutWindow();  // no display: no strip
    headless.PlayTimeoutSound();
    EXPECT_EQ(headless.Window(), nullptr);
    EXPECT_EQ(sound.played,
              (std::vector<std::string>{"C:\\Program Files\\Ostrel\\TimeoutRemainder.wav"}));
}

}  // namespace
}  // namespace ko
