#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ko {

struct XmlAttribute {
    std::string name;
    std::string value;
};

// One node of a loaded XML document, held as plain data: a handler can keep the document it was
// given while newer loads come and go. Texts are ANSI (Windows-1252 on Linux). The tree has the
// shape the Windows XML component gives with its defaults: text nodes that hold only blanks are
// dropped, comments, CDATA sections and processing instructions stay child nodes, entities are
// expanded into the texts.
struct XmlNode {
    enum class Kind { Document, Element, Text, CData, Comment, Instruction };

    // Deeper documents are refused as malformed: the tree is walked recursively.
    static constexpr std::size_t kMaxDepth = 256;

    Kind kind = Kind::Document;
    // The element's qualified name ("prefix:name") or the instruction's target.
    std::string name;
    // The content of a text, CDATA section, comment or instruction, as written.
    std::string value;
    std::vector<XmlAttribute> attributes;
    std::vector<XmlNode> children;

    static XmlNode MakeElement(std::string name, std::vector<XmlNode> children = {},
                               std::vector<XmlAttribute> attributes = {});
    static XmlNode MakeText(std::string text);
    static XmlNode MakeCData(std::string text);
    static XmlNode MakeComment(std::string text);
    // A document whose root element is root.
    static XmlNode MakeDocument(XmlNode root);

    // A document that failed to load or parse has no root element.
    bool Empty() const { return kind == Kind::Document && children.empty(); }

    // The child node at index (comments and texts count), or null.
    const XmlNode* Child(std::size_t index) const;
    // For a document or an element: the texts and CDATA sections below it joined in document
    // order, then trimmed of blanks (comments and instructions do not count). For other nodes
    // their own content, trimmed.
    std::string Text() const;
    // The value of the attribute of that name (compared exactly), if the node has one.
    std::optional<std::string> Attribute(const std::string& attributeName) const;
    // The first element of that name below this node, at any depth, in document order
    // (names compare exactly); null when there is none.
    const XmlNode* FirstElement(const std::string& elementName) const;
    // Every element of that name below this node, in document order.
    std::vector<const XmlNode*> Elements(const std::string& elementName) const;
};

}  // namespace ko
