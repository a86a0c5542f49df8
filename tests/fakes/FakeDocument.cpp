#include "fakes/FakeDocument.h"

#include <algorithm>
#include <cctype>

namespace ko {

namespace {

bool SameText(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::string> AttributeNoCase(const FakeDocument::Element& element,
                                           const std::string& name) {
    for (const auto& [key, value] : element.attributes) {
        if (SameText(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

bool IsFormElement(const std::string& tag) {
    return SameText(tag, "input") || SameText(tag, "select") || SameText(tag, "textarea") ||
           SameText(tag, "button");
}

std::string Escape(const std::string& text) {
    std::string out;
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
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

int FakeDocument::Add(const std::string& tag, const std::string& id, int parent) {
    Element element;
    element.tag = tag;
    element.id = id;
    element.parent = parent;
    m_elements.push_back(std::move(element));
    return static_cast<int>(m_elements.size()) - 1;
}

int FakeDocument::Input(const std::string& id, const std::string& value, int parent) {
    int index = Add("input", id, parent);
    At(index).value = value;
    return index;
}

void FakeDocument::Layout(const std::string& width, const std::string& height,
                          const std::string& vertical, const std::string& horizontal) {
    const std::pair<const char*, const std::string*> tags[] = {
        {"KoWidth", &width},
        {"KoHeight", &height},
        {"koVerticalPosition", &vertical},
        {"koHorizontalPosition", &horizontal}};
    for (const auto& [tag, value] : tags) {
        int index = Add(tag, "");
        At(index).attributes["value"] = *value;
    }
}

std::optional<std::string> FakeDocument::ValueOf(const Element& element) const {
    if (IsFormElement(element.tag) && element.value) {
        return element.value;
    }
    return AttributeNoCase(element, "value");
}

std::optional<int> FakeDocument::Find(const std::string& idOrName, bool& ambiguous) const {
    ambiguous = false;
    std::optional<int> found;
    if (idOrName.empty()) {
        return found;
    }
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        const Element& element = m_elements[i];
        if (element.id == idOrName || element.name == idOrName) {
            if (found) {
                ambiguous = true;
                return std::nullopt;
            }
            found = static_cast<int>(i);
        }
    }
    return found;
}

FieldValue FakeDocument::Read(const std::string& idOrName) const {
    bool ambiguous = false;
    std::optional<int> index = Find(idOrName, ambiguous);
    if (ambiguous) {
        return FieldValue::Ambiguous();
    }
    if (!index) {
        return {};
    }
    std::optional<std::string> value = ValueOf(At(*index));
    return value ? FieldValue::Present(*value) : FieldValue{};
}

LayoutValues FakeDocument::Layout() const {
    auto first = [this](const char* tag) -> std::optional<std::string> {
        for (const Element& element : m_elements) {
            if (SameText(element.tag, tag)) {
                return ValueOf(element);
            }
        }
        return std::nullopt;
    };
    return LayoutValues{first("KoWidth"), first("KoHeight"), first("koVerticalPosition"),
                        first("koHorizontalPosition")};
}

std::vector<ClickedElement> FakeDocument::ChainFrom(int index) const {
    std::vector<ClickedElement> chain;
    while (index != kBody && chain.size() < kMaxClickChain) {
        const Element& element = At(index);
        chain.push_back(ClickedElement{element.id, AttributeNoCase(element, "KoCustomer"),
                                       AttributeNoCase(element, "fileName")});
        index = element.parent;
    }
    // Above the page's own elements lie the body and the root element, without ids.
    if (index == kBody) {
        for (int outer = 0; outer < 2 && chain.size() < kMaxClickChain; ++outer) {
            chain.push_back(ClickedElement{});
        }
    }
    return chain;
}

std::map<std::string, FieldValue> FakeDocument::ClickFields() const {
    std::map<std::string, FieldValue> fields;
    for (const char* id : kClickFieldIds) {
        fields[id] = Read(id);
    }
    const FieldValue& chooser = fields[kServiceChooserId];
    if (chooser.IsPresent()) {
        for (const char* suffix : kServiceFieldSuffixes) {
            const std::string id = chooser.value + suffix;
            fields[id] = Read(id);
        }
    }
    return fields;
}

void FakeDocument::AppendHtml(std::string& out, int index) const {
    const Element& element = At(index);
    out += "<" + element.tag;
    if (!element.id.empty()) {
        out += " id=\"" + Escape(element.id) + "\"";
    }
    if (!element.name.empty()) {
        out += " name=\"" + Escape(element.name) + "\"";
    }
    for (const auto& [key, value] : element.attributes) {
        if (!(element.value && SameText(key, "value"))) {
            out += " " + key + "=\"" + Escape(value) + "\"";
        }
    }
    if (element.value && (SameText(element.tag, "input") || SameText(element.tag, "button"))) {
        out += " value=\"" + Escape(*element.value) + "\"";
    }
    if (SameText(element.tag, "input")) {
        out += ">";
        return;
    }
    out += ">";
    if (SameText(element.tag, "select") && element.value) {
        out += "<option value=\"" + Escape(*element.value) + "\" selected>" +
               Escape(*element.value) + "</option>";
    } else if (SameText(element.tag, "textarea") && element.value) {
        out += Escape(*element.value);
    }
    out += Escape(element.text);
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        if (m_elements[i].parent == index) {
            AppendHtml(out, static_cast<int>(i));
        }
    }
    out += "</" + element.tag + ">";
}

std::string FakeDocument::ToHtml(const std::string& title) const {
    std::string out =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=windows-1252\"><title>" +
        Escape(title) + "</title></head><body>";
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
        if (m_elements[i].parent == kBody) {
            AppendHtml(out, static_cast<int>(i));
        }
    }
    return out + "</body></html>";
}

}  // namespace ko
