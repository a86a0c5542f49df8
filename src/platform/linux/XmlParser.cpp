#include "platform/linux/XmlParser.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <memory>
#include <string>

#include "platform/linux/AnsiText.h"

namespace ko {

namespace {

// Refuses every external entity, external DTD subset and XInclude for the whole process: no
// document this program reads may make it open a file or a connection.
xmlParserInputPtr RefuseExternal(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void InstallRefusingLoader() {
    static const bool installed = [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternal);
        return true;
    }();
    (void)installed;
}

std::string Ansi(const xmlChar* text) {
    return text == nullptr ? std::string() : Utf8ToAnsi(reinterpret_cast<const char*>(text));
}

std::string QualifiedName(const xmlChar* name, const xmlNs* ns) {
    std::string result = Ansi(name);
    if (ns != nullptr && ns->prefix != nullptr) {
        result = Ansi(ns->prefix) + ":" + result;
    }
    return result;
}

bool OnlyBlanks(const xmlChar* text) {
    for (const xmlChar* p = text; p != nullptr && *p != 0; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') {
            return false;
        }
    }
    return true;
}

void AddAttributes(const xmlNode* element, XmlNode& out) {
    // Namespace declarations count as attributes, as in the Windows document model.
    for (const xmlNs* ns = element->nsDef; ns != nullptr; ns = ns->next) {
        std::string name = ns->prefix == nullptr ? "xmlns" : "xmlns:" + Ansi(ns->prefix);
        out.attributes.push_back({std::move(name), Ansi(ns->href)});
    }
    for (const xmlAttr* attr = element->properties; attr != nullptr; attr = attr->next) {
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(attr));
        out.attributes.push_back({QualifiedName(attr->name, attr->ns), Ansi(value)});
        xmlFree(value);
    }
}

// False when the document is deeper than the shared tree allows.
bool Convert(const xmlNode* element, XmlNode& out, std::size_t depth) {
    if (depth > XmlNode::kMaxDepth) {
        return false;
    }
    out.kind = XmlNode::Kind::Element;
    out.name = QualifiedName(element->name, element->ns);
    AddAttributes(element, out);
    for (const xmlNode* child = element->children; child != nullptr; child = child->next) {
        switch (child->type) {
            case XML_ELEMENT_NODE: {
                XmlNode node;
                if (!Convert(child, node, depth + 1)) {
                    return false;
                }
                out.children.push_back(std::move(node));
                break;
            }
            case XML_TEXT_NODE:
                // Blank-only texts are layout, dropped as the Windows component drops them.
                if (!OnlyBlanks(child->content)) {
                    out.children.push_back(XmlNode::MakeText(Ansi(child->content)));
                }
                break;
            case XML_CDATA_SECTION_NODE:
                out.children.push_back(XmlNode::MakeCData(Ansi(child->content)));
                break;
            case XML_COMMENT_NODE:
                out.children.push_back(XmlNode::MakeComment(Ansi(child->content)));
                break;
            case XML_PI_NODE: {
                XmlNode node = XmlNode::MakeText(Ansi(child->content));
                node.kind = XmlNode::Kind::Instruction;
                node.name = Ansi(child->name);
                out.children.push_back(std::move(node));
                break;
            }
            default:
                // An external entity's reference: its content is never fetched.
                break;
        }
    }
    return true;
}

}  // namespace

XmlNode ParseXmlDocument(std::string_view body) {
    if (body.empty() || body.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    InstallRefusingLoader();
    // NOENT substitutes the entities the document declares itself, as the Windows component
    // does; an external one is never fetched (the loader refuses it) and stands for nothing. No
    // DTDLOAD; NONET in case anything asks anyway; no HUGE, so the parser's own limit on entity
    // amplification holds. Blank texts are dropped while converting rather than by NOBLANKS,
    // whose guesswork keeps some of them.
    const int options = XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
        xmlReadMemory(body.data(), static_cast<int>(body.size()), nullptr, nullptr, options),
        xmlFreeDoc);
    if (!doc) {
        return {};
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr) {
        return {};
    }
    XmlNode element;
    if (!Convert(root, element, 1)) {
        return {};
    }
    return XmlNode::MakeDocument(std::move(element));
}

}  // namespace ko
