#include "MessageCatalog.h"

#include <gtest/gtest.h>

#include "KosimTestSupport.h"
#include "ServerCommands.h"

namespace ko {

TEST(MessageCatalog, ReadsCodesAsTheWorkstationDoes) {
    EXPECT_EQ(MessageCatalog::ReadCode(" 25"), 25);
    EXPECT_EQ(MessageCatalog::ReadCode("7abc"), 7);
    EXPECT_EQ(MessageCatalog::ReadCode(""), 0);
    EXPECT_EQ(MessageCatalog::ReadCode("abc"), 0);
    EXPECT_EQ(MessageCatalog::ReadCode("36.0"), 36);
    EXPECT_FALSE(MessageCatalog::ReadCode("2.5").has_value());
}

TEST(MessageCatalog, SplitsAndComposesFields) {
    EXPECT_EQ(MessageCatalog::SplitFields(" 1|alice|pw||||"),
              (std::vector<std::string>{" 1", "alice", "pw", "", "", ""}));
    EXPECT_EQ(MessageCatalog::SplitFields(" 2"), (std::vector<std::string>{" 2"}));
    EXPECT_EQ(MessageCatalog::Compose(15, {"1", "Hi"}), "15|1|Hi|");
    EXPECT_EQ(MessageCatalog::Compose(7, {}), "7|");
}

TEST(MessageCatalog, DescriptionsMaskEverySecret) {
    std::string logon = MessageCatalog::Describe(" 1|alice|hunter2||||", false);
    EXPECT_NE(logon.find("customer=alice"), std::string::npos);
    EXPECT_EQ(logon.find("hunter2"), std::string::npos);
    EXPECT_EQ(MessageCatalog::Describe("14|hunter2|", false).find("hunter2"), std::string::npos);
    EXPECT_EQ(MessageCatalog::Describe("35|1|hunter2|0|0|0|0|1|1|9|", true).find("hunter2"),
              std::string::npos);
    // A password that splits into more fields shows none of its parts.
    std::string split = MessageCatalog::Describe(" 1|alice|hun|ter2|||", false);
    EXPECT_EQ(split.find("hun"), std::string::npos);
    EXPECT_EQ(split.find("ter2"), std::string::npos);
}

TEST(MessageCatalog, NamesRepeatingFieldGroups) {
    std::string ads = MessageCatalog::Describe("32|30|2|http://a/1|10|http://a/2|5|", true);
    EXPECT_NE(ads.find("address=http://a/2, seconds=5"), std::string::npos);
    std::string apps = MessageCatalog::Describe("37|1|42|notepad.exe|Untitled|", false);
    EXPECT_NE(apps.find("window=42, name=notepad.exe, title=Untitled"), std::string::npos);
}

TEST(MessageCatalog, DescribesStatusAndUnknownCodes) {
    EXPECT_NE(MessageCatalog::Describe("0|||||||||2|", true).find("state 2 (locked)"),
              std::string::npos);
    EXPECT_NE(MessageCatalog::Describe("99|x|", false).find("99 unknown"), std::string::npos);
}

TEST(ServerCommands, BuildsMessagesByWord) {
    CafeData data = test::SmallCafe();
    std::string error;
    EXPECT_EQ(ServerCommands::Build("shutdown", {}, data, "", error), "7|");
    EXPECT_EQ(ServerCommands::Build("message", {"12", "Closing soon"}, data, "", error),
              "15|12|Closing soon|");
    EXPECT_EQ(ServerCommands::Build("sak", {"1"}, data, "", error), "13|1|");
    EXPECT_EQ(ServerCommands::Build("language", {"7", "2", "cmdOK=OK", "cmdCancel=Cancel"}, data,
                                    "", error),
              "23|2|7|2|cmdOK|OK|cmdCancel|Cancel|");
    EXPECT_EQ(ServerCommands::Build("options", {"keepOnTop=1"}, data, "", error),
              "35|0||0|0|1|0|1|1|9|");
    EXPECT_EQ(ServerCommands::Build("ads", {}, data, "http://10.0.0.1:81", error),
              "32|30|2|http://10.0.0.1:81/ws/wsAdvert.asp?ad=1|10|"
              "http://10.0.0.1:81/ws/wsAdvert.asp?ad=2|0|");
    EXPECT_EQ(ServerCommands::Build("urls", {}, data, "", error), "31|3|casino|  |poker|");
}

TEST(ServerCommands, RefusesWhatTheWorkstationWouldMisread) {
    CafeData data = test::SmallCafe();
    std::string error;
    EXPECT_FALSE(ServerCommands::Build("say", {"a|b"}, data, "", error));
    EXPECT_FALSE(ServerCommands::Build("options", {"timeoutMessageSeconds=70"}, data, "", error));
    EXPECT_FALSE(ServerCommands::Build("options", {"bogus=1"}, data, "", error));
    EXPECT_FALSE(ServerCommands::Build("sak", {"yes"}, data, "", error));
    EXPECT_FALSE(ServerCommands::Build("message", {"1", "2", "3"}, data, "", error));
    EXPECT_FALSE(ServerCommands::Build("nonsense", {}, data, "", error));
    std::vector<std::string> words = {"1", "1"};
    for (int i = 0; i < 149; ++i) {
        words.push_back("k" + std::to_string(i) + "=v");
    }
    EXPECT_FALSE(ServerCommands::Build("language", words, data, "", error));
    data.advertisements.clear();
    EXPECT_FALSE(ServerCommands::Build("ads", {}, data, "", error));
}

}  // namespace ko
