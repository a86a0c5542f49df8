#include "watcher/DisallowedUrlList.h"

#include <algorithm>
#include <deque>
#include <map>

namespace ko::watcher {

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = FoldCase(c);
    }
    return out;
}

DisallowedUrlList::DisallowedUrlList() : DisallowedUrlList(std::vector<std::string>{}) {}

DisallowedUrlList::DisallowedUrlList(const std::vector<std::string>& texts) {
    // The trie first, with ordered child maps, then flattened into sorted edge runs.
    std::vector<std::map<unsigned char, std::uint32_t>> children(1);
    std::vector<bool> ends(1, false);
    for (const std::string& text : texts) {
        if (text.empty()) {
            continue;
        }
        ++m_entries;
        std::uint32_t state = 0;
        for (char c : text) {
            const auto byte = static_cast<unsigned char>(FoldCase(c));
            auto found = children[state].find(byte);
            if (found == children[state].end()) {
                const auto next = static_cast<std::uint32_t>(children.size());
                children[state].emplace(byte, next);
                children.emplace_back();
                ends.push_back(false);
                state = next;
            } else {
                state = found->second;
            }
        }
        ends[state] = true;
    }

    m_nodes.resize(children.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        m_nodes[i].firstEdge = static_cast<std::uint32_t>(m_edges.size());
        m_nodes[i].edgeCount = static_cast<std::uint32_t>(children[i].size());
        m_nodes[i].terminal = ends[i];
        for (const auto& [byte, target] : children[i]) {
            m_edges.push_back(Edge{byte, target});
        }
    }
    m_rootMoves.assign(256, 0);
    for (const auto& [byte, target] : children[0]) {
        m_rootMoves[byte] = target;
    }

    // Failure links breadth first: a state falls back to the longest proper suffix of its text
    // that is also in the trie, and is terminal when that suffix holds an entry.
    std::deque<std::uint32_t> queue;
    for (const auto& [byte, target] : children[0]) {
        m_nodes[target].fail = 0;
        queue.push_back(target);
    }
    while (!queue.empty()) {
        const std::uint32_t state = queue.front();
        queue.pop_front();
        for (const auto& [byte, target] : children[state]) {
            const std::uint32_t fallback = Step(m_nodes[state].fail, byte);
            m_nodes[target].fail = fallback;
            m_nodes[target].terminal = m_nodes[target].terminal || m_nodes[fallback].terminal;
            queue.push_back(target);
        }
    }
}

DisallowedUrlList DisallowedUrlList::FromDocument(const XmlNode& document) {
    const XmlNode* list = document.FirstElement("DisallowedUrls");
    if (list == nullptr) {
        return DisallowedUrlList();
    }
    std::vector<std::string> texts;
    texts.reserve(list->children.size());
    for (const XmlNode& child : list->children) {
        if (child.kind == XmlNode::Kind::Comment || child.kind == XmlNode::Kind::Instruction) {
            continue;
        }
        texts.push_back(child.Text());
    }
    return DisallowedUrlList(texts);
}

std::optional<std::uint32_t> DisallowedUrlList::Child(std::uint32_t state,
                                                      unsigned char byte) const {
    const Node& node = m_nodes[state];
    const Edge* first = m_edges.data() + node.firstEdge;
    const Edge* last = first + node.edgeCount;
    const Edge* found = std::lower_bound(first, last, byte,
                                         [](const Edge& e, unsigned char b) { return e.byte < b; });
    if (found != last && found->byte == byte) {
        return found->target;
    }
    return std::nullopt;
}

std::uint32_t DisallowedUrlList::Step(std::uint32_t state, unsigned char byte) const {
    while (state != 0) {
        if (auto next = Child(state, byte)) {
            return *next;
        }
        state = m_nodes[state].fail;
    }
    return m_rootMoves[byte];
}

bool DisallowedUrlList::FoundIn(std::string_view text) const {
    if (m_entries == 0) {
        return false;
    }
    std::uint32_t state = 0;
    for (char c : text) {
        state = Step(state, static_cast<unsigned char>(FoldCase(c)));
        if (m_nodes[state].terminal) {
            return true;
        }
    }
    return false;
}

}  // namespace ko::watcher
