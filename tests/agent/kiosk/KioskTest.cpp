#include "agent/kiosk/Kiosk.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "agent/kiosk/KioskTestPages.h"

namespace ko {
namespace {

using namespace kiosk_test;
using Strings = std::vector<std::string>;

std::size_t Navigations(FakeBrowserWindow& window, const std::string& url) {
    return static_cast<std::size_t>(
        std::count(window.navigations.begin(), window.navigations.end(), url));
}

TEST(KioskPages, EachStateShowsItsPageAndRepeatedStatusesDoNotReload) {
    KioskHarness h;
    h.StartConnected();
    h.Settle();
    FakeBrowserWindow& main = h.Main();
    EXPECT_EQ(main.location, kStopped);
    EXPECT_TRUE(main.visible);
    EXPECT_FALSE(main.spec.framed);
    EXPECT_EQ(main.caption, "Ostrel");
    // The stopped page asks for the whole work area at the top left.
    EXPECT_EQ(main.bounds, (PixelRect{0, 0, 1024, 738}));

    h.Status(0);
    h.Settle();
    EXPECT_EQ(main.location, kMain);
    EXPECT_EQ(Navigations(main, kMain), 1u);
    h.Status(0);
    h.Status(2);  // a change of state navigates again
    EXPECT_EQ(Navigations(main, kMain), 2u);

    h.Status(1, "12.50", "01:05");
    h.Settle();
    EXPECT_EQ(main.caption, "Ko  <12.50> <01:05>");
    const std::size_t loads = main.navigations.size();
    h.Status(1, "12.75", "01:06");
    EXPECT_EQ(main.navigations.size(), loads);
    EXPECT_EQ(main.caption, "Ko  <12.75> <01:06>");

    // The page went elsewhere on its own: the next status brings the main page back.
    main.PageNavigates("http://10.0.0.1:8080/ws/other.asp");
    h.Settle();
    const std::size_t mainLoads = Navigations(main, kMain);
    h.Status(1);
    EXPECT_EQ(Navigations(main, kMain), mainLoads + 1);

    // The link is lost: the stopped page again.
    h.socket.PeerClose();
    h.Settle();
    EXPECT_EQ(main.location, kStopped);
}

TEST(KioskPages, TheStripStaysUpOverStatusesWhileTheCustomerWorks) {
    KioskHarness h;
    h.StartConnected();
    h.globals.options.MinimizeInUse = -1;
    h.Status(0);
    h.Status(1);
    h.Settle();
    FakeBrowserWindow& main = h.Main();
    EXPECT_EQ(main.location, kStrip);
    EXPECT_EQ(main.bounds, (PixelRect{1024 - 305, 738 - 43, 305, 43}));
    const std::size_t loads = main.navigations.size();
    h.Status(1);
    h.Status(1);
    EXPECT_EQ(main.navigations.size(), loads);
    EXPECT_EQ(main.location, kStrip);

    // Expanded by the customer, the full page stays too; collapsed again, the strip stays.
    h.ClickMain("ExpandWindow");
    EXPECT_EQ(main.location, kMain);
    EXPECT_FALSE(h.globals.MainWindowMinimized);
    h.Status(1);
    EXPECT_EQ(main.location, kMain);
    h.Settle();
    h.ClickMain("CollapseWindow");
    EXPECT_TRUE(h.globals.MainWindowMinimized);
    const std::size_t collapsed = main.navigations.size();
    h.Status(1);
    EXPECT_EQ(main.navigations.size(), collapsed);
}

TEST(KioskPages, KeepOnTopCollapsesTheFullPageWhenAnotherWindowIsActive) {
    KioskHarness h;
    h.StartConnected();
    h.globals.options.KeepOnTop = -1;
    h.Status(0);
    h.Status(1);
    h.Settle();
    FakeBrowserWindow& main = h.Main();
    EXPECT_TRUE(h.kiosk->Main().WindowFocusTimerEnabled());
    // The full page the session starts with is the active window.
    EXPECT_EQ(h.screens.ActiveWindow(), &main);
    h.loop.Advance(3000);
    EXPECT_EQ(main.location, kMain);  // the customer looks at the kiosk
    h.screens.ActivateOtherProgram();
    h.loop.Advance(3000);
    EXPECT_EQ(main.location, kStrip);
    EXPECT_TRUE(h.globals.MainWindowMinimized);
    // Shown beside the customer's work, the strip does not take the keyboard.
    EXPECT_EQ(h.screens.ActiveWindow(), nullptr);
    const std::size_t loads = main.navigations.size();
    h.loop.Advance(9000);
    EXPECT_EQ(main.navigations.size(), loads);
    // Locking stops the timer.
    h.kiosk->SetWindowFocusTimer(false);
    EXPECT_FALSE(h.kiosk->Main().WindowFocusTimerEnabled());
}

TEST(KioskPages, TheLayoutValuesOfEachPagePlaceTheMainWindow) {
    KioskHarness h;
    FakeDocument sized = CommandPage({"cmdLogon"});
    sized.Layout("400", "300", "Middle", "CENTER");
    h.screens.Serve(kMain, sized);
    h.StartConnected();
    h.Status(0);
    h.Settle();
    FakeBrowserWindow& main = h.Main();
    EXPECT_EQ(main.bounds, (PixelRect{309, 217, 405, 303}));

    // Without KoWidth the width stays, without KoHeight the height is "no request" and stays;
    // the placement words stay too. A width that does not read stays as well.
    FakeDocument bare = CommandPage({"cmdLogon"});
    int width = bare.Add("KoWidth", "");
    bare.At(width).attributes["value"] = "wide";
    h.screens.Serve(kMain, bare);
    h.kiosk->Navigate(kMain);
    h.Settle();
    EXPECT_EQ(main.bounds, (PixelRect{309, 217, 405, 303}));
    EXPECT_EQ(h.kiosk->Main().MainHeight, 0);
    EXPECT_EQ(h.kiosk->Main().MainWidth, 400);

    // A page asking for more than any window can be keeps the last good size, inside the screen.
    FakeDocument huge = CommandPage({"cmdLogon"});
    huge.Layout("2147483647", "-7", "bottom", "right");
    h.screens.Serve(kMain, huge);
    h.kiosk->Navigate(kMain);
    h.Settle();
    EXPECT_EQ(main.refusedSizes, 0);
    EXPECT_EQ(main.bounds, (PixelRect{619, 435, 405, 303}));

    // A new work area (the taskbar moved, the resolution changed) places the window again.
    h.screens.desktop.Change(PixelRect{0, 40, 800, 560}, TwipsPerPixel{12, 12});
    h.Settle();
    EXPECT_EQ(main.bounds.left + main.bounds.width, 800);
    EXPECT_EQ(main.bounds.top + main.bounds.height, 600);
}

TEST(KioskBilling, TheFirstStatusSetsTheCaptionAndLaterOnesWriteTheLabels) {
    KioskHarness h;
    h.StartConnected();
    h.Status(0);
    h.Settle();
    auto status = [&h](const std::string& remainingTime, const std::string& remainingAmount) {
        h.Server("0|alice|pw|60|5.00|10:00|01:05|1.20|12.50|1|1|1|" + remainingTime + "|" +
                 remainingAmount + "|12.00|10.00|-2.00");
        h.Settle();
    };
    status("5", "3.50");
    FakeBrowserWindow& main = h.Main();
    EXPECT_EQ(main.caption, "Ko  <12.50> <01:05>");
    EXPECT_EQ(main.InnerText("lblAmount"), "-");
    status("5", "3.50");
    EXPECT_EQ(main.InnerText("lblLogonTime"), "10:00");
    EXPECT_EQ(main.InnerText("lblElapsedTime"), "01:05");
    EXPECT_EQ(main.InnerText("lblAmount"), "12.50");
    EXPECT_EQ(main.InnerText("lblRemainingTime"), "5");
    EXPECT_EQ(main.InnerText("lblRemainingAmount"), "3.50");
    EXPECT_EQ(main.InnerText("lblTotalBilled"), "12.00");
    EXPECT_EQ(main.InnerText("lblTotalPayment"), "10.00");
    EXPECT_EQ(main.InnerText("lblBalance"), "-2.00");

    status("-1", "-0.5");
    EXPECT_EQ(main.InnerText("lblRemainingTime"), " ");
    EXPECT_EQ(main.InnerText("lblRemainingAmount"), " ");
    status("0", "0");
    EXPECT_EQ(main.InnerText("lblRemainingTime"), "0");
    EXPECT_EQ(main.InnerText("lblRemainingAmount"), "0");
    // A figure that does not read as a number, or a time beyond 16 bits, leaves its label.
    status("00:50", "lots");
    status("40000", "x");
    EXPECT_EQ(main.InnerText("lblRemainingTime"), "0");
    EXPECT_EQ(main.InnerText("lblRemainingAmount"), "0");
    EXPECT_EQ(main.InnerText("lblBalance"), "-2.00");
}

TEST(KioskInput, AltF6IsSwallowedAndActivityRestartsTheAdvertisementCount) {
    KioskHarness h;
    h.StartConnected();
    h.Settle();
    FakeBrowserWindow& main = h.Main();
    EXPECT_TRUE(main.Key(117, 4));
    EXPECT_FALSE(main.Key(117, 5));
    EXPECT_FALSE(main.Key(65));
    h.Settle();
    EXPECT_EQ(h.recorder.Count("reset advertisement timers"), 0);  // no server yet
    h.Status(0);
    h.recorder.Take();
    main.Key(65);
    main.MouseMove();
    h.Settle();
    EXPECT_EQ(h.recorder.Count("reset advertisement timers"), 2);
    h.Status(1);
    h.recorder.Take();
    main.Key(65);
    h.Settle();
    EXPECT_EQ(h.recorder.Count("reset advertisement timers"), 0);
}

TEST(KioskClicks, ClicksOfAPageThatIsBeingReplacedAreDropped) {
    KioskHarness h;
    h.StartConnected();
    h.Status(0);
    h.Settle();
    FakeBrowserWindow& main = h.Main();
    h.screens.Serve(kLogon, CommandPage({"cmdOK"}), 500);
    // The main page starts loading again (a status after a page of its own): a click on the
    // old page, while the new one loads, opens nothing.
    main.PageNavigates("http://10.0.0.1:8080/ws/elsewhere.asp");
    main.Click("cmdLogon");
    h.Settle();
    EXPECT_EQ(h.screens.Window("Logon User"), nullptr);
    // A click that reaches the window after a newer page completed belongs to the older one.
    h.Status(0);
    h.Settle();
    ClickInfo old{main.generation - 1, main.document.ChainFrom(1), main.document.ClickFields()};
    static_cast<BrowserWindowEvents&>(h.kiosk->Main()).OnClick(old);
    EXPECT_EQ(h.screens.Window("Logon User"), nullptr);
    main.Click("cmdLogon");
    h.Settle();
    EXPECT_NE(h.screens.Window("Logon User"), nullptr);
}

TEST(KioskCommands, TheMainPageCommandsOpenTheirForms) {
    KioskHarness h;
    h.SetNetConfig("Left", "1");
    h.StartConnected();
    h.Status(0);
    h.Status(1);
    h.Settle();
    h.recorder.Take();

    h.ClickMain("cmdLogon");
    FakeBrowserWindow* logon = h.screens.Window("Logon User");
    ASSERT_NE(logon, nullptr);
    EXPECT_EQ(logon->navigations, Strings{kLogon});
    EXPECT_EQ(logon->bodyWrites, Strings{KioskContext::kWaitBody});

    h.ClickMain("cmdShowHistory");
    FakeBrowserWindow* history = h.screens.Window("Customer History");
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->navigations, Strings{kHistory});
    h.ClickMain("cmdShowSessionHistory");
    EXPECT_EQ(history->navigations.back(), kSessionHistory);

    h.ClickMain("cmdCloseWorkstation");
    h.ClickMain("cmdApplication");
    h.ClickMain("cmdOK");  // a recognised word the main page ignores
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"message window SecurityPassword  ",
                       "to the watcher KOW_Run_Application C:\\Games\\chess.exe"}));
    h.globals.options.wsSecureWorkstation = 0;
    h.ClickMain("cmdCloseWorkstation");
    EXPECT_EQ(h.recorder.Take(), Strings{"message window ShowSecurityAlert  "});

    h.ClickMain("cmdNetConfig");
    ASSERT_NE(h.screens.NetConfig(), nullptr);
    EXPECT_TRUE(h.screens.NetConfig()->visible);

    h.ClickMain("cmdMakeOrder");
    h.ClickMain("cmdChangePassword");
    ASSERT_NE(h.screens.Window("Service Order"), nullptr);
    ASSERT_NE(h.screens.Window("Change Password"), nullptr);

    // The lock knows the agent's own windows from the others.
    FakeBrowserWindow* order = h.screens.Window("Service Order");
    EXPECT_EQ(h.kiosk->IsOwnWindow(h.Main().NativeHandle()), "frmLogon");
    EXPECT_EQ(h.kiosk->IsOwnWindow(order->NativeHandle()), "frmServiceOrder");
    EXPECT_EQ(h.kiosk->IsOwnWindow(FakeKioskScreens::kNetConfigHandle), "frmNetConfig");
    EXPECT_EQ(h.kiosk->IsOwnWindow(0x42), "");

    // The lock closes every form but the main window, which it keeps on top, in front and
    // holding the keyboard; forms of the other parts of the agent close with them.
    int otherForms = 0;
    h.kiosk->AddOtherForm([&] { ++otherForms; });
    h.kiosk->AddOtherForm([] { throw std::runtime_error("a form that fails to unload"); });
    h.kiosk->AddOtherForm([&] { ++otherForms; });
    h.screens.ActivateOtherProgram();
    h.kiosk->UnloadForms();
    h.kiosk->SetMainTopmost(true);
    h.kiosk->ForceForeground();
    EXPECT_TRUE(h.kiosk->GrabKeyboard(true));
    EXPECT_EQ(otherForms, 2);
    EXPECT_EQ(h.screens.Windows().size(), 1u);
    EXPECT_EQ(h.screens.NetConfig(), nullptr);
    EXPECT_TRUE(h.Main().topmost);
    EXPECT_TRUE(h.Main().active);
    EXPECT_EQ(h.screens.GrabHolder(), &h.Main());
    EXPECT_TRUE(h.recorder.Saw("unload message window"));
    h.kiosk->GrabKeyboard(false);
    EXPECT_EQ(h.screens.GrabHolder(), nullptr);
}

TEST(KioskCommands, LogoffSendsTwoOnlyOnAYesWhileTheCustomerIsStillLoggedOn) {
    KioskHarness h;
    h.StartConnected();
    h.Status(0);
    h.Status(1);
    h.Settle();
    h.Sent();
    h.recorder.Take();

    h.ClickMain("cmdLogoff");  // declined
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"message window ShowMessage 503 Are you sure you want to logoff?",
                       "unload message window"}));
    EXPECT_TRUE(h.SentSoon().empty());

    h.recorder.whileMessageShown = [&h] { h.recorder.approved = true; };
    h.ClickMain("cmdLogoff");
    EXPECT_EQ(h.SentSoon(), Strings{" 2"});

    // The server ended the session while the question was up: the yes comes too late.
    h.recorder.approved = false;
    h.recorder.whileMessageShown = [&h] {
        h.Server("0|alice|pw|60|5.00|10:00|00:10|1.20|1.50|0|1|1|00:50|3.50|12.00|10.00|-2.00");
        h.recorder.approved = true;
    };
    h.Status(1);
    h.Settle();
    h.Sent();
    h.ClickMain("cmdLogoff");
    Strings sent = h.SentSoon();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), " 2"), 0);
}

TEST(KioskScreens, WithoutADisplayTheKioskIsNotSupportedAndTheAgentRuns) {
    KioskHarness h;
    h.screensSource.availability = KioskScreensSource::Availability::Unsupported;
    Kiosk headless(h.loop, h.globals, h.registryModule, h.recorder, h.recorder, h.recorder,
                   &h.screensSource);
    EXPECT_FALSE(headless.Supported());
    headless.Navigate(kStopped);
    headless.PosForm();
    headless.ShowMainForm();
    headless.UpdateBillingInformation();
    EXPECT_EQ(headless.LocationName(), "wsStopped.htm");
    const int opens = h.screensSource.opens;
    h.loop.Advance(60000);
    EXPECT_EQ(h.screensSource.opens, opens);  // never asked again
    EXPECT_EQ(
        Kiosk(h.loop, h.globals, h.registryModule, h.recorder, h.recorder, h.recorder, nullptr)
            .Supported(),
        false);
}

TEST(KioskScreens, ADisplayThatComesLaterShowsThePageOfTheState) {
    KioskHarness h;
    h.screensSource.availability = KioskScreensSource::Availability::NotYet;
    auto late = std::make_unique<Kiosk>(h.loop, h.globals, h.registryModule, h.recorder, h.recorder,
                                        h.recorder, &h.screensSource);
    EXPECT_TRUE(late->Supported());
    EXPECT_FALSE(late->HasScreens());
    late->Navigate(kStopped);
    late->SetCaption("Ostrel");
    late->SetMainTopmost(true);
    late->ShowMainForm();
    // Without a window the lock's grab waits for one.
    EXPECT_FALSE(late->GrabKeyboard(true));
    EXPECT_EQ(late->IsOwnWindow(0x1000), "");
    h.loop.Advance(10000);
    EXPECT_FALSE(late->HasScreens());
    h.screensSource.availability = KioskScreensSource::Availability::Ready;
    h.loop.Advance(10000);
    ASSERT_TRUE(late->HasScreens());
    h.Settle();
    FakeBrowserWindow* main = h.screens.Windows().back();
    EXPECT_EQ(main->location, kStopped);
    EXPECT_TRUE(main->visible);
    EXPECT_TRUE(main->topmost);
    EXPECT_EQ(h.screens.GrabHolder(), main);
    EXPECT_EQ(main->bounds, (PixelRect{0, 0, 1024, 738}));
    const int opens = h.screensSource.opens;
    h.loop.Advance(30000);
    EXPECT_EQ(h.screensSource.opens, opens);
}

TEST(KioskScreens, AMainWindowThatCannotBeCreatedIsTriedAgain) {
    KioskHarness h;
    h.screens.failWindowCreation = true;
    Kiosk kiosk(h.loop, h.globals, h.registryModule, h.recorder, h.recorder, h.recorder,
                &h.screensSource);
    kiosk.Navigate(kStopped);
    kiosk.ShowMainForm();
    EXPECT_EQ(kiosk.Main().Window(), nullptr);
    h.screens.failWindowCreation = false;
    h.loop.Advance(10000);
    ASSERT_NE(kiosk.Main().Window(), nullptr);
    EXPECT_EQ(kiosk.LocationURL(), kStopped);
    EXPECT_TRUE(kiosk.Main().Window()->IsVisible());
}

TEST(KioskScreens, ALostDisplayEndsTheProgramForTheServiceManagerToRestart) {
    KioskHarness h;
    h.StartConnected();
    h.screens.desktop.Lose();
    h.Settle();
    EXPECT_TRUE(h.loop.QuitRequested());
    EXPECT_EQ(h.loop.ExitCode(), Kiosk::kDisplayLostExitCode);
}

}  // namespace
}  // namespace ko
