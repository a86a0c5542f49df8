#include "HtmlPage.h"

namespace ko {

namespace {

// The body fills the window: a gradient on a body only as tall as its content would repeat in
// bands down a full-screen kiosk window.
constexpr std::string_view kStyle = R"css(
html { height: 100%; background: #1d2b3a; }
body { min-height: 100%; box-sizing: border-box; margin: 0; font-family: "Segoe UI", Tahoma, Verdana, sans-serif; color: #f4f1ea;
  background: linear-gradient(160deg, #1d2b3a 0%, #2e4057 55%, #5b3a29 100%); overflow: hidden; }
body.dialog { background: #263646; padding: 10px 14px; }
body.strip { background: #2e4057; padding: 6px 10px; }
body.paper { background: #f7f3ea; color: #2b2b2b; padding: 12px 16px; overflow: auto; }
kowidth, koheight, koverticalposition, kohorizontalposition { display: none; }
h1 { font-weight: 300; font-size: 44px; margin: 0 0 4px 0; letter-spacing: 1px; }
h2 { font-weight: 400; font-size: 18px; margin: 0 0 8px 0; color: #ffcf70; }
.paper h2 { color: #8a4b20; }
.hero { padding: 60px 70px 20px 70px; }
.sub { color: #c9d3dd; font-size: 18px; }
.btn { font-size: 18px; padding: 10px 26px; margin: 6px 8px 6px 0; border: 0; border-radius: 22px;
  background: #ffb347; color: #2a1a0a; cursor: pointer; }
.btn.quiet { background: #4f6a86; color: #f4f1ea; }
.btn.small { font-size: 13px; padding: 5px 12px; border-radius: 12px; }
.panel { display: inline-block; vertical-align: top; background: rgba(0,0,0,0.25);
  border-radius: 14px; padding: 16px 22px; margin: 10px 16px 10px 0; }
.panel td { padding: 3px 14px 3px 0; font-size: 17px; }
.panel td.v { font-weight: 600; color: #ffe2a8; text-align: right; }
.apps { margin-top: 8px; }
.app { display: inline-block; vertical-align: top; margin: 0 10px 10px 0; }
.app button { width: 120px; height: 84px; border-radius: 12px; border: 0; background: #3d5a78;
  color: #fff; font-size: 15px; cursor: pointer; }
.corner { position: absolute; right: 18px; bottom: 12px; }
.field { margin: 6px 0; }
.field label { display: inline-block; width: 110px; }
input, select { font-size: 15px; padding: 4px 6px; border-radius: 6px; border: 1px solid #8aa; }
table.list { border-collapse: collapse; width: 100%; font-size: 14px; }
table.list th { text-align: left; border-bottom: 2px solid #c9b68f; padding: 4px 8px; }
table.list td { border-bottom: 1px solid #e2d8c3; padding: 4px 8px; }
.num { text-align: right; }
.notice { font-size: 15px; margin: 4px 0 12px 0; }
)css";

}  // namespace

std::string HtmlPage::Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string HtmlPage::Layout(const PageLayout& l) {
    return "<KoWidth value=\"" + std::to_string(l.width) + "\"></KoWidth>" + "<KoHeight value=\"" +
           std::to_string(l.height) + "\"></KoHeight>" + "<koVerticalPosition value=\"" +
           Escape(l.vertical) + "\"></koVerticalPosition>" + "<koHorizontalPosition value=\"" +
           Escape(l.horizontal) + "\"></koHorizontalPosition>";
}

std::string HtmlPage::Document(const std::string& title, const std::string& body,
                               const PageLayout* layout, const std::string& bodyClass) {
    std::string out =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"><title>" +
        Escape(title) + "</title><style>" + std::string(kStyle) + "</style></head>\n<body" +
        (bodyClass.empty() ? "" : " class=\"" + bodyClass + "\"") + ">\n";
    if (layout != nullptr) {
        out += Layout(*layout) + "\n";
    }
    out += body + "\n</body></html>\n";
    return out;
}

std::string HtmlPage::Button(const std::string& id, const std::string& label,
                             const std::string& cssClass) {
    return "<button type=\"button\" class=\"" + cssClass + "\" id=\"" + id + "\">" + Escape(label) +
           "</button>";
}

}  // namespace ko
