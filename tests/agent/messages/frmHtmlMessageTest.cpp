#include "agent/messages/frmHtmlMessage.h"

#include <gtest/gtest.h>

#include "agent/messages/MessagesTestSupport.h"
#include "agent/messages/WatcherRefusal.h"
#include "shared/WireCodec.h"

namespace ko {
namespace {

using namespace messages_test;
using Strings = std::vector<std::string>;

constexpr const char* kLogoffText = "Are you sure you want to logoff?";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The box the window writes when the server's page does not come, as the engine shows it.
FakeDocument LocalBox(bool withCancel) {
    FakeDocument box;
    int object = box.Add("div", "WorkstationObject");
    box.Add("button", "cmdOK", object);
    if (withCancel) {
        box.Add("button", "cmdCancel", object);
    }
    return box;
}

TEST(MessageText, ValuesAreEncodedSoThatNoTextAddsKeysOrCutsTheAddress) {
    AgentGlobals globals;
    globals.ServerName = "10.0.0.1";
    globals.HttpPort = "8080";
    EXPECT_EQ(
        MessageText::MessageAddress(globals, "", "Hello", "", 1),
        "http://10.0.0.1:8080/ws/wsMessage.asp?msgID=&Message=Hello&msgParametar=&msgStyle=1");
    EXPECT_EQ(MessageText::MessageAddress(globals, "16", "x", "", -1),
              "http://10.0.0.1:8080/ws/wsMessage.asp?msgID=16&Message=x&msgParametar=&msgStyle=-1");
    // A refused address that carries its own keys and a fragment stays one value.
    const std::string refused = "http://evil.example/a b?x=1&msgStyle=1#top";
    EXPECT_EQ(
        MessageText::MessageAddress(globals, "1017", "Access Denied to URL:", refused, 0),
        "http://10.0.0.1:8080/ws/wsMessage.asp?msgID=1017&Message=Access%20Denied%20to%20URL%3A"
        "&msgParametar=http%3A%2F%2Fevil.example%2Fa%20b%3Fx%3D1%26msgStyle%3D1%23top"
        "&msgStyle=0");
    // Bytes of the ANSI code page go as they are, one escape each.
    EXPECT_EQ(MessageText::QueryValue("caf\xE9+100%"), "caf%E9%2B100%25");
    EXPECT_EQ(MessageText::HtmlEscape("<b>\"R&D\"</b>"), "&lt;b&gt;&quot;R&amp;D&quot;&lt;/b&gt;");
}

TEST(MessageWindow, AQuestionIsModalCentredAndReturnsTheCustomersAnswer) {
    MessagesHarness h;
    h.StartConnected();
    h.ServeMessage("77", "Closing at ten", 0);
    h.At(500, [&h] {
        FakeBrowserWindow* window = h.MessageWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->visible);
        EXPECT_TRUE(window->modal);
        EXPECT_TRUE(window->topmost);
        // 4500 x 2500 twips at 15 twips a pixel, centred in the 1024 x 738 work area.
        EXPECT_EQ(window->bounds, (PixelRect{362, 285, 300, 167}));
        EXPECT_EQ(window->bodyWrites.front(), KioskContext::kWaitBody);
        // The kiosk takes no input meanwhile.
        EXPECT_FALSE(h.Main().Click("cmdLogon"));
        window->Click("cmdOK");
    });
    h.messages->ShowForm("ShowMessage", "Closing at ten", "77", "", 0);
    EXPECT_TRUE(h.messages->KoActionApproved());
    EXPECT_FALSE(h.MessageWindow()->visible);
    EXPECT_FALSE(h.MessageWindow()->modal);

    h.At(500, [&h] { h.MessageWindow()->Click("cmdCancel"); });
    h.messages->ShowForm("ShowMessage", "Closing at ten", "77", "", 0);
    EXPECT_FALSE(h.messages->KoActionApproved());

    // The close box is a Cancel; the kinds "cmdClose" and "cmdCancel" close the window too.
    h.At(500, [&h] { h.MessageWindow()->CloseBox(); });
    h.messages->ShowForm("ShowMessage", "Closing at ten", "77", "", 0);
    EXPECT_FALSE(h.messages->KoActionApproved());
    h.messages->ShowForm("Nonsense", "", "", "", 0);
    EXPECT_FALSE(h.MessageWindow()->visible);
}

TEST(MessageWindow, EachCallerGetsItsOwnAnswerWhileServerMessagesNestInTheLogoffQuestion) {
    MessagesHarness h;
    h.StartConnected();
    h.Status(0);
    h.Status(1);
    h.Settle();
    h.Sent();
    h.ServeMessage("503", kLogoffText, 0);
    h.ServeMessage("77", "Your friend is here", 1);
    FakeBrowserWindow* window = nullptr;
    Strings shown;
    // An operator message arrives while the customer reads the log-off question: it waits its
    // turn, and its OK is not the customer's yes to logging off.
    h.At(300, [&] {
        window = h.MessageWindow();
        shown.push_back(window->location);
        h.Server("15|77|Your friend is here");
    });
    h.At(600, [&] { h.Status(1); });  // statuses are answered meanwhile
    h.At(1000, [&] {
        EXPECT_EQ(window->location, h.MessageAddress("503", kLogoffText, "", 0));
        EXPECT_EQ(h.messages->Waiting(), 2u);
        window->Click("cmdCancel");  // no to logging off
    });
    h.At(2000, [&] {
        shown.push_back(window->location);
        EXPECT_TRUE(window->visible);
        window->Click("cmdOK");  // the operator message read
    });
    h.ClickMain("cmdLogoff");
    EXPECT_EQ(shown, (Strings{h.MessageAddress("503", kLogoffText, "", 0),
                              h.MessageAddress("77", "Your friend is here", "", 1)}));
    EXPECT_EQ(h.SentSoon(), (Strings{" 25|"}));  // the status's ping, and no log-off
    EXPECT_EQ(h.messages->Waiting(), 0u);

    // A yes logs off.
    h.At(500, [&h] { h.MessageWindow()->Click("cmdOK"); });
    h.ClickMain("cmdLogoff");
    EXPECT_EQ(h.SentSoon(), (Strings{" 2"}));
}

TEST(MessageWindow, WhatCameInTheSameReadAsAMessageRunsWhileItShows) {
    MessagesHarness h;
    h.StartConnected();
    h.Status(0);
    h.Sent();
    h.ServeMessage("77", "Tea at five", 1);
    // The server's notice, a status and a second notice reach the agent in one read: the status
    // is answered and the second notice queues up while the customer reads the first, rather
    // than waiting for the server's next data.
    Strings sentMeanwhile;
    std::size_t waitingMeanwhile = 0;
    h.At(2000, [&] {
        sentMeanwhile = h.Sent();
        waitingMeanwhile = h.messages->Waiting();
        h.MessageWindow()->Click("cmdOK");
    });
    h.At(2500, [&h] { h.MessageWindow()->Click("cmdOK"); });
    h.ServeMessage("78", "Closing soon", 1);
    h.socket.Deliver(WireCodec::EncodeMessage("15|77|Tea at five", 7) +
                     WireCodec::EncodeMessage("0|alice|secret|60|5.00|10:00|00:10|1.20|1.50|0|1|1|"
                                              "00:50|3.50|12.00|10.00|-2.00",
                                              7) +
                     WireCodec::EncodeMessage("15|78|Closing soon", 7));
    EXPECT_EQ(sentMeanwhile, (Strings{" 25|"}));
    EXPECT_EQ(waitingMeanwhile, 2u);
    EXPECT_EQ(h.messages->Waiting(), 0u);
    EXPECT_FALSE(h.MessageWindow()->visible);
}

TEST(MessageWindow, UnloadingAnswersEveryWaitingCallerNoAndTheSeventeenthIsRefused) {
    MessagesHarness h;
    h.StartConnected();
    h.ServeMessage("", "Notice", 1, 100000);  // a page that takes its time
    std::vector<bool> answers;
    std::size_t mostWaiting = 0;
    bool refusedAtOnce = false;
    std::function<void(int)> ask = [&](int depth) {
        if (depth == 17) {
            // The 17th: answered Cancel at once, without a nested loop.
            const std::int64_t before = h.loop.NowMs();
            h.messages->ShowForm("ShowMessage", "Notice", "", "", 1);
            refusedAtOnce = h.loop.NowMs() == before && !h.messages->KoActionApproved();
            h.messages->Unload();  // the lock closes the window
            return;
        }
        h.At(10, [&, depth] { ask(depth + 1); });
        h.messages->ShowForm("ShowMessage", "Notice", "", "", 1);
        mostWaiting = std::max(mostWaiting, h.messages->Waiting() + 1);
        answers.push_back(h.messages->KoActionApproved());
    };
    ask(1);
    EXPECT_TRUE(refusedAtOnce);
    EXPECT_EQ(answers, std::vector<bool>(16, false));
    EXPECT_EQ(h.messages->Waiting(), 0u);
    EXPECT_EQ(h.MessageWindow(), nullptr);  // unloaded
}

TEST(MessageWindow, AServerPageThatFailsOrNeverComesGivesWayToALocalBox) {
    MessagesHarness h;
    h.StartConnected();
    // No page at all: the navigation fails and the box shows at once.
    const std::string text = "Pay <now> & \"smile\"";
    h.At(100, [&h] {
        FakeBrowserWindow* window = h.MessageWindow();
        EXPECT_TRUE(Contains(window->bodyHtml, "Pay &lt;now&gt; &amp; &quot;smile&quot;"));
        EXPECT_TRUE(Contains(window->bodyHtml, "id=\"WorkstationObject\""));
        EXPECT_TRUE(Contains(window->bodyHtml, "id=\"cmdOK\""));
        EXPECT_FALSE(Contains(window->bodyHtml, "cmdCancel"));  // style 1: OK alone
        window->document = LocalBox(false);
        window->Click("cmdOK");
    });
    h.messages->ShowForm("ShowMessage", text, "27", "", 1);
    EXPECT_TRUE(h.messages->KoActionApproved());
    EXPECT_LT(h.loop.NowMs(), 100000);

    // A page that does not come within 15 s: the box replaces the waiting notice.
    h.ServeMessage("1017", "Access Denied to URL:", 0, 60000, "http://games.example/");
    std::int64_t boxAt = 0;
    const std::int64_t start = h.loop.NowMs();
    h.At(14000, [&h] { EXPECT_FALSE(Contains(h.MessageWindow()->bodyHtml, "cmdOK")); });
    h.At(15500, [&] {
        FakeBrowserWindow* window = h.MessageWindow();
        boxAt = h.loop.NowMs() - start;
        EXPECT_TRUE(Contains(window->bodyHtml, "http://games.example/"));
        EXPECT_TRUE(Contains(window->bodyHtml, "id=\"cmdCancel\""));
        EXPECT_GE(window->blanks, 1);
        window->document = LocalBox(true);
        window->Click("cmdCancel");
    });
    ShowDisallowedUrl(*h.messages, "http://games.example/");
    EXPECT_FALSE(h.messages->KoActionApproved());
    EXPECT_EQ(boxAt, 15500);
    // The late page does not bring the window back.
    h.loop.Advance(60000);
    EXPECT_FALSE(h.MessageWindow()->visible);
}

TEST(MessageWindow, WithoutADisplayAQuestionIsANoAtOnce) {
    AgentGlobals globals;
    FakeEventLoop loop;
    frmHtmlMessage window(loop, globals, [] { return nullptr; });
    window.ShowForm("ShowMessage", "Notice", "1000", "", 1);
    EXPECT_FALSE(window.KoActionApproved());
    EXPECT_EQ(loop.NowMs(), 0);
    window.ShowForm("SecurityPassword", "", "", "0", 0);
    EXPECT_EQ(window.Window(), nullptr);
}

// The two local pages that guard closing the agent.
class SecureClose : public ::testing::Test {
  protected:
    static constexpr const char* kPasswordPage = "/opt/ostrel/wsPassword.htm";
    static constexpr const char* kOptionsPage = "/opt/ostrel/wsSecurityOptions.htm";

    SecureClose() {
        FakeDocument password = CommandPage({"cmdSecureClose", "cmdCancel"}, "");
        password.Input("txtSecurityPassword", "",
                       password.Find("WorkstationObject", m_unused).value_or(FakeDocument::kBody));
        h.screens.Serve(kPasswordPage, password);
        h.screens.Serve(kOptionsPage, CommandPage({"cmdSecurityOptions", "cmdCancel"}, ""));
        h.StartConnected();
    }

    void Type(const std::string& entered) {
        FakeBrowserWindow* window = h.MessageWindow();
        bool ambiguous = false;
        window->document.At(*window->document.Find("txtSecurityPassword", ambiguous)).value =
            entered;
    }
    void Click(const std::string& id) {
        h.MessageWindow()->Click(id);
        h.loop.Advance(1);
    }

    MessagesHarness h;
    bool m_unused = false;
};

TEST_F(SecureClose, OnlyTheStoredPasswordStopsTheAgentAndAnEmptyOneNeverDoes) {
    h.globals.options.wsSecurityPassword = "Owl-7";
    h.messages->ShowForm("SecurityPassword", "", "", "0", 0);
    h.loop.Advance(1);
    FakeBrowserWindow* window = h.MessageWindow();
    EXPECT_EQ(window->location, kPasswordPage);
    EXPECT_TRUE(window->visible);
    EXPECT_FALSE(window->modal);

    Type("owl-7");  // compared exactly
    Click("cmdSecureClose");
    EXPECT_EQ(h.host.stopRequests, 0);
    EXPECT_TRUE(window->visible);
    EXPECT_EQ(
        h.screens.messageBoxes,
        (std::vector<std::pair<std::string, std::string>>{{"Wrong password", "Ko Workstation"}}));
    Type("Owl-7");
    Click("cmdSecureClose");
    EXPECT_EQ(h.host.stopRequests, 1);

    // No password stored: nobody closes the agent here, an empty entry included.
    MessagesHarness open;
    open.screens.Serve(kPasswordPage, CommandPage({"cmdSecureClose"}, ""));
    open.StartConnected();
    open.globals.options.wsSecurityPassword.clear();
    open.messages->ShowForm("SecurityPassword", "", "", "0", 0);
    open.loop.Advance(1);
    open.MessageWindow()->Click("cmdSecureClose");
    open.loop.Advance(1);
    EXPECT_EQ(open.host.stopRequests, 0);
}

TEST_F(SecureClose, TheCloseCommandsActOnlyOnTheirOwnLocalPage) {
    // A server page that carries the ids (it echoes what a customer typed) stops nothing.
    h.screens.Serve(h.MessageAddress("16", "Hi", "", 0),
                    CommandPage({"cmdSecurityOptions", "cmdSecureClose", "cmdOK"}, ""));
    h.At(200, [&] {
        h.MessageWindow()->Click("cmdSecurityOptions");
        h.MessageWindow()->Click("cmdSecureClose");
    });
    h.At(400, [&] { h.MessageWindow()->Click("cmdOK"); });
    h.Server("16|16|Hi");
    h.loop.Advance(1000);
    EXPECT_EQ(h.host.stopRequests, 0);

    // The options page stops the agent, after the click event and without a password.
    h.messages->ShowForm("ShowSecurityAlert", "", "", "", 0);
    h.loop.Advance(1);
    EXPECT_EQ(h.MessageWindow()->location, kOptionsPage);
    Click("cmdSecurityOptions");
    EXPECT_EQ(h.host.stopRequests, 1);
}

TEST(MessageWindow, TheSecondCopysMessageReadsTheServerFirstAndCancelCloses) {
    // The address of message 1000 carries the server's settings (the copy reads them first).
    AgentGlobals globals;
    globals.ServerName = "10.0.0.1";
    globals.HttpPort = "8080";
    EXPECT_EQ(MessageText::MessageAddress(globals, "1000",
                                          "A second instance of Ko Client not allowed!", "", 1),
              "http://10.0.0.1:8080/ws/wsMessage.asp?msgID=1000&Message=A%20second%20instance%20"
              "of%20Ko%20Client%20not%20allowed%21&msgParametar=&msgStyle=1");
}

}  // namespace
}  // namespace ko
