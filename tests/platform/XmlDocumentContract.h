#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/EventLoop.h"
#include "platform/HttpTestServer.h"
#include "platform/LoopTestSupport.h"
#include "platform/XmlDocument.h"

// The documents both real adapters must read alike, served over loopback http. Each platform's
// adapter test runs them through its own loop and adapter.
namespace ko::test {

using XmlDocumentFactory =
    std::function<std::unique_ptr<XmlDocument>(std::uint32_t timeoutMs, std::size_t maxBytes)>;

// Loads url and runs the loop until the completion came (or limitMs passed). Checks on the way
// that the completion never runs inside Load and comes once.
inline std::optional<XmlNode> LoadAndWait(EventLoop& loop, XmlDocument& document,
                                          const std::string& url, std::int64_t limitMs = 20000) {
    std::optional<XmlNode> result;
    int completions = 0;
    bool insideLoad = true;
    document.Load(url, [&](XmlNode loaded) {
        EXPECT_FALSE(insideLoad) << "completion ran inside Load for " << url;
        ++completions;
        result = std::move(loaded);
    });
    insideLoad = false;
    EXPECT_TRUE(document.Loading());
    RunFor(loop, limitMs, [&] { return completions > 0; });
    EXPECT_EQ(completions, 1) << url;
    EXPECT_FALSE(document.Loading());
    return result;
}

struct XmlCase {
    const char* name;
    HttpTestServer::Response response;
    std::function<void(const XmlNode&)> check;
    // Whether the case needs the adapter to see the http status.
    bool needsStatus = false;
    // Whether the check needs the document's own entities expanded (the parse itself, and that
    // nothing external is fetched, holds everywhere).
    bool needsInternalEntities = false;
};

inline void ExpectEmpty(const XmlNode& document) {
    EXPECT_TRUE(document.Empty());
    EXPECT_EQ(document.FirstElement("Root"), nullptr);
    EXPECT_EQ(document.Text(), "");
}

inline std::vector<XmlCase> XmlContractCases(const HttpTestServer& server) {
    using Kind = XmlNode::Kind;
    return {
        {"profile",
         {200,
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LogonProfile wsName=\"PC-07\" "
          "action=\"Logon\"><GeneralSettings><GSetting><Name>trackapp</Name><Value>1</Value>"
          "</GSetting></GeneralSettings><Policies><Policy><Section>System</Section><Name>"
          "NoRun</Name><Value>1</Value></Policy></Policies><Extra><GSetting><Name>trackurls"
          "</Name><Value>-1</Value></GSetting></Extra></LogonProfile>\n",
          0},
         [](const XmlNode& doc) {
             const XmlNode* root = doc.FirstElement("LogonProfile");
             ASSERT_NE(root, nullptr);
             EXPECT_EQ(root->Attribute("wsName"), "PC-07");
             EXPECT_EQ(root->Attribute("wsname"), std::nullopt);
             ASSERT_EQ(doc.Elements("GSetting").size(), 2u);
             EXPECT_EQ(doc.Elements("GSetting")[1]->FirstElement("Value")->Text(), "-1");
             // The first "Name" of the document, at any depth.
             EXPECT_EQ(doc.FirstElement("Name")->Text(), "trackapp");
             const XmlNode* policy = doc.FirstElement("Policies")->Child(0);
             ASSERT_NE(policy, nullptr);
             ASSERT_EQ(policy->children.size(), 3u);
             EXPECT_EQ(policy->Child(1)->Text(), "NoRun");
         }},
        {"whitespace",
         {200,
          "<?xml version=\"1.0\"?>\r\n<Root>\r\n  <Close>\n\t<Program>\n      <FileName>  "
          "notepad.exe  </FileName>\n    </Program>\n  </Close>\n  <Empty>   </Empty>\n"
          "</Root>\n",
          0},
         [&](const XmlNode& doc) {
             const XmlNode* close = doc.FirstElement("Close");
             ASSERT_NE(close, nullptr);
             ASSERT_EQ(close->children.size(), 1u);
             const XmlNode* fileName = close->Child(0)->Child(0);
             ASSERT_NE(fileName, nullptr);
             EXPECT_EQ(fileName->name, "FileName");
             ASSERT_EQ(fileName->children.size(), 1u);
             EXPECT_EQ(fileName->Child(0)->kind, Kind::Text);
             EXPECT_EQ(fileName->Child(0)->Text(), "notepad.exe");
             EXPECT_EQ(doc.FirstElement("Empty")->children.size(), 0u);
             EXPECT_EQ(doc.Text(), "notepad.exe");
         }},
        {"comments",
         {200,
          "<Root><!-- before --><Policies><!-- first --><Policy><S>System</S>"
          "<!-- inner --></Policy></Policies><?app data?></Root>",
          0},
         [](const XmlNode& doc) {
             const XmlNode* policies = doc.FirstElement("Policies");
             ASSERT_NE(policies, nullptr);
             ASSERT_EQ(policies->children.size(), 2u);
             EXPECT_EQ(policies->Child(0)->kind, Kind::Comment);
             EXPECT_EQ(policies->Child(0)->Text(), "first");
             EXPECT_EQ(policies->Child(1)->children.size(), 2u);
             // Comments and instructions are no part of an element's text.
             EXPECT_EQ(doc.Text(), "System");
             const XmlNode* root = doc.FirstElement("Root");
             ASSERT_EQ(root->children.size(), 3u);
             EXPECT_EQ(root->Child(2)->kind, Kind::Instruction);
             EXPECT_EQ(root->Child(2)->name, "app");
         }},
        {"cdata",
         {200, "<Root><Url><![CDATA[a<b>&c]]></Url><M>x<![CDATA[ y ]]>z</M></Root>", 0},
         [](const XmlNode& doc) {
             EXPECT_EQ(doc.FirstElement("Url")->Text(), "a<b>&c");
             const XmlNode* mixed = doc.FirstElement("M");
             ASSERT_EQ(mixed->children.size(), 3u);
             EXPECT_EQ(mixed->Child(1)->kind, Kind::CData);
             EXPECT_EQ(mixed->Text(), "x y z");
         }},
        {"entities",
         {200,
          "<Root a=\"&quot;q&quot; &#x41;&amp;\"><T>&lt;&amp;&gt;&apos;&quot; &#233;&#x20AC;"
          "</T></Root>",
          0},
         [](const XmlNode& doc) {
             EXPECT_EQ(doc.FirstElement("Root")->Attribute("a"), "\"q\" A&");
             EXPECT_EQ(doc.FirstElement("T")->Text(), "<&>'\" \xE9\x80");
         }},
        {"declarations",
         // The document's own entities are expanded, markup included; an external one is never
         // fetched and stands for nothing.
         {200,
          "<?xml version=\"1.0\"?><!DOCTYPE Root [<!ENTITY e \"internal\"><!ENTITY m "
          "\"<M>marked</M>\"><!ENTITY x SYSTEM \"" +
              server.Url("/secret") + "\">]><Root><A>a &e; b</A><B>&x;</B><C>&m;</C></Root>",
          0},
         [&](const XmlNode& doc) {
             ASSERT_NE(doc.FirstElement("A"), nullptr);
             EXPECT_EQ(doc.FirstElement("A")->Text(), "a internal b");
             EXPECT_EQ(doc.FirstElement("B")->Text(), "");
             ASSERT_NE(doc.FirstElement("M"), nullptr);
             EXPECT_EQ(doc.FirstElement("C")->Text(), "marked");
         },
         false,
         true},
        {"entity bomb",
         {200,
          [] {
              std::string bomb = "<!DOCTYPE r [<!ENTITY a0 \"xxxxxxxxxx\">";
              for (int i = 1; i < 10; ++i) {
                  const std::string prev = "&a" + std::to_string(i - 1) + ";";
                  std::string ten;
                  for (int k = 0; k < 10; ++k) {
                      ten += prev;
                  }
                  bomb += "<!ENTITY a" + std::to_string(i) + " \"" + ten + "\">";
              }
              return bomb + "]><r>&a9;</r>";
          }(),
          0},
         [](const XmlNode& doc) { ExpectEmpty(doc); }},
        {"utf8",
         {200,
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><N>caf\xC3\xA9 \xE2\x82\xACuro "
          "\xE4\xB8\xAD</N><N attr=\"\xC3\xBC\"/></Root>",
          0},
         [](const XmlNode& doc) {
             EXPECT_EQ(doc.FirstElement("N")->Text(), "caf\xE9 \x80uro ?");
             EXPECT_EQ(doc.Elements("N")[1]->Attribute("attr"), "\xFC");
         }},
        {"windows1252",
         {200, "<?xml version=\"1.0\" encoding=\"windows-1252\"?><Root><N>caf\xE9 \x80</N></Root>",
          0},
         [](const XmlNode& doc) { EXPECT_EQ(doc.FirstElement("N")->Text(), "caf\xE9 \x80"); }},
        {"empty body", {200, "", 0}, [](const XmlNode& doc) { ExpectEmpty(doc); }},
        {"blank body", {200, " \r\n", 0}, [](const XmlNode& doc) { ExpectEmpty(doc); }},
        {"malformed", {200, "<Root><A></Root>", 0}, [](const XmlNode& doc) { ExpectEmpty(doc); }},
        {"not xml", {200, "<html><body>oops", 0}, [](const XmlNode& doc) { ExpectEmpty(doc); }},
        {"404 with a document",
         {404, "<Root><A>not found</A></Root>", 0},
         [](const XmlNode& doc) { ExpectEmpty(doc); },
         true},
        {"500", {500, "<Root/>", 0}, [](const XmlNode& doc) { ExpectEmpty(doc); }, true},
        {"oversize",
         {200, "<Root><T>" + std::string(1100 * 1024, 'x') + "</T></Root>", 0},
         [](const XmlNode& doc) { ExpectEmpty(doc); }},
    };
}

// Runs the whole table through adapters the factory makes, on loop. seesStatus is false where
// the adapter runs on a component that hides the http status (Wine); expandsEntities is false
// where the component leaves the document's own entities empty (Wine's, not Windows').
inline void RunXmlDocumentContract(EventLoop& loop, const XmlDocumentFactory& make,
                                   bool seesStatus = true, bool expandsEntities = true) {
    HttpTestServer server;
    std::vector<XmlCase> cases = XmlContractCases(server);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        server.Serve("/doc" + std::to_string(i), cases[i].response);
    }
    auto document = make(XmlDocument::kDefaultTimeoutMs, XmlDocument::kMaxBytes);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        if (cases[i].needsStatus && !seesStatus) {
            continue;
        }
        std::optional<XmlNode> loaded =
            LoadAndWait(loop, *document, server.Url("/doc" + std::to_string(i)));
        ASSERT_TRUE(loaded.has_value());
        if (cases[i].needsInternalEntities && !expandsEntities) {
            continue;
        }
        cases[i].check(*loaded);
    }
    EXPECT_EQ(server.Hits("/secret"), 0);

    SCOPED_TRACE("transport failure");
    std::optional<XmlNode> refused =
        LoadAndWait(loop, *document,
                    "http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/doc0");
    ASSERT_TRUE(refused.has_value());
    ExpectEmpty(*refused);

    // A well-formed local file, named as a file address and as a bare path: neither is read.
    const std::filesystem::path local = std::filesystem::temp_directory_path() /
                                        ("ko-xml-local-" + std::to_string(server.Port()) + ".xml");
    {
        std::ofstream out(local, std::ios::binary);
        out << "<Root>local</Root>";
    }
    std::string forward = local.generic_string();
    if (!forward.empty() && forward[0] != '/') {
        forward = "/" + forward;
    }
    for (const std::string& url :
         {"file://" + forward, local.string(), std::string("ftp://127.0.0.1/x"), std::string()}) {
        SCOPED_TRACE(url);
        std::optional<XmlNode> loaded = LoadAndWait(loop, *document, url);
        ASSERT_TRUE(loaded.has_value());
        ExpectEmpty(*loaded);
    }
    std::filesystem::remove(local);
}

}  // namespace ko::test

namespace ko::test {

// A newer load cancels the older one (whose completion never comes), a load may start from inside
// a completion, and a document destroyed while loading stays silent.
inline void RunXmlReplacedLoadContract(EventLoop& loop, const XmlDocumentFactory& make) {
    HttpTestServer server;
    server.Serve("/old", {200, "<Root>old</Root>", 300, true});
    server.Serve("/new", {200, "<Root>new</Root>", 0, true});
    server.Serve("/next", {200, "<Root>next</Root>", 0, true});
    auto document = make(XmlDocument::kDefaultTimeoutMs, XmlDocument::kMaxBytes);

    std::vector<std::string> seen;
    // A load that fails at once has its completion queued already when the next load starts.
    document->Load("nosuchscheme://x/", [&](XmlNode) { seen.push_back("failed at once"); });
    document->Load(server.Url("/old"), [&](XmlNode doc) { seen.push_back("old " + doc.Text()); });
    document->Load(server.Url("/new"), [&](XmlNode doc) {
        seen.push_back(doc.Text());
        document->Load(server.Url("/next"), [&](XmlNode next) { seen.push_back(next.Text()); });
    });
    RunFor(loop, 10000, [&] { return seen.size() >= 2; });
    // Long enough for the old server's answer to arrive had the load not been cancelled.
    RunFor(loop, 800, [] { return false; });
    EXPECT_EQ(seen, (std::vector<std::string>{"new", "next"}));
    EXPECT_FALSE(document->Loading());

    document->Load(server.Url("/old"), [&](XmlNode) { seen.push_back("after destruction"); });
    document.reset();
    RunFor(loop, 800, [] { return false; });
    EXPECT_EQ(seen.size(), 2u);

    auto cancelled = make(XmlDocument::kDefaultTimeoutMs, XmlDocument::kMaxBytes);
    cancelled->Load(server.Url("/new"), [&](XmlNode) { seen.push_back("after cancel"); });
    cancelled->Cancel();
    EXPECT_FALSE(cancelled->Loading());
    RunFor(loop, 500, [] { return false; });
    EXPECT_EQ(seen.size(), 2u);
}

// A server that accepts and then says nothing gives the empty document. Returns the loop time the
// load took, for the adapters that can cut it off at their limit.
inline std::int64_t RunXmlSlowServerContract(EventLoop& loop, const XmlDocumentFactory& make,
                                             std::uint32_t timeoutMs, int serverSilenceMs) {
    HttpTestServer server;
    server.Serve("/slow", {200, "<Root>late</Root>", serverSilenceMs, false});
    auto document = make(timeoutMs, XmlDocument::kMaxBytes);
    const std::int64_t start = loop.NowMs();
    std::optional<XmlNode> loaded =
        LoadAndWait(loop, *document, server.Url("/slow"), serverSilenceMs + 20000);
    const std::int64_t took = loop.NowMs() - start;
    EXPECT_TRUE(loaded.has_value());
    if (loaded) {
        ExpectEmpty(*loaded);
    }
    return took;
}

}  // namespace ko::test
