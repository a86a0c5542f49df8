#include "Console.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "KosimTestSupport.h"

namespace ko {

namespace {

class ConsoleTest : public ::testing::Test {
  protected:
    ConsoleTest()
        : server(test::SmallCafe(), journal, link, clock.Function()),
          console(server, journal, [this](const std::string& line) { printed += line + "\n"; }) {}

    void Greet() {
        server.OnConnected(1, "10.0.0.1", "10.0.0.254");
        server.OnReceived(1, "5|PC01|C|10.0.0.1|os|id|");
    }

    test::FakeClock clock;
    Journal journal;
    test::RecordingTransport link;
    CafeServer server;
    std::string printed;
    Console console;
};

TEST(ConsoleWords, QuotesGroupWords) {
    std::vector<std::string> w;
    ASSERT_TRUE(Console::Tokenize(R"(send PC01 message 12 "Closing \"soon\"" x)", w));
    EXPECT_EQ(w,
              (std::vector<std::string>{"send", "PC01", "message", "12", "Closing \"soon\"", "x"}));
    ASSERT_TRUE(Console::Tokenize(R"(say "")", w));
    EXPECT_EQ(w, (std::vector<std::string>{"say", ""}));
    EXPECT_FALSE(Console::Tokenize(R"(say "open)", w));
}

TEST_F(ConsoleTest, OperatorCommandsActAndReportErrors) {
    Greet();
    link.Clear();
    EXPECT_TRUE(console.Execute("logon PC01 carol"));
    EXPECT_EQ(link.Codes(1), (std::vector<int>{0}));
    EXPECT_TRUE(console.Execute("send @ message 7 \"Hello there\""));
    EXPECT_EQ(link.sent.back().second, "15|7|Hello there|");
    EXPECT_TRUE(console.Execute("raw PC01 17|as  typed|"));
    EXPECT_EQ(link.sent.back().second, "17|as  typed|");
    EXPECT_TRUE(console.Execute("logoff PC01"));
    console.Execute("list");
    EXPECT_NE(printed.find("PC01"), std::string::npos);
    console.Execute("logon PC01");
    EXPECT_NE(printed.find("usage: logon"), std::string::npos);
    console.Execute("frobnicate");
    EXPECT_NE(printed.find("unknown command"), std::string::npos);
    EXPECT_FALSE(console.Execute("quit"));
}

TEST_F(ConsoleTest, ExpectationsFollowTheOrderOfEvents) {
    Greet();
    console.Execute("step online");
    // A step starts after what happened before it.
    console.Execute("expect recv * 5 within 0");
    EXPECT_EQ(console.Failed(), 1);
    server.OnReceived(1, "36|");
    server.OnReceived(1, " 25|");
    console.Execute("expect recv @ 36 within 0");
    console.Execute("expect recv @ 25 within 0");
    EXPECT_EQ(console.Passed(), 2);
    // 36 came before the ping that was just matched: in order, it is not seen again.
    console.Execute("expect recv @ 36 within 0");
    EXPECT_EQ(console.Failed(), 2);
    console.Execute("expect recv @ 36 within 0 unordered");
    EXPECT_EQ(console.Passed(), 3);
}

TEST_F(ConsoleTest, UnorderedAndOptionalExpectations) {
    Greet();
    console.Execute("step logon");
    console.Execute("logon PC01 carol");
    journal.Append(
        {0, 0, EventKind::Fetched, "PC01", 200, "/ws/wsLogonProfile.asp?wsName=PC01", "", {}});
    console.Execute("expect fetch @ /ws/wsLogonProfile.asp?wsName=@$ within 0");
    console.Execute("expect state @ 1 within 0 unordered");
    EXPECT_EQ(console.Passed(), 2);
    console.Execute(
        "expect fetch @ /ws/wsLogonProfile.asp?wsName=@&action=Logoff$ within 0 optional");
    EXPECT_EQ(console.Skipped(), 1);
    EXPECT_EQ(console.Failed(), 0);
    console.Execute("expect fetch @ /ws/wsLogonProfile.asp?wsName=PC$ within 0 unordered");
    EXPECT_EQ(console.Failed(), 1) << "$ asks for the whole address";
}

TEST_F(ConsoleTest, ExpectationsCanAskForPartOfTheText) {
    Greet();
    console.Execute("logon PC01 carol");
    console.Execute("expect sent @ 0 within 0 unordered text \"state 1 (in use), customer carol\"");
    console.Execute("expect sent @ 0 within 0 unordered text \"customer alice\"");
    EXPECT_EQ(console.Passed(), 1);
    EXPECT_EQ(console.Failed(), 1);
}

TEST_F(ConsoleTest, DroppingALinkKeepsTheSession) {
    Greet();
    console.Execute("logon PC01 carol");
    console.Execute("drop @");
    EXPECT_EQ(link.closed, (std::vector<ConnectionId>{1}));
    auto ws = server.Workstations().front();
    EXPECT_FALSE(ws.connection.has_value());
    EXPECT_EQ(ws.state, 1);
    console.Execute("drop @");
    EXPECT_NE(printed.find("not connected"), std::string::npos);
}

TEST_F(ConsoleTest, ExpectationsWaitWhileTheServerWorksOnAnotherThread) {
    // The link runs on its own thread and appends to the journal while the script waits on it.
    std::thread link([this] {
        for (int i = 0; i < 200; ++i) {
            server.OnConnected(100 + i, "10.0.0.1", "10.0.0.254");
            server.OnReceived(100 + i, "5|PC" + std::to_string(i) + "|C|10.0.0.1|os|id|");
        }
        server.OnReceived(299, " 25|");
    });
    console.Execute("expect recv @ 25 within 20");
    link.join();
    EXPECT_EQ(console.Passed(), 1);
}

TEST_F(ConsoleTest, AScriptStopsAtItsFirstFailedExpectation) {
    Greet();
    std::string path = ::testing::TempDir() + "/kosim-console-test.kos";
    std::ofstream(path) << "# comment\n"
                           "expect recv * 5 within 0\n"
                           "expect recv @ 36 within 0\n"
                           "logon PC01 carol\n";
    ASSERT_TRUE(console.RunScript(path));
    EXPECT_EQ(console.Passed(), 1);
    EXPECT_EQ(console.Failed(), 1);
    EXPECT_TRUE(console.Stopped());
    EXPECT_EQ(server.Workstations().front().state, 0) << "nothing after the failure runs";
    EXPECT_NE(printed.find("kosim-console-test.kos:3: FAIL"), std::string::npos);
    EXPECT_FALSE(console.RunScript(path + ".missing"));
}

}  // namespace

}  // namespace ko
