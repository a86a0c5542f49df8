#include "KioskPages.h"

#include "HtmlPage.h"

namespace ko {

namespace {

std::string Label(const std::string& id, const std::string& value) {
    return "<span id=\"" + id + "\">" + HtmlPage::Escape(value) + "</span>";
}

std::string Row(const std::string& caption, const std::string& id, const std::string& value) {
    return "<tr><td>" + HtmlPage::Escape(caption) + "</td><td class=\"v\">" + Label(id, value) +
           "</td></tr>";
}

// A remaining figure below zero means "no limit"; the workstation then shows a blank.
std::string Remaining(long value, const std::string& text) {
    return value < 0 ? " " : text;
}

std::string Applications(const CafeData& data) {
    if (data.applications.empty()) {
        return {};
    }
    std::string out = "<div class=\"apps\">";
    for (const auto& app : data.applications) {
        out += "<div class=\"app\" id=\"ApplicationObject\" fileName=\"" +
               HtmlPage::Escape(app.fileName) + "\">" +
               HtmlPage::Button("cmdApplication", app.title, "") + "</div>";
    }
    return out + "</div>";
}

std::string RatesLine(const CafeData& data) {
    std::string out;
    for (const auto& rate : data.rates) {
        out += (out.empty() ? "" : " &middot; ") + HtmlPage::Escape(rate.name) + " " +
               FormatCents(rate.perHour) + " " + HtmlPage::Escape(data.currency) + " per hour";
    }
    return out;
}

}  // namespace

std::string KioskPages::BillingPanel(const CafeData& data, const WorkstationSnapshot& ws) {
    const SessionFigures& f = ws.figures;
    std::string c = " (" + data.currency + ")";
    return "<div class=\"panel\"><h2>This visit</h2><table>" +
           Row("Logged on at", "lblLogonTime", ws.logonTime) +
           Row("Time used", "lblElapsedTime", ws.elapsed) +
           Row("Amount" + c, "lblAmount", FormatCents(f.amount)) +
           Row("Minutes left", "lblRemainingTime",
               Remaining(f.limited ? f.RemainingMinutes() : -1,
                         std::to_string(f.RemainingMinutes()))) +
           Row("Credit left" + c, "lblRemainingAmount",
               Remaining(f.limited ? f.remainingAmount : -1, FormatCents(f.remainingAmount))) +
           "</table></div><div class=\"panel\"><h2>Your account</h2><table>" +
           Row("Billed" + c, "lblTotalBilled", FormatCents(f.totalBilled)) +
           Row("Paid" + c, "lblTotalPayment", FormatCents(f.totalPayment)) +
           Row("Balance" + c, "lblBalance", FormatCents(f.balance)) + "</table></div>";
}

std::string KioskPages::Main(const CafeData& data, const WorkstationSnapshot& ws) {
    PageLayout layout{-1, -1, "top", "left"};
    std::string body;
    std::string cafe = HtmlPage::Escape(data.cafeName);
    std::string station = HtmlPage::Escape(ws.name);
    if (ws.state == 1) {
        std::string who = ws.customerName.empty() ? ws.customer : ws.customerName;
        body = "<div id=\"WorkstationObject\" KoCustomer=\"" + HtmlPage::Escape(ws.customer) +
               "\"><div class=\"hero\"><h1>Hello, " + HtmlPage::Escape(who) +
               "</h1><p class=\"sub\">" + cafe + " &middot; workstation " + station + "</p>" +
               BillingPanel(data, ws) + "<div>" + HtmlPage::Button("cmdLogoff", "Log off") +
               HtmlPage::Button("cmdMakeOrder", "Order a drink or a print", "btn quiet") +
               (ws.canChangePassword
                    ? HtmlPage::Button("cmdChangePassword", "Change password", "btn quiet")
                    : "") +
               HtmlPage::Button("cmdShowSessionHistory", "This visit", "btn quiet") +
               HtmlPage::Button("cmdShowHistory", "My history", "btn quiet") +
               HtmlPage::Button("CollapseWindow", "Minimize", "btn quiet") +
               "</div></div></div><div class=\"hero\">" + Applications(data) + "</div>";
        return HtmlPage::Document(data.cafeName + " - " + ws.name, body, &layout);
    }
    std::string greeting;
    std::string action;
    if (ws.state == 2 || ws.state == 13) {
        greeting = "This workstation is reserved. Please ask at the counter.";
    } else {
        greeting = "Welcome! Log on with your customer id to start.";
        action = HtmlPage::Button("cmdLogon", "Log on");
    }
    body = "<div id=\"WorkstationObject\" KoCustomer=\"\"><div class=\"hero\"><h1>" + cafe +
           "</h1><p class=\"sub\">" + HtmlPage::Escape(greeting) + "</p><div>" + action +
           "</div><p class=\"sub\">" + RatesLine(data) + "</p></div><div class=\"corner\">" +
           "<span class=\"sub\">Workstation " + station + " </span>" +
           HtmlPage::Button("cmdNetConfig", "Network", "btn quiet small") +
           HtmlPage::Button("cmdCloseWorkstation", "Staff", "btn quiet small") + "</div></div>";
    return HtmlPage::Document(data.cafeName + " - " + ws.name, body, &layout);
}

std::string KioskPages::MainMin(const CafeData& data, const WorkstationSnapshot& ws) {
    PageLayout layout{330, 112, "bottom", "right"};
    const SessionFigures& f = ws.figures;
    std::string body =
        "<div id=\"WorkstationObject\" KoCustomer=\"" + HtmlPage::Escape(ws.customer) +
        "\"><table><tr><td>Time</td><td class=\"v\">" + Label("lblElapsedTime", ws.elapsed) +
        "</td><td>&nbsp;" + HtmlPage::Escape(data.currency) + "</td><td class=\"v\">" +
        Label("lblAmount", FormatCents(f.amount)) +
        "</td><td>&nbsp;Minutes left</td><td class=\"v\">" +
        Label("lblRemainingTime", Remaining(f.limited ? f.RemainingMinutes() : -1,
                                            std::to_string(f.RemainingMinutes()))) +
        "</td></tr></table>" + HtmlPage::Button("ExpandWindow", "Open", "btn small") +
        HtmlPage::Button("cmdLogoff", "Log off", "btn quiet small") + "</div>";
    return HtmlPage::Document(data.cafeName, body, &layout, "strip");
}

std::string KioskPages::LogonCustomer(const CafeData& data) {
    PageLayout layout{380, 220, "middle", "center"};
    std::string body =
        "<div id=\"WorkstationObject\"><h2>Log on to " + HtmlPage::Escape(data.cafeName) +
        "</h2><div class=\"field\"><label for=\"txtCustomerID\">Customer id</label>"
        "<input type=\"text\" id=\"txtCustomerID\" name=\"txtCustomerID\" autocomplete=\"off\">"
        "</div><div class=\"field\"><label for=\"txtPassword\">Password</label>"
        "<input type=\"password\" id=\"txtPassword\" name=\"txtPassword\"></div><div>" +
        HtmlPage::Button("cmdOK", "Log on") + HtmlPage::Button("cmdCancel", "Cancel", "btn quiet") +
        "</div></div>";
    return HtmlPage::Document("Logon User", body, &layout, "dialog");
}

std::string KioskPages::ChangePassword() {
    PageLayout layout{400, 230, "middle", "center"};
    std::string body =
        "<div id=\"WorkstationObject\"><h2>Change your password</h2>"
        "<div class=\"field\"><label for=\"txtNewPassword\">New password</label>"
        "<input type=\"password\" id=\"txtNewPassword\" name=\"txtNewPassword\"></div>"
        "<div class=\"field\"><label for=\"txtVerifyPassword\">Once more</label>"
        "<input type=\"password\" id=\"txtVerifyPassword\" name=\"txtVerifyPassword\"></div><div>" +
        HtmlPage::Button("cmdOK", "Change") + HtmlPage::Button("cmdCancel", "Cancel", "btn quiet") +
        "</div></div>";
    return HtmlPage::Document("Change Password", body, &layout, "dialog");
}

}  // namespace ko
