#include <gtest/gtest.h>

#include "platform/XmlNode.h"

namespace ko {
namespace {

using Kind = XmlNode::Kind;

// The shape of a logon profile, with the things handlers trip over: comments among the entries,
// texts split by CDATA, names that repeat at several depths.
XmlNode Profile() {
    auto E = [](std::string name, std::vector<XmlNode> children = {}) {
        return XmlNode::MakeElement(std::move(name), std::move(children));
    };
    auto T = [](std::string text) { return XmlNode::MakeText(std::move(text)); };
    return XmlNode::MakeDocument(XmlNode::MakeElement(
        "LogonProfile",
        {E("GeneralSettings", {E("GSetting", {E("Name", {T("trackapp")}), E("Value", {T(" 1 ")})}),
                               XmlNode::MakeComment(" switched off: trackurls ")}),
         E("Policies", {XmlNode::MakeComment("entries"),
                        E("Policy", {E("Section", {T("System")}), E("Name", {T("NoRun")}),
                                     E("Value", {T("1")})})}),
         E("Deep", {E("Deeper", {E("GSetting", {E("Name", {T("trackurls")})})})}),
         E("Url", {T("\n casino"), XmlNode::MakeCData(".com "), T("/x \t")})},
        {{"wsName", "PC-07"}, {"action", "Logon"}}));
}

TEST(XmlNode, FindsElementsByNameAtAnyDepthInDocumentOrder) {
    const XmlNode doc = Profile();
    ASSERT_NE(doc.FirstElement("Name"), nullptr);
    EXPECT_EQ(doc.FirstElement("Name")->Text(), "trackapp");
    const auto settings = doc.Elements("GSetting");
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[1]->FirstElement("Name")->Text(), "trackurls");
    // Names compare exactly, and a search starts below the node it is asked of.
    EXPECT_EQ(doc.FirstElement("gsetting"), nullptr);
    EXPECT_EQ(settings[0]->FirstElement("GSetting"), nullptr);
    EXPECT_TRUE(doc.Elements("Missing").empty());
}

TEST(XmlNode, ChildrenCountCommentsAndTextsJoinTrimmed) {
    const XmlNode doc = Profile();
    const XmlNode* policies = doc.FirstElement("Policies");
    ASSERT_EQ(policies->children.size(), 2u);
    EXPECT_EQ(policies->Child(0)->kind, Kind::Comment);
    EXPECT_EQ(policies->Child(0)->Child(0), nullptr);
    EXPECT_EQ(policies->Child(2), nullptr);
    EXPECT_EQ(policies->Child(1)->Child(2)->Text(), "1");
    // Inner blanks stay; a CDATA section joins its neighbours; comments do not count.
    EXPECT_EQ(doc.FirstElement("Url")->Text(), "casino.com /x");
    EXPECT_EQ(doc.FirstElement("GeneralSettings")->Text(), "trackapp 1");
    EXPECT_EQ(doc.FirstElement("GeneralSettings")->Child(1)->Text(), "switched off: trackurls");
}

TEST(XmlNode, AttributesByExactName) {
    const XmlNode doc = Profile();
    const XmlNode* root = doc.FirstElement("LogonProfile");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Attribute("wsName"), "PC-07");
    EXPECT_EQ(root->Attribute("WSNAME"), std::nullopt);
    EXPECT_EQ(root->FirstElement("Policy")->Attribute("wsName"), std::nullopt);
}

TEST(XmlNode, TheEmptyDocumentAnswersEveryQueryWithNothing) {
    const XmlNode doc;
    EXPECT_TRUE(doc.Empty());
    EXPECT_FALSE(Profile().Empty());
    EXPECT_EQ(doc.FirstElement("Policies"), nullptr);
    EXPECT_TRUE(doc.Elements("GSetting").empty());
    EXPECT_EQ(doc.Child(0), nullptr);
    EXPECT_EQ(doc.Text(), "");
}

}  // namespace
}  // namespace ko
