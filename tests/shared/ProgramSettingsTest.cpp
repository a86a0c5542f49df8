#include "shared/ProgramSettings.h"

#include <gtest/gtest.h>

#include "fakes/FakeRegistry.h"

namespace ko {
namespace {

TEST(ProgramSettings, SavedTextsReadBackPerApplicationAndSection) {
    FakeRegistry fake;
    ProgramSettings settings(fake);

    EXPECT_EQ(settings.GetSetting("Ostrel", "Language", "LangID", "1"), "1");
    ASSERT_TRUE(settings.SaveSetting("Ostrel", "Language", "LangID", "3"));
    ASSERT_TRUE(settings.SaveSetting("KoLang", "LangWords", " 5", "Hello"));
    ASSERT_TRUE(settings.SaveSetting("Ostrel", "Translation", " 5", "Hello"));
    ASSERT_TRUE(settings.SaveSetting("Ostrel", "Language", "LangVer", ""));

    EXPECT_EQ(settings.GetSetting("Ostrel", "Language", "langid", "1"), "3");
    EXPECT_EQ(settings.GetSetting("Ostrel", "Language", "LangVer", "0"), "");
    EXPECT_EQ(settings.GetSetting("KoLang", "LangWords", " 5", ""), "Hello");
    EXPECT_EQ(settings.GetSetting("KoLang", "LangWords", "5", "none"), "none");
    EXPECT_EQ(settings.GetSetting("koagent", "ServiceSettings", "StartMode", "2"), "2");

    const auto stored =
        fake.Get(RegRoot::CurrentUser, "Software\\Ostrel Software\\Ostrel\\Language", "LangID");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, kRegSz);
    EXPECT_EQ(stored->bytes, std::string("3\0", 2));
}

TEST(ProgramSettings, ReadsNumbersAndRejectsUnnamedKeys) {
    FakeRegistry fake;
    ProgramSettings settings(fake);
    fake.Put(RegRoot::CurrentUser, ProgramSettings::KeyPath("koagent", "ServiceSettings"),
             "Interactive", RegData{kRegDword, std::string("\x01\x00\x00\x00", 4)});
    fake.Put(RegRoot::CurrentUser, ProgramSettings::KeyPath("koagent", "ServiceSettings"), "Odd",
             RegData{2, std::string("x\0", 2)});
    EXPECT_EQ(settings.GetSetting("koagent", "ServiceSettings", "Interactive", "0"), "1");
    EXPECT_EQ(settings.GetSetting("koagent", "ServiceSettings", "Odd", "dflt"), "dflt");

    EXPECT_FALSE(settings.SaveSetting("", "Language", "LangID", "1"));
    EXPECT_FALSE(settings.SaveSetting("Ostrel", "", "LangID", "1"));
    EXPECT_EQ(settings.GetSetting("", "Language", "LangID", "d"), "d");
}

TEST(ProgramSettings, ReportsAWriteThatFails) {
    FakeRegistry fake;
    ProgramSettings settings(fake);
    fake.FailNext(FakeRegistry::Operation::CreateKey);
    EXPECT_FALSE(settings.SaveSetting("Ostrel", "Language", "LangID", "3"));
    EXPECT_EQ(settings.GetSetting("Ostrel", "Language", "LangID", "1"), "1");
}

}  // namespace
}  // namespace ko
