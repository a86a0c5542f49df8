#include "agent/messages/Advertisements.h"

#include <gtest/gtest.h>

#include "agent/messages/MessagesTestSupport.h"

namespace ko {
namespace {

using namespace messages_test;
using Strings = std::vector<std::string>;

class IdleAds : public ::testing::Test {
  protected:
    IdleAds() {
        for (const char* ad : {"http://ads/1", "http://ads/2", "http://ads/3"}) {
            h.screens.Serve(ad, FakeDocument{});
        }
        h.StartConnected();
        h.Status(0);
        h.Settle();
    }

    FakeBrowserWindow* AdWindow() const { return h.screens.Window("Advertisement"); }
    bool Showing() const { return AdWindow() != nullptr && AdWindow()->visible; }
    // The advertisements navigated to from now on.
    Strings Shown() {
        Strings shown;
        if (FakeBrowserWindow* window = AdWindow()) {
            shown.assign(window->navigations.begin() + static_cast<long>(m_seen),
                         window->navigations.end());
            m_seen = window->navigations.size();
        }
        return shown;
    }

    MessagesHarness h;
    std::size_t m_seen = 0;
};

TEST_F(IdleAds, AnIdleWorkstationRotatesTheAdsInOrderSkippingThoseThatDoNotShow) {
    h.Server("32|30|3|http://ads/1|10|http://ads/2|0|http://ads/3|5");
    h.loop.Advance(29999);
    EXPECT_FALSE(Showing());
    h.loop.Advance(1);
    ASSERT_TRUE(Showing());
    FakeBrowserWindow& window = *AdWindow();
    EXPECT_TRUE(window.active);
    EXPECT_TRUE(window.topmost);
    EXPECT_EQ(window.spec.kind, WindowKind::Advertisement);
    EXPECT_EQ(h.screens.GrabHolder(), &window);  // it holds the keyboard while it shows
    EXPECT_EQ(window.bounds, (PixelRect{0, 0, 1024, 768}));
    EXPECT_EQ(Shown(), (Strings{"http://ads/1"}));  // the first at once
    h.loop.Advance(9999);
    EXPECT_TRUE(Shown().empty());
    h.loop.Advance(1);
    EXPECT_EQ(Shown(), (Strings{"http://ads/3"}));
    h.loop.Advance(5000);
    EXPECT_EQ(Shown(), (Strings{"http://ads/1"}));
    // The idle count goes on, and its tick leaves a showing window alone.
    h.loop.Advance(30000);
    EXPECT_EQ(Shown(), (Strings{"http://ads/3", "http://ads/1", "http://ads/3", "http://ads/1"}));
}

TEST_F(IdleAds, AKeyOrAClickEndsThemBlanksThePageAndRestartsTheCount) {
    h.Server("32|30|2|http://ads/1|10|http://ads/2|10");
    h.loop.Advance(30000);
    h.loop.Advance(2000);
    ASSERT_TRUE(Showing());
    Shown();
    AdWindow()->Key(65);
    h.Settle();
    EXPECT_FALSE(Showing());
    EXPECT_NE(h.screens.GrabHolder(), AdWindow());
    EXPECT_EQ(AdWindow()->blanks, 1);
    EXPECT_EQ(Shown(), (Strings{"about:blank"}));
    EXPECT_FALSE(h.advertising->tmrAdDuration().Running());
    // Hidden, nothing loads; the count starts again from the dismissal.
    h.loop.Advance(29998);
    EXPECT_FALSE(Showing());
    EXPECT_TRUE(Shown().empty());
    h.loop.Advance(2);
    ASSERT_TRUE(Showing());
    EXPECT_EQ(Shown(), (Strings{"http://ads/1"}));

    // A click ends them too, without following anything on the page.
    EXPECT_TRUE(AdWindow()->ClickPage());
    h.Settle();
    EXPECT_FALSE(Showing());
    EXPECT_EQ(Shown(), (Strings{"about:blank"}));

    // Activity on the kiosk restarts the count as well.
    h.loop.Advance(20000);
    h.Main().MouseMove();
    h.loop.Advance(20000);
    EXPECT_FALSE(Showing());
    h.loop.Advance(10001);
    EXPECT_TRUE(Showing());
}

TEST_F(IdleAds, OverAWaitingQuestionAKeyEndsThemAndTheQuestionStays) {
    h.Server("32|30|1|http://ads/1|10");
    h.ServeMessage("77", "Tea at five", 1);
    bool keyTaken = false;
    bool questionAfter = false;
    h.At(31000, [&] {
        ASSERT_TRUE(Showing());
        keyTaken = AdWindow()->Key(65);
        h.Settle();
        questionAfter = !Showing() && h.MessageWindow()->visible && h.MessageWindow()->modal &&
                        h.messages->Waiting() == 1;
        h.MessageWindow()->Click("cmdOK");
    });
    h.Server("15|77|Tea at five");
    EXPECT_TRUE(keyTaken);
    EXPECT_TRUE(questionAfter);
    EXPECT_TRUE(h.messages->KoActionApproved());
}

TEST_F(IdleAds, ProfilesWithoutAnAdToShowMeanNoAdvertising) {
    h.Server("32|30|2|http://ads/1|10|http://ads/2|10");
    h.loop.Advance(30000);
    ASSERT_TRUE(Showing());
    // All durations 0 or less, a duration that is no number: nothing to show, the window
    // closes and no count runs. The one thread is never caught in the search for the next ad.
    for (const char* profile : {"32|30|2|http://ads/1|0|http://ads/2|-4", "32|30|0",
                                "32|30|1|http://ads/1|soon", "32|30|x"}) {
        h.Server(profile);
        EXPECT_FALSE(Showing()) << profile;
        EXPECT_FALSE(h.advertising->tmrAdvertisement().Running()) << profile;
        h.loop.Advance(100000);
        EXPECT_FALSE(Showing()) << profile;
    }
    // An idle time of 0 or less is off as well.
    h.Server("32|0|1|http://ads/1|10");
    EXPECT_FALSE(h.advertising->tmrAdvertisement().Running());
    h.Server("32|-5|1|http://ads/1|10");
    EXPECT_FALSE(h.advertising->tmrAdvertisement().Running());
    h.Main().MouseMove();
    h.Settle();
    EXPECT_FALSE(h.advertising->tmrAdvertisement().Running());
}

TEST_F(IdleAds, ACountBeyondTheFieldsTakesOnlyThisMessagesAds) {
    h.Server("32|30|3|http://ads/1|10|http://ads/2|20|http://ads/3|5");
    h.Server("32|30|3|http://ads/2|4");
    const AdProfile& profile = h.advertising->Profile();
    ASSERT_EQ(profile.ads.size(), 1u);
    EXPECT_EQ(profile.ads[0].address, "http://ads/2");
    EXPECT_EQ(profile.ads[0].durationMs, 4000);
    EXPECT_EQ(h.Client().StartAdAfter, 30);
}

TEST_F(IdleAds, LongIdleTimesAndDurationsAreKeptWhole) {
    h.Server("32|100|2|http://ads/1|70|http://ads/2|1.5");
    h.loop.Advance(99999);
    EXPECT_FALSE(Showing());
    h.loop.Advance(1);
    ASSERT_TRUE(Showing());
    EXPECT_EQ(Shown(), (Strings{"http://ads/1"}));
    h.loop.Advance(69999);
    EXPECT_TRUE(Shown().empty());
    h.loop.Advance(1);
    EXPECT_EQ(Shown(), (Strings{"http://ads/2"}));
    h.loop.Advance(1500);
    EXPECT_EQ(Shown(), (Strings{"http://ads/1"}));
}

TEST_F(IdleAds, ASessionStoresTheProfileAndTheLinkComingBackRestartsTheCount) {
    // A count left running when the customer logs on never shows over the customer's work.
    h.Server("32|30|1|http://ads/1|10");
    h.Status(1);
    h.loop.Advance(60000);
    EXPECT_FALSE(Showing());
    EXPECT_FALSE(h.advertising->tmrAdvertisement().Running());
    h.Server("32|30|1|http://ads/1|10");
    h.loop.Advance(60000);
    EXPECT_FALSE(Showing());
    EXPECT_EQ(h.advertising->Profile().ads.size(), 1u);

    h.Status(0);
    // The lock of these tests is a recording, so the count starts as the lock would start it.
    h.advertising->StartAdTimer();
    h.loop.Advance(30000);
    EXPECT_TRUE(Showing());

    // The link drops on the idle workstation: advertising stops; when the server answers again
    // the workstation is locked already, and the count starts all the same.
    h.socket.PeerClose();
    h.Settle();
    EXPECT_EQ(AdWindow(), nullptr);
    EXPECT_FALSE(h.advertising->tmrAdvertisement().Running());
    h.loop.Advance(10000);
    h.socket.AcceptConnection();
    h.loop.RunPosted();
    h.Status(0);
    EXPECT_TRUE(h.advertising->tmrAdvertisement().Running());
    h.loop.Advance(30000);
    EXPECT_TRUE(Showing());

    // The lock closes the window; the count goes on.
    h.kiosk->UnloadForms();
    EXPECT_EQ(AdWindow(), nullptr);
    EXPECT_TRUE(h.advertising->tmrAdvertisement().Running());
}

}  // namespace
}  // namespace ko
