#include "platform/linux/RegistryDocument.h"

#include "platform/linux/RegistryText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <utility>

namespace ko {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kNewline = "\r\n";

}  // namespace

bool RegistryDocument::TreeOrder::operator()(const std::string& a, const std::string& b) const {
    auto rank = [](char c) {
        return c == '\\' ? 0 : static_cast<int>(static_cast<unsigned char>(c)) + 1;
    };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return rank(x) < rank(y); });
}

RegistryDocument::RegistryDocument() {
    for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser, RegRoot::Users}) {
        std::string name = RootName(root);
        m_keys.emplace(Fold(name), Key{name, {}});
    }
}

namespace {

char FoldChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
        u = static_cast<unsigned char>(u - 0x20);
    } else if (u == 0x9A || u == 0x9C || u == 0x9E) {  // š œ ž
        u = static_cast<unsigned char>(u - 0x10);
    } else if (u == 0xFF) {  // ÿ
        u = 0x9F;
    }
    return static_cast<char>(u);
}

// Whether a name equals a folded name, without folding a copy (a key holds many values).
bool SameName(std::string_view name, std::string_view folded) {
    if (name.size() != folded.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (FoldChar(name[i]) != folded[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string RegistryDocument::Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = FoldChar(c);
    }
    return out;
}

std::string RegistryDocument::RootName(RegRoot root) {
    switch (root) {
        case RegRoot::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
        case RegRoot::CurrentUser:
            return "HKEY_CURRENT_USER";
        case RegRoot::Users:
            return "HKEY_USERS";
    }
    return "HKEY_LOCAL_MACHINE";
}

bool RegistryDocument::SplitPath(std::string_view path, std::vector<std::string>& parts) {
    parts.clear();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('\\', start);
        std::string_view part =
            path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
        // Empty parts (a trailing or doubled backslash) are forgiven, as the system forgives them.
        if (!part.empty()) {
            if (!RegistryText::CanStoreName(part)) {
                return false;
            }
            parts.emplace_back(part);
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return true;
}

const RegistryDocument::Key* RegistryDocument::FindKey(RegRoot root, std::string_view path) const {
    std::vector<std::string> parts;
    if (!SplitPath(path, parts)) {
        return nullptr;
    }
    std::string full = RootName(root);
    for (const std::string& part : parts) {
        full += '\\';
        full += part;
    }
    auto it = m_keys.find(Fold(full));
    return it == m_keys.end() ? nullptr : &it->second;
}

RegistryDocument::Key* RegistryDocument::FindKey(RegRoot root, std::string_view path) {
    return const_cast<Key*>(std::as_const(*this).FindKey(root, path));
}

RegistryDocument::Key* RegistryDocument::MakeKey(const std::string& rootName,
                                                 const std::vector<std::string>& parts,
                                                 bool& changed) {
    std::string folded = Fold(rootName);
    Key* key = &m_keys.at(folded);
    for (const std::string& part : parts) {
        folded += '\\';
        folded += Fold(part);
        auto it = m_keys.find(folded);
        if (it == m_keys.end()) {
            it = m_keys.emplace(folded, Key{key->path + '\\' + part, {}}).first;
            changed = true;
        }
        key = &it->second;
    }
    return key;
}

bool RegistryDocument::KeyExists(RegRoot root, std::string_view path) const {
    return FindKey(root, path) != nullptr;
}

const RegistryDocument::Value* RegistryDocument::FindRealValue(const Key& key,
                                                               const std::string& foldedName) {
    for (const Value& value : key.values) {
        if (!value.kept && SameName(value.name, foldedName)) {
            return &value;
        }
    }
    return nullptr;
}

RegistryDocument::Value* RegistryDocument::FindRealValue(Key& key, const std::string& foldedName) {
    return const_cast<Value*>(FindRealValue(std::as_const(key), foldedName));
}

void RegistryDocument::DropKeptLines(Key& key, const std::string& foldedName) {
    std::erase_if(key.values, [&](const Value& v) {
        return v.kept && v.named && SameName(v.name, foldedName);
    });
}

const RegData* RegistryDocument::FindValue(RegRoot root, std::string_view path,
                                           std::string_view name) const {
    const Key* key = FindKey(root, path);
    if (key == nullptr) {
        return nullptr;
    }
    const Value* value = FindRealValue(*key, Fold(name));
    return value == nullptr ? nullptr : &value->data;
}

bool RegistryDocument::SetValue(RegRoot root, std::string_view path, std::string_view name,
                                const RegData& data, bool& changed) {
    Key* key = FindKey(root, path);
    if (key == nullptr || !RegistryText::CanStoreName(name)) {
        return false;
    }
    const std::string folded = Fold(name);
    // A line of the same value that could not be read is replaced by the value now set.
    const std::size_t before = key->values.size();
    DropKeptLines(*key, folded);
    changed = changed || key->values.size() != before;
    if (Value* value = FindRealValue(*key, folded); value != nullptr) {
        if (value->data.type != data.type || value->data.bytes != data.bytes) {
            value->data = data;
            changed = true;
        }
        return true;
    }
    key->values.push_back(Value{std::string(name), data, false, false, {}});
    changed = true;
    return true;
}

bool RegistryDocument::CreateKey(RegRoot root, std::string_view path, bool& changed) {
    std::vector<std::string> parts;
    if (!SplitPath(path, parts)) {
        return false;
    }
    return MakeKey(RootName(root), parts, changed) != nullptr;
}

bool RegistryDocument::DeleteKey(RegRoot root, std::string_view path) {
    return Delete(root, path, false);
}

bool RegistryDocument::DeleteKeyTree(RegRoot root, std::string_view path) {
    return Delete(root, path, true);
}

bool RegistryDocument::Delete(RegRoot root, std::string_view path, bool withSubKeys) {
    std::vector<std::string> parts;
    if (!SplitPath(path, parts) || parts.empty()) {
        return false;  // a root key is never deleted
    }
    const Key* key = FindKey(root, path);
    if (key == nullptr) {
        return false;
    }
    const std::string folded = Fold(key->path);
    // The tree order puts a key's sub-keys right after it, so they form one range.
    const std::string prefix = folded + '\\';
    auto last = m_keys.lower_bound(prefix);
    while (last != m_keys.end() && last->first.compare(0, prefix.size(), prefix) == 0) {
        ++last;
    }
    const auto first = m_keys.find(folded);
    if (!withSubKeys && std::next(first) != last) {
        return false;
    }
    m_keys.erase(first, last);
    return true;
}

bool RegistryDocument::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
    Key* key = FindKey(root, path);
    if (key == nullptr) {
        return false;
    }
    const std::string folded = Fold(name);
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const Value& v) { return !v.kept && SameName(v.name, folded); });
    if (it == key->values.end()) {
        return false;
    }
    key->values.erase(it);
    DropKeptLines(*key, folded);
    return true;
}

RegistryDocument RegistryDocument::Parse(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(RegistryText::TrimRight(text.substr(start, end - start)));
        start = end + 1;
    }
    RegistryDocument document;
    ParseState state;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        document.ParseLine(lines, index, state);
    }
    return document;
}

void RegistryDocument::Keep(const std::vector<std::string_view>& lines, std::size_t first,
                            std::size_t last, const ParseState& state,
                            const std::string* valueName) {
    std::string text;
    for (std::size_t i = first; i <= last && i < lines.size(); ++i) {
        if (i != first) {
            text += kNewline;
        }
        text += lines[i];
    }
    if (state.current != nullptr) {
        Value kept;
        kept.kept = true;
        kept.named = valueName != nullptr;
        kept.name = valueName != nullptr ? *valueName : std::string();
        kept.keptText = std::move(text);
        state.current->values.push_back(std::move(kept));
    } else if (state.inSection) {
        m_unknownSections.push_back(std::move(text));
    } else {
        m_preamble.push_back(std::move(text));
    }
}

void RegistryDocument::ParseLine(const std::vector<std::string_view>& lines, std::size_t& index,
                                 ParseState& state) {
    const std::size_t first = index;
    std::string_view line = RegistryText::TrimLeft(lines[index]);
    if (line.empty() || line == kHeader) {
        return;
    }
    if (line.front() == '[') {
        state.current = nullptr;
        state.inSection = true;
        std::size_t close = line.rfind(']');
        if (close != std::string_view::npos && close >= 2 && line[1] != '-') {
            std::string_view inner = line.substr(1, close - 1);
            std::string_view rootPart = inner.substr(0, inner.find('\\'));
            const std::string foldedRoot = Fold(rootPart);
            for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser, RegRoot::Users}) {
                if (Fold(RootName(root)) != foldedRoot) {
                    continue;
                }
                std::vector<std::string> parts;
                std::string_view rest =
                    rootPart.size() < inner.size() ? inner.substr(rootPart.size() + 1) : "";
                if (SplitPath(rest, parts)) {
                    bool changed = false;
                    state.current = MakeKey(RootName(root), parts, changed);
                }
            }
        }
        if (state.current == nullptr) {
            // Malformed, a deletion entry, or a root this store does not hold: the section is
            // kept as text, its values with it.
            Keep(lines, first, first, state, nullptr);
        }
        return;
    }
    if (state.current == nullptr || (line.front() != '"' && line.front() != '@')) {
        Keep(lines, first, first, state, nullptr);
        return;
    }

    std::string name;
    std::size_t pos = 1;
    if (line.front() == '"') {
        std::optional<std::size_t> after = RegistryText::ReadQuoted(line, name);
        if (!after) {
            Keep(lines, first, first, state, nullptr);
            return;
        }
        pos = *after;
    }
    std::string_view rest = RegistryText::TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=') {
        Keep(lines, first, first, state, nullptr);
        return;
    }
    rest = RegistryText::TrimLeft(rest.substr(1));

    RegData data;
    if (!RegistryText::ParseData(rest, lines, index, data)) {
        // "=-" (a deletion), or data that cannot be read: kept, with its continuation lines.
        Keep(lines, first, index, state, &name);
        return;
    }

    Key& key = *state.current;
    if (Value* value = FindRealValue(key, Fold(name)); value != nullptr) {
        value->data = std::move(data);
        return;
    }
    key.values.push_back(Value{std::move(name), std::move(data), false, false, {}});
}

std::string RegistryDocument::Serialize() const {
    std::string out(kHeader);
    out += kNewline;
    for (const std::string& line : m_preamble) {
        out += line;
        out += kNewline;
    }
    out += kNewline;
    for (const auto& [folded, key] : m_keys) {
        const bool isRoot = key.path.find('\\') == std::string::npos;
        if (isRoot && key.values.empty()) {
            continue;
        }
        out += '[';
        out += key.path;
        out += ']';
        out += kNewline;
        // The default value comes first, as the registry editor writes it.
        std::vector<const Value*> ordered;
        for (const Value& value : key.values) {
            ordered.push_back(&value);
        }
        std::stable_partition(ordered.begin(), ordered.end(),
                              [](const Value* v) { return !v->kept && v->name.empty(); });
        for (const Value* value : ordered) {
            if (value->kept) {
                out += value->keptText;
                out += kNewline;
                continue;
            }
            std::string line =
                value->name.empty() ? std::string("@") : RegistryText::Quote(value->name);
            line += '=';
            RegistryText::AppendValue(out, std::move(line), value->data);
        }
        out += kNewline;
    }
    for (const std::string& line : m_unknownSections) {
        out += line;
        out += kNewline;
    }
    return out;
}

}  // namespace ko
