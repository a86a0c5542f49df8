#include "agent/messages/MessageText.h"

#include "agent/core/PageAddress.h"
#include "shared/NumberRules.h"

namespace ko {

std::string MessageText::QueryValue(const std::string& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string MessageText::MessageAddress(const AgentGlobals& globals, const std::string& msgID,
                                        const std::string& msgEnglish,
                                        const std::string& msgParametar, std::int16_t msgBoxStyle) {
    return ServerPageAddress(
        globals, "/ws/wsMessage.asp?msgID=" + QueryValue(msgID) + "&Message=" +
                     QueryValue(msgEnglish) + "&msgParametar=" + QueryValue(msgParametar) +
                     "&msgStyle=" + NumberRules::Format(std::int64_t{msgBoxStyle}));
}

std::string MessageText::HtmlEscape(const std::string& text) {
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

std::string MessageText::LocalBoxHtml(const std::string& msgEnglish,
                                      const std::string& msgParametar, std::int16_t msgBoxStyle) {
    std::string html =
        "<div id=\"WorkstationObject\" style=\"font-family: Arial, sans-serif; font-size: 10pt; "
        "text-align: center; padding: 8px\"><p>" +
        HtmlEscape(msgEnglish) + "</p>";
    if (!msgParametar.empty()) {
        html += "<p style=\"word-wrap: break-word\">" + HtmlEscape(msgParametar) + "</p>";
    }
    html += "<p><button id=\"cmdOK\" type=\"button\">OK</button>";
    if (msgBoxStyle != 1) {
        html += " <button id=\"cmdCancel\" type=\"button\">Cancel</button>";
    }
    html += "</p></div>";
    return html;
}

}  // namespace ko
