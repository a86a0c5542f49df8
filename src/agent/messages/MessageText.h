#pragma once

#include <cstdint>
#include <string>

namespace ko {

struct AgentGlobals;

// The texts the message window builds: the server's message page address and the local box it
// falls back on when that page does not come.
class MessageText {
  public:
    // One query value, percent-encoded byte by byte: everything but letters, digits and "-._~"
    // (a blank as %20). A refused URL or an operator's text may carry "&", "=" or "#", which
    // would add keys to the query (a URL could set its own msgStyle) or cut the address.
    static std::string QueryValue(const std::string& value);

    // "http://" + server + ":" + HTTP port + "/ws/wsMessage.asp?msgID=" ... "&msgStyle=" + style.
    static std::string MessageAddress(const AgentGlobals& globals, const std::string& msgID,
                                      const std::string& msgEnglish,
                                      const std::string& msgParametar, std::int16_t msgBoxStyle);

    // Text for an HTML page: "&", "<", ">" and quotes as entities.
    static std::string HtmlEscape(const std::string& text);

    // The body of the local box: the text (and the parameter below it) with an OK button, and a
    // Cancel button unless the style asks for OK alone (1). Plain HTML inside the container
    // element the click resolver looks for.
    static std::string LocalBoxHtml(const std::string& msgEnglish, const std::string& msgParametar,
                                    std::int16_t msgBoxStyle);
};

}  // namespace ko
