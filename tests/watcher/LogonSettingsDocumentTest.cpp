#include <gtest/gtest.h>

#include "fakes/FakeEventLoop.h"
#include "fakes/FakeXmlDocument.h"
#include "watcher/LogonSettingsDocument.h"

namespace ko::watcher {
namespace {

constexpr const char* kUrl = "http://srv:80/ws/wsLogonSettings.asp?wsName=PC01";

XmlNode ListOf(const std::string& text) {
    return XmlNode::MakeDocument(XmlNode::MakeElement(
        "LogonSettings",
        {XmlNode::MakeElement("DisallowedUrls",
                              {XmlNode::MakeElement("Url", {XmlNode::MakeText(text)})})}));
}

class LogonSettingsDocumentTest : public ::testing::Test {
  protected:
    FakeEventLoop m_loop;
    FakeXmlDocument m_xml{m_loop};
    int m_completed = 0;
    bool m_inSession = true;
    LogonSettingsDocument m_settings{m_loop, m_xml, [this] { ++m_completed; },
                                     [this] { return m_inSession; }};
};

TEST_F(LogonSettingsDocumentTest, TheLastGoodListStaysWhileANewOneLoadsOrFails) {
    m_xml.Serve(kUrl, ListOf("casino"), 100);
    m_settings.Load(kUrl);
    EXPECT_TRUE(m_settings.List()->Empty());
    m_loop.Advance(100);
    EXPECT_EQ(m_completed, 1);
    EXPECT_TRUE(m_settings.List()->FoundIn("http://casino/"));

    // The next session's document is slow, then fails: the filter stays on throughout.
    m_xml.Serve(kUrl, XmlNode{}, 5000);
    m_settings.Load(kUrl);
    m_loop.Advance(4000);
    EXPECT_TRUE(m_settings.List()->FoundIn("http://casino/"));
    m_loop.Advance(1000);
    EXPECT_EQ(m_completed, 2);  // the document's completion comes for a failure too
    EXPECT_TRUE(m_settings.List()->FoundIn("http://casino/"));

    // A document that parses replaces the list, also with one that has no list at all.
    m_xml.Serve(kUrl, ListOf("poker"));
    m_settings.Load(kUrl);
    m_loop.RunPosted();
    EXPECT_FALSE(m_settings.List()->FoundIn("http://casino/"));
    EXPECT_TRUE(m_settings.List()->FoundIn("http://poker/"));
    m_xml.Serve(kUrl, XmlNode::MakeDocument(XmlNode::MakeElement("LogonSettings")));
    m_settings.Load(kUrl);
    m_loop.RunPosted();
    EXPECT_TRUE(m_settings.List()->Empty());
}

TEST_F(LogonSettingsDocumentTest, AFailedLoadIsTriedAgainEveryThirtySecondsWhileTheSessionLasts) {
    m_xml.Hang(kUrl);  // the server does not answer: the load gives up at its time limit
    m_settings.Load(kUrl);
    m_loop.Advance(XmlDocument::kDefaultTimeoutMs);
    EXPECT_EQ(m_completed, 1);
    EXPECT_TRUE(m_settings.RetryWaiting());
    m_xml.Serve(kUrl, ListOf("casino"));
    m_loop.Advance(LogonSettingsDocument::kRetryMs - 1);
    EXPECT_EQ(m_settings.Loads(), 1u);
    m_loop.Advance(1);
    m_loop.RunPosted();
    EXPECT_EQ(m_settings.Loads(), 2u);
    EXPECT_TRUE(m_settings.List()->FoundIn("http://casino/"));
    EXPECT_FALSE(m_settings.RetryWaiting());  // a good load ends the retries
    m_loop.Advance(10 * LogonSettingsDocument::kRetryMs);
    EXPECT_EQ(m_settings.Loads(), 2u);
}

TEST_F(LogonSettingsDocumentTest, NoRetryOnceTheSessionHasEnded) {
    m_xml.Serve(kUrl, XmlNode{});
    m_settings.Load(kUrl);
    m_loop.RunPosted();
    ASSERT_TRUE(m_settings.RetryWaiting());
    m_inSession = false;  // the session ends while the retry waits
    m_loop.Advance(LogonSettingsDocument::kRetryMs);
    EXPECT_EQ(m_settings.Loads(), 1u);

    m_settings.Load(kUrl);
    m_loop.RunPosted();
    EXPECT_FALSE(m_settings.RetryWaiting());  // a failure outside a session waits for the next
    m_inSession = true;
    m_settings.Load(kUrl);
    m_loop.RunPosted();
    m_settings.StopRetrying();
    m_loop.Advance(LogonSettingsDocument::kRetryMs);
    EXPECT_EQ(m_settings.Loads(), 3u);
}

}  // namespace
}  // namespace ko::watcher
