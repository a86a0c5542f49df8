#include <gtest/gtest.h>

#include <optional>

#include "fakes/FakeEventLoop.h"
#include "fakes/FakeXmlDocument.h"

namespace ko {
namespace {

XmlNode Doc(const std::string& text) {
    return XmlNode::MakeDocument(XmlNode::MakeElement("Root", {XmlNode::MakeText(text)}));
}

// The fake keeps the contract of the real adapters, so core tests built on it hold on them.
class FakeXmlDocumentTest : public ::testing::Test {
  protected:
    FakeEventLoop m_loop;
    FakeXmlDocument m_document{m_loop};
    std::vector<std::string> m_seen;
    bool m_insideLoad = false;

    void Load(const std::string& url) {
        m_insideLoad = true;
        m_document.Load(url, [this](XmlNode doc) {
            EXPECT_FALSE(m_insideLoad) << "completion inside Load";
            m_seen.push_back(doc.Empty() ? "(empty)" : doc.Text());
        });
        m_insideLoad = false;
    }
};

TEST_F(FakeXmlDocumentTest, CompletesFromTheLoopOnTheVirtualClock) {
    m_document.Serve("http://s/now", Doc("now"));
    m_document.Serve("http://s/later", Doc("later"), 1500);
    Load("http://s/now");
    EXPECT_TRUE(m_seen.empty());
    m_loop.RunPosted();
    EXPECT_EQ(m_seen, std::vector<std::string>{"now"});

    Load("http://s/later");
    m_loop.Advance(1499);
    EXPECT_EQ(m_seen.size(), 1u);
    EXPECT_TRUE(m_document.Loading());
    m_loop.Advance(1);
    EXPECT_EQ(m_seen, (std::vector<std::string>{"now", "later"}));
    EXPECT_FALSE(m_document.Loading());
    EXPECT_EQ(m_document.Requests(), (std::vector<std::string>{"http://s/now", "http://s/later"}));
}

TEST_F(FakeXmlDocumentTest, FailuresAndSilentServersGiveTheEmptyDocument) {
    m_document.Serve("http://s/failed", XmlNode());
    m_document.Hang("http://s/hung");
    m_document.Serve("file:///C:/profile.xml", Doc("local"));
    m_document.Serve("http://s/slow", Doc("too late"), XmlDocument::kDefaultTimeoutMs + 1);
    Load("http://s/failed");
    m_loop.RunPosted();
    Load("http://s/unscripted");
    m_loop.RunPosted();
    Load("file:///C:/profile.xml");
    m_loop.RunPosted();
    Load("http://s/hung");
    m_loop.Advance(XmlDocument::kDefaultTimeoutMs - 1);
    EXPECT_EQ(m_seen.size(), 3u);
    m_loop.Advance(1);
    Load("http://s/slow");
    m_loop.Advance(XmlDocument::kDefaultTimeoutMs + 10);
    EXPECT_EQ(m_seen, std::vector<std::string>(5, "(empty)"));
}

TEST_F(FakeXmlDocumentTest, ANewerLoadOrACancelSilencesTheOlder) {
    m_document.Serve("http://s/old", Doc("old"), 1000);
    m_document.Serve("http://s/new", Doc("new"));
    Load("http://s/old");
    Load("http://s/new");
    m_loop.Advance(2000);
    EXPECT_EQ(m_seen, std::vector<std::string>{"new"});

    Load("http://s/old");
    m_document.Cancel();
    EXPECT_FALSE(m_document.Loading());
    m_loop.Advance(2000);
    Load("http://s/new");
    m_document.Cancel();
    m_loop.RunPosted();
    EXPECT_EQ(m_seen, std::vector<std::string>{"new"});
}

}  // namespace
}  // namespace ko
