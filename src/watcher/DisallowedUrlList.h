#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/XmlNode.h"

namespace ko::watcher {

// The disallowed texts of one logon settings document, compiled once into a matcher that finds
// whether any of them lies anywhere in an address in one pass over the address (Aho-Corasick),
// so a navigation costs the same with ten entries or ten thousand. Texts compare with ASCII case
// folding only: bytes above 127 are ANSI letters whose case the filter leaves alone.
class DisallowedUrlList {
  public:
    // An empty list refuses nothing.
    DisallowedUrlList();
    // Entries with empty text are left out: an empty text would be found in every address and a
    // blank entry would end all browsing.
    explicit DisallowedUrlList(const std::vector<std::string>& texts);

    // The list of a loaded document: the child nodes of its first "DisallowedUrls" element, in
    // document order, each giving its text. Comments and processing instructions are notes, not
    // entries. A document without that element gives the empty list.
    static DisallowedUrlList FromDocument(const XmlNode& document);

    // Entries kept (non-empty texts).
    std::size_t Size() const { return m_entries; }
    bool Empty() const { return m_entries == 0; }

    // True when some entry occurs in text (plain substring, any letter case).
    bool FoundIn(std::string_view text) const;

  private:
    struct Node {
        std::uint32_t firstEdge = 0;  // index into m_edges
        std::uint32_t edgeCount = 0;
        std::uint32_t fail = 0;
        bool terminal = false;  // an entry ends here or at a state this one falls back to
    };
    struct Edge {
        unsigned char byte;
        std::uint32_t target;
    };

    // The state reached from state on byte, following failure links; the root takes every byte.
    std::uint32_t Step(std::uint32_t state, unsigned char byte) const;
    std::optional<std::uint32_t> Child(std::uint32_t state, unsigned char byte) const;

    std::vector<Node> m_nodes;
    std::vector<Edge> m_edges;  // each node's edges sorted by byte
    // The root's moves for every byte, so a miss at the root costs one lookup.
    std::vector<std::uint32_t> m_rootMoves;
    std::size_t m_entries = 0;
};

// ASCII lower case; other bytes unchanged.
char FoldCase(char c);
std::string FoldCase(std::string_view text);

}  // namespace ko::watcher
