#include "agent/kiosk/koClientBrowser.h"

#include <gtest/gtest.h>

#include "fakes/FakeDocument.h"

namespace ko {
namespace {

// A click as the adapters build it, from a scripted page.
ClickInfo ClickOn(const FakeDocument& page, int element) {
    return ClickInfo{1, page.ChainFrom(element), page.ClickFields()};
}

int Find(const FakeDocument& page, const std::string& id) {
    bool ambiguous = false;
    return page.Find(id, ambiguous).value();
}

TEST(koClientBrowser, TheOutermostCommandBelowTheContainerWins) {
    FakeDocument page;
    int object = page.Add("div", "WorkstationObject");
    page.At(object).attributes["koCUSTOMER"] = "15";
    int outer = page.Add("div", "cmdLogon", object);
    int inner = page.Add("button", "cmdOK", outer);
    int text = page.Add("span", "", inner);
    koClientBrowser selected(RegionalSettings{});
    selected.FindSelected(ClickOn(page, text));
    EXPECT_TRUE(selected.ValidObject);
    EXPECT_TRUE(selected.ValidCommand);
    EXPECT_EQ(selected.SelectedCommand, "cmdLogon");
    EXPECT_EQ(selected.CurrentCustomer, "15");

    // Commands are compared exactly; an unknown id is passed over.
    page.At(outer).id = "cmdlogon";
    selected.FindSelected(ClickOn(page, text));
    EXPECT_EQ(selected.SelectedCommand, "cmdOK");
}

TEST(koClientBrowser, OnlyAClickInsideAContainerIsValid) {
    FakeDocument page;
    int loose = page.Add("button", "cmdOK");
    int app = page.Add("div", "ApplicationObject");
    page.At(app).attributes["FileName"] = "C:\\Games\\chess.exe";
    int run = page.Add("button", "cmdApplication", app);
    page.Input("txtPassword", "secret");
    koClientBrowser selected(RegionalSettings{});

    selected.FindSelected(ClickOn(page, loose));
    EXPECT_FALSE(selected.ValidObject);
    EXPECT_TRUE(selected.ValidCommand);

    selected.FindSelected(ClickOn(page, run));
    EXPECT_TRUE(selected.ValidObject);
    EXPECT_EQ(selected.SelectedCommand, "cmdApplication");
    EXPECT_EQ(selected.FileName, "C:\\Games\\chess.exe");
    // An application object reads no page fields.
    EXPECT_EQ(selected.LogonPassword, "");

    // A click on the page outside every element.
    selected.FindSelected(ClickInfo{1, {}, page.ClickFields()});
    EXPECT_FALSE(selected.ValidObject);
    EXPECT_FALSE(selected.ValidCommand);
}

TEST(koClientBrowser, TheWalkStopsAfterOneHundredAndTwoElements) {
    auto nested = [](int depth) {
        FakeDocument page;
        int parent = page.Add("div", "WorkstationObject");
        parent = page.Add("div", "cmdOK", parent);
        for (int i = 0; i < depth; ++i) {
            parent = page.Add("div", "", parent);
        }
        return std::pair{page, parent};
    };
    koClientBrowser selected(RegionalSettings{});
    // The clicked element, 100 plain ancestors, the command: 102 elements, the container is the
    // 103rd and lies beyond the walk.
    auto [tooDeep, deepest] = nested(101);
    selected.FindSelected(ClickOn(tooDeep, deepest));
    EXPECT_FALSE(selected.ValidObject);
    EXPECT_TRUE(selected.ValidCommand);
    auto [deepEnough, last] = nested(100);
    selected.FindSelected(ClickOn(deepEnough, last));
    EXPECT_TRUE(selected.ValidObject);
    EXPECT_EQ(selected.SelectedCommand, "cmdOK");
}

TEST(koClientBrowser, FieldsAreReadByTheRegionalFormatAndClearedForEveryClick) {
    FakeDocument page = [] {
        FakeDocument p;
        int object = p.Add("div", "WorkstationObject");
        p.Add("button", "cmdServiceOrder", object);
        p.Input("txtCustomerID", "42");
        p.Input("txtPassword", "a|b");
        p.Input("txtNewPassword", "n");
        p.Input("txtVerifyPassword", "n");
        int chooser = p.Add("select", "cbServices");
        p.At(chooser).value = "7";
        p.Input("txtQuantity", "2,5");
        p.Input("7txtsDescription", "Coffee");
        p.Input("7txtsPrice", "1,5");
        p.Input("7txtsUnit", "cup");
        p.Input("7txtsType", "3");
        p.Input("7txtsTax", "0,2");
        p.Input("12txtsPrice", "99");
        p.Input("txtSecurityPassword", "s");
        return p;
    }();
    const RegionalSettings comma{',', '.'};
    koClientBrowser selected(comma);
    const int button = Find(page, "cmdServiceOrder");
    selected.FindSelected(ClickOn(page, button));
    EXPECT_EQ(selected.LogonId, "42");
    EXPECT_EQ(selected.LogonPassword, "a|b");
    EXPECT_EQ(selected.ServiceID, "7");
    EXPECT_EQ(selected.ServiceQuantity, 2.5);
    EXPECT_EQ(selected.ServiceDescription, "Coffee");
    EXPECT_EQ(selected.ServiceRate, Currency{15000});
    EXPECT_EQ(selected.ServiceUnit, "cup");
    EXPECT_EQ(selected.serviceType, 3);
    EXPECT_EQ(selected.ServiceTax, 0.2);
    EXPECT_EQ(selected.sPassword, "s");
    EXPECT_TRUE(selected.NewPasswordRead);

    // The next click on a page without quantity, with an unreadable price and an ambiguous
    // password: nothing of the earlier click lingers.
    page.At(Find(page, "txtQuantity")).id = "other";
    page.At(Find(page, "7txtsPrice")).value = "a lot";
    page.Input("txtPassword", "twice");
    page.At(Find(page, "txtNewPassword")).id = "gone";
    selected.FindSelected(ClickOn(page, button));
    EXPECT_EQ(selected.ServiceQuantity, std::nullopt);
    EXPECT_EQ(selected.ServiceRate, std::nullopt);
    EXPECT_EQ(selected.LogonPassword, "");
    EXPECT_EQ(selected.NewPassword, "");
    EXPECT_FALSE(selected.NewPasswordRead);
    EXPECT_EQ(selected.ServiceDescription, "Coffee");  // still on the page
}

}  // namespace
}  // namespace ko
