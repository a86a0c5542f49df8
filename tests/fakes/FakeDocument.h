#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/BrowserView.h"

namespace ko {

// A scripted page: a tree of elements as a test describes it. The fake browser reads it the way
// the real engines read a page; the adapter harnesses turn it into HTML (ToHtml) so that one test
// page runs on the fake and on a real engine.
class FakeDocument {
  public:
    static constexpr int kBody = -1;

    struct Element {
        std::string tag = "div";
        std::string id;
        std::string name;
        int parent = kBody;
        // Other attributes, by their name as written ("KoCustomer", "fileName", "value").
        std::map<std::string, std::string> attributes;
        // The `value` property of form elements (input, select, textarea, button).
        std::optional<std::string> value;
        std::string text;
    };

    // Adds an element and returns its index, for children and for changes.
    int Add(const std::string& tag, const std::string& id, int parent = kBody);
    Element& At(int index) { return m_elements.at(static_cast<std::size_t>(index)); }
    const Element& At(int index) const { return m_elements.at(static_cast<std::size_t>(index)); }
    const std::vector<Element>& Elements() const { return m_elements; }

    // The usual pieces of the server's pages.
    int Input(const std::string& id, const std::string& value, int parent = kBody);
    void Layout(const std::string& width, const std::string& height, const std::string& vertical,
                const std::string& horizontal);

    // Finds an element the way the document's `all` collection does: by id or name; several
    // matches are ambiguous.
    FieldValue Read(const std::string& idOrName) const;
    std::optional<int> Find(const std::string& idOrName, bool& ambiguous) const;
    LayoutValues Layout() const;
    // The chain from an element up to the root, as a click carries it.
    std::vector<ClickedElement> ChainFrom(int index) const;
    // Every field a click carries.
    std::map<std::string, FieldValue> ClickFields() const;

    // The page as HTML for a real engine: each element nested under its parent, attributes and
    // texts escaped; `value` goes into the value attribute of form elements.
    std::string ToHtml(const std::string& title = "") const;

  private:
    std::optional<std::string> ValueOf(const Element& element) const;
    void AppendHtml(std::string& out, int index) const;

    std::vector<Element> m_elements;
};

}  // namespace ko
