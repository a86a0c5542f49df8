#include <gtest/gtest.h>

#include "KosimTestSupport.h"
#include "WebServer.h"

namespace ko {

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class WebPagesTest : public ::testing::Test {
  protected:
    WebPagesTest()
        : server(test::SmallCafe(), journal, link, clock.Function()), web(server, journal) {
        server.OnConnected(1, "10.0.0.1", "10.0.0.254");
        server.OnReceived(1, "5|PC01|C|10.0.0.1|os|id|");
    }

    WebAnswer Get(const std::string& path, std::multimap<std::string, std::string> query = {},
                  const std::string& ws = "PC01") {
        return web.Answer(path, query, ws);
    }

    test::FakeClock clock;
    Journal journal;
    test::RecordingTransport link;
    CafeServer server;
    WebServer web;
};

TEST_F(WebPagesTest, TheFreeMainPageOffersTheLogonAndCoversTheScreen) {
    auto page = Get("/ws/wsMain.asp").body;
    EXPECT_TRUE(Has(page, "id=\"WorkstationObject\""));
    EXPECT_TRUE(Has(page, "id=\"cmdLogon\""));
    EXPECT_FALSE(Has(page, "id=\"cmdLogoff\""));
    EXPECT_TRUE(Has(page, "<KoWidth value=\"-1\"></KoWidth>"));
    EXPECT_TRUE(Has(page, "<KoHeight value=\"-1\"></KoHeight>"));
    EXPECT_TRUE(Has(page, "<koVerticalPosition value=\"top\">"));
    EXPECT_TRUE(Has(page, "<koHorizontalPosition value=\"left\">"));
    server.SetState("PC01", 2);
    EXPECT_FALSE(Has(Get("/ws/wsMain.asp").body, "id=\"cmdLogon\""));
}

TEST_F(WebPagesTest, TheMainPageInUseCarriesTheCustomerAndTheBillingLabels) {
    server.LogOn("PC01", "alice");
    clock.Advance(std::chrono::seconds(120));
    auto page = Get("/ws/WSMAIN.ASP").body;  // page names match in any letter case
    EXPECT_TRUE(Has(page, "id=\"WorkstationObject\" KoCustomer=\"alice\""));
    for (const char* id :
         {"lblLogonTime", "lblElapsedTime", "lblAmount", "lblRemainingTime", "lblRemainingAmount",
          "lblTotalBilled", "lblTotalPayment", "lblBalance", "cmdLogoff", "cmdChangePassword",
          "cmdShowHistory", "cmdShowSessionHistory", "cmdMakeOrder", "CollapseWindow"}) {
        EXPECT_TRUE(Has(page, std::string("id=\"") + id + "\"")) << id;
    }
    EXPECT_TRUE(Has(page, "<span id=\"lblElapsedTime\">00:02:00</span>"));
    auto strip = Get("/ws/wsMainMin.asp").body;
    EXPECT_TRUE(Has(strip, "id=\"ExpandWindow\""));
    EXPECT_TRUE(Has(strip, "<KoWidth value=\"330\">"));
}

TEST_F(WebPagesTest, AnOpenAccountShowsBlankRemainingFigures) {
    server.LogOn("PC01", "carol");
    auto page = Get("/ws/wsMain.asp").body;
    EXPECT_TRUE(Has(page, "<span id=\"lblRemainingTime\"> </span>"));
    EXPECT_TRUE(Has(page, "<span id=\"lblRemainingAmount\"> </span>"));
}

TEST_F(WebPagesTest, DialogPagesCarryTheirFields) {
    auto logon = Get("/ws/wsLogonCustomer.asp").body;
    for (const char* id : {"txtCustomerID", "txtPassword", "cmdOK", "cmdCancel"}) {
        EXPECT_TRUE(Has(logon, std::string("id=\"") + id + "\"")) << id;
    }
    auto password = Get("/ws/wsChangePassword.asp").body;
    for (const char* id : {"txtNewPassword", "txtVerifyPassword", "cmdOK", "cmdCancel"}) {
        EXPECT_TRUE(Has(password, std::string("id=\"") + id + "\"")) << id;
    }
    auto service = Get("/ws/WSService.asp").body;
    for (const char* id :
         {"cbServices", "txtQuantity", "7txtsDescription", "7txtsPrice", "7txtsUnit", "7txtsType",
          "7txtsTax", "cmdServiceOrder", "cmdServiceCancel", "cmdClose"}) {
        EXPECT_TRUE(Has(service, std::string("id=\"") + id + "\"")) << id;
    }
    EXPECT_TRUE(Has(service, "id=\"7txtsPrice\" value=\"1.80\""));
    EXPECT_TRUE(Has(service, "<option value=\"7\">"));
}

TEST_F(WebPagesTest, TheMessagePageEscapesWhatTheQueryCarries) {
    auto page = Get("/ws/wsMessage.asp", {{"msgID", "1017"},
                                          {"Message", "Access Denied to URL:"},
                                          {"msgParametar", "<script>alert(1)</script>"},
                                          {"msgStyle", "0"}})
                    .body;
    EXPECT_FALSE(Has(page, "<script>"));
    EXPECT_TRUE(Has(page, "&lt;script&gt;"));
    EXPECT_TRUE(Has(page, "id=\"cmdCancel\"")) << "style 0 asks a question";
    auto notice = Get("/ws/wsMessage.asp", {{"Message", "Order request"}, {"msgStyle", "1"}}).body;
    EXPECT_TRUE(Has(notice, "id=\"cmdOK\""));
    EXPECT_FALSE(Has(notice, "id=\"cmdCancel\""));
}

TEST_F(WebPagesTest, HistoriesAreShownToTheirOwnCustomerOnly) {
    server.LogOn("PC01", "alice");
    server.OnReceived(1, "30|1|7|Espresso|cup|19|2|1.8|");
    auto own = Get("/ws/wsSessionHistory.asp", {{"customer", "alice"}, {"wsName", "PC01"}}).body;
    EXPECT_TRUE(Has(own, "Espresso"));
    EXPECT_TRUE(Has(own, "id=\"cmdClose\""));
    auto other = Get("/ws/WSCustomerHistory.asp", {{"customer", "carol"}, {"wsName", "PC01"}}).body;
    EXPECT_TRUE(Has(other, "only"));
    EXPECT_FALSE(Has(other, "Carol"));
    auto unknown = Get("/ws/WSCustomerHistory.asp", {{"customer", "alice"}}, "PC77").body;
    EXPECT_FALSE(Has(unknown, "Alice"));
}

TEST_F(WebPagesTest, TheProfilesLeaveOutEmptySectionsAndBlankEntries) {
    server.LogOn("PC01", "alice");
    auto logon = Get("/ws/wsLogonProfile.asp", {{"wsName", "PC01"}});
    EXPECT_EQ(logon.contentType, "text/xml; charset=utf-8");
    EXPECT_TRUE(Has(logon.body, "<GSetting><Name>trackapp</Name><Value>1</Value></GSetting>"));
    EXPECT_FALSE(Has(logon.body, "<Policies>")) << "an empty policy list restarts the shell";
    EXPECT_FALSE(Has(logon.body, "<WindowsSettings>"));
    EXPECT_FALSE(Has(logon.body, "> <")) << "no whitespace nodes between elements";
    auto logoff = Get("/ws/wsLogonProfile.asp", {{"wsName", "PC01"}, {"action", "Logoff"}}).body;
    EXPECT_TRUE(Has(logoff, "<CleanUpSettings><Option><Name>closeallapp</Name>"));
    auto settings = Get("/ws/wsLogonSettings.asp", {{"wsName", "PC01"}}).body;
    EXPECT_TRUE(
        Has(settings, "<DisallowedUrls><Url>casino</Url><Url>poker</Url></DisallowedUrls>"));
}

TEST_F(WebPagesTest, AdvertisementsAndUnknownPages) {
    EXPECT_EQ(Get("/ws/wsAdvert.asp", {{"ad", "1"}}).status, 200);
    EXPECT_TRUE(Has(Get("/ws/wsAdvert.asp", {{"ad", "1"}}).body, "Coffee"));
    // A link and a link to a new window, which an idle workstation must never follow.
    const std::string ad = Get("/ws/wsAdvert.asp", {{"ad", "1"}}).body;
    EXPECT_TRUE(Has(ad, "id=\"adLink\" href=\"/ws/wsAdLink.asp?ad=1\""));
    EXPECT_TRUE(Has(ad, "target=\"_blank\""));
    EXPECT_EQ(Get("/ws/wsAdvert.asp", {{"ad", "9"}}).status, 404);
    EXPECT_EQ(Get("/ws/wsAdvert.asp", {{"ad", "x"}}).status, 404);
    EXPECT_EQ(Get("/ws/nothing.asp").status, 404);
    EXPECT_EQ(Get("/etc/passwd").status, 404);
    EXPECT_TRUE(Has(Get("/").body, "PC01"));
}

}  // namespace

}  // namespace ko
