// The kiosk's user32 parts under a real window system: frames, modal showing, the desktop, the
// network dialog and the loop's message filters.

#include <gtest/gtest.h>

#include <string>

#include "platform/LoopTestSupport.h"
#include "platform/win32/NetConfigDialog.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Frame.h"

namespace ko {
namespace {

RECT OuterRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

TEST(Win32Frame, MainIsUndecoratedAndDialogsAreFramed) {
    Win32Frame main(Win32Frame::Style::Main, "Ostrel", {});
    Win32Frame dialog(Win32Frame::Style::Dialog, "Logon User", {});
    ASSERT_TRUE(main.Created());
    ASSERT_TRUE(dialog.Created());
    LONG mainStyle = GetWindowLongA(main.Handle(), GWL_STYLE);
    LONG dialogStyle = GetWindowLongA(dialog.Handle(), GWL_STYLE);
    EXPECT_TRUE(mainStyle & WS_POPUP);
    EXPECT_EQ(mainStyle & WS_CAPTION, 0);
    EXPECT_EQ(dialogStyle & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(dialogStyle & WS_SYSMENU);
    EXPECT_EQ(dialogStyle & WS_THICKFRAME, 0);
    char caption[64] = {};
    GetWindowTextA(dialog.Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Logon User");
    dialog.SetCaption("Ostrel - 00:12 1.50");
    GetWindowTextA(dialog.Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Ostrel - 00:12 1.50");
}

TEST(Win32Frame, PlacesShowsHidesAndStaysOnTop) {
    Win32Frame frame(Win32Frame::Style::Dialog, "Service Order", {});
    ASSERT_TRUE(frame.Created());
    EXPECT_FALSE(frame.Visible());
    // The outer frame gets exactly the pixels asked for, caption and border included.
    ASSERT_TRUE(frame.Place(40, 30, 300, 200));
    RECT rect = OuterRect(frame.Handle());
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 30);
    EXPECT_EQ(rect.right - rect.left, 300);
    EXPECT_EQ(rect.bottom - rect.top, 200);
    // Sizes the window system would refuse are not passed on.
    EXPECT_FALSE(frame.Place(0, 0, 0, 200));
    EXPECT_FALSE(frame.Place(0, 0, 300, -5));
    EXPECT_EQ(OuterRect(frame.Handle()).right, 340);

    frame.Show(false);
    EXPECT_TRUE(frame.Visible());
    EXPECT_FALSE(frame.IsActive());
    frame.Show(true);
    EXPECT_TRUE(frame.IsActive());
    EXPECT_TRUE(frame.SetTopmost(true));
    EXPECT_TRUE(GetWindowLongA(frame.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(frame.SetTopmost(false));
    EXPECT_FALSE(GetWindowLongA(frame.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    frame.Hide();
    EXPECT_FALSE(frame.Visible());
}

TEST(Win32Frame, CloseBoxReportsAndNeverDestroys) {
    int closes = 0;
    int resizes = 0;
    Win32Frame::Events events;
    events.onCloseBox = [&] { ++closes; };
    events.onResized = [&] { ++resizes; };
    Win32Frame frame(Win32Frame::Style::Dialog, "Customer History", std::move(events));
    ASSERT_TRUE(frame.Created());
    SendMessageA(frame.Handle(), WM_CLOSE, 0, 0);
    SendMessageA(frame.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(closes, 2);
    EXPECT_TRUE(IsWindow(frame.Handle()));
    frame.Place(0, 0, 400, 300);
    EXPECT_GE(resizes, 1);
    HWND window = frame.Handle();
    frame.Destroy();
    EXPECT_FALSE(IsWindow(window));
    frame.Show(true);  // a destroyed frame ignores calls
    EXPECT_FALSE(frame.Visible());
}

TEST(Win32Frame, ModalShowingDisablesTheOtherWindowsUntilHidden) {
    Win32EventLoop loop;
    Win32Frame main(Win32Frame::Style::Main, "Ostrel", {});
    Win32Frame modal(Win32Frame::Style::Dialog, "Message", {});
    main.Show(true);
    bool mainEnabledDuring = true;
    EventLoop::TimerId timer = loop.AddTimer([&] {
        mainEnabledDuring = IsWindowEnabled(main.Handle()) != FALSE;
        modal.Hide();
    });
    loop.SetTimerInterval(timer, 20);
    modal.ShowModal(loop, [] { return false; });
    loop.RemoveTimer(timer);
    EXPECT_FALSE(mainEnabledDuring);
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
    EXPECT_TRUE(IsWindowEnabled(modal.Handle()));

    // A modal frame destroyed from inside its own nested loop ends it cleanly.
    auto doomed =
        std::make_unique<Win32Frame>(Win32Frame::Style::Dialog, "Message", Win32Frame::Events{});
    timer = loop.AddTimer([&] { doomed.reset(); });
    loop.SetTimerInterval(timer, 20);
    doomed->ShowModal(loop, [] { return false; });
    loop.RemoveTimer(timer);
    EXPECT_EQ(doomed, nullptr);
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
}

TEST(Win32Desktop, WorkAreaTwipsAndChanges) {
    int changes = 0;
    Win32Desktop desktop([&] { ++changes; });
    Win32Desktop::Area area = Win32Desktop::WorkArea();
    EXPECT_GT(area.width, 0);
    EXPECT_GT(area.height, 0);
    EXPECT_LE(area.width, GetSystemMetrics(SM_CXSCREEN));
    // The virtual display runs at 96 DPI.
    EXPECT_EQ(Win32Desktop::TwipsPerPixelX(), 15);
    EXPECT_EQ(Win32Desktop::TwipsPerPixelY(), 15);
    ASSERT_NE(desktop.NoticeWindow(), nullptr);
    SendMessageA(desktop.NoticeWindow(), WM_DISPLAYCHANGE, 24, MAKELPARAM(1024, 768));
    SendMessageA(desktop.NoticeWindow(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    SendMessageA(desktop.NoticeWindow(), WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
    EXPECT_EQ(changes, 2);
}

TEST(Win32EventLoop, MessageFiltersSeeMessagesBeforeDispatchAndCanConsumeThem) {
    Win32EventLoop loop;
    Win32Frame frame(Win32Frame::Style::Main, "Ostrel", {});
    int seen = 0;
    auto first = loop.AddMessageFilter([&](const MSG& msg) {
        if (msg.hwnd == frame.Handle() && msg.message == WM_KEYDOWN) {
            ++seen;
            return msg.wParam == VK_F6;
        }
        return false;
    });
    // A filter that removes another while it runs does not make the loop call a removed one.
    auto second = loop.AddMessageFilter([&](const MSG& msg) {
        if (msg.message == WM_KEYUP) {
            loop.RemoveMessageFilter(first);
        }
        return false;
    });
    PostMessageA(frame.Handle(), WM_KEYDOWN, VK_F6, 0);
    PostMessageA(frame.Handle(), WM_KEYUP, VK_F6, 0);
    PostMessageA(frame.Handle(), WM_KEYDOWN, 'A', 0);
    loop.PumpPending();
    EXPECT_EQ(seen, 1);
    loop.RemoveMessageFilter(second);
}

class NetConfigDialogTest : public ::testing::Test {
  protected:
    Win32EventLoop loop;
    int oks = 0;
    int cancels = 0;
    NetConfigDialog dialog{loop, {[this] { ++oks; }, [this] { ++cancels; }}};
};

TEST_F(NetConfigDialogTest, HasTheCaptionFieldsAndButtonsInTabOrder) {
    ASSERT_TRUE(dialog.Created());
    char text[64] = {};
    GetWindowTextA(dialog.Handle(), text, sizeof text);
    EXPECT_STREQ(text, "NetConfig 2003");
    // Tab order: the four fields, then OK, then Cancel.
    HWND first = GetDlgItem(dialog.Handle(), NetConfigDialog::kServerName);
    const int expected[] = {NetConfigDialog::kTcpPort,
                            NetConfigDialog::kHttpPort,
                            NetConfigDialog::kWorkstationName,
                            IDOK,
                            IDCANCEL,
                            NetConfigDialog::kServerName};
    HWND at = first;
    for (int id : expected) {
        at = GetNextDlgTabItem(dialog.Handle(), at, FALSE);
        EXPECT_EQ(GetDlgCtrlID(at), id);
    }
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog.Handle(), IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
    GetDlgItemTextA(dialog.Handle(), IDCANCEL, text, sizeof text);
    EXPECT_STREQ(text, "Cancel");
}

TEST_F(NetConfigDialogTest, FillsReadsAndReportsItsButtons) {
    NetConfigDialog::Values values{"kosim.cafe", "9678", "8080", "PC-07"};
    dialog.Fill(values);
    dialog.Show();
    EXPECT_TRUE(dialog.Visible());
    SetDlgItemTextA(dialog.Handle(), NetConfigDialog::kTcpPort, "19678");
    NetConfigDialog::Values read = dialog.Read();
    EXPECT_EQ(read.server, "kosim.cafe");
    EXPECT_EQ(read.tcpPort, "19678");
    EXPECT_EQ(read.httpPort, "8080");
    EXPECT_EQ(read.workstationName, "PC-07");

    SendMessageA(GetDlgItem(dialog.Handle(), IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(oks, 1);
    // The dialog neither hides nor clears itself: the program decides.
    EXPECT_TRUE(dialog.Visible());
    SendMessageA(GetDlgItem(dialog.Handle(), IDCANCEL), BM_CLICK, 0, 0);
    SendMessageA(dialog.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(cancels, 2);
    EXPECT_EQ(oks, 1);
    dialog.Hide();
    EXPECT_FALSE(dialog.Visible());
}

TEST_F(NetConfigDialogTest, ReturnAndEscapeReachTheButtonsThroughTheLoop) {
    dialog.Show();
    HWND field = GetDlgItem(dialog.Handle(), NetConfigDialog::kServerName);
    SetFocus(field);
    PostMessageA(field, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(field, WM_KEYUP, VK_RETURN, 0);
    EXPECT_TRUE(RunFor(loop, 2000, [&] { return oks == 1; }));
    PostMessageA(field, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(field, WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_TRUE(RunFor(loop, 2000, [&] { return cancels == 1; }));
}

}  // namespace
}  // namespace ko
