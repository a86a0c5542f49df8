#include <gtest/gtest.h>

#include "agent/control/ProfileDocument.h"
#include "fakes/FakeEventLoop.h"
#include "fakes/FakeXmlDocument.h"

namespace ko {
namespace {

XmlNode Doc(const std::string& text) {
    return XmlNode::MakeDocument(XmlNode::MakeElement("Root", {XmlNode::MakeText(text)}));
}

class ProfileDocumentTest : public ::testing::Test {
  protected:
    ProfileDocumentTest() {
        m_profile.SetHandler([this](std::shared_ptr<const XmlNode> doc, std::uint64_t) {
            m_seen.push_back(doc->Empty() ? "(empty)" : doc->Text());
            m_kept = doc;
        });
    }
    FakeEventLoop m_loop;
    FakeXmlDocument m_xml{m_loop};
    ProfileDocument m_profile{m_loop, m_xml};
    std::vector<std::string> m_seen;
    std::shared_ptr<const XmlNode> m_kept;
};

TEST_F(ProfileDocumentTest, ANewerLoadReplacesTheOlderWhoseHandlerNeverRuns) {
    m_xml.Serve("http://s/logon", Doc("logon"), 2000);
    m_xml.Serve("http://s/logoff", Doc("logoff"), 100);
    m_profile.LoadProfile("http://s/logon", ProfileAction::Logon);
    const std::uint64_t first = m_profile.Generation();
    m_profile.LoadProfile("http://s/logoff", ProfileAction::Logoff);
    EXPECT_TRUE(m_seen.empty());  // never inside LoadProfile
    EXPECT_FALSE(m_profile.IsCurrent(first));
    m_loop.Advance(3000);
    EXPECT_EQ(m_seen, std::vector<std::string>{"logoff"});
    EXPECT_EQ(m_profile.Document().Text(), "logoff");
    // The handler's document survives the next load.
    m_profile.LoadProfile("http://s/logon", ProfileAction::Logon);
    EXPECT_TRUE(m_profile.Document().Empty());
    EXPECT_EQ(m_kept->Text(), "logoff");
}

TEST_F(ProfileDocumentTest, AFailedLogoffProfileIsAskedForTwiceMoreThenHandledEmpty) {
    m_profile.LoadProfile("http://s/missing", ProfileAction::Logoff);
    m_loop.RunPosted();
    EXPECT_TRUE(m_seen.empty());
    m_loop.Advance(4999);
    EXPECT_EQ(m_xml.Requests().size(), 1u);
    m_loop.Advance(1);
    m_loop.RunPosted();
    EXPECT_EQ(m_xml.Requests().size(), 2u);
    m_loop.Advance(5000);
    m_loop.RunPosted();
    EXPECT_EQ(m_xml.Requests().size(), 3u);
    EXPECT_EQ(m_seen, std::vector<std::string>{"(empty)"});
    m_loop.Advance(60000);
    EXPECT_EQ(m_xml.Requests().size(), 3u);
}

TEST_F(ProfileDocumentTest, ARetryServedLateStillApplies_AndANewLoadStopsTheRetries) {
    m_profile.LoadProfile("http://s/late", ProfileAction::Logoff);
    m_loop.RunPosted();
    m_xml.Serve("http://s/late", Doc("late"));
    m_loop.Advance(5000);
    m_loop.RunPosted();
    EXPECT_EQ(m_seen, std::vector<std::string>{"late"});

    m_seen.clear();
    m_profile.LoadProfile("http://s/gone", ProfileAction::Logoff);
    m_loop.RunPosted();
    m_xml.Serve("http://s/logon", Doc("logon"));
    m_profile.LoadProfile("http://s/logon", ProfileAction::Logon);
    m_loop.Advance(20000);
    EXPECT_EQ(m_seen, std::vector<std::string>{"logon"});
    EXPECT_EQ(m_xml.Requests().back(), "http://s/logon");
}

TEST_F(ProfileDocumentTest, AFailedLogonProfileIsHandledAtOnce) {
    m_profile.LoadProfile("http://s/missing", ProfileAction::Logon);
    m_loop.RunPosted();
    EXPECT_EQ(m_seen, std::vector<std::string>{"(empty)"});
    EXPECT_EQ(m_xml.Requests().size(), 1u);
}

}  // namespace
}  // namespace ko
