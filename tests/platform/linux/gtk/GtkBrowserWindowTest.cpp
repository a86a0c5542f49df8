#include "platform/linux/gtk/GtkBrowserWindow.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ScreenTestSupport.h"

namespace ko {
namespace {

const char kLayoutPage[] = R"(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<KoWidth value="400"></KoWidth><kOhEiGhT value="300"></kOhEiGhT>
<koVerticalPosition value="middle"></koVerticalPosition>
<KOHORIZONTALPOSITION value="center"></KOHORIZONTALPOSITION>
<p id="lblAmount">0.00</p><p id="lblTwice" name="x"></p><p name="lblTwice"></p>
</body></html>)";

// A customer's page: the button sits at a known place so that a real click can reach it.
const char kClickPage[] = R"(<!DOCTYPE html><html><head><meta charset="utf-8">
<style>body { margin: 0; } #cmdOK { position: absolute; left: 20px; top: 20px; width: 120px;
height: 50px; }</style></head><body>
<div id="WorkstationObject" KoCustomer="Zoë €">
  <button id="cmdOK"><span id="inner">OK</span></button>
  <input id="txtCustomerID" value="é€">
  <input id="txtPassword" value="one"><input name="txtPassword" value="two">
  <select id="cbServices"><option value="12" selected>coffee</option></select>
  <input id="12txtsPrice" value="1.50">
</div></body></html>)";

// Page texts must be the same bytes both ways: "é" and "€" in the workstation's code page.
const std::string kAnsiText = "\xE9\x80";

TEST_F(ScreenTest, CompletionCarriesLayoutValuesGenerationAndTheRequestedAddress) {
    RecordedWindow events;
    GtkBrowserWindow& window = CreateWindow(events);
    const std::string page = WritePage("layout.htm", kLayoutPage);
    ASSERT_TRUE(Load(window, events, page));
    ASSERT_EQ(events.completed.size(), 1u);
    const DocumentInfo& first = events.completed[0];
    EXPECT_EQ(first.generation, 1u);
    EXPECT_EQ(first.location, page);
    EXPECT_EQ(first.layout.width, "400");
    EXPECT_EQ(first.layout.height, "300");
    EXPECT_EQ(first.layout.verticalPosition, "middle");
    EXPECT_EQ(first.layout.horizontalPosition, "center");
    ASSERT_FALSE(events.navigating.empty());
    EXPECT_EQ(events.navigating.back(), page);

    // A page without layout values reports none, under the next generation.
    const std::string plain = WritePage("plain.htm", "<html><body>plain</body></html>");
    ASSERT_TRUE(Load(window, events, "file://" + plain));
    EXPECT_EQ(events.completed.back().generation, 2u);
    EXPECT_EQ(events.completed.back().layout, LayoutValues{});
    EXPECT_EQ(window.Location(), "file://" + plain);
}

TEST_F(ScreenTest, WritesArriveAsDataAndSkipMissingAndAmbiguousElements) {
    RecordedWindow events;
    GtkBrowserWindow& window = CreateWindow(events);
    ASSERT_TRUE(Load(window, events, WritePage("layout.htm", kLayoutPage)));

    const std::string hostile = "\"'); document.title = 'owned'; ('" + kAnsiText;
    window.SetInnerTexts({{"lblAmount", hostile}, {"lblMissing", "x"}, {"lblTwice", "y"}});
    EXPECT_EQ(Evaluate(window, "document.getElementById('lblAmount').innerText"),
              "\"'); document.title = 'owned'; ('\u00e9\u20ac");
    EXPECT_EQ(Evaluate(window, "document.title"), "");
    EXPECT_EQ(Evaluate(window, "document.getElementById('lblTwice').innerText"), "");

    window.SetBodyHtml("<p id='wait'>Getting data from the server. Please wait! " + kAnsiText +
                       "</p>");
    EXPECT_EQ(Evaluate(window, "document.getElementById('wait').innerText"),
              "Getting data from the server. Please wait! \u00e9\u20ac");
}

TEST_F(ScreenTest, RealClickReportsTheChainAndTheFields) {
    RecordedWindow events;
    BrowserWindowSpec spec;
    spec.framed = false;
    GtkBrowserWindow& window = CreateWindow(events, spec);
    window.Move(100, 80);
    window.Resize(400, 300);
    window.Show(true);
    ASSERT_TRUE(Load(window, events, WritePage("click.htm", kClickPage)));
    ASSERT_TRUE(WaitMapped(window));

    RunCommand("xdotool mousemove 170 125 click 1");
    ASSERT_TRUE(RunFor(m_loop, 15000, [&] { return !events.clicks.empty(); }));
    const ClickInfo& click = events.clicks[0];
    EXPECT_EQ(click.generation, 1u);
    ASSERT_GE(click.chain.size(), 5u);
    EXPECT_EQ(click.chain[0].id, "inner");
    EXPECT_EQ(click.chain[1].id, "cmdOK");
    EXPECT_EQ(click.chain[2].id, "WorkstationObject");
    EXPECT_EQ(click.chain[2].koCustomer, "Zo\xEB \x80");
    EXPECT_EQ(click.chain[2].fileName, std::nullopt);
    EXPECT_EQ(click.chain.back().id, "");  // the root element
    EXPECT_EQ(click.fields.at("txtCustomerID"), FieldValue::Present(kAnsiText));
    EXPECT_EQ(click.fields.at("txtPassword"), FieldValue::Ambiguous());
    EXPECT_EQ(click.fields.at("txtNewPassword"), FieldValue{});
    EXPECT_EQ(click.fields.at("cbServices"), FieldValue::Present("12"));
    EXPECT_EQ(click.fields.at("12txtsPrice"), FieldValue::Present("1.50"));
    EXPECT_EQ(click.fields.at("12txtsTax"), FieldValue{});
    EXPECT_GT(events.mouseMoves, 0);
}

TEST_F(ScreenTest, ChainStopsAtTheLimitAndTextsReachThePageAsTyped) {
    RecordedWindow events;
    GtkBrowserWindow& window = CreateWindow(events);
    std::string deep = "<html><body>";
    for (int i = 0; i < 150; ++i) {
        deep += "<div id='d" + std::to_string(i) + "'>";
    }
    deep += "<span id='leaf'>x</span></body></html>";
    ASSERT_TRUE(Load(window, events, WritePage("deep.htm", deep)));
    Evaluate(window, "document.getElementById('leaf').click(); 1");
    ASSERT_TRUE(RunFor(m_loop, 15000, [&] { return !events.clicks.empty(); }));
    EXPECT_EQ(events.clicks[0].chain.size(), kMaxClickChain);
    EXPECT_EQ(events.clicks[0].chain[0].id, "leaf");
}

TEST_F(ScreenTest, NewWindowsHistoryAndErrorPagesAreRefused) {
    RecordedWindow events;
    GtkBrowserWindow& window = CreateWindow(events);
    const std::string first = WritePage("first.htm", "<html><body>first</body></html>");
    const std::string second =
        WritePage("second.htm",
                  "<html><body><a id='out' target='_blank' href='first.htm'>out</a></body></html>");
    ASSERT_TRUE(Load(window, events, first));
    ASSERT_TRUE(Load(window, events, second));

    GList* before = gtk_window_list_toplevels();
    const guint windowsBefore = g_list_length(before);
    g_list_free(before);
    Evaluate(window, "window.open('first.htm'); document.getElementById('out').click(); 1");
    Evaluate(window, "history.back(); 1");
    Settle(500);
    GList* after = gtk_window_list_toplevels();
    EXPECT_EQ(g_list_length(after), windowsBefore);
    g_list_free(after);
    EXPECT_EQ(window.Location(), second);
    EXPECT_EQ(Evaluate(window, "document.body.innerText"), "out");

    // A page that does not come completes without layout values, leaves the old document shown
    // and gives up the requested address (the engine's address of the shown page is reported), so
    // the core asks for it again.
    const std::string unreachable =
        "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/ws/wsMain.asp?wsName=PC1";
    window.Navigate(unreachable);
    EXPECT_EQ(window.Location(), unreachable);
    ASSERT_TRUE(RunFor(m_loop, 10000, [&] { return events.completed.size() == 3; }));
    EXPECT_EQ(events.completed.back().layout, LayoutValues{});
    EXPECT_EQ(events.completed.back().location, "file://" + second);
    EXPECT_EQ(window.Location(), "file://" + second);
    EXPECT_EQ(Evaluate(window, "document.body.innerText"), "out");
}

TEST_F(ScreenTest, ClickDefaultIsCancelledOnlyWhereTheWindowAsks) {
    const std::string target = WritePage("target.htm", "<html><body>target</body></html>");
    const std::string link =
        WritePage("link.htm",
                  "<html><body><div id='WorkstationObject'><a id='cmdOK' href='target.htm'>go</a>"
                  "</div></body></html>");
    RecordedWindow keeping;
    BrowserWindowSpec cancel;
    cancel.cancelClickDefault = true;
    GtkBrowserWindow& kept = CreateWindow(keeping, cancel);
    ASSERT_TRUE(Load(kept, keeping, link));
    Evaluate(kept, "document.getElementById('cmdOK').click(); 1");
    ASSERT_TRUE(RunFor(m_loop, 15000, [&] { return !keeping.clicks.empty(); }));
    Settle(300);
    EXPECT_EQ(kept.Location(), link);

    RecordedWindow following;
    GtkBrowserWindow& followed = CreateWindow(following);
    ASSERT_TRUE(Load(followed, following, link));
    Evaluate(followed, "document.getElementById('cmdOK').click(); 1");
    ASSERT_TRUE(RunFor(m_loop, 15000, [&] { return following.completed.size() == 2; }));
    EXPECT_EQ(followed.Location(), "file://" + target);
    EXPECT_EQ(following.clicks.size(), 1u);
}

TEST_F(ScreenTest, SwallowedKeysNeverReachThePageButAreReported) {
    RecordedWindow events;
    BrowserWindowSpec spec;
    spec.framed = false;
    spec.swallowedKeys = {KeyInfo{117, 4}};
    GtkBrowserWindow& window = CreateWindow(events, spec);
    window.Move(0, 0);
    window.Resize(300, 200);
    window.Show(true);
    ASSERT_TRUE(Load(window, events,
                     WritePage("keys.htm",
                               "<html><body><script>window.seen = [];"
                               "addEventListener('keydown', function (e) { seen.push(e.key); });"
                               "</script></body></html>")));
    ASSERT_TRUE(WaitMapped(window));
    const std::string xid = std::to_string(XidOf(window.NativeWindow()));
    RunCommand("xdotool windowactivate --sync " + xid + " key --window " + xid +
               " alt+F6 key --window " + xid + " a");
    ASSERT_TRUE(RunFor(m_loop, 15000, [&] {
        return std::find(events.keys.begin(), events.keys.end(), KeyInfo{65, 0}) !=
               events.keys.end();
    }));
    EXPECT_NE(std::find(events.keys.begin(), events.keys.end(), KeyInfo{117, 4}),
              events.keys.end());
    Settle(200);
    EXPECT_EQ(Evaluate(window, "seen.filter(function (k) { return k !== 'Alt'; }).join(',')"), "a");
}

// Geometry is the outer frame, and a mapped window is moved and sized without being unmapped:
// unmapping would drop the lock's keyboard grab.
TEST_F(ScreenTest, OuterFrameIsPlacedInPlace) {
    RecordedWindow mainEvents;
    BrowserWindowSpec bare;
    bare.framed = false;
    GtkBrowserWindow& main = CreateWindow(mainEvents, bare);
    main.Move(100, 50);
    main.Resize(400, 300);
    main.Show(false);
    ASSERT_TRUE(WaitMapped(main));
    int unmaps = 0;
    g_signal_connect(main.NativeWindow(), "unmap-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer count) {
                         ++*static_cast<int*>(count);
                         return FALSE;
                     }),
                     &unmaps);
    main.Move(10, 20);
    main.Resize(640, 200);
    Settle(500);
    const std::string info =
        RunCommand("xwininfo -id " + std::to_string(XidOf(main.NativeWindow())));
    EXPECT_NE(info.find("Absolute upper-left X:  10\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Absolute upper-left Y:  20\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Width: 640\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 200\n"), std::string::npos) << info;
    EXPECT_EQ(unmaps, 0);
    EXPECT_EQ(main.Bounds(), (PixelRect{10, 20, 640, 200}));

    // A framed dialog: its frame, not its client area, gets the requested rectangle.
    RecordedWindow dialogEvents;
    BrowserWindowSpec framed;
    framed.caption = "Logon User";
    GtkBrowserWindow& dialog = CreateWindow(dialogEvents, framed);
    dialog.Resize(300, 200);
    dialog.Move(200, 150);
    dialog.Show(true);
    ASSERT_TRUE(WaitMapped(dialog));
    Settle(300);
    const std::string xid = std::to_string(XidOf(dialog.NativeWindow()));
    const std::string client = RunCommand("xwininfo -id " + xid);
    const std::string extents = RunCommand("xprop -id " + xid + " _NET_FRAME_EXTENTS");
    int left = 0, right = 0, top = 0, bottom = 0;
    ASSERT_EQ(std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left,
                          &right, &top, &bottom),
              4)
        << extents;
    EXPECT_GT(top, 0);
    int x = 0, y = 0, width = 0, height = 0;
    std::sscanf(client.substr(client.find("Absolute upper-left X:")).c_str(),
                "Absolute upper-left X: %d", &x);
    std::sscanf(client.substr(client.find("Absolute upper-left Y:")).c_str(),
                "Absolute upper-left Y: %d", &y);
    std::sscanf(client.substr(client.find("Width:")).c_str(), "Width: %d", &width);
    std::sscanf(client.substr(client.find("Height:")).c_str(), "Height: %d", &height);
    EXPECT_EQ(x - left, 200);
    EXPECT_EQ(y - top, 150);
    EXPECT_EQ(width + left + right, 300);
    EXPECT_EQ(height + top + bottom, 200);
}

TEST_F(ScreenTest, ModalWindowKeepsClicksFromTheOthersAndCloseBoxIsOnlyReported) {
    const std::string page = WritePage("click.htm", kClickPage);
    RecordedWindow underEvents;
    BrowserWindowSpec bare;
    bare.framed = false;
    GtkBrowserWindow& under = CreateWindow(underEvents, bare);
    under.Move(0, 0);
    under.Resize(400, 300);
    under.Show(true);
    ASSERT_TRUE(Load(under, underEvents, page));

    RecordedWindow modalEvents;
    BrowserWindowSpec dialogSpec;
    dialogSpec.caption = "Message";
    GtkBrowserWindow& modal = CreateWindow(modalEvents, dialogSpec);
    modal.Move(600, 400);
    modal.Resize(200, 150);
    modal.SetModal(true);
    modal.Show(true);
    ASSERT_TRUE(WaitMapped(modal));
    // The window manager keeps it over the kiosk.
    EXPECT_EQ(gtk_window_get_transient_for(modal.NativeWindow()), under.NativeWindow());
    RunCommand("xdotool mousemove 70 45 click 1");
    Settle(500);
    EXPECT_TRUE(underEvents.clicks.empty());
    // The other window's close box does nothing while the modal window is up.
    gtk_window_close(under.NativeWindow());
    Settle(100);
    EXPECT_EQ(underEvents.closeBoxes, 0);

    modal.SetModal(false);
    EXPECT_EQ(gtk_window_get_transient_for(modal.NativeWindow()), nullptr);
    modal.Hide();
    Settle(200);
    RunCommand("xdotool mousemove 70 45 click 1");
    EXPECT_TRUE(RunFor(m_loop, 15000, [&] { return underEvents.clicks.size() == 1; }));

    gtk_window_close(modal.NativeWindow());
    gtk_window_close(under.NativeWindow());
    EXPECT_TRUE(RunFor(m_loop, 2000, [&] { return underEvents.closeBoxes == 1; }));
    EXPECT_TRUE(under.IsVisible());
}

TEST_F(ScreenTest, NoNoticeArrivesOnceTheWindowIsDestroyed) {
    auto events = std::make_unique<RecordedWindow>();
    std::unique_ptr<BrowserWindow> window = m_screens->CreateBrowserWindow({}, *events);
    window->Navigate(WritePage("layout.htm", kLayoutPage));
    window->SetInnerTexts({{"lblAmount", "1"}});
    Settle(50);
    window.reset();
    events.reset();  // a late notice would now touch freed memory
    Settle(1000);
}

TEST_F(ScreenTest, AllViewsShareOneWebProcess) {
    RecordedWindow a, b, c;
    const std::string page = WritePage("layout.htm", kLayoutPage);
    ASSERT_TRUE(Load(CreateWindow(a), a, page));
    ASSERT_TRUE(Load(CreateWindow(b), b, page));
    ASSERT_TRUE(Load(CreateWindow(c), c, page));
    const std::string processes =
        RunCommand("pgrep -c -P " + std::to_string(::getpid()) + " WebKitWebProces");
    EXPECT_EQ(std::atoi(processes.c_str()), 1) << processes;
}

// The windows keep nothing on disk and share one web process; once the last window is gone a new
// one still gets a working page (it has no living view to join).
TEST_F(ScreenTest, WindowsShareAnEphemeralProcessAndOneOpenedAfterTheLastStillWorks) {
    EXPECT_TRUE(webkit_web_context_is_ephemeral(m_screens->Context()));
    const std::string count = "pgrep -c -P " + std::to_string(::getpid()) + " WebKitWebProces";
    const std::string page = WritePage("layout.htm", kLayoutPage);
    RecordedWindow a, b;
    ASSERT_TRUE(Load(CreateWindow(a), a, page));
    ASSERT_TRUE(Load(CreateWindow(b), b, page));
    EXPECT_EQ(std::atoi(RunCommand(count).c_str()), 1);

    m_windows.clear();
    RecordedWindow c;
    GtkBrowserWindow& again = CreateWindow(c);
    ASSERT_TRUE(Load(again, c, page));
    EXPECT_EQ(c.completed.back().layout.width, "400");
}

}  // namespace
}  // namespace ko
