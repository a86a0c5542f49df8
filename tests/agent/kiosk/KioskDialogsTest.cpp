#include <gtest/gtest.h>

#include "agent/kiosk/Kiosk.h"
#include "agent/kiosk/KioskTestPages.h"

namespace ko {
namespace {

using namespace kiosk_test;
using Strings = std::vector<std::string>;

// A customer session on the kiosk, with the dialog pages served.
class KioskDialogs : public testing::Test {
  protected:
    void SetUp() override {
        h.screens.Serve(kLogon, LogonPage());
        h.screens.Serve(kPassword, PasswordPage("new", "new"));
        h.screens.Serve(kService, ServicePage("2"));
        h.screens.Serve(kHistory, CommandPage({"cmdClose"}));
        h.screens.Serve(kSessionHistory, CommandPage({"cmdClose"}));
        h.StartConnected();
        h.Status(0);
        h.Settle();
        h.Sent();
        h.recorder.Take();
    }

    static FakeDocument LogonPage() {
        FakeDocument logon = CommandPage({"cmdOK", "cmdCancel"});
        logon.Layout("300", "200", "middle", "center");
        logon.Input("txtCustomerID", "42");
        logon.Input("txtPassword", "a|b");
        return logon;
    }

    static FakeDocument PasswordPage(const std::string& first, const std::string& second) {
        FakeDocument page = CommandPage({"cmdOK", "cmdCancel"});
        page.Input("txtNewPassword", first);
        page.Input("txtVerifyPassword", second);
        return page;
    }

    static FakeDocument ServicePage(const std::string& quantity) {
        FakeDocument page = CommandPage({"cmdServiceOrder", "cmdServiceCancel", "cmdClose"});
        int chooser = page.Add("select", "cbServices");
        page.At(chooser).value = "7";
        page.Input("txtQuantity", quantity);
        page.Input("7txtsDescription", "Coffee");
        page.Input("7txtsPrice", "1.5");
        page.Input("7txtsUnit", "cup");
        page.Input("7txtsType", "3");
        page.Input("7txtsTax", "0.2");
        page.Input("8txtsPrice", "99");
        return page;
    }

    FakeBrowserWindow& Open(const std::string& command, const std::string& caption) {
        h.ClickMain(command);
        FakeBrowserWindow* window = h.screens.Window(caption);
        EXPECT_NE(window, nullptr) << caption;
        return *window;
    }

    void Click(FakeBrowserWindow& window, const std::string& id) {
        window.Click(id);
        h.Settle();
    }

    KioskHarness h;
};

TEST_F(KioskDialogs, LogonOpensHiddenShowsPlacedByItsPageAndSendsTheCredentials) {
    h.screens.Serve(kLogon, LogonPage(), 200);
    h.ClickMain("cmdLogon");
    FakeBrowserWindow& logon = *h.screens.Window("Logon User");
    EXPECT_FALSE(logon.visible);  // invisible while the page loads
    EXPECT_TRUE(logon.spec.framed);
    EXPECT_TRUE(logon.spec.blockContextMenu);
    EXPECT_FALSE(logon.spec.cancelClickDefault);
    h.loop.Advance(200);
    EXPECT_TRUE(logon.visible);
    EXPECT_TRUE(logon.topmost);  // made topmost when it became active
    // 300 x 200 pixels asked: 305 x 203 with the frame, in the middle of 1024 x 738.
    EXPECT_EQ(logon.bounds, (PixelRect{359, 267, 305, 203}));

    // A key on the logon page is activity at the locked kiosk.
    logon.Key(65);
    h.Settle();
    EXPECT_TRUE(h.recorder.Saw("reset advertisement timers"));

    Click(logon, "cmdOK");
    EXPECT_FALSE(logon.visible);
    EXPECT_EQ(h.SentSoon(), Strings{" 1|42|a|b||||"});

    // Cancel and the close box hide it without sending.
    h.ClickMain("cmdLogon");
    h.loop.Advance(200);
    Click(logon, "cmdCancel");
    EXPECT_FALSE(logon.visible);
    h.ClickMain("cmdLogon");
    h.loop.Advance(200);
    logon.CloseBox();
    h.Settle();
    EXPECT_FALSE(logon.visible);
    EXPECT_TRUE(h.SentSoon().empty());
    EXPECT_EQ(h.screens.windowsCreated, 2);  // the main window and this one, reused
}

TEST_F(KioskDialogs, ACommandOutsideTheWorkstationObjectDoesNothing) {
    FakeDocument page;
    page.Add("button", "cmdOK");
    page.Input("txtCustomerID", "42");
    h.screens.Serve(kLogon, page);
    FakeBrowserWindow& logon = Open("cmdLogon", "Logon User");
    h.Settle();
    Click(logon, "cmdOK");
    EXPECT_TRUE(logon.visible);
    EXPECT_TRUE(h.SentSoon().empty());
}

TEST_F(KioskDialogs, ChangePasswordSendsFourteenOnlyForTwoEqualNonEmptyEntries) {
    h.Status(1);
    h.Sent();
    FakeBrowserWindow& dialog = Open("cmdChangePassword", "Change Password");
    EXPECT_TRUE(dialog.spec.cancelClickDefault);
    EXPECT_TRUE(dialog.visible);

    auto tryPasswords = [&](const std::string& first, const std::string& second) {
        h.screens.Serve(kPassword, PasswordPage(first, second));
        h.kiosk->ChangePassword().ShowForm("ChangePassword");
        h.Settle();
        h.recorder.Take();
        Click(dialog, "cmdOK");
        return h.SentSoon();
    };
    EXPECT_TRUE(tryPasswords("Secret", "secret").empty());
    EXPECT_EQ(h.recorder.Take(),
              Strings{"message window ShowMessage 1006 Verify password does not match with the "
                      "new password!"});
    EXPECT_TRUE(dialog.visible);  // stays open after a mismatch

    // Two empty fields are alike, but a stray OK must not wipe the password.
    EXPECT_TRUE(tryPasswords("", "").empty());
    EXPECT_TRUE(h.recorder.Take().empty());
    EXPECT_TRUE(dialog.visible);

    EXPECT_EQ(tryPasswords("n|e w", "n|e w"), Strings{"14|n|e w|"});
    EXPECT_FALSE(dialog.visible);
}

TEST_F(KioskDialogs, ServiceOrderSendsThirtyWithThePageFieldsThenConfirms) {
    h.Status(1);
    h.Sent();
    h.recorder.Take();
    FakeBrowserWindow& dialog = Open("cmdMakeOrder", "Service Order");
    // The employee's confirmation comes after the dialog is gone.
    bool hiddenDuringMessage = false;
    h.recorder.whileMessageShown = [&] { hiddenDuringMessage = !dialog.visible; };
    Click(dialog, "cmdServiceOrder");
    EXPECT_EQ(h.SentSoon(), Strings{"30|3|7|Coffee|cup|0.2|2|1.5|"});
    EXPECT_TRUE(hiddenDuringMessage);
    EXPECT_EQ(h.recorder.Take(),
              Strings{"message window ShowMessage 501 Order request proceed to the employee"});

    // A quantity that does not read sends nothing, not an earlier customer's order.
    h.screens.Serve(kService, ServicePage("two"));
    h.ClickMain("cmdMakeOrder");
    Click(dialog, "cmdServiceOrder");
    EXPECT_TRUE(h.SentSoon().empty());
    EXPECT_TRUE(dialog.visible);

    Click(dialog, "cmdServiceCancel");
    EXPECT_FALSE(dialog.visible);
    h.ClickMain("cmdMakeOrder");
    Click(dialog, "cmdClose");
    EXPECT_FALSE(dialog.visible);
    EXPECT_TRUE(h.SentSoon().empty());
    EXPECT_TRUE(h.recorder.Take().empty());
}

TEST_F(KioskDialogs, HistoryShowsTheWaitingNoticeOnlyForTheAccountHistory) {
    h.Status(1);
    h.screens.Serve(kHistory, CommandPage({"cmdClose"}), 300);
    h.ClickMain("cmdShowHistory");
    FakeBrowserWindow& dialog = *h.screens.Window("Customer History");
    EXPECT_TRUE(dialog.visible);
    EXPECT_FALSE(dialog.spec.blockContextMenu);
    h.loop.Advance(300);
    EXPECT_FALSE(dialog.topmost);
    // No layout values: its default 9300 x 7100 twips at the bottom right.
    EXPECT_EQ(dialog.bounds, (PixelRect{404, 265, 620, 473}));
    Click(dialog, "cmdClose");
    EXPECT_FALSE(dialog.visible);

    h.screens.Serve(kSessionHistory, CommandPage({"cmdClose"}), 300);
    h.ClickMain("cmdShowSessionHistory");
    EXPECT_FALSE(dialog.visible);
    h.loop.Advance(300);
    EXPECT_TRUE(dialog.visible);
}

TEST_F(KioskDialogs, CustomerIdsThatWouldChangeTheQueryAreEncoded) {
    h.screens.Serve(kMain, CommandPage({"cmdShowHistory"}, "15&wsName=PC02#"));
    h.Main().Navigate(kMain);
    h.Settle();
    h.ClickMain("cmdShowHistory");
    EXPECT_EQ(h.screens.Window("Customer History")->navigations.back(),
              "http://10.0.0.1:8080/ws/WSCustomerHistory.asp?customer=15%26wsName=PC02%23"
              "&wsName=WS07");
}

TEST_F(KioskDialogs, ADialogClosedWhileItsPageLoadsStaysClosed) {
    h.screens.Serve(kLogon, CommandPage({"cmdOK"}), 500);
    h.ClickMain("cmdLogon");
    FakeBrowserWindow& logon = *h.screens.Window("Logon User");
    h.kiosk->LogonUser().ShowForm("cmdClose");
    h.loop.Advance(500);
    EXPECT_FALSE(logon.visible);
    // The next opening shows it as usual.
    h.ClickMain("cmdLogon");
    h.loop.Advance(500);
    EXPECT_TRUE(logon.visible);
}

TEST_F(KioskDialogs, TheLockMayUnloadADialogWhoseHandlerWaitsInAModalMessage) {
    h.Status(1);
    h.Sent();
    h.screens.Serve(kPassword, PasswordPage("a", "b"));
    FakeBrowserWindow* dialog = &Open("cmdChangePassword", "Change Password");
    h.recorder.whileMessageShown = [&] { h.kiosk->UnloadForms(); };
    Click(*dialog, "cmdOK");
    EXPECT_EQ(h.screens.Window("Change Password"), nullptr);
    EXPECT_TRUE(h.SentSoon().empty());
    // Opened again, the form is created anew and works.
    h.screens.Serve(kPassword, PasswordPage("c", "c"));
    dialog = &Open("cmdChangePassword", "Change Password");
    Click(*dialog, "cmdOK");
    EXPECT_EQ(h.SentSoon(), Strings{"14|c|"});
}

}  // namespace
}  // namespace ko
