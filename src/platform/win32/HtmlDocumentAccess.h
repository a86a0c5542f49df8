#pragma once

#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/ComPtr.h"

namespace ko {

// Reads and writes of an MSHTML document, each standing alone: whatever is missing or fails
// gives an empty result, never an error the caller must handle. Texts are ANSI.
class HtmlDocumentAccess {
  public:
    enum class Lookup { Present, Missing, Ambiguous };
    struct Field {
        Lookup lookup = Lookup::Missing;
        std::string value;
    };
    struct ChainElement {
        std::string id;
        std::optional<std::string> koCustomer;  // attribute KoCustomer, any case
        std::optional<std::string> fileName;    // attribute fileName, any case
    };

    // The browser's current HTML document; empty while there is none (no engine, a non-HTML
    // page, a navigation under way).
    static ComPtr<IHTMLDocument2> DocumentOf(IWebBrowser2* browser);

    static bool SetBodyHtml(IHTMLDocument2* document, const std::string& html);
    // The element the `all` collection finds under name (id or name), or why there is none.
    static Field ReadValue(IHTMLDocument2* document, const std::string& name);
    static bool SetInnerText(IHTMLDocument2* document, const std::string& name,
                             const std::string& text);
    static std::optional<std::string> InnerText(IHTMLDocument2* document, const std::string& name);
    // `value` of the first element with this tag name.
    static std::optional<std::string> FirstTagValue(IHTMLDocument2* document,
                                                    const std::string& tag);
    // The element the current event came from (window.event.srcElement) and its ancestors, at
    // most limit of them.
    static std::vector<ChainElement> EventChain(IHTMLDocument2* document, std::size_t limit);

  private:
    static Lookup Find(IHTMLDocument2* document, const std::string& name,
                       ComPtr<IHTMLElement>& element);
};

}  // namespace ko
