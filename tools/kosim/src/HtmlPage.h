#pragma once

#include <string>
#include <string_view>

namespace ko {

// Where and how big a page asks its window to be: pixels, -1 for the whole work area, 0 for no
// request; placement words top/middle/bottom and left/center/right.
struct PageLayout {
    int width = 0;
    int height = 0;
    std::string vertical;
    std::string horizontal;
};

// The frame every kosim page shares: the cafe's look, escaping, and the layout elements that
// the workstation looks up by tag name (KoWidth, KoHeight, koVerticalPosition,
// koHorizontalPosition, each with a value attribute).
class HtmlPage {
  public:
    static std::string Escape(std::string_view text);
    static std::string Layout(const PageLayout& layout);
    // A whole document: title, the layout elements (when given), the body.
    static std::string Document(const std::string& title, const std::string& body,
                                const PageLayout* layout = nullptr,
                                const std::string& bodyClass = {});
    static std::string Button(const std::string& id, const std::string& label,
                              const std::string& cssClass = "btn");
};

}  // namespace ko
