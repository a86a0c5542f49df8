#include "AccountPages.h"

#include <cstdio>

#include "HtmlPage.h"

namespace ko {

namespace {

std::string Hidden(const std::string& id, const std::string& value) {
    return "<input type=\"hidden\" id=\"" + id + "\" value=\"" + HtmlPage::Escape(value) + "\">";
}

std::string Tax(double tax) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", tax);
    return text;
}

std::string HistoryFrame(const std::string& title, const std::string& content) {
    PageLayout layout{600, 440, "middle", "center"};
    std::string body = "<div id=\"WorkstationObject\"><h2>" + HtmlPage::Escape(title) + "</h2>" +
                       content + "<p>" + HtmlPage::Button("cmdClose", "Close") + "</p></div>";
    return HtmlPage::Document("Customer History", body, &layout, "paper");
}

bool ShownTo(const WorkstationSnapshot& ws, const std::string& customer) {
    return ws.known && ws.state == 1 && !customer.empty() && ws.customer == customer;
}

const char* kNotYours =
    "<p class=\"notice\">The history is shown to the customer logged on at this workstation "
    "only.</p>";

}  // namespace

std::string AccountPages::Service(const CafeData& data) {
    PageLayout layout{440, 300, "middle", "center"};
    std::string options;
    std::string fields;
    for (const auto& s : data.services) {
        options += "<option value=\"" + HtmlPage::Escape(s.id) + "\">" +
                   HtmlPage::Escape(s.description) + " - " + FormatCents(s.price) + " " +
                   HtmlPage::Escape(data.currency) + " per " + HtmlPage::Escape(s.unit) +
                   "</option>";
        fields += Hidden(s.id + "txtsDescription", s.description) +
                  Hidden(s.id + "txtsPrice", FormatCents(s.price)) +
                  Hidden(s.id + "txtsUnit", s.unit) +
                  Hidden(s.id + "txtsType", std::to_string(s.type)) +
                  Hidden(s.id + "txtsTax", Tax(s.tax));
    }
    std::string body =
        "<div id=\"WorkstationObject\"><h2>What may we bring you?</h2>"
        "<div class=\"field\"><label for=\"cbServices\">Service</label><select id=\"cbServices\" "
        "name=\"cbServices\">" +
        options +
        "</select></div><div class=\"field\"><label for=\"txtQuantity\">Quantity</label>"
        "<input type=\"text\" id=\"txtQuantity\" name=\"txtQuantity\" value=\"1\" size=\"4\">"
        "</div>" +
        fields + "<div>" + HtmlPage::Button("cmdServiceOrder", "Order") +
        HtmlPage::Button("cmdServiceCancel", "Cancel", "btn quiet") +
        HtmlPage::Button("cmdClose", "Close", "btn quiet") + "</div></div>";
    return HtmlPage::Document("Service Order", body, &layout, "dialog");
}

std::string AccountPages::CustomerHistory(const CafeData& data, const WorkstationSnapshot& ws,
                                          const std::string& customer) {
    if (!ShownTo(ws, customer)) {
        return HistoryFrame("Account history", kNotYours);
    }
    std::string c = HtmlPage::Escape(data.currency);
    std::string rows;
    for (const auto& s : ws.history) {
        rows += "<tr><td>" + HtmlPage::Escape(s.date) + "</td><td>" +
                HtmlPage::Escape(s.workstation) + "</td><td class=\"num\">" +
                std::to_string(s.minutes) + "</td><td class=\"num\">" + FormatCents(s.amount) +
                "</td></tr>";
    }
    if (rows.empty()) {
        rows = "<tr><td colspan=\"4\">No earlier visits.</td></tr>";
    }
    const SessionFigures& f = ws.figures;
    std::string content = "<p class=\"notice\">" + HtmlPage::Escape(ws.customerName) + " (" +
                          HtmlPage::Escape(ws.customer) + "): paid " + FormatCents(f.totalPayment) +
                          " " + c + ", billed " + FormatCents(f.totalBilled) + " " + c +
                          ", balance " + FormatCents(f.balance) + " " + c +
                          "</p><table class=\"list\"><tr><th>Date</th><th>Workstation</th>"
                          "<th class=\"num\">Minutes</th><th class=\"num\">Amount (" +
                          c + ")</th></tr>" + rows + "</table>";
    return HistoryFrame("Account history", content);
}

std::string AccountPages::SessionHistory(const CafeData& data, const WorkstationSnapshot& ws,
                                         const std::string& customer) {
    if (!ShownTo(ws, customer)) {
        return HistoryFrame("This visit", kNotYours);
    }
    std::string c = HtmlPage::Escape(data.currency);
    std::string rows;
    for (const auto& o : ws.orders) {
        rows += "<tr><td>" + HtmlPage::Escape(o.at) + "</td><td>" +
                HtmlPage::Escape(o.description) + "</td><td class=\"num\">" +
                HtmlPage::Escape(o.quantity) + " " + HtmlPage::Escape(o.unit) +
                "</td><td class=\"num\">" + HtmlPage::Escape(o.rate) + "</td></tr>";
    }
    if (rows.empty()) {
        rows = "<tr><td colspan=\"4\">Nothing ordered yet.</td></tr>";
    }
    const SessionFigures& f = ws.figures;
    std::string content =
        "<p class=\"notice\">Logged on at " + HtmlPage::Escape(ws.logonTime) + " on " +
        HtmlPage::Escape(ws.name) + "; time used " + HtmlPage::Escape(ws.elapsed) + "; amount " +
        FormatCents(f.amount) + " " + c + " at " + FormatCents(f.perHour) + " " + c +
        " per hour.</p><table class=\"list\"><tr><th>Ordered at</th><th>Service</th>"
        "<th class=\"num\">Quantity</th><th class=\"num\">Price (" +
        c + ")</th></tr>" + rows + "</table>";
    return HistoryFrame("This visit", content);
}

}  // namespace ko
