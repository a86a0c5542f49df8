#include <gtest/gtest.h>

#include "platform/XmlDocumentContract.h"
#include "platform/linux/AnsiText.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxXmlDocument.h"
#include "platform/linux/XmlParser.h"

namespace ko {
namespace {

class LinuxXmlDocumentTest : public ::testing::Test {
  protected:
    test::XmlDocumentFactory Factory() {
        return [this](std::uint32_t timeoutMs, std::size_t maxBytes) {
            return std::make_unique<LinuxXmlDocument>(m_loop, timeoutMs, maxBytes);
        };
    }

    LinuxEventLoop m_loop;
};

TEST_F(LinuxXmlDocumentTest, ReadsTheSharedTableOfDocuments) {
    test::RunXmlDocumentContract(m_loop, Factory());
}

TEST_F(LinuxXmlDocumentTest, ANewerLoadCancelsTheOlder) {
    test::RunXmlReplacedLoadContract(m_loop, Factory());
}

TEST_F(LinuxXmlDocumentTest, ASilentServerIsCutOffAtTheLimit) {
    const std::int64_t took = test::RunXmlSlowServerContract(m_loop, Factory(), 700, 6000);
    EXPECT_GE(took, 600);
    EXPECT_LT(took, 4000);
}

TEST(XmlParser, RefusesWhatCouldFetchOrExplode) {
    // A parameter entity pulling in an external subset, and the classic expansion bomb.
    const XmlNode external =
        ParseXmlDocument("<!DOCTYPE r [<!ENTITY % p SYSTEM \"file:///etc/passwd\">%p;]><r>&x;</r>");
    EXPECT_EQ(external.Text(), "");
    std::string bomb = "<!DOCTYPE r [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i < 10; ++i) {
        const std::string prev = "&a" + std::to_string(i - 1) + ";";
        bomb += "<!ENTITY a" + std::to_string(i) + " \"" + prev + prev + prev + prev + prev + prev +
                prev + prev + prev + prev + "\">";
    }
    EXPECT_TRUE(ParseXmlDocument(bomb + "]><r>&a9;</r>").Empty());
    EXPECT_TRUE(ParseXmlDocument("<r xmlns:xi=\"http://www.w3.org/2001/XInclude\">"
                                 "<xi:include href=\"file:///etc/passwd\" parse=\"text\"/></r>")
                    .FirstElement("xi:include")
                    ->children.empty());
}

TEST(XmlParser, RefusesDocumentsDeeperThanTheTreeHolds) {
    std::string deep;
    for (std::size_t i = 0; i < XmlNode::kMaxDepth + 1; ++i) {
        deep += "<a>";
    }
    for (std::size_t i = 0; i < XmlNode::kMaxDepth + 1; ++i) {
        deep += "</a>";
    }
    EXPECT_TRUE(ParseXmlDocument(deep).Empty());
    EXPECT_FALSE(ParseXmlDocument("<a><a><a>x</a></a></a>").Empty());
}

TEST(AnsiText, ConvertsUtf8ToWindows1252) {
    EXPECT_EQ(Utf8ToAnsi("plain"), "plain");
    EXPECT_EQ(Utf8ToAnsi("\xC3\xA9\xC3\xBF\xC2\xA0"), "\xE9\xFF\xA0");
    // The characters Windows-1252 keeps between 0x80 and 0x9F.
    EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC\xE2\x80\x9C\xC5\xB8\xE2\x84\xA2"), "\x80\x93\x9F\x99");
    // Outside the code page, and broken sequences. The five places the code page leaves empty
    // hold their C1 controls, as Windows' own table does, so every byte comes back.
    EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD\xF0\x9F\x98\x80\xC2\x81"), "??\x81");
    EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");
    EXPECT_EQ(Utf8ToAnsi("\xFF\x80z"), "??z");
}

}  // namespace
}  // namespace ko
