// The time-out strip, the advertisement, new windows and the message box on a real X server
// with a window manager, driven by real input from xdotool.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ScreenTestSupport.h"
#include "platform/HttpTestServer.h"

namespace ko {
namespace {

using test::HttpTestServer;

// The window's outer rectangle as the X server has it.
PixelRect XGeometry(GtkWindow* window) {
    const std::string info = RunCommand("xwininfo -id " + std::to_string(XidOf(window)));
    PixelRect rect{-1, -1, -1, -1};
    auto read = [&](const char* label, std::int32_t& value) {
        const auto at = info.find(label);
        if (at != std::string::npos) {
            std::sscanf(info.c_str() + at + std::string(label).size(), "%d", &value);
        }
    };
    read("Absolute upper-left X:", rect.left);
    read("Absolute upper-left Y:", rect.top);
    read("Width:", rect.width);
    read("Height:", rect.height);
    return rect;
}

unsigned long ActiveXWindow() {
    return std::stoul("0" + RunCommand("xdotool getactivewindow 2>/dev/null"));
}

// The window manager's stacking order, bottom first.
std::vector<unsigned long> Stacking() {
    std::istringstream list(RunCommand("xprop -root -notype _NET_CLIENT_LIST_STACKING"));
    std::vector<unsigned long> windows;
    std::string word;
    while (list >> word) {
        if (word.rfind("0x", 0) == 0) {
            windows.push_back(std::stoul(word, nullptr, 16));
        }
    }
    return windows;
}

std::size_t Position(const std::vector<unsigned long>& list, unsigned long window) {
    return static_cast<std::size_t>(std::find(list.begin(), list.end(), window) - list.begin());
}

// The shown windows of the normal kind: a refused page window would be one. GTK's own popups
// (the tooltip a hovered link leaves behind, hidden) do not count.
int Toplevels() {
    GList* toplevels = gtk_window_list_toplevels();
    int count = 0;
    for (GList* item = toplevels; item != nullptr; item = item->next) {
        GtkWindow* window = GTK_WINDOW(item->data);
        if (gtk_window_get_window_type(window) == GTK_WINDOW_TOPLEVEL &&
            gtk_widget_get_visible(GTK_WIDGET(window))) {
            ++count;
        }
    }
    g_list_free(toplevels);
    return count;
}

// A page whose whole surface is one link.
std::string LinkPage(const std::string& href) {
    return "<!DOCTYPE html><html><head><style>body { margin: 0; } a { display: block; "
           "width: 100%; height: 2000px; }</style></head><body><a id='adLink' href='" +
           href + "'>advertisement</a></body></html>";
}

class StripAndAdTest : public ScreenTest {
  protected:
    // A window placed, shown and active.
    GtkBrowserWindow& ShowActive(RecordedWindow& events, const BrowserWindowSpec& spec,
                                 const PixelRect& place) {
        GtkBrowserWindow& window = CreateWindow(events, spec);
        window.Move(place.left, place.top);
        window.Resize(place.width, place.height);
        window.Show(true);
        EXPECT_TRUE(WaitMapped(window));
        EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return window.IsActive(); }));
        return window;
    }
    // The kiosk's own window, top left.
    GtkBrowserWindow& ShowKiosk(RecordedWindow& events) {
        BrowserWindowSpec spec;
        spec.framed = false;
        spec.formName = "frmLogon";
        return ShowActive(events, spec, PixelRect{0, 0, 400, 300});
    }
    // The advertisement window, made as the agent makes it (not shown yet).
    GtkBrowserWindow& CreateAdvertisement(RecordedWindow& events) {
        BrowserWindowSpec spec;
        spec.kind = WindowKind::Advertisement;
        spec.framed = false;
        spec.formName = "frmAdvertisement";
        return CreateWindow(events, spec);
    }

    HttpTestServer m_server;
};

TEST_F(StripAndAdTest, TheStripLiesOnItsPixelsAndTheActiveWindowKeepsTheFocus) {
    RecordedWindow kioskEvents;
    GtkBrowserWindow& kiosk = ShowKiosk(kioskEvents);
    const unsigned long active = ActiveXWindow();
    ASSERT_EQ(active, XidOf(kiosk.NativeWindow()));

    RecordedWindow stripEvents;
    BrowserWindowSpec spec;
    spec.kind = WindowKind::Strip;
    spec.framed = false;
    GtkBrowserWindow& strip = CreateWindow(stripEvents, spec);
    strip.Resize(300, 100);
    strip.Move(500, 668);
    ASSERT_TRUE(Load(strip, stripEvents, WritePage("strip.htm", LinkPage("elsewhere.htm"))));
    strip.Show(true);
    ASSERT_TRUE(WaitMapped(strip));
    EXPECT_EQ(XGeometry(strip.NativeWindow()), (PixelRect{500, 668, 300, 100}));
    // It slides in place, and each showing raises it again.
    strip.Move(500, 600);
    strip.Show(false);
    Settle(300);
    EXPECT_EQ(XGeometry(strip.NativeWindow()), (PixelRect{500, 600, 300, 100}));
    EXPECT_EQ(ActiveXWindow(), active);
    EXPECT_TRUE(kiosk.IsActive());
    EXPECT_FALSE(strip.IsActive());

    // A click on the strip is reported; the page does not follow the link and the kiosk stays
    // active.
    RunCommand("xdotool mousemove 520 620 click 1");
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] { return !stripEvents.clicks.empty(); }));
    Settle(500);
    EXPECT_EQ(stripEvents.completed.size(), 1u);
    EXPECT_EQ(ActiveXWindow(), active);
    EXPECT_EQ(stripEvents.activations, 0);
}

TEST_F(StripAndAdTest, TheAdvertisementCoversTheKioskAndAKeyOrClickNeverReachesItsPage) {
    m_server.Serve("/ads/ad1.htm", {200, LinkPage("/ads/target.htm")});
    m_server.Serve("/ads/target.htm", {200, "<html><body>target</body></html>"});
    RecordedWindow kioskEvents;
    GtkBrowserWindow& kiosk = ShowKiosk(kioskEvents);
    kiosk.SetTopmost(true);
    ASSERT_TRUE(kiosk.GrabKeyboard(true));

    RecordedWindow adEvents;
    GtkBrowserWindow& ad = CreateAdvertisement(adEvents);
    ad.Show(true);
    ASSERT_TRUE(Load(ad, adEvents, m_server.Url("/ads/ad1.htm")));
    ASSERT_TRUE(WaitMapped(ad));
    Settle(300);
    EXPECT_EQ(XGeometry(ad.NativeWindow()), m_screens->GetDesktop().Screen());
    const std::vector<unsigned long> stacking = Stacking();
    EXPECT_GT(Position(stacking, XidOf(ad.NativeWindow())),
              Position(stacking, XidOf(kiosk.NativeWindow())));
    EXPECT_EQ(m_screens->FormOfWindow(XidOf(ad.NativeWindow())), "frmAdvertisement");

    // A click on the link, where the kiosk lies underneath: reported by the advertisement only,
    // and the link is never fetched.
    RunCommand("xdotool mousemove 100 100 click 1");
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] { return !adEvents.clicks.empty(); }));
    Settle(1000);
    EXPECT_TRUE(adEvents.clicks.front().chain.empty());
    EXPECT_TRUE(kioskEvents.clicks.empty());
    EXPECT_EQ(m_server.Hits("/ads/target.htm"), 0);
    EXPECT_EQ(ad.Location(), m_server.Url("/ads/ad1.htm"));

    // The advertisement holds the keyboard while shown, whichever window is active; Return
    // would follow a focused link.
    RunCommand("xdotool key Return");
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] { return !adEvents.keys.empty(); }));
    EXPECT_EQ(adEvents.keys.front(), (KeyInfo{13, 0}));
    Settle(500);
    EXPECT_EQ(m_server.Hits("/ads/target.htm"), 0);
    EXPECT_TRUE(kioskEvents.keys.empty());

    // Hidden, it hands the grab back to the kiosk.
    ad.Hide();
    Settle(300);
    RunCommand("xdotool key b");
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] { return !kioskEvents.keys.empty(); }));
    EXPECT_EQ(kioskEvents.keys.front(), (KeyInfo{'B', 0}));
    EXPECT_EQ(adEvents.keys.size(), 1u);
}

TEST_F(StripAndAdTest, AnAdvertisementOverAWaitingQuestionTakesTheKeyAndClickThatEndIt) {
    RecordedWindow kioskEvents;
    GtkBrowserWindow& kiosk = ShowKiosk(kioskEvents);
    kiosk.SetTopmost(true);
    ASSERT_TRUE(kiosk.GrabKeyboard(true));
    RecordedWindow questionEvents;
    BrowserWindowSpec questionSpec;
    questionSpec.caption = "Ko Workstation";
    GtkBrowserWindow& question = CreateWindow(questionEvents, questionSpec);
    question.Move(300, 300);
    question.Resize(300, 167);
    question.SetModal(true);
    question.Show(true);
    question.SetTopmost(true);
    ASSERT_TRUE(WaitMapped(question));
    Settle(300);

    // The idle count opens the advertisement over the question.
    RecordedWindow adEvents;
    GtkBrowserWindow& ad = CreateAdvertisement(adEvents);
    ad.SetTopmost(true);
    ad.Show(true);
    ASSERT_TRUE(WaitMapped(ad));
    Settle(300);
    RunCommand("xdotool key b");
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return !adEvents.keys.empty(); }));
    RunCommand("xdotool mousemove 20 20 click 1");
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return !adEvents.clicks.empty(); }));
    Settle(300);
    EXPECT_TRUE(questionEvents.keys.empty());
    EXPECT_TRUE(questionEvents.clicks.empty());
    // The kiosk under the question still takes nothing.
    EXPECT_TRUE(kioskEvents.keys.empty());
    EXPECT_TRUE(kioskEvents.clicks.empty());
}

TEST_F(StripAndAdTest, PagesOpenNoWindowsAndAnErrorStatusCountsAsFailed) {
    m_server.Serve("/ws/open.htm",
                   {200,
                    "<!DOCTYPE html><html><head><style>body { margin: 0; } button, a { position: "
                    "absolute; left: 20px; width: 150px; height: 40px; display: block; }</style>"
                    "</head><body><button id='cmdOpen' style='top: 20px' "
                    "onclick=\"window.open('/ws/popup.htm')\">open</button>"
                    "<a id='lnkBlank' style='top: 100px' href='/ws/blank.htm' "
                    "target='_blank'>blank</a></body></html>"});
    m_server.Serve("/ws/popup.htm", {200, "<html><body>popup</body></html>"});
    m_server.Serve("/ws/blank.htm", {200, "<html><body>blank</body></html>"});
    m_server.Serve("/ws/missing.asp", {404, "<html><body>not here</body></html>"});
    RecordedWindow events;
    GtkBrowserWindow& kiosk = ShowKiosk(events);
    ASSERT_TRUE(Load(kiosk, events, m_server.Url("/ws/open.htm")));
    EXPECT_FALSE(events.completed.back().failed);
    const int toplevels = Toplevels();

    RunCommand("xdotool mousemove 60 40 click 1");
    RunCommand("xdotool mousemove 60 120 click 1");
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] { return events.clicks.size() >= 2; }));
    Settle(1500);
    EXPECT_EQ(m_server.Hits("/ws/popup.htm"), 0);
    EXPECT_EQ(m_server.Hits("/ws/blank.htm"), 0);
    EXPECT_EQ(Toplevels(), toplevels);
    EXPECT_EQ(kiosk.Location(), m_server.Url("/ws/open.htm"));

    ASSERT_TRUE(Load(kiosk, events, m_server.Url("/ws/missing.asp")));
    EXPECT_TRUE(events.completed.back().failed);
}

TEST_F(StripAndAdTest, TheMessageBoxRunsOnTheLoopWhileTheKioskTakesNoClicks) {
    RecordedWindow events;
    GtkBrowserWindow& kiosk = ShowKiosk(events);
    ASSERT_TRUE(Load(kiosk, events,
                     WritePage("page.htm",
                               "<html><body style='margin:0'><button id='cmdOK' "
                               "style='width:200px;height:100px'>OK</button>"
                               "</body></html>")));
    int ticks = 0;
    const EventLoop::TimerId timer = m_loop.AddTimer([&] { ++ticks; });
    m_loop.SetTimerInterval(timer, 50);
    bool clickedUnder = false;
    m_loop.Post([&] {
        // The box is up: a click on the kiosk goes nowhere, then the user answers the box.
        RunFor(m_loop, 500, [] { return false; });
        RunCommand("xdotool mousemove 50 50 click 1");
        RunFor(m_loop, 500, [] { return false; });
        clickedUnder = !events.clicks.empty();
        RunCommand("xdotool key Return");
    });
    m_screens->ShowMessageBox("Wrong password", "Ko Workstation");
    m_loop.RemoveTimer(timer);
    EXPECT_FALSE(clickedUnder);
    EXPECT_GT(ticks, 5);
    Settle(300);
    EXPECT_TRUE(events.clicks.empty());
    RunCommand("xdotool mousemove 50 50 click 1");
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return events.clicks.size() == 1; }));
}

TEST_F(StripAndAdTest, TheLockBringsTheKioskBackInFrontOfAnotherWindow) {
    RecordedWindow kioskEvents;
    GtkBrowserWindow& kiosk = ShowKiosk(kioskEvents);
    RecordedWindow otherEvents;
    BrowserWindowSpec spec;
    spec.caption = "Another program";
    GtkBrowserWindow& other = ShowActive(otherEvents, spec, PixelRect{100, 100, 300, 200});
    ASSERT_TRUE(other.IsActive());
    // The customer typed in the other window a moment ago.
    RunCommand("xdotool key shift");
    kiosk.SetTopmost(true);
    kiosk.ForceForeground();
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return kiosk.IsActive(); }));
    EXPECT_EQ(ActiveXWindow(), XidOf(kiosk.NativeWindow()));
    EXPECT_EQ(m_screens->FormOfWindow(XidOf(kiosk.NativeWindow())), "frmLogon");
}

TEST_F(StripAndAdTest, WhileTheKioskHoldsTheKeyboardTheCustomerTypesIntoItsDialog) {
    RecordedWindow kioskEvents;
    GtkBrowserWindow& kiosk = ShowKiosk(kioskEvents);
    ASSERT_TRUE(kiosk.GrabKeyboard(true));
    RecordedWindow dialogEvents;
    BrowserWindowSpec spec;
    spec.caption = "Logon User";
    GtkBrowserWindow& dialog = ShowActive(dialogEvents, spec, PixelRect{450, 100, 300, 200});
    ASSERT_TRUE(Load(dialog, dialogEvents,
                     WritePage("logon.htm",
                               "<html><body><input id='txtCustomerID' "
                               "autofocus></body></html>")));
    Evaluate(dialog, "document.getElementById('txtCustomerID').focus(), ''");
    RunCommand("xdotool type ab12");
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return dialogEvents.keys.size() >= 4; }));
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] {
        return Evaluate(dialog, "document.getElementById('txtCustomerID').value") == "ab12";
    }));
    EXPECT_TRUE(kioskEvents.keys.empty());
    // Back in the kiosk, the keys are the kiosk's again.
    dialog.Hide();
    kiosk.ForceForeground();
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] { return kiosk.IsActive(); }));
    RunCommand("xdotool key c");
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return !kioskEvents.keys.empty(); }));
}

}  // namespace
}  // namespace ko
