// The agent program against a scripted cafe server on loopback, with the real adapters of the
// platform it is built for (a store file on Linux, the registry under Wine).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "LoopbackServer.h"
#include "platform/RegistryPrimitives.h"
#include "shared/RegistryModule.h"
#include "shared/WireCodec.h"

#if defined(_WIN32)
#include "platform/win32/Win32Registry.h"
#else
#include <unistd.h>

#include <filesystem>

#include "platform/linux/RegistryFileStore.h"
#endif

namespace ko::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNetConfig = "SOFTWARE\\Ostrel Software\\Ostrel\\1\\NetConfig";
// The first connection comes with the reconnect timer's first tick, 10 s after start; the rest
// is the time a process takes to start (Wine's is slow).
constexpr int kHelloWithinMs = 12000;

std::string StoreFile() {
#if defined(_WIN32)
    return "";
#else
    static std::string dir = [] {
        std::string d =
            (std::filesystem::temp_directory_path() / ("ostrel-it-" + std::to_string(getpid())))
                .string();
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir + "/registry.reg";
#endif
}

std::unique_ptr<RegistryPrimitives> OpenStore() {
#if defined(_WIN32)
    return std::make_unique<Win32Registry>();
#else
    return std::make_unique<RegistryFileStore>(StoreFile());
#endif
}

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == '|') {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

const std::string kStatus0 = "0|||0|0|||0|0|0|1|0|||||";

class AgentLink : public ::testing::Test {
  protected:
    void SetUp() override {
        store = OpenStore();
        store->CreateKey(RegRoot::LocalMachine, kNetConfig, "1");
        RegistryModule settings(*store);
        settings.WriteSetting("NetConfig", "Server", "127.0.0.1");
        settings.WriteSetting("NetConfig", "Port", std::to_string(server.Port()));
        settings.WriteSetting("NetConfig", "HttpPort", "8080");
        settings.WriteSetting("NetConfig", "WorkstationName", "WS-IT");
        SetAgentEnvironment(StoreFile());
        started = Clock::now();
        ASSERT_TRUE(agent.Start(AgentProgramPath(), "--foreground"));
    }

    void TearDown() override { agent.Kill(); }

    // Accepts the agent and returns its hello.
    std::string ExpectHello() {
        EXPECT_TRUE(server.Accept(kHelloWithinMs)) << "no connection";
        auto hello = server.Receive(3000);
        EXPECT_TRUE(hello.has_value()) << "no hello";
        return hello.value_or("");
    }

    std::string ReadSetting(const std::string& section, const std::string& name) {
        return RegistryModule(*store).ReadSetting(section, name, "<missing>");
    }

    LoopbackServer server;
    AgentProcess agent;
    std::unique_ptr<RegistryPrimitives> store;
    Clock::time_point started;
};

TEST_F(AgentLink, LivesItsLifeOnTheLinkAndEndsOnMessage22) {
    std::string hello = ExpectHello();
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    EXPECT_LE(elapsed.count(), kHelloWithinMs);
    auto f = Fields(hello);
    ASSERT_EQ(f.size(), 7u) << hello;  // six fields, each followed by "|"
    EXPECT_EQ(f[0], "5");
    EXPECT_EQ(f[1], "WS-IT");
    EXPECT_FALSE(f[2].empty());  // computer name
    EXPECT_EQ(f[3], "127.0.0.1");
    EXPECT_NE(f[4].find("  Version: "), std::string::npos);
    EXPECT_FALSE(f[5].empty());  // identity
    EXPECT_EQ(f[6], "");

    // The first status brings the workstation back (36) and is answered with a ping.
    server.Send(kStatus0);
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), "36|");
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), " 25|");
    server.Send(kStatus0, 113);
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), " 25|");

    server.Send("37|");
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), "37|0|");

    // Options and language words land in the settings.
    server.Send("35|1|pw9|0|0|0|0|1|0|0|");
    SleepMs(100);
    server.Send("23|2|1033|1|5|Hello|7|Bye|");
    SleepMs(100);
    server.Send("24|238|");
    SleepMs(100);
    server.Send("37|");  // answered only after everything before it was handled
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), "37|0|");
    EXPECT_EQ(ReadSetting("NetConfig", "Left"), "1");
    EXPECT_EQ(ReadSetting("NetConfig", "window"), "pw9");
    std::optional<RegData> word = store->QueryValue(
        RegRoot::CurrentUser, "Software\\Ostrel Software\\KoLang\\LangWords", " 7");
    ASSERT_TRUE(word.has_value());
    EXPECT_EQ(std::string(word->bytes.c_str()), "Bye");
    std::optional<RegData> charset = store->QueryValue(
        RegRoot::CurrentUser, "Software\\Ostrel Software\\Ostrel\\Language", "LangFCharset");
    ASSERT_TRUE(charset.has_value());
    EXPECT_EQ(std::string(charset->bytes.c_str()), "238");

    // Malformed data neither crashes the agent nor acts as a status (which would be pinged).
    std::string manyFields = "abc";
    for (int i = 0; i < 400; ++i) {
        manyFields += '|';
        manyFields += std::to_string(i);
    }
    const std::vector<std::string> garbage = {
        std::string("\x00\x00\x30\x00\x7c", 5),               // multiplier 0
        std::string("\x07\x00\xe1\x00", 4),                   // odd length
        std::string("\x01\xff\xff\xff\xfe\x00\x41", 7),       // overflowing pairs
        WireCodec::EncodeMessage(manyFields, 3),              // more than 300 fields
        WireCodec::EncodeMessage(std::string(5000, 'x'), 9),  // a 5,000-character field
        WireCodec::EncodeMessage("|||||||||||1|", 5),         // no code at all
    };
    for (const auto& bytes : garbage) {
        server.SendRaw(bytes);
        SleepMs(100);
    }
    server.Send("37|");
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), "37|0|");

    server.Send("22|");
    EXPECT_EQ(agent.WaitExit(10000), std::optional<int>(0));
    EXPECT_TRUE(server.ClientClosed(3000));
}

TEST_F(AgentLink, SaysHelloAgainWithinTenSecondsAfterTheServerDropsTheLink) {
    ExpectHello();
    server.Send(kStatus0);
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), "36|");
    server.DropClient();
    auto dropped = Clock::now();
    std::string hello = ExpectHello();
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - dropped);
    EXPECT_LE(elapsed.count(), 10500);
    EXPECT_EQ(hello.substr(0, 8), "5|WS-IT|");
    // Back from state -1: the next status is announced with 36 again.
    server.Send(kStatus0);
    EXPECT_EQ(server.Receive(3000).value_or("<none>"), "36|");
    server.Send("22|");
    EXPECT_EQ(agent.WaitExit(10000), std::optional<int>(0));
}

}  // namespace
}  // namespace ko::test
