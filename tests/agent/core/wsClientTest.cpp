#include "agent/core/wsClient.h"

#include <gtest/gtest.h>

#include "fakes/AgentHarness.h"

namespace ko {
namespace {

using Strings = std::vector<std::string>;
const std::string kMain = "http://10.0.0.1:8080/ws/wsMain.asp?wsName=WS07";
const std::string kLogonProfile = "http://10.0.0.1:8080/ws/wsLogonProfile.asp?wsName=WS07";

TEST(wsClientFields, FieldsAMessageDoesNotReachKeepTheirValues) {
    AgentHarness h;
    h.StartConnected();
    wsClient& c = h.Client();
    c.SplitFields("0|a|b");
    c.SplitFields("7|");
    EXPECT_EQ(c.MessageFields[1], "7");
    EXPECT_EQ(c.MessageFields[2], "");  // the trailing separator clears it
    EXPECT_EQ(c.MessageFields[3], "b");
    EXPECT_EQ(c.MessageFields[0], "");

    std::string many;
    for (int i = 1; i <= 320; ++i) {
        many += std::to_string(i) + "|";
    }
    c.SplitFields(many);
    EXPECT_EQ(c.MessageFields[300], "300");
    EXPECT_EQ(c.MessageFields[299], "299");
}

TEST(wsClientDispatch, ReadsTheCodeLenientlyAndExactly) {
    AgentHarness h;
    h.StartConnected();
    h.Server(" 0|x||||||||0|");
    EXPECT_EQ(h.Client().wsState, 0);  // a leading blank is fine
    h.recorder.Take();
    h.Server("7abc|");
    EXPECT_EQ(h.recorder.Take(), Strings{"shut down"});
    h.Server("2.5|");
    h.Server("abc|");  // no digits: not a message at all
    h.Server("");
    h.Server("17|hello");
    h.Server("31|2|a.com|b.com|");
    h.Server("99|");
    EXPECT_TRUE(h.recorder.Take().empty());
    EXPECT_TRUE(h.Sent().empty() == false);  // the status earlier answered 36 and a ping

    // Only a plain decimal number is a code: none of these is 22, which would stop the agent.
    for (const char* noStop : {"2 2|", " 2\t2|", "&H16|", "&O26|", "2D1|"}) {
        h.Server(noStop);
        EXPECT_EQ(h.host.stopRequests, 0) << noStop;
    }
    h.Server(" 22|");
    EXPECT_EQ(h.host.stopRequests, 1);
}

TEST(wsClientDispatch, RoutesEveryServerCode) {
    AgentHarness h;
    h.StartConnected();
    struct Case {
        std::string message;
        Strings calls;
    };
    const std::vector<Case> cases = {
        {"7|", {"shut down"}},
        {"13|1|", {"secure-attention keys enabled"}},
        {"13|0|", {"secure-attention keys disabled"}},
        {"13|x|", {}},
        {"15|1001|Hello there|", {"message window ShowMessage 1001 Hello there"}},
        {"16|1002|Bye|", {"message window ShowMessage 1002 Bye"}},
        {"19|", {"close all applications"}},
        {"20|4242|", {"close window 4242"}},
        {"21|4242|", {"end application 4242K"}},
        {"27|Coffee is ready|", {"message window ShowMessage  Coffee is ready"}},
        {"28|", {"restart"}},
        {"29|", {"apply policy"}},
        {"32|", {"advertisement profile"}},
        {"33|", {"time-out warning"}},
        {"34|", {"time-out sound"}},
        {"42|", {"to the watcher KOW_DELETE_IEC "}},
        {"43|", {"to the watcher KOW_DELETE_IEH "}},
        {"44|", {"delete documents"}},
    };
    for (const auto& c : cases) {
        h.Server(c.message);
        EXPECT_EQ(h.recorder.Take(), c.calls) << c.message;
    }
    EXPECT_TRUE(h.Sent().empty());
}

TEST(wsClientDispatch, ListsTrackedApplications) {
    AgentHarness h;
    h.StartConnected();
    h.Server("37|");
    h.loop.RunPosted();
    EXPECT_EQ(h.Sent(), Strings{"37|0|"});
    h.recorder.applications = {{"1234", "notepad.exe", "Untitled"}, {"99", "calc.exe", "Calc"}};
    h.Server("37|");
    h.loop.RunPosted();
    EXPECT_EQ(h.Sent(), Strings{"37|2|1234|notepad.exe|Untitled|99|calc.exe|Calc|"});
}

TEST(wsClientDispatch, OptionsMessageSetsAndStoresTheOptions) {
    AgentHarness h;
    h.StartConnected();
    h.Server("35|1|s3cret|0|1|1|1|0|1|0|");
    const WorkstationOptions& o = h.globals.options;
    EXPECT_EQ(o.wsSecureWorkstation, 1);
    EXPECT_EQ(o.wsSecurityPassword, "s3cret");
    EXPECT_EQ(o.MinimizeInUse, 1);
    EXPECT_EQ(o.KeepOnTop, 1);
    EXPECT_TRUE(o.LogonSettingsReceived);
    EXPECT_EQ(o.ReportApplications, 0);
    EXPECT_EQ(o.ReportUrls, 1);
    EXPECT_EQ(o.TimeoutMessageSeconds, 9);  // 0 from the server means 9
    EXPECT_EQ(h.Setting(AgentHarness::kSettingsKey, "Left"), "1");
    EXPECT_EQ(h.Setting(AgentHarness::kSettingsKey, "window"), "s3cret");

    // A bad field is skipped; the others still apply.
    h.Server("35|x|other|0|bad|0|0|1|0|30|");
    EXPECT_EQ(o.wsSecureWorkstation, 1);
    EXPECT_EQ(h.Setting(AgentHarness::kSettingsKey, "window"), "s3cret");
    EXPECT_EQ(o.MinimizeInUse, 1);
    EXPECT_EQ(o.KeepOnTop, 0);
    EXPECT_FALSE(o.LogonSettingsReceived);
    EXPECT_EQ(o.ReportApplications, 1);
    EXPECT_EQ(o.TimeoutMessageSeconds, 30);
}

TEST(wsClientDispatch, ATimeOutThatIsNoNumberKeepsTheUsualNineSeconds) {
    AgentHarness h;
    h.StartConnected();
    h.Server("35|0||0|0|0|0|1|0|soon|");
    EXPECT_EQ(h.globals.options.TimeoutMessageSeconds, 9);
    h.Server("35|0||0|0|0|0|1|0|30|");
    h.Server("35|0||0|0|0|0|1|0||");
    EXPECT_EQ(h.globals.options.TimeoutMessageSeconds, 30);
}

// In a "1.234,5" locale every number the server or the settings give is read that way; only
// codes and states keep the point.
TEST(wsClientDispatch, EveryNumberFollowsTheRegionalFormat) {
    AgentHarness h;
    h.system.separators = NumberSeparators{',', '.'};
    h.SetNetConfig("Left", "1,0");
    h.SetNetConfig("Port", "9.678");
    h.Start();
    EXPECT_EQ(h.globals.options.wsSecureWorkstation, 1);
    h.loop.Advance(10000);
    ASSERT_EQ(h.socket.connects.size(), 1u);
    EXPECT_EQ(h.socket.connects[0].port, 9678);
    h.socket.AcceptConnection();
    h.loop.RunPosted();
    h.recorder.Take();

    h.Server("13|0,4|");  // 0.4 is 0: disable
    h.Server("20|4.242|");
    EXPECT_EQ(h.recorder.Take(), (Strings{"secure-attention keys disabled", "close window 4242"}));
    h.Server("35|2,0|pw|0|1,0|0|0|1|0|1.234|");
    EXPECT_EQ(h.globals.options.wsSecureWorkstation, 2);
    EXPECT_EQ(h.globals.options.MinimizeInUse, 1);
    EXPECT_EQ(h.globals.options.TimeoutMessageSeconds, 1234);
    h.Server("23|2,0|1033|4|1.005|Word|-7|Minus|");
    const std::string words = "Software\\Ostrel Software\\KoLang\\LangWords";
    EXPECT_TRUE(h.registry.Get(RegRoot::CurrentUser, words, " 1005"));
    EXPECT_TRUE(h.registry.Get(RegRoot::CurrentUser, words, "-7"));
    // The state keeps the point: "1,5" is state 1.
    h.Server("0|bob||1.200|12,5|10:00|00:01|0,75|0,00|1,5|");
    EXPECT_EQ(h.Client().wsState, 1);
}

TEST(wsClientDispatch, AgentMessagesHaveTheirExactTexts) {
    AgentHarness h;
    h.system.separators = NumberSeparators{',', '.'};
    h.StartConnected();
    wsClient& c = h.Client();
    auto sent = [&] {
        h.loop.Advance(100);  // a waiting message follows after the link's short gap
        return h.Sent();
    };
    c.ChangePassword("n3w pw");
    EXPECT_EQ(sent(), Strings{"14|n3w pw|"});
    c.ChangePassword("");
    EXPECT_EQ(sent(), Strings{"14||"});
    c.OrderRequest(3, "7", "Coffee", "cup", 0.18, 2, Currency{15000});
    EXPECT_EQ(sent(), Strings{"30|3|7|Coffee|cup|0,18|2|1,5|"});
    c.OrderRequest(-1, "", "", "", 0, 1234.5, Currency{12345678});
    EXPECT_EQ(sent(), Strings{"30|-1||||0|1234,5|1234,5678|"});

    // Applications are reported from the start; addresses only once the server asks for them.
    c.ReportApplication("Notepad", 1234, "notepad.exe", 5678);
    EXPECT_EQ(sent(), Strings{" 20|Notepad|1234|notepad.exe|5678"});
    c.ReportUrl("http://example.com/a?b=1");
    EXPECT_TRUE(sent().empty());
    h.Server("35|0||0|0|0|0|0|1|0|");
    c.ReportApplication("Notepad", 1234, "notepad.exe", 5678);
    EXPECT_TRUE(sent().empty());
    c.ReportUrl("http://example.com/a?b=1");
    EXPECT_EQ(sent(), Strings{"47|http://example.com/a?b=1|"});
}

TEST(wsClientDispatch, StoresLanguageWordsAndCharset) {
    AgentHarness h;
    h.StartConnected();
    h.Server("23|3|1033|4|5|Logon|7|Logoff|x|Skipped|");
    h.Server("24|238|");
    const std::string user = "Software\\Ostrel Software\\";
    auto word = [&](const std::string& path, const std::string& key) {
        auto data = h.registry.Get(RegRoot::CurrentUser, user + path, key);
        return data ? std::string(data->bytes.c_str()) : std::string("<missing>");
    };
    EXPECT_EQ(word("Ostrel\\Language", "LangID"), "1033");
    EXPECT_EQ(word("Ostrel\\Language", "LangVer"), "4");
    EXPECT_EQ(word("Ostrel\\Language", "LangFCharset"), "238");
    EXPECT_EQ(word("KoLang\\LangWords", " 5"), "Logon");
    EXPECT_EQ(word("KoLang\\LangWords", " 7"), "Logoff");
    EXPECT_EQ(word("Ostrel\\Translation", " 7"), "Logoff");
    EXPECT_EQ(h.registry.ValueNames(RegRoot::CurrentUser, user + "KoLang\\LangWords").size(), 2u);
    EXPECT_EQ(h.globals.LangID, "1033");
}

TEST(wsClientState, FirstStatusShowsTheMainPageAndTellsTheServerItIsBack) {
    AgentHarness h;
    h.StartConnected();
    h.Status(0);
    EXPECT_EQ(h.Sent(), (Strings{"36|", " 25|"}));
    // Back from no server the workstation was locked already: the advertisements' idle count
    // starts here, as the lock does not start it again.
    EXPECT_EQ(h.recorder.Take(), (Strings{"show page " + kMain, "to the watcher KOW_Update_State 0",
                                          "lock workstation", "secure-attention keys disabled",
                                          "start advertisement timer"}));
    EXPECT_EQ(h.Client().currentUser, "alice");
    EXPECT_EQ(h.Client().AllocatedTime, 60);
    EXPECT_EQ(h.Client().AllocatedAmount, Currency{50000});
    EXPECT_EQ(h.Client().Balance, "-2.00");

    // The same state again navigates only when the browser has left the main page.
    h.Status(0);
    EXPECT_EQ(h.Sent(), Strings{" 25|"});
    EXPECT_FALSE(h.recorder.Saw("show page " + kMain));
    h.recorder.Navigate("http://elsewhere/");
    h.Status(0);
    EXPECT_TRUE(h.recorder.Saw("show page " + kMain));
}

TEST(wsClientState, FiguresAreReadWithTheRegionalNumberFormat) {
    AgentHarness h;
    h.system.separators = NumberSeparators{',', '.'};
    h.StartConnected();
    h.Server("0|bob||1.200|12,5|10:00|00:01|0,75|0,00|1|");
    EXPECT_EQ(h.Client().AllocatedTime, 1200);  // "." groups thousands here
    EXPECT_EQ(h.Client().AllocatedAmount, Currency{125000});
    EXPECT_EQ(h.Client().BillingRate, Currency{7500});
    h.Server("0|bob||x|abc|10:00|00:01|1,5|0,00|1|");  // a figure that does not convert
    EXPECT_EQ(h.Client().AllocatedTime, 1200);         // keeps its value
    EXPECT_EQ(h.Client().AllocatedAmount, Currency{125000});
    EXPECT_EQ(h.Client().BillingRate, Currency{15000});
}

TEST(wsClientState, ASessionStartsOnceAndThenOnlyRefreshesTheFigures) {
    AgentHarness h;
    h.StartConnected();
    h.Status(0);
    h.recorder.Take();
    h.Status(1, "2.40", "00:12");
    EXPECT_EQ(h.recorder.Take(), (Strings{"show page " + kMain, "main window normal",
                                          "display normal window", "load profile " + kLogonProfile,
                                          "caption Ko  <2.40> <00:12>", "unlock workstation"}));
    h.Status(1, "2.50", "00:13");
    EXPECT_EQ(h.recorder.Take(), (Strings{"update billing information",
                                          "caption Ko  <2.50> <00:13>", "unlock workstation"}));
    // Logoff: the logoff profile and the lock.
    h.Status(0);
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"show page " + kMain, "to the watcher KOW_Update_State 0",
                       "load profile " + kLogonProfile + "&action=Logoff", "lock workstation"}));
}

TEST(wsClientState, OnlyAComebackFromNoServerTellsTheServerItIsBack) {
    AgentHarness h;
    h.StartConnected();
    h.Status(0);
    EXPECT_EQ(h.Sent(), (Strings{"36|", " 25|"}));
    h.Status(1);  // a logon
    EXPECT_EQ(h.Sent(), Strings{" 25|"});
    h.Status(0);  // a logoff
    EXPECT_EQ(h.Sent(), Strings{" 25|"});
    h.Status(2);
    EXPECT_EQ(h.Sent(), Strings{" 25|"});
}

TEST(wsClientState, StateTwoLocksAndEndsASession) {
    const std::string logoff = "load profile " + kLogonProfile + "&action=Logoff";
    AgentHarness h;
    h.StartConnected();
    h.Status(2);  // straight from no server
    EXPECT_EQ(h.recorder.Take(), (Strings{"show page " + kMain, "to the watcher KOW_Update_State 2",
                                          "lock workstation", "secure-attention keys disabled",
                                          "start advertisement timer"}));
    h.Status(0);
    h.Status(2);
    EXPECT_FALSE(h.recorder.Saw(logoff));
    h.Status(1);
    h.recorder.Take();
    h.Status(2);  // the session ends
    EXPECT_EQ(h.recorder.Take(), (Strings{"show page " + kMain, "to the watcher KOW_Update_State 2",
                                          logoff, "lock workstation"}));
}

TEST(wsClientState, MinimizedAndTopmostSessionsFollowTheOptions) {
    AgentHarness h;
    h.StartConnected();
    h.Server("35|0||0|1|1|0|1|0|0|");
    h.Status(0);
    h.recorder.Take();
    h.Status(1);
    Strings calls = h.recorder.Take();
    EXPECT_EQ(calls[1], "main window minimized");
    EXPECT_EQ(calls[2], "display minimized window");
    EXPECT_EQ(calls[3], "window focus timer on");
    EXPECT_TRUE(h.globals.MainWindowMinimized);
}

TEST(wsClientState, ServerRestartDuringASessionStartsItAgain) {
    AgentHarness h;
    h.StartConnected();
    h.Status(1);
    EXPECT_EQ(h.Sent(), (Strings{"36|", " 25|"}));
    EXPECT_EQ(h.recorder.Count("load profile " + kLogonProfile), 1);
    h.socket.PeerClose();
    h.loop.Advance(10000);
    h.socket.AcceptConnection();
    h.loop.RunPosted();
    h.Sent();
    h.recorder.Take();
    h.Status(1);
    EXPECT_EQ(h.Sent(), (Strings{"36|", " 25|"}));
    EXPECT_EQ(h.recorder.Count("load profile " + kLogonProfile), 1);
}

TEST(wsClientState, OtherStatesActAsTheServerSays) {
    AgentHarness h;
    h.StartConnected();
    h.Status(13);
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"show page " + kMain, "to the watcher KOW_Update_State 13",
                       "lock workstation", "start advertisement timer"}));
    h.Status(6);
    EXPECT_TRUE(h.recorder.Saw("shut down"));
    h.Status(10);
    EXPECT_TRUE(h.recorder.Saw("restart"));
    h.recorder.Take();
    h.Status(42);  // unknown: only the common actions
    EXPECT_EQ(h.recorder.Take(),
              (Strings{"show page " + kMain, "to the watcher KOW_Update_State 42"}));
    h.Server("0|x||||||||abc|");  // a state that is no number is 0
    EXPECT_EQ(h.Client().wsState, 0);
}

TEST(wsClientState, LogonAndLogoffRequestsAreExact) {
    AgentHarness h;
    h.StartConnected();
    h.Client().logonCustomer("1001", "pa55");
    h.loop.RunPosted();
    h.Client().logoffUser();
    h.loop.RunPosted();
    EXPECT_EQ(h.Sent(), (Strings{" 1|1001|pa55||||", " 2"}));
}

TEST(wsClientRequests, OrderAndPasswordMessagesCarryTheirFieldsAsTheServerReadsThem) {
    AgentHarness h;
    h.StartConnected();
    wsClient& client = h.Client();
    client.ChangePassword("");
    h.loop.Advance(200);
    client.OrderRequest(3, "7", "Coffee", "cup", 0.2, 2, Currency{15000});
    h.loop.Advance(200);
    h.globals.regional = RegionalSettings{',', '.'};
    client.OrderRequest(-1, "12", "Print|A4", "page", 0, 2.5, Currency{12345});
    h.loop.Advance(200);
    EXPECT_EQ(h.Sent(), (Strings{"14||", "30|3|7|Coffee|cup|0.2|2|1.5|",
                                 "30|-1|12|Print|A4|page|0|2,5|1,2345|"}));
}

}  // namespace
}  // namespace ko
