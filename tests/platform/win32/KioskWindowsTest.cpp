// The kiosk's user32 parts under a real window system: frames, modal showing, the desktop, the
// network dialog and the loop's message filters.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/LoopTestSupport.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Frame.h"
#include "platform/win32/Win32NetConfigDialog.h"

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
    ASSERT_TRUE(frame.Resize(300, 200));
    ASSERT_TRUE(frame.Move(40, 30));
    RECT rect = OuterRect(frame.Handle());
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 30);
    EXPECT_EQ(rect.right - rect.left, 300);
    EXPECT_EQ(rect.bottom - rect.top, 200);
    // Sizes the window system would refuse are not passed on.
    EXPECT_FALSE(frame.Resize(0, 200));
    EXPECT_FALSE(frame.Resize(300, -5));
    EXPECT_EQ(OuterRect(frame.Handle()).right, 340);
    EXPECT_EQ(frame.Bounds().right, 340);

    // Shown without activation, the active window keeps the input. Another window of ours is
    // made active first, and the pointer is held far from both: with no window manager on the
    // virtual display, the X server gives its focus to whatever window lies under the pointer,
    // which would activate a frame behind the call's back.
    SetCursorPos(1000, 740);
    Win32Frame other(Win32Frame::Style::Dialog, "Customer History", {});
    ASSERT_TRUE(other.Move(500, 400));
    other.Show(true);
    ASSERT_TRUE(other.IsActive());
    frame.Show(false);
    EXPECT_TRUE(frame.Visible());
    EXPECT_FALSE(frame.IsActive());
    EXPECT_TRUE(other.IsActive());
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
    frame.Resize(400, 300);
    EXPECT_GE(resizes, 1);
    HWND window = frame.Handle();
    frame.Destroy();
    EXPECT_FALSE(IsWindow(window));
    frame.Show(true);  // a destroyed frame ignores calls
    EXPECT_FALSE(frame.Visible());
}

TEST(Win32Frame, WhileModalTheOtherWindowsTakeNoInput) {
    Win32Frame main(Win32Frame::Style::Main, "Ostrel", {});
    Win32Frame other(Win32Frame::Style::Dialog, "Service Order", {});
    // The advertisement, hidden since the customer's last key: shown over the question later,
    // it must still take the key that ends it.
    Win32Frame ad(Win32Frame::Style::Advertisement, "Advertisement", {});
    EnableWindow(other.Handle(), FALSE);  // disabled by someone else: stays so afterwards
    auto modal =
        std::make_unique<Win32Frame>(Win32Frame::Style::Dialog, "Message", Win32Frame::Events{});
    modal->Show(true);
    modal->SetModal(true);
    EXPECT_FALSE(IsWindowEnabled(main.Handle()));
    EXPECT_TRUE(IsWindowEnabled(modal->Handle()));
    EXPECT_TRUE(IsWindowEnabled(ad.Handle()));
    modal->SetModal(false);
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
    EXPECT_FALSE(IsWindowEnabled(other.Handle()));

    // A modal frame that goes away (the lock unloads it) gives the input back.
    modal->SetModal(true);
    EXPECT_FALSE(IsWindowEnabled(main.Handle()));
    modal.reset();
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
}

TEST(Win32Desktop, WorkAreaTwipsAndPostedChanges) {
    class Counter : public DesktopEvents {
      public:
        void OnDisplayChanged() override { ++changes; }
        int changes = 0;
    } counter;
    Win32EventLoop loop;
    auto desktop = std::make_unique<Win32Desktop>(loop);
    desktop->SetEvents(&counter);
    PixelRect area = desktop->WorkArea();
    EXPECT_GT(area.width, 0);
    EXPECT_LE(area.width, desktop->Screen().width);
    // The virtual display runs at 96 DPI.
    EXPECT_EQ(desktop->Twips(), (TwipsPerPixel{15, 15}));
    ASSERT_NE(desktop->NoticeWindow(), nullptr);
    SendMessageA(desktop->NoticeWindow(), WM_DISPLAYCHANGE, 24, MAKELPARAM(1024, 768));
    SendMessageA(desktop->NoticeWindow(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    SendMessageA(desktop->NoticeWindow(), WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
    EXPECT_EQ(counter.changes, 0);  // posted, never inside the window procedure
    loop.PumpPending();
    EXPECT_EQ(counter.changes, 2);
    // A change noticed just before the desktop goes is not delivered afterwards.
    SendMessageA(desktop->NoticeWindow(), WM_DISPLAYCHANGE, 24, MAKELPARAM(1024, 768));
    desktop.reset();
    loop.PumpPending();
    EXPECT_EQ(counter.changes, 2);
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

class NetConfigDialogTest : public ::testing::Test, public NetConfigEvents {
  protected:
    void OnOk(const NetConfigFields& typed, const std::string& password) override {
        oks.push_back(typed);
        passwords.push_back(password);
    }
    void OnCancel() override { ++cancels; }
    void Click(int id) { SendMessageA(GetDlgItem(dialog.Handle(), id), BM_CLICK, 0, 0); }

    Win32EventLoop loop;
    std::vector<NetConfigFields> oks;
    std::vector<std::string> passwords;
    int cancels = 0;
    Win32NetConfigDialog dialog{loop, *this};
};

TEST_F(NetConfigDialogTest, HasTheCaptionFieldsAndButtonsInTabOrder) {
    ASSERT_TRUE(dialog.Created());
    EXPECT_FALSE(dialog.IsVisible());
    char text[64] = {};
    GetWindowTextA(dialog.Handle(), text, sizeof text);
    EXPECT_STREQ(text, "NetConfig 2003");
    dialog.Show(NetConfigFields{"kosim", "9678", "80", "PC-07"}, false);
    EXPECT_TRUE(dialog.IsVisible());
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), Win32NetConfigDialog::kServerName);
    // Tab order: the four fields, then OK, then Cancel; the hidden password box is skipped.
    const int expected[] = {Win32NetConfigDialog::kTcpPort,
                            Win32NetConfigDialog::kHttpPort,
                            Win32NetConfigDialog::kWorkstationName,
                            IDOK,
                            IDCANCEL,
                            Win32NetConfigDialog::kServerName};
    HWND at = GetDlgItem(dialog.Handle(), Win32NetConfigDialog::kServerName);
    for (int id : expected) {
        at = GetNextDlgTabItem(dialog.Handle(), at, FALSE);
        EXPECT_EQ(GetDlgCtrlID(at), id);
    }
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog.Handle(), IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
    HWND label = FindWindowExA(dialog.Handle(), nullptr, "Static", "HTPP Port");
    EXPECT_NE(label, nullptr);
}

TEST_F(NetConfigDialogTest, OkPostsTheTypedTextsAndTheDialogStays) {
    dialog.Show(NetConfigFields{"kosim.cafe", "9678", "8080", "PC-07"}, false);
    SetDlgItemTextA(dialog.Handle(), Win32NetConfigDialog::kTcpPort, " 19678x");
    Click(IDOK);
    EXPECT_TRUE(oks.empty());  // posted, never inside the dialog procedure
    loop.PumpPending();
    ASSERT_EQ(oks.size(), 1u);
    EXPECT_EQ(oks[0], (NetConfigFields{"kosim.cafe", " 19678x", "8080", "PC-07"}));
    EXPECT_EQ(passwords[0], "");
    EXPECT_TRUE(dialog.IsVisible());

    Click(IDCANCEL);
    SendMessageA(dialog.Handle(), WM_CLOSE, 0, 0);
    loop.PumpPending();
    EXPECT_EQ(cancels, 2);
    EXPECT_TRUE(IsWindow(dialog.Handle()));
    dialog.Hide();
    EXPECT_FALSE(dialog.IsVisible());

    // Reopening shows what the program passes, not what was typed before.
    dialog.Show(NetConfigFields{"kosim.cafe", "9678", "8080", "PC-07"}, false);
    char text[32] = {};
    GetDlgItemTextA(dialog.Handle(), Win32NetConfigDialog::kTcpPort, text, sizeof text);
    EXPECT_STREQ(text, "9678");
}

TEST_F(NetConfigDialogTest, AsksTheSecurityPasswordAndNamesARefusedField) {
    dialog.Show(NetConfigFields{"kosim", "9678", "80", "PC-07"}, true);
    HWND password = GetDlgItem(dialog.Handle(), Win32NetConfigDialog::kSecurityPassword);
    EXPECT_TRUE(IsWindowVisible(password));
    EXPECT_TRUE(GetWindowLongA(password, GWL_STYLE) & ES_PASSWORD);
    RECT withPassword = {};
    GetWindowRect(dialog.Handle(), &withPassword);
    SetWindowTextA(password, "s3cret");
    Click(IDOK);
    loop.PumpPending();
    ASSERT_EQ(passwords.size(), 1u);
    EXPECT_EQ(passwords[0], "s3cret");

    dialog.ShowInvalid(NetConfigField::TcpPort, "TCP/IP Port must be a number from 1 to 65535");
    HWND line = GetDlgItem(dialog.Handle(), Win32NetConfigDialog::kProblemLine);
    EXPECT_TRUE(IsWindowVisible(line));
    char text[80] = {};
    GetWindowTextA(line, text, sizeof text);
    EXPECT_STREQ(text, "TCP/IP Port must be a number from 1 to 65535");
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), Win32NetConfigDialog::kTcpPort);
    // The line makes room for itself below the rows, and the typed password stays.
    RECT withLine = {};
    GetWindowRect(dialog.Handle(), &withLine);
    EXPECT_GT(withLine.bottom - withLine.top, withPassword.bottom - withPassword.top);
    GetWindowTextA(password, text, sizeof text);
    EXPECT_STREQ(text, "s3cret");

    // The next opening without the password hides its row, the line and clears the box.
    dialog.Show(NetConfigFields{"kosim", "9678", "80", "PC-07"}, false);
    EXPECT_FALSE(IsWindowVisible(password));
    EXPECT_FALSE(IsWindowVisible(line));
    GetWindowTextA(password, text, sizeof text);
    EXPECT_STREQ(text, "");
}

TEST_F(NetConfigDialogTest, ReturnAndEscapeReachTheButtonsThroughTheLoop) {
    dialog.Show(NetConfigFields{"kosim", "9678", "80", "PC-07"}, false);
    HWND field = GetDlgItem(dialog.Handle(), Win32NetConfigDialog::kServerName);
    SetFocus(field);
    PostMessageA(field, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(field, WM_KEYUP, VK_RETURN, 0);
    EXPECT_TRUE(RunFor(loop, 2000, [&] { return oks.size() == 1; }));
    PostMessageA(field, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(field, WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_TRUE(RunFor(loop, 2000, [&] { return cancels == 1; }));
}

TEST(Win32NetConfigDialog, ADestroyedDialogReportsNothing) {
    class Counter : public NetConfigEvents {
      public:
        void OnOk(const NetConfigFields&, const std::string&) override { ++notices; }
        void OnCancel() override { ++notices; }
        int notices = 0;
    } counter;
    Win32EventLoop loop;
    auto dialog = std::make_unique<Win32NetConfigDialog>(loop, counter);
    SendMessageA(GetDlgItem(dialog->Handle(), IDOK), BM_CLICK, 0, 0);
    dialog.reset();
    loop.PumpPending();
    EXPECT_EQ(counter.notices, 0);
}

}  // namespace
}  // namespace ko
