#pragma once

#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/BrowserView.h"
#include "platform/win32/ComPtr.h"

namespace ko {

// Reads and writes of an MSHTML document, each standing alone: whatever is missing or fails
// gives an empty result, never an error the caller must handle. Texts are ANSI.
class HtmlDocumentAccess {
  public:
    // The browser's current HTML document; empty while there is none (no engine, a non-HTML
    // page, a navigation under way).
    static ComPtr<IHTMLDocument2> DocumentOf(IWebBrowser2* browser);

    static bool SetBodyHtml(IHTMLDocument2* document, const std::string& html);
    // The element the `all` collection finds under name (id or name), or why there is none.
    static FieldValue ReadValue(IHTMLDocument2* document, const std::string& name);
    static bool SetInnerText(IHTMLDocument2* document, const std::string& name,
                             const std::string& text);
    static std::optional<std::string> InnerText(IHTMLDocument2* document, const std::string& name);
    // `value` of the first element with this tag name.
    static std::optional<std::string> FirstTagValue(IHTMLDocument2* document,
                                                    const std::string& tag);
    // The element the current event came from (window.event.srcElement) and its ancestors, at
    // most limit of them, each with its id and the attributes KoCustomer and fileName.
    static std::vector<ClickedElement> EventChain(IHTMLDocument2* document, std::size_t limit);
    // The current event's default action (following a link, submitting) does not happen.
    static void CancelEventDefault(IHTMLDocument2* document);

    // The element the `all` collection finds under name; Present with element set, else why not.
    static FieldValue::State Find(IHTMLDocument2* document, const std::string& name,
                                  ComPtr<IHTMLElement>& element);
};

}  // namespace ko
