#include "platform/linux/RegistryText.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "platform/linux/RegistryDocument.h"
#include "shared/NumberRules.h"

namespace ko {

namespace {

constexpr std::string_view kNewline = "\r\n";
// Like the registry editor, long hex lists are wrapped with a trailing backslash.
constexpr std::size_t kHexLineWidth = 77;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           RegistryDocument::Fold(text.substr(0, prefix.size())) == RegistryDocument::Fold(prefix);
}

// A comma-separated list of hex bytes; false when a token is not one or two hex digits.
bool ParseHexList(std::string_view text, std::string& bytes) {
    text = RegistryText::TrimRight(RegistryText::TrimLeft(text));
    if (text.empty()) {
        return true;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string_view token = RegistryText::TrimRight(RegistryText::TrimLeft(
            text.substr(start, comma == std::string_view::npos ? text.npos : comma - start)));
        if (token.empty() && comma == std::string_view::npos) {
            break;  // a trailing comma
        }
        if (token.empty() || token.size() > 2) {
            return false;
        }
        int value = 0;
        for (char c : token) {
            int digit = NumberRules::HexDigitValue(c);
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

std::string_view RegistryText::TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view RegistryText::TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::size_t> RegistryText::ReadQuoted(std::string_view text, std::string& out) {
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

std::string RegistryText::Quote(std::string_view text) {
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

bool RegistryText::CanStoreName(std::string_view name) {
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool RegistryText::ParseData(std::string_view rest, const std::vector<std::string_view>& lines,
                             std::size_t& index, RegData& data) {
    if (!rest.empty() && rest.front() == '"') {
        std::string value;
        std::optional<std::size_t> after = ReadQuoted(rest, value);
        if (!after || !TrimLeft(rest.substr(*after)).empty()) {
            return false;
        }
        data.type = kRegSz;
        data.bytes = value + '\0';
    } else if (StartsWithNoCase(rest, "dword:")) {
        std::string_view digits = TrimLeft(rest.substr(6));
        if (digits.empty() || digits.size() > 8) {
            return false;
        }
        std::uint32_t number = 0;
        for (char c : digits) {
            int digit = NumberRules::HexDigitValue(c);
            if (digit < 0) {
                return false;
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
                return false;
            }
            std::uint32_t type = 0;
            for (char c : rest.substr(1, close - 1)) {
                int digit = NumberRules::HexDigitValue(c);
                if (digit < 0) {
                    return false;
                }
                type = type * 16 + static_cast<std::uint32_t>(digit);
            }
            data.type = type;
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            return false;
        }
        std::string list(rest.substr(1));
        // Continuation lines: a trailing backslash joins the next line, when that line goes on
        // with hex digits. A header or a value never continues a list: swallowing it would drop
        // a whole key the next time the file is read.
        const auto continues = [](std::string_view next) {
            next = TrimLeft(next);
            return !next.empty() && std::isxdigit(static_cast<unsigned char>(next.front())) != 0;
        };
        while (!list.empty() && list.back() == '\\' && index + 1 < lines.size() &&
               continues(lines[index + 1])) {
            list.pop_back();
            list += TrimLeft(lines[++index]);
        }
        if (!list.empty() && list.back() == '\\') {
            list.pop_back();
        }
        if (!ParseHexList(list, data.bytes)) {
            return false;
        }
    } else {
        return false;  // "=-" (a deletion) or something unknown
    }
    return true;
}

void RegistryText::AppendValue(std::string& out, std::string line, const RegData& data) {
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

}  // namespace ko
