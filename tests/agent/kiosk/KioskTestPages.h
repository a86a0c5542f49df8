#pragma once

#include <string>
#include <vector>

#include "fakes/AgentHarness.h"
#include "fakes/FakeDocument.h"

namespace ko::kiosk_test {

inline const std::string kMain = "http://10.0.0.1:8080/ws/wsMain.asp?wsName=WS07";
inline const std::string kStrip = "http://10.0.0.1:8080/ws/wsMainMin.asp?wsName=WS07";
inline const std::string kStopped = "/opt/ostrel/wsStopped.htm";
inline const std::string kLogon = "http://10.0.0.1:8080/ws/wsLogonCustomer.asp";
inline const std::string kPassword = "http://10.0.0.1:8080/ws/wsChangePassword.asp";
inline const std::string kService = "http://10.0.0.1:8080/ws/WSService.asp";
inline const std::string kHistory =
    "http://10.0.0.1:8080/ws/WSCustomerHistory.asp?customer=15&wsName=WS07";
inline const std::string kSessionHistory =
    "http://10.0.0.1:8080/ws/wsSessionHistory.asp?customer=15&wsName=WS07";

// A page whose command buttons lie in the workstation object of customer 15.
inline FakeDocument CommandPage(const std::vector<std::string>& commands,
                                const std::string& customer = "15") {
    FakeDocument page;
    int object = page.Add("div", "WorkstationObject");
    page.At(object).attributes["KoCustomer"] = customer;
    for (const std::string& command : commands) {
        page.Add("button", command, object);
    }
    return page;
}

// The kiosk's main page: every command of the main window, the billing labels, an application.
inline FakeDocument MainPage() {
    FakeDocument page =
        CommandPage({"cmdLogon", "cmdLogoff", "cmdChangePassword", "cmdShowHistory", "cmdNetConfig",
                     "cmdCloseWorkstation", "cmdMakeOrder", "ExpandWindow", "CollapseWindow",
                     "cmdShowSessionHistory", "cmdOK"});
    page.Layout("-1", "-1", "top", "left");
    for (const char* label :
         {"lblLogonTime", "lblElapsedTime", "lblAmount", "lblRemainingTime", "lblRemainingAmount",
          "lblTotalBilled", "lblTotalPayment", "lblBalance"}) {
        int index = page.Add("span", label);
        page.At(index).text = "-";
    }
    int app = page.Add("div", "ApplicationObject");
    page.At(app).attributes["fileName"] = "C:\\Games\\chess.exe";
    page.Add("button", "cmdApplication", app);
    return page;
}

inline FakeDocument StripPage() {
    FakeDocument page = CommandPage({"ExpandWindow"});
    page.Layout("300", "40", "bottom", "right");
    for (const char* label : {"lblElapsedTime", "lblAmount"}) {
        page.Add("span", label);
    }
    return page;
}

// The agent on the real kiosk and the fake screens, with the server's pages served.
class KioskHarness : public AgentHarness {
  public:
    KioskHarness() : AgentHarness(KioskKind::OnFakeScreens) {
        screens.Serve("about:blank", FakeDocument{});
        screens.Serve(kStopped, StoppedPage());
        screens.Serve(kMain, MainPage());
        screens.Serve(kStrip, StripPage());
    }

    static FakeDocument StoppedPage() {
        FakeDocument page = CommandPage({"cmdNetConfig"}, "");
        page.Layout("-1", "-1", "top", "left");
        return page;
    }

    FakeBrowserWindow& Main() { return static_cast<FakeBrowserWindow&>(*kiosk->Main().Window()); }
    // Lets every posted notice and page completion run.
    void Settle() { loop.Advance(1); }
    // Messages sent to the server from now on, after the link's gaps.
    std::vector<std::string> SentSoon() {
        loop.Advance(1000);
        return Sent();
    }
    // Clicks an element of the main page and lets the click run.
    void ClickMain(const std::string& id) {
        Main().Click(id);
        Settle();
    }
};

}  // namespace ko::kiosk_test
