#include "PageDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

#include "Console.h"
#include "KosimTestSupport.h"
#include "WebServer.h"

namespace ko {

namespace {

using namespace std::chrono_literals;

const std::string kLogonPage =
    "<html><head><title>Logon</title></head><body><div id=\"WorkstationObject\">"
    "<input id=\"txtCustomerID\"><input id=\"txtPassword\"><button id=\"cmdOK\">OK</button>"
    "</div></body></html>";
const std::string kMessagePage =
    "<html><head></head><body><div id=\"WorkstationObject\"><button id=\"cmdOK\">OK</button>"
    "<button id=\"cmdCancel\">Cancel</button></div></body></html>";

// A page in a browser, as its script behaves: asks the driver every few milliseconds, performs
// what it is told through the handler and reports the answer with its next request.
class FakePage {
  public:
    using Handler = std::function<std::string(const std::string& verb, const std::string& element,
                                              const std::string& argument)>;

    FakePage(PageDriver& driver, std::string id, Handler handler)
        : m_thread([this, &driver, id = std::move(id), handler = std::move(handler)] {
              std::string done;
              std::string result;
              while (!m_stop) {
                  std::string command = driver.Poll(id, m_hidden ? "0" : "1", done, result);
                  done.clear();
                  if (!command.empty()) {
                      std::istringstream in(command);
                      std::string verb, element, argument;
                      std::getline(in, done);
                      std::getline(in, verb);
                      std::getline(in, element);
                      std::getline(in, argument);
                      ++performed;
                      if (m_leaveOnCommand) {
                          return;  // the page is replaced before it can answer
                      }
                      result = handler(verb, element, argument);
                  }
                  std::this_thread::sleep_for(2ms);
              }
          }) {}
    ~FakePage() { Stop(); }

    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    void Hide(bool hidden) { m_hidden = hidden; }
    void LeaveOnCommand() { m_leaveOnCommand = true; }

    std::atomic<int> performed{0};

  private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hidden{false};
    std::atomic<bool> m_leaveOnCommand{false};
    std::thread m_thread;
};

std::string IdOf(const std::string& adopted) {
    auto at = adopted.find("var page = \"") + 12;
    return adopted.substr(at, adopted.find('"', at) - at);
}

FakePage::Handler Answering(std::string answer) {
    return [answer](const std::string&, const std::string&, const std::string&) { return answer; };
}

TEST(PageDriver, PagesCarryTheScriptAndAnswerWhatTheyAreAsked) {
    Journal journal;
    PageDriver driver(journal);
    std::string adopted = driver.Adopt("PC01", "wslogoncustomer.asp", kLogonPage);
    EXPECT_NE(adopted.find("<script"), std::string::npos);
    EXPECT_LT(adopted.find("<script"), adopted.find("</head>")) << "the script runs on load";
    EXPECT_EQ(driver.Poll("no such page", "1", "", ""), "");

    std::string seen;
    FakePage page(driver, IdOf(adopted),
                  [&](const auto& verb, const auto& element, const auto& arg) {
                      seen = verb + " " + element + " " + arg;
                      return std::string("ok 1.50");
                  });
    auto r = driver.Perform("PC01", "txtCustomerID", "type", "bob", "", 5s);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(seen, "type txtCustomerID bob");
    EXPECT_EQ(r.page, "wslogoncustomer.asp");
    r = driver.Perform("*", "cmdOK", "text", "", "", 5s);
    EXPECT_EQ(r.value, "1.50");

    // An element the page does not hold, or another workstation's page, is not asked.
    r = driver.Perform("PC01", "lblAmount", "text", "", "", 50ms);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("lblAmount"), std::string::npos);
    EXPECT_FALSE(driver.Perform("PC02", "cmdOK", "click", "", "", 50ms).ok);
    // The timeline names what was done, never what was typed (it may be a password).
    for (const auto& e : journal.Events()) {
        EXPECT_EQ(e.text.find("bob"), std::string::npos) << e.text;
    }
}

TEST(PageDriver, TheNewestShownPageThatHoldsTheElementTakesTheCommand) {
    Journal journal;
    PageDriver driver(journal);
    FakePage logon(driver, IdOf(driver.Adopt("PC01", "wslogoncustomer.asp", kLogonPage)),
                   Answering("ok logon"));
    FakePage message(driver, IdOf(driver.Adopt("PC01", "wsmessage.asp", kMessagePage)),
                     Answering("ok message"));
    while (driver.LivePages().size() < 2) {
        std::this_thread::yield();
    }
    EXPECT_EQ(driver.Perform("PC01", "cmdOK", "text", "", "", 5s).value, "message");
    // A hidden dialog keeps its page; it takes no clicks a customer could not make.
    message.Hide(true);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(driver.Perform("PC01", "cmdOK", "text", "", "", 5s).value, "logon");
    message.Hide(false);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(driver.Perform("PC01", "cmdOK", "text", "", "wsLogon", 5s).value, "logon")
        << "a page named by the script wins";
    EXPECT_EQ(driver.Perform("PC01", "cmdCancel", "text", "", "", 5s).value, "message");
    EXPECT_FALSE(driver.Perform("PC01", "cmdOK", "click", "", "wsService", 50ms).ok);
}

TEST(PageDriver, APageThatGoesAwayAfterTakingAClickPerformedIt) {
    Journal journal;
    PageDriver driver(journal, 100ms);
    FakePage strip(driver, IdOf(driver.Adopt("PC01", "wsmain.asp", kMessagePage)), Answering(""));
    strip.LeaveOnCommand();
    auto r = driver.Perform("PC01", "cmdOK", "click", "", "", 5s);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(strip.performed, 1);

    FakePage other(driver, IdOf(driver.Adopt("PC01", "wsmain.asp", kMessagePage)), Answering(""));
    other.LeaveOnCommand();
    r = driver.Perform("PC01", "cmdOK", "text", "", "", 5s);
    EXPECT_FALSE(r.ok) << "a text the page never reported is not a pass";
    other.Stop();

    // A page that stopped asking before it took the command did nothing.
    FakePage silent(driver, IdOf(driver.Adopt("PC01", "wsmain.asp", kLogonPage)), Answering(""));
    std::this_thread::sleep_for(20ms);
    silent.Stop();
    EXPECT_FALSE(driver.Perform("PC01", "txtPassword", "click", "", "", 1s).ok);
}

TEST(PageDriver, ACommandThePageDidNotTakeInTimeIsWithdrawn) {
    Journal journal;
    PageDriver driver(journal, 10s);
    std::string id = IdOf(driver.Adopt("PC01", "wsmain.asp", kLogonPage));
    EXPECT_EQ(driver.Poll(id, "1", "", ""), "");  // the page has loaded, then stalls
    EXPECT_FALSE(driver.Perform("PC01", "cmdOK", "click", "", "", 50ms).ok);
    EXPECT_EQ(driver.Poll(id, "1", "", ""), "") << "a late click would land in a later step";
}

TEST(PageDriver, APageThatFailsACommandSaysWhy) {
    Journal journal;
    PageDriver driver(journal);
    FakePage page(driver, IdOf(driver.Adopt("PC01", "wsmain.asp", kLogonPage)),
                  Answering("error no element cmdOK"));
    auto r = driver.Perform("PC01", "cmdOK", "click", "", "", 5s);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("no element cmdOK"), std::string::npos);
}

// Clicks and keys on the desktop, recorded instead of sent to a display.
class RecordingDesktop : public DesktopInput {
  public:
    std::optional<std::string> FindWindow(const std::string& title) override {
        asked.push_back(title);
        return shown.contains(title) ? std::optional<std::string>("4711") : std::nullopt;
    }
    bool Click(const std::string& window, int x, int y) override {
        clicks.push_back(window + " " + std::to_string(x) + "," + std::to_string(y));
        return true;
    }
    bool Keys(const std::vector<std::string>& keys) override {
        for (const auto& k : keys) {
            this->keys += k + " ";
        }
        return true;
    }
    bool Type(const std::string& text) override {
        typed += text;
        return true;
    }

    std::set<std::string> shown;
    std::vector<std::string> asked;
    std::vector<std::string> clicks;
    std::string keys;
    std::string typed;
};

class DrivenConsoleTest : public ::testing::Test {
  protected:
    DrivenConsoleTest()
        : server(test::SmallCafe(), journal, link, clock.Function()),
          web(server, journal),
          driver(journal),
          console(server, journal, [this](const std::string& line) { printed += line + "\n"; }) {
        web.SetPageDriver(&driver);
        console.SetPageDriver(&driver);
        console.SetDesktop(&desktop);
        server.OnConnected(1, "10.0.0.1", "10.0.0.254");
        server.OnReceived(1, "5|PC01|C|10.0.0.1|os|id|");
    }

    std::string Serve(const std::string& path) { return web.Answer(path, {}, "PC01").body; }

    test::FakeClock clock;
    Journal journal;
    test::RecordingTransport link;
    CafeServer server;
    WebServer web;
    PageDriver driver;
    RecordingDesktop desktop;
    std::string printed;
    Console console;
};

TEST_F(DrivenConsoleTest, TheWebSideDrivesPagesButNotDocumentsAndKeepsPollsOffTheTimeline) {
    EXPECT_NE(Serve("/ws/wsLogonCustomer.asp").find("/ko/drive?page="), std::string::npos);
    EXPECT_EQ(Serve("/ws/wsLogonProfile.asp").find("<script"), std::string::npos);
    auto before = journal.Next();
    auto poll = web.Answer("/ko/drive", {{"page", "1"}, {"visible", "1"}}, "PC01");
    EXPECT_EQ(poll.status, 200);
    EXPECT_FALSE(poll.journal);
    EXPECT_EQ(journal.Next(), before);
    // Without the driver kosim serves its pages as they are.
    WebServer plain(server, journal);
    EXPECT_EQ(plain.Answer("/ws/wsMain.asp", {}, "PC01").body.find("<script"), std::string::npos);
}

TEST_F(DrivenConsoleTest, ATrustedClickGoesToTheElementsPlaceInItsWindow) {
    FakePage page(driver, IdOf(Serve("/ws/wsLogonCustomer.asp")), Answering("ok 10 20 100 30"));
    desktop.shown = {"^Logon User$"};
    console.Execute("click @ cmdOK trusted within 5");
    EXPECT_EQ(desktop.clicks, (std::vector<std::string>{"4711 60,35"})) << printed;
    EXPECT_EQ(console.Failed(), 0) << printed;

    // No such window on the screen: the click fails instead of landing elsewhere.
    desktop.shown.clear();
    console.Execute("click @ cmdOK trusted within 5");
    EXPECT_EQ(console.Failed(), 1);
    EXPECT_EQ(desktop.clicks.size(), 1u);
}

TEST_F(DrivenConsoleTest, TrustedTypingChecksTheFieldWithoutSayingWhatWasTyped) {
    std::string field;
    FakePage page(driver, IdOf(Serve("/ws/wsLogonCustomer.asp")),
                  [&](const std::string& verb, const std::string&, const std::string&) {
                      return verb == "rect" ? std::string("ok 0 0 10 10") : "ok " + field;
                  });
    desktop.shown = {"^Logon User$"};
    field = "bob2";
    console.Execute("type @ txtPassword bob2 trusted");
    EXPECT_EQ(desktop.typed, "bob2");
    EXPECT_EQ(desktop.keys, "ctrl+a ");
    EXPECT_EQ(console.Failed(), 0) << printed;
    field = "bob";  // a key went missing on the way
    console.Execute("type @ txtPassword bob2 trusted");
    EXPECT_EQ(console.Failed(), 1);
    EXPECT_EQ(printed.find("bob2"), std::string::npos) << printed;
}

TEST_F(DrivenConsoleTest, ExpectTextComparesTheLabelAndAFigureMustComeFromALaterStatus) {
    server.LogOn("PC01", "alice");
    FakePage page(driver, IdOf(Serve("/ws/wsMain.asp")), Answering("ok  1.50\n"));
    console.Execute("expect text @ lblAmount 1.50 within 2");
    console.Execute("expect text @ lblAmount 1.5 contains within 2");
    EXPECT_EQ(console.Passed(), 2) << printed;
    console.Execute("expect text @ lblAmount 1.5 within 0.3");
    EXPECT_EQ(console.Failed(), 1);
    // A status sent as the page is served carries the page's own figures: no proof that the
    // workstation wrote the label.
    clock.Advance(std::chrono::seconds(10));
    server.Tick();
    console.Execute("expect text @ lblAmount status 9 within 0.3");
    EXPECT_EQ(console.Failed(), 2) << printed;
}

TEST_F(DrivenConsoleTest, ExpectNothingAndWindowsAndKosimsOwnPorts) {
    console.Execute("expect no recv @ 14 within 0");
    EXPECT_EQ(console.Passed(), 1);
    server.OnReceived(1, "14|new|");
    console.Execute("expect no recv @ 14 within 0");
    EXPECT_EQ(console.Failed(), 1);

    desktop.shown = {"^NetConfig 2003$"};
    console.Execute("expect window * \"^NetConfig 2003$\" within 0");
    console.Execute("expect no window * \"^Logon User$\" within 0");
    EXPECT_EQ(console.Passed(), 3) << printed;

    console.SetVariable("port", "9678");
    console.Execute("typekeys ${port}");
    EXPECT_EQ(desktop.typed, "9678");

    // The window an expectation found is the one later lines name.
    console.Execute("send @ endwindow ${window}");
    console.Execute("expect sent @ 21 within 0 text 4711");
    EXPECT_EQ(console.Passed(), 4) << printed;
}

}  // namespace

}  // namespace ko
