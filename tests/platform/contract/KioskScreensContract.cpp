#include "platform/contract/KioskScreensContract.h"

namespace ko {

namespace {

constexpr int kLoadTimeoutMs = 15000;

}  // namespace

void KioskScreensContract::SetUp() {
    harness = GetParam()();
    ASSERT_NE(harness, nullptr);
}

void KioskScreensContract::TearDown() {
    harness.reset();
}

std::unique_ptr<BrowserWindow> KioskScreensContract::NewWindow(RecordedWindowEvents& events,
                                                               BrowserWindowSpec spec) {
    if (spec.caption.empty()) {
        spec.caption = "Contract";
    }
    auto window = harness->Screens().CreateBrowserWindow(spec, events);
    if (window) {
        window->Resize(480, 360);
        window->Move(20, 20);
        window->Show(true);
    }
    return window;
}

bool KioskScreensContract::Load(BrowserWindow& window, RecordedWindowEvents& events,
                                const std::string& url) {
    const std::size_t before = events.completed.size();
    window.Navigate(url);
    return harness->RunUntil([&] { return events.completed.size() > before; }, kLoadTimeoutMs);
}

TEST_P(KioskScreensContract, TheTopDocumentCompletesOnceWithItsLayoutValues) {
    if (!harness->RendersPages()) {
        GTEST_SKIP() << "no HTML engine here";
    }
    FakeDocument frame;
    frame.Layout("1", "1", "bottom", "left");
    const std::string frameUrl = harness->Serve("/ws/frame.htm", frame);
    FakeDocument page;
    page.Layout("400", "300", "Top", "left");
    int iframe = page.Add("iframe", "inner");
    page.At(iframe).attributes["src"] = frameUrl;
    const std::string url = harness->Serve("/ws/wsMain.asp?wsName=PC07", page);

    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Load(*window, events, url));
    // Let a frame finish too: it must not report.
    harness->RunUntil([] { return false; }, 300);

    ASSERT_EQ(events.completed.size(), 1u);
    const DocumentInfo done = events.completed[0];
    EXPECT_EQ(done.layout, (LayoutValues{"400", "300", "Top", "left"}));
    EXPECT_EQ(done.location, url);
    EXPECT_FALSE(done.failed);
    EXPECT_EQ(window->Location(), url);
    ASSERT_FALSE(events.navigating.empty());
    EXPECT_EQ(events.navigating.front(), url);

    // The next document has the next generation; a page without layout elements has none.
    const std::string plain = harness->Serve("/ws/plain.htm", FakeDocument{});
    ASSERT_TRUE(Load(*window, events, plain));
    ASSERT_EQ(events.completed.size(), 2u);
    EXPECT_GT(events.completed[1].generation, done.generation);
    EXPECT_EQ(events.completed[1].layout, LayoutValues{});
}

TEST_P(KioskScreensContract, AFailedLoadCompletesWithTheEnginesAddress) {
    if (!harness->RendersPages()) {
        GTEST_SKIP() << "no HTML engine here";
    }
    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    const std::string url = harness->Unreachable();
    ASSERT_TRUE(Load(*window, events, url));
    EXPECT_NE(window->Location(), url);
    EXPECT_EQ(events.completed.back().layout, LayoutValues{});
    EXPECT_TRUE(events.completed.back().failed);
}

TEST_P(KioskScreensContract, BlankEndsTheLoadAndShowsTheEmptyPage) {
    if (!harness->RendersPages()) {
        GTEST_SKIP() << "no HTML engine here";
    }
    FakeDocument page;
    page.Add("span", "lblAd");
    const std::string url = harness->Serve("/ads/ad1.htm", page);
    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Load(*window, events, url));
    const std::size_t before = events.completed.size();
    window->Navigate(harness->Serve("/ads/ad2.htm", page));
    window->Blank();
    ASSERT_TRUE(harness->RunUntil(
        [&] {
            return events.completed.size() > before &&
                   events.completed.back().location == "about:blank";
        },
        kLoadTimeoutMs));
    harness->RunUntil([] { return false; }, 300);
    EXPECT_EQ(events.completed.back().location, "about:blank");
    EXPECT_FALSE(events.completed.back().failed);
    EXPECT_EQ(window->Location(), "about:blank");
    EXPECT_EQ(harness->InnerText(*window, "lblAd"), std::nullopt);
}

TEST_P(KioskScreensContract, InnerTextsAreWrittenByIdOrNameAndAmbiguousOnesSkipped) {
    if (!harness->RendersPages()) {
        GTEST_SKIP() << "no HTML engine here";
    }
    FakeDocument page;
    page.Add("span", "lblAmount");
    int byName = page.Add("span", "");
    page.At(byName).name = "lblBalance";
    page.Add("span", "lblTwice");
    page.Add("span", "lblTwice");
    int other = page.Add("span", "lblOther");
    page.At(other).text = "kept";
    const std::string url = harness->Serve("/ws/labels.htm", page);

    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Load(*window, events, url));
    // Windows-1252 both ways: "é" and the euro sign; markup stays text.
    const std::string amount = "12,50 \x80 caf\xE9 <b>&amp;</b>";
    window->SetInnerTexts({{"lblAmount", amount},
                           {"lblBalance", "3.00"},
                           {"lblTwice", "lost"},
                           {"lblMissing", "lost"}});
    EXPECT_TRUE(harness->RunUntil(
        [&] { return harness->InnerText(*window, "lblAmount") == amount; }, kLoadTimeoutMs));
    EXPECT_EQ(harness->InnerText(*window, "lblBalance"), "3.00");
    EXPECT_EQ(harness->InnerText(*window, "lblOther"), "kept");
}

TEST_P(KioskScreensContract, AClickCarriesItsChainAndEveryFieldTheResolverReads) {
    if (!harness->RendersPages()) {
        GTEST_SKIP() << "no HTML engine here";
    }
    FakeDocument page;
    int object = page.Add("div", "WorkstationObject");
    page.At(object).attributes["KoCustomer"] = "15";
    int button = page.Add("button", "cmdOK", object);
    page.At(button).attributes["fileName"] = "notepad.exe";
    int label = page.Add("span", "inner", button);
    page.At(label).text = "OK";
    page.Input("txtCustomerID", "C\xE9line");
    page.Input("txtPassword", "a|b");
    page.Input("txtVerifyPassword", "one");
    page.Input("txtVerifyPassword", "two");
    int services = page.Add("select", "cbServices");
    page.At(services).value = "7";
    page.Input("7txtsPrice", "1.50");
    const std::string url = harness->Serve("/ws/wsLogonCustomer.asp", page);

    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Load(*window, events, url));
    ASSERT_TRUE(harness->Click(*window, "inner"));
    ASSERT_TRUE(harness->RunUntil([&] { return !events.clicks.empty(); }, kLoadTimeoutMs));

    const ClickInfo& click = events.clicks.front();
    EXPECT_EQ(click.generation, events.completed.back().generation);
    ASSERT_GE(click.chain.size(), 3u);
    EXPECT_EQ(click.chain[0].id, "inner");
    EXPECT_EQ(click.chain[1].id, "cmdOK");
    EXPECT_EQ(click.chain[1].fileName, "notepad.exe");
    EXPECT_EQ(click.chain[1].koCustomer, std::nullopt);
    EXPECT_EQ(click.chain[2].id, "WorkstationObject");
    EXPECT_EQ(click.chain[2].koCustomer, "15");

    auto field = [&](const std::string& id) {
        auto it = click.fields.find(id);
        return it == click.fields.end() ? FieldValue{FieldValue::State::Ambiguous, "not carried"}
                                        : it->second;
    };
    EXPECT_EQ(field("txtCustomerID"), FieldValue::Present("C\xE9line"));
    EXPECT_EQ(field("txtPassword"), FieldValue::Present("a|b"));
    EXPECT_EQ(field("txtNewPassword"), FieldValue{});
    EXPECT_EQ(field("txtVerifyPassword"), FieldValue::Ambiguous());
    EXPECT_EQ(field("cbServices"), FieldValue::Present("7"));
    EXPECT_EQ(field("7txtsPrice"), FieldValue::Present("1.50"));
    EXPECT_EQ(field("7txtsUnit"), FieldValue{});
    EXPECT_EQ(field("txtSecurityPassword"), FieldValue{});
}

TEST_P(KioskScreensContract, AClickChainStopsAfterOneHundredAndTwoElements) {
    if (!harness->RendersPages()) {
        GTEST_SKIP() << "no HTML engine here";
    }
    FakeDocument page;
    int parent = page.Add("div", "WorkstationObject");
    for (int depth = 0; depth < 110; ++depth) {
        parent = page.Add("div", "", parent);
    }
    page.At(parent).id = "deep";
    page.At(parent).text = "deep";
    const std::string url = harness->Serve("/ws/deep.htm", page);

    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Load(*window, events, url));
    ASSERT_TRUE(harness->Click(*window, "deep"));
    ASSERT_TRUE(harness->RunUntil([&] { return !events.clicks.empty(); }, kLoadTimeoutMs));
    EXPECT_EQ(events.clicks.front().chain.size(), kMaxClickChain);
    EXPECT_EQ(events.clicks.front().chain.front().id, "deep");
}

TEST_P(KioskScreensContract, KeysAreReportedAndTheSwallowedOnesToo) {
    if (!harness->RendersPages()) {
        GTEST_SKIP() << "no HTML engine here";
    }
    FakeDocument page;
    page.Input("txtCustomerID", "");
    const std::string url = harness->Serve("/ws/keys.htm", page);
    RecordedWindowEvents events;
    BrowserWindowSpec spec;
    spec.framed = false;
    spec.swallowedKeys = {KeyInfo{117, 4}};
    auto window = NewWindow(events, spec);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Load(*window, events, url));
    ASSERT_TRUE(harness->PressKey(*window, 117, 4));
    ASSERT_TRUE(harness->PressKey(*window, 65, 0));
    ASSERT_TRUE(harness->RunUntil([&] { return events.keys.size() >= 2; }, kLoadTimeoutMs));
    EXPECT_EQ(events.keys[0], (KeyInfo{117, 4}));
    EXPECT_EQ(events.keys[1], (KeyInfo{65, 0}));
}

TEST_P(KioskScreensContract, WindowQueriesAnswerWhatWasSet) {
    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    window->SetCaption("Ko  <1.50> <00:10>");
    window->SetTopmost(true);
    window->Resize(320, 240);
    window->Move(40, 30);
    EXPECT_TRUE(harness->RunUntil(
        [&] {
            return window->Bounds() == PixelRect{40, 30, 320, 240};
        },
        kLoadTimeoutMs));
    EXPECT_TRUE(window->IsVisible());
    EXPECT_TRUE(harness->RunUntil([&] { return window->IsActive(); }, kLoadTimeoutMs));
    window->Hide();
    EXPECT_FALSE(window->IsVisible());
    EXPECT_FALSE(window->IsActive());
    window->Show(false);
    EXPECT_TRUE(window->IsVisible());
}

TEST_P(KioskScreensContract, ADestroyedWindowSendsNothingMore) {
    FakeDocument page;
    page.Layout("1", "1", "top", "left");
    const std::string url = harness->Serve("/ws/gone.htm", page);
    RecordedWindowEvents events;
    auto window = NewWindow(events);
    ASSERT_NE(window, nullptr);
    window->Navigate(url);
    window.reset();
    const int seen = events.Count();
    harness->RunUntil([] { return false; }, 500);
    EXPECT_EQ(events.Count(), seen);
    EXPECT_TRUE(events.completed.empty());
}

TEST_P(KioskScreensContract, TheDesktopDescribesAUsableScreen) {
    Desktop& desktop = harness->Screens().GetDesktop();
    const PixelRect screen = desktop.Screen();
    const PixelRect work = desktop.WorkArea();
    EXPECT_GT(work.width, 0);
    EXPECT_GT(work.height, 0);
    EXPECT_GE(work.left, screen.left);
    EXPECT_GE(work.top, screen.top);
    EXPECT_LE(work.left + work.width, screen.left + screen.width);
    EXPECT_LE(work.top + work.height, screen.top + screen.height);
    const TwipsPerPixel twips = desktop.Twips();
    EXPECT_GE(twips.x, 1);
    EXPECT_LE(twips.x, 1440);
    EXPECT_GE(twips.y, 1);
    EXPECT_LE(twips.y, 1440);
    EXPECT_GE(desktop.MaxWindowSize().width, screen.width);
    EXPECT_GE(desktop.MaxWindowSize().height, screen.height);
}

TEST_P(KioskScreensContract, TheNetConfigDialogShowsAndHides) {
    class Ignored : public NetConfigEvents {
    } ignored;
    auto dialog = harness->Screens().CreateNetConfigDialog(ignored);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->IsVisible());
    dialog->Show(NetConfigFields{"server", "9678", "80", "PC07"}, false);
    dialog->SetTopmost(true);
    EXPECT_TRUE(dialog->IsVisible());
    dialog->Hide();
    EXPECT_FALSE(dialog->IsVisible());
}

TEST_P(KioskScreensContract, AStripShowsWhereItIsPutAndLeavesTheActiveWindowActive) {
    RecordedWindowEvents mainEvents;
    auto main = NewWindow(mainEvents);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(harness->RunUntil([&] { return main->IsActive(); }, kLoadTimeoutMs));

    RecordedWindowEvents stripEvents;
    BrowserWindowSpec spec;
    spec.caption = "Strip";
    spec.framed = false;
    spec.kind = WindowKind::Strip;
    auto strip = harness->Screens().CreateBrowserWindow(spec, stripEvents);
    ASSERT_NE(strip, nullptr);
    strip->Resize(300, 100);
    strip->Move(200, 150);
    // Asked to activate or not, and again while shown: the customer's window keeps the focus.
    strip->Show(true);
    strip->SetTopmost(true);
    strip->Show(false);
    harness->RunUntil([] { return false; }, 300);
    EXPECT_TRUE(strip->IsVisible());
    EXPECT_FALSE(strip->IsActive());
    EXPECT_TRUE(main->IsActive());
    EXPECT_EQ(stripEvents.activations, 0);
    EXPECT_TRUE(harness->RunUntil(
        [&] {
            return strip->Bounds() == PixelRect{200, 150, 300, 100};
        },
        kLoadTimeoutMs));
    // Sliding moves it in place.
    strip->Move(200, 140);
    EXPECT_TRUE(harness->RunUntil(
        [&] {
            return strip->Bounds() == PixelRect{200, 140, 300, 100};
        },
        kLoadTimeoutMs));
    EXPECT_TRUE(main->IsActive());
    strip->Hide();
    EXPECT_FALSE(strip->IsVisible());
}

TEST_P(KioskScreensContract, AnAdvertisementCoversTheScreenAndNoClickReachesItsPage) {
    RecordedWindowEvents events;
    BrowserWindowSpec spec;
    spec.caption = "Advertisement";
    spec.framed = false;
    spec.kind = WindowKind::Advertisement;
    auto ad = harness->Screens().CreateBrowserWindow(spec, events);
    ASSERT_NE(ad, nullptr);
    ad->Show(true);
    const PixelRect screen = harness->Screens().GetDesktop().Screen();
    auto covers = [&] {
        const PixelRect bounds = ad->Bounds();
        return bounds.left <= screen.left && bounds.top <= screen.top &&
               bounds.left + bounds.width >= screen.left + screen.width &&
               bounds.top + bounds.height >= screen.top + screen.height;
    };
    EXPECT_TRUE(harness->RunUntil(covers, kLoadTimeoutMs));
    // The core cannot shrink it.
    ad->Move(100, 100);
    ad->Resize(50, 50);
    EXPECT_TRUE(covers());
    if (!harness->RendersPages()) {
        return;
    }
    FakeDocument target;
    const std::string targetUrl = harness->Serve("/ads/elsewhere.htm", target);
    FakeDocument page;
    int link = page.Add("a", "adLink");
    page.At(link).attributes["href"] = targetUrl;
    page.At(link).text = "Buy now, a long link to click on";
    const std::string url = harness->Serve("/ads/ad1.htm", page);
    ASSERT_TRUE(Load(*ad, events, url));
    const std::size_t navigations = events.navigating.size();
    ASSERT_TRUE(harness->Click(*ad, "adLink"));
    ASSERT_TRUE(harness->RunUntil([&] { return !events.clicks.empty(); }, kLoadTimeoutMs));
    EXPECT_TRUE(events.clicks.front().chain.empty());
    harness->RunUntil([] { return false; }, 500);
    EXPECT_EQ(events.navigating.size(), navigations);
    EXPECT_EQ(ad->Location(), url);
    // Every key is reported.
    ASSERT_TRUE(harness->PressKey(*ad, 65, 0));
    EXPECT_TRUE(harness->RunUntil([&] { return !events.keys.empty(); }, kLoadTimeoutMs));
}

TEST_P(KioskScreensContract, TheProgramsWindowsAreKnownByTheirHandles) {
    RecordedWindowEvents events;
    BrowserWindowSpec spec;
    spec.formName = "frmLogon";
    spec.framed = false;
    auto main = NewWindow(events, spec);
    ASSERT_NE(main, nullptr);
    BrowserWindowSpec dialogSpec;
    dialogSpec.formName = "frmLogonUser";
    RecordedWindowEvents dialogEvents;
    auto dialog = NewWindow(dialogEvents, dialogSpec);
    ASSERT_NE(dialog, nullptr);
    const std::uint64_t mainHandle = main->NativeHandle();
    const std::uint64_t dialogHandle = dialog->NativeHandle();
    EXPECT_NE(mainHandle, 0u);
    EXPECT_NE(mainHandle, dialogHandle);
    KioskScreens& screens = harness->Screens();
    EXPECT_EQ(screens.FormOfWindow(mainHandle), "frmLogon");
    EXPECT_EQ(screens.FormOfWindow(dialogHandle), "frmLogonUser");
    EXPECT_EQ(screens.FormOfWindow(0), "");
    dialog.reset();
    EXPECT_EQ(screens.FormOfWindow(dialogHandle), "");
    EXPECT_EQ(screens.FormOfWindow(mainHandle), "frmLogon");
}

TEST_P(KioskScreensContract, TheLocksCallsKeepTheMainWindowInFront) {
    RecordedWindowEvents events;
    BrowserWindowSpec spec;
    spec.framed = false;
    auto main = NewWindow(events, spec);
    ASSERT_NE(main, nullptr);
    RecordedWindowEvents otherEvents;
    auto other = NewWindow(otherEvents);
    ASSERT_NE(other, nullptr);
    other->Show(true);
    ASSERT_TRUE(harness->RunUntil([&] { return other->IsActive(); }, kLoadTimeoutMs));
    main->SetTopmost(true);
    main->ForceForeground();
    EXPECT_TRUE(harness->RunUntil([&] { return main->IsActive(); }, kLoadTimeoutMs));
    EXPECT_TRUE(main->GrabKeyboard(true));
    EXPECT_TRUE(main->GrabKeyboard(false));
}

}  // namespace ko
