#include "platform/XmlNode.h"

#include <utility>

namespace ko {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

void AppendTexts(const XmlNode& node, std::string& out) {
    for (const XmlNode& child : node.children) {
        if (child.kind == XmlNode::Kind::Text || child.kind == XmlNode::Kind::CData) {
            out += child.value;
        } else if (child.kind == XmlNode::Kind::Element) {
            AppendTexts(child, out);
        }
    }
}

// Stops at the first match when first is set.
void Collect(const XmlNode& node, const std::string& name, bool first,
             std::vector<const XmlNode*>& found) {
    for (const XmlNode& child : node.children) {
        if (child.kind != XmlNode::Kind::Element) {
            continue;
        }
        if (child.name == name) {
            found.push_back(&child);
            if (first) {
                return;
            }
        }
        Collect(child, name, first, found);
        if (first && !found.empty()) {
            return;
        }
    }
}

}  // namespace

XmlNode XmlNode::MakeElement(std::string name, std::vector<XmlNode> children,
                             std::vector<XmlAttribute> attributes) {
    XmlNode node;
    node.kind = Kind::Element;
    node.name = std::move(name);
    node.children = std::move(children);
    node.attributes = std::move(attributes);
    return node;
}

XmlNode XmlNode::MakeText(std::string text) {
    XmlNode node;
    node.kind = Kind::Text;
    node.value = std::move(text);
    return node;
}

XmlNode XmlNode::MakeCData(std::string text) {
    XmlNode node = MakeText(std::move(text));
    node.kind = Kind::CData;
    return node;
}

XmlNode XmlNode::MakeComment(std::string text) {
    XmlNode node = MakeText(std::move(text));
    node.kind = Kind::Comment;
    return node;
}

XmlNode XmlNode::MakeDocument(XmlNode root) {
    XmlNode document;
    document.children.push_back(std::move(root));
    return document;
}

const XmlNode* XmlNode::Child(std::size_t index) const {
    return index < children.size() ? &children[index] : nullptr;
}

std::string XmlNode::Text() const {
    if (kind != Kind::Document && kind != Kind::Element) {
        return Trim(value);
    }
    std::string text;
    AppendTexts(*this, text);
    return Trim(text);
}

std::optional<std::string> XmlNode::Attribute(const std::string& attributeName) const {
    for (const auto& attribute : attributes) {
        if (attribute.name == attributeName) {
            return attribute.value;
        }
    }
    return std::nullopt;
}

const XmlNode* XmlNode::FirstElement(const std::string& elementName) const {
    std::vector<const XmlNode*> found;
    Collect(*this, elementName, true, found);
    return found.empty() ? nullptr : found.front();
}

std::vector<const XmlNode*> XmlNode::Elements(const std::string& elementName) const {
    std::vector<const XmlNode*> found;
    Collect(*this, elementName, false, found);
    return found;
}

}  // namespace ko
