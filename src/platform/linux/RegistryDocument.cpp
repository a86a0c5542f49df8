#include "platform/linux/RegistryDocument.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>

namespace ko {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kNewline = "\r\n";
// Like the registry editor, long hex lists are wrapped with a trailing backslash.
constexpr std::size_t kHexLineWidth = 77;

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           RegistryDocument::Fold(text.substr(0, prefix.size())) == RegistryDocument::Fold(prefix);
}

// Reads a quoted text at the start of text (which begins with the quote); \\ and \" are the
// escapes. Returns the position after the closing quote, or nothing when it is not closed.
std::optional<std::size_t> ReadQuoted(std::string_view text, std::string& out) {
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (c == '"') {
            return i + 1;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

// A comma-separated list of hex bytes; false when a token is not one or two hex digits.
bool ParseHexList(std::string_view text, std::string& bytes) {
    text = TrimRight(TrimLeft(text));
    if (text.empty()) {
        return true;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string_view token = TrimRight(TrimLeft(
            text.substr(start, comma == std::string_view::npos ? text.npos : comma - start)));
        if (token.empty() && comma == std::string_view::npos) {
            break;  // a trailing comma
        }
        if (token.empty() || token.size() > 2) {
            return false;
        }
        int value = 0;
        for (char c : token) {
            int digit = HexDigit(c);
            if (digit < 0) {
                return false;
            }
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

bool CanStoreName(std::string_view name) {
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsPlainString(const RegData& data) {
    const std::string& b = data.bytes;
    return !b.empty() && b.back() == '\0' &&
           b.find_first_of(std::string_view("\r\n\0", 3)) == b.size() - 1;
}

void AppendHex(std::string& out, std::string line, const std::string& bytes) {
    char hex[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
        std::string piece = hex;
        if (i + 1 < bytes.size()) {
            piece += ',';
        }
        if (line.size() + piece.size() > kHexLineWidth && line.back() == ',') {
            out += line;
            out += '\\';
            out += kNewline;
            line = "  ";
        }
        line += piece;
    }
    out += line;
    out += kNewline;
}

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

std::string RegistryDocument::Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
            u = static_cast<unsigned char>(u - 0x20);
        } else if (u == 0x9A || u == 0x9C || u == 0x9E) {  // š œ ž
            u = static_cast<unsigned char>(u - 0x10);
        } else if (u == 0xFF) {  // ÿ
            u = 0x9F;
        }
        c = static_cast<char>(u);
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
            if (!CanStoreName(part)) {
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

bool RegistryDocument::HasSubKeys(const std::string& foldedPath) const {
    const std::string prefix = foldedPath + '\\';
    auto it = m_keys.lower_bound(prefix);
    return it != m_keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

bool RegistryDocument::KeyExists(RegRoot root, std::string_view path) const {
    return FindKey(root, path) != nullptr;
}

const RegData* RegistryDocument::FindValue(RegRoot root, std::string_view path,
                                           std::string_view name) const {
    const Key* key = FindKey(root, path);
    if (key == nullptr) {
        return nullptr;
    }
    const std::string folded = Fold(name);
    for (const Value& value : key->values) {
        if (Fold(value.name) == folded) {
            return &value.data;
        }
    }
    return nullptr;
}

bool RegistryDocument::SetValue(RegRoot root, std::string_view path, std::string_view name,
                                const RegData& data, bool& changed) {
    Key* key = FindKey(root, path);
    if (key == nullptr || !CanStoreName(name)) {
        return false;
    }
    const std::string folded = Fold(name);
    for (Value& value : key->values) {
        if (Fold(value.name) == folded) {
            if (value.data.type != data.type || value.data.bytes != data.bytes) {
                value.data = data;
                changed = true;
            }
            return true;
        }
    }
    key->values.push_back(Value{std::string(name), data});
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
    std::vector<std::string> parts;
    if (!SplitPath(path, parts) || parts.empty()) {
        return false;  // a root key is never deleted
    }
    const Key* key = FindKey(root, path);
    if (key == nullptr) {
        return false;
    }
    const std::string folded = Fold(key->path);
    if (HasSubKeys(folded)) {
        return false;
    }
    m_keys.erase(folded);
    return true;
}

bool RegistryDocument::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
    Key* key = FindKey(root, path);
    if (key == nullptr) {
        return false;
    }
    const std::string folded = Fold(name);
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const Value& v) { return Fold(v.name) == folded; });
    if (it == key->values.end()) {
        return false;
    }
    key->values.erase(it);
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
        lines.push_back(TrimRight(text.substr(start, end - start)));
        start = end + 1;
    }
    RegistryDocument document;
    Key* current = nullptr;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        document.ParseLine(lines, index, current);
    }
    return document;
}

void RegistryDocument::ParseLine(const std::vector<std::string_view>& lines, std::size_t& index,
                                 Key*& current) {
    std::string_view line = TrimLeft(lines[index]);
    if (line.empty() || line.front() == ';' || line == kHeader) {
        return;
    }
    if (line.front() == '[') {
        current = nullptr;
        std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || close < 2 || line[1] == '-') {
            return;  // malformed, or a deletion entry: its values are skipped too
        }
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
                current = MakeKey(RootName(root), parts, changed);
            }
        }
        return;
    }
    if (current == nullptr || (line.front() != '"' && line.front() != '@')) {
        return;
    }

    std::string name;
    std::size_t pos = 1;
    if (line.front() == '"') {
        std::optional<std::size_t> after = ReadQuoted(line, name);
        if (!after) {
            return;
        }
        pos = *after;
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=') {
        return;
    }
    rest = TrimLeft(rest.substr(1));

    RegData data;
    if (!rest.empty() && rest.front() == '"') {
        std::string value;
        std::optional<std::size_t> after = ReadQuoted(rest, value);
        if (!after || !TrimLeft(rest.substr(*after)).empty()) {
            return;
        }
        data.type = kRegSz;
        data.bytes = value + '\0';
    } else if (StartsWithNoCase(rest, "dword:")) {
        std::string_view digits = TrimLeft(rest.substr(6));
        if (digits.empty() || digits.size() > 8) {
            return;
        }
        std::uint32_t number = 0;
        for (char c : digits) {
            int digit = HexDigit(c);
            if (digit < 0) {
                return;
            }
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        data.type = kRegDword;
        for (int i = 0; i < 4; ++i) {
            data.bytes += static_cast<char>((number >> (8 * i)) & 0xFF);
        }
    } else if (StartsWithNoCase(rest, "hex")) {
        rest.remove_prefix(3);
        data.type = kRegBinary;
        if (!rest.empty() && rest.front() == '(') {
            std::size_t close = rest.find(')');
            if (close == std::string_view::npos || close < 2 || close > 9) {
                return;
            }
            std::uint32_t type = 0;
            for (char c : rest.substr(1, close - 1)) {
                int digit = HexDigit(c);
                if (digit < 0) {
                    return;
                }
                type = type * 16 + static_cast<std::uint32_t>(digit);
            }
            data.type = type;
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            return;
        }
        std::string list(rest.substr(1));
        // Continuation lines: a trailing backslash joins the next line.
        while (!list.empty() && list.back() == '\\' && index + 1 < lines.size()) {
            list.pop_back();
            list += TrimLeft(lines[++index]);
        }
        if (!list.empty() && list.back() == '\\') {
            list.pop_back();
        }
        if (!ParseHexList(list, data.bytes)) {
            return;
        }
    } else {
        return;  // "=-" (a deletion) or something unknown
    }

    const std::string folded = Fold(name);
    for (Value& value : current->values) {
        if (Fold(value.name) == folded) {
            value.data = std::move(data);
            return;
        }
    }
    current->values.push_back(Value{std::move(name), std::move(data)});
}

std::string RegistryDocument::Serialize() const {
    std::string out(kHeader);
    out += kNewline;
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
                              [](const Value* v) { return v->name.empty(); });
        for (const Value* value : ordered) {
            std::string line = value->name.empty() ? std::string("@") : Quote(value->name);
            line += '=';
            const RegData& data = value->data;
            if (data.type == kRegSz && IsPlainString(data)) {
                line += Quote(std::string_view(data.bytes).substr(0, data.bytes.size() - 1));
                out += line;
                out += kNewline;
            } else if (data.type == kRegDword && data.bytes.size() == 4) {
                std::uint32_t number = 0;
                for (int i = 3; i >= 0; --i) {
                    number = (number << 8) | static_cast<unsigned char>(data.bytes[i]);
                }
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", number);
                out += line + hex;
                out += kNewline;
            } else {
                // Binary data, and whatever the plain forms cannot carry exactly (a text without
                // its NUL or with a line break, a DWORD of the wrong size).
                if (data.type == kRegBinary) {
                    line += "hex:";
                } else {
                    char prefix[24];
                    std::snprintf(prefix, sizeof prefix, "hex(%x):", data.type);
                    line += prefix;
                }
                AppendHex(out, std::move(line), data.bytes);
            }
        }
        out += kNewline;
    }
    return out;
}

}  // namespace ko
