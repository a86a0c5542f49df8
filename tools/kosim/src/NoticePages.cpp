#include "NoticePages.h"

#include "HtmlPage.h"
#include "MessageCatalog.h"

namespace ko {

std::string NoticePages::Message(const std::string& id, const std::string& text,
                                 const std::string& parameter, const std::string& style) {
    bool question = style != "1";
    std::string body = "<div id=\"WorkstationObject\"><h2>" +
                       std::string(question ? "Please confirm" : "Notice") +
                       "</h2><p class=\"notice\">" + HtmlPage::Escape(text) +
                       (parameter.empty() ? "" : " " + HtmlPage::Escape(parameter)) + "</p><div>" +
                       HtmlPage::Button("cmdOK", "OK") +
                       (question ? HtmlPage::Button("cmdCancel", "Cancel", "btn quiet") : "") +
                       "</div></div><!-- message " + HtmlPage::Escape(id) + " -->";
    return HtmlPage::Document("Ko Workstation", body, nullptr, "dialog");
}

std::string NoticePages::Timeout(const CafeData& data, const std::string& remaining) {
    std::string body =
        "<div id=\"WorkstationObject\"><h2>Your paid time is running out</h2>"
        "<p class=\"notice\">" +
        (remaining.empty()
             ? std::string("Please save your work.")
             : "About " + HtmlPage::Escape(remaining) + " left. Please save your work.") +
        " More time at the counter of " + HtmlPage::Escape(data.cafeName) + ".</p></div>";
    return HtmlPage::Document("Time-out", body, nullptr, "strip");
}

// Two links an idle workstation must never follow: a click ends advertising instead, and a new
// window would open outside the kiosk. Their fetches show in the log if one ever does.
std::string NoticePages::AdvertisementLinks(std::size_t index) {
    const std::string target = "/ws/wsAdLink.asp?ad=" + std::to_string(index + 1);
    return "<p class=\"sub\"><a id=\"adLink\" href=\"" + target +
           "\">More about it</a> &middot; <a id=\"adNewWindow\" href=\"" + target +
           "&amp;window=new\" target=\"_blank\">Open in a new window</a></p>";
}

std::string NoticePages::Advertisement(const CafeData& data, std::size_t index) {
    if (index >= data.advertisements.size()) {
        return NotFound("advertisement " + std::to_string(index + 1));
    }
    const auto& ad = data.advertisements[index];
    std::string body = "<div class=\"hero\" style=\"padding-top:18%;text-align:center\"><h1>" +
                       HtmlPage::Escape(ad.title) +
                       "</h1><p class=\"sub\" "
                       "style=\"font-size:26px\">" +
                       HtmlPage::Escape(ad.text) + "</p><p class=\"sub\">" +
                       HtmlPage::Escape(data.cafeName) + "</p>" + AdvertisementLinks(index) +
                       "</div>";
    return HtmlPage::Document(ad.title, body);
}

std::string NoticePages::Overview(const CafeData& data, const std::vector<Workstation>& stations) {
    std::string rows;
    for (const auto& ws : stations) {
        rows += "<tr><td>" + HtmlPage::Escape(ws.name) + "</td><td>" +
                HtmlPage::Escape(ws.connection ? ws.address : "(offline)") + "</td><td>" +
                HtmlPage::Escape(MessageCatalog::StateName(ws.state)) + "</td><td>" +
                HtmlPage::Escape(ws.customer) + "</td></tr>";
    }
    if (rows.empty()) {
        rows = "<tr><td colspan=\"4\">No workstation has said hello yet.</td></tr>";
    }
    std::string body = "<h2>" + HtmlPage::Escape(data.cafeName) +
                       " - workstations</h2><table class=\"list\"><tr><th>Name</th>"
                       "<th>Address</th><th>State</th><th>Customer</th></tr>" +
                       rows + "</table>";
    return HtmlPage::Document(data.cafeName, body, nullptr, "paper");
}

std::string NoticePages::NotFound(const std::string& path) {
    return HtmlPage::Document(
        "Not found", "<h2>Not found</h2><p>" + HtmlPage::Escape(path) + "</p>", nullptr, "paper");
}

}  // namespace ko
