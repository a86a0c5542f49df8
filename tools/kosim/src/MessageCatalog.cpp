#include "MessageCatalog.h"

#include <cctype>

namespace ko {

namespace {

constexpr std::string_view kSecretMark = "*";

// The name of field index + 2; a repeating group at the end names every later field.
std::string_view RawName(const MessageKind& kind, std::size_t index) {
    if (index < kind.fields.size()) {
        return kind.fields[index];
    }
    if (kind.repeat <= 0 || kind.fields.size() < static_cast<std::size_t>(kind.repeat)) {
        return {};
    }
    std::size_t group = static_cast<std::size_t>(kind.repeat);
    std::size_t first = kind.fields.size() - group;
    return kind.fields[first + (index - first) % group];
}

std::string FieldName(const MessageKind& kind, std::size_t index) {
    std::string_view name = RawName(kind, index);
    if (name.starts_with(kSecretMark)) {
        name.remove_prefix(1);
    }
    return name.empty() ? "field " + std::to_string(index + 2) : std::string(name);
}

bool IsSecret(const MessageKind& kind, std::size_t index) {
    return RawName(kind, index).starts_with(kSecretMark);
}

std::string DescribeStatus(const std::vector<std::string>& f) {
    auto at = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
    auto state = MessageCatalog::ReadCode(at(9)).value_or(0);
    std::string out =
        "status: state " + std::to_string(state) + " (" + MessageCatalog::StateName(state) + ")";
    if (state == 1) {
        out += ", customer " + at(1) + ", logon " + at(5) + ", elapsed " + at(6) + ", amount " +
               at(8) + ", remaining " + at(12) + " min / " + at(13) + ", balance " + at(16);
    }
    return out;
}

}  // namespace

const std::vector<MessageKind>& MessageCatalog::Kinds() {
    static const std::vector<MessageKind> kinds = {
        // From the cafe server to the workstation.
        {0, true, "status", "status", {}, 0},
        {7, true, "shutdown", "shut down", {}, 0},
        {13, true, "sak", "secure-attention keys", {"enabled"}, 0},
        {15, true, "message", "operator message", {"id", "text"}, 0},
        {16, true, "question", "operator question", {"id", "text"}, 0},
        {17, true, "text", "text (no effect)", {"text"}, 0},
        {19, true, "closeall", "close all applications", {}, 0},
        {20, true, "closewindow", "close window", {"window"}, 0},
        {21, true, "endwindow", "end tracked window", {"window"}, 0},
        {22, true, "stop", "stop the agent", {}, 0},
        {23,
         true,
         "language",
         "language words",
         {"count", "language", "version", "key", "text"},
         2},
        {24, true, "charset", "language charset", {"charset"}, 0},
        {27, true, "say", "operator message", {"text"}, 0},
        {28, true, "restart", "restart", {}, 0},
        {29, true, "policy", "apply policy", {}, 0},
        {31, true, "urls", "disallowed addresses", {"count", "address"}, 1},
        {32,
         true,
         "ads",
         "advertisement profile",
         {"start after", "count", "address", "seconds"},
         2},
        {33, true, "timeout", "time-out warning", {}, 0},
        {34, true, "sound", "time-out sound", {}, 0},
        {35,
         true,
         "options",
         "workstation options",
         {"secure", "*security password", "unused", "minimize in use", "keep on top",
          "logon settings", "report applications", "report addresses", "warning seconds"},
         0},
        {37, true, "apps", "list applications", {}, 0},
        {42, true, "deletecache", "delete browser cache", {}, 0},
        {43, true, "deletehistory", "delete browser history", {}, 0},
        {44, true, "deletedocs", "delete documents", {}, 0},
        // From the workstation to the cafe server.
        {1, false, "", "logon request", {"customer", "*password"}, 0},
        {2, false, "", "logoff request", {}, 0},
        {5, false, "", "hello", {"name", "computer", "address", "system", "identity"}, 0},
        {14, false, "", "change password", {"*new password"}, 0},
        {20, false, "", "application started", {"class", "process", "program", "window"}, 0},
        {25, false, "", "ping", {}, 0},
        {30,
         false,
         "",
         "service order",
         {"type", "service", "description", "unit", "tax", "quantity", "rate"},
         0},
        {36, false, "", "back online", {}, 0},
        {37, false, "", "application list", {"count", "window", "name", "title"}, 3},
        {47, false, "", "address report", {"address"}, 0},
    };
    return kinds;
}

const MessageKind* MessageCatalog::FindServerWord(std::string_view word) {
    for (const auto& kind : Kinds()) {
        if (kind.fromServer && kind.word == word) {
            return &kind;
        }
    }
    return nullptr;
}

const MessageKind* MessageCatalog::Find(int code, bool fromServer) {
    for (const auto& kind : Kinds()) {
        if (kind.code == code && kind.fromServer == fromServer) {
            return &kind;
        }
    }
    return nullptr;
}

std::vector<std::string> MessageCatalog::SplitFields(std::string_view text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == '|') {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    if (fields.size() > 1 && fields.back().empty()) {
        fields.pop_back();
    }
    return fields;
}

std::optional<int> MessageCatalog::ReadCode(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    long value = 0;
    while (i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])) != 0) {
        value = value * 10 + (field[i] - '0');
        if (value > 1000000000) {
            return std::nullopt;
        }
        ++i;
    }
    if (i + 1 < field.size() && field[i] == '.' &&
        std::isdigit(static_cast<unsigned char>(field[i + 1])) != 0) {
        for (std::size_t j = i + 1;
             j < field.size() && std::isdigit(static_cast<unsigned char>(field[j])) != 0; ++j) {
            if (field[j] != '0') {
                return std::nullopt;  // a fraction matches no code
            }
        }
    }
    return static_cast<int>(negative ? -value : value);
}

std::string MessageCatalog::Compose(int code, const std::vector<std::string>& fields) {
    std::string text = std::to_string(code) + "|";
    for (const auto& field : fields) {
        text += field;
        text += '|';
    }
    return text;
}

bool MessageCatalog::FieldsAreClean(const std::vector<std::string>& fields) {
    for (const auto& field : fields) {
        if (field.find('|') != std::string::npos) {
            return false;
        }
    }
    return true;
}

std::string MessageCatalog::Describe(std::string_view text, bool fromServer) {
    auto fields = SplitFields(text);
    auto code = ReadCode(fields[0]);
    if (!code) {
        return "unknown message (code \"" + fields[0] + "\")";
    }
    const MessageKind* kind = Find(*code, fromServer);
    std::string out = std::to_string(*code) + " ";
    if (kind == nullptr) {
        out += "unknown";
    } else if (kind->code == 0 && fromServer) {
        return out + DescribeStatus(fields);
    } else {
        out += kind->title;
    }
    // A password typed with "|" in it spills into the fields after it: a workstation's
    // message hides everything from its first secret on.
    bool hideRest = false;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        out += i == 1 ? ": " : ", ";
        std::string name =
            kind != nullptr ? FieldName(*kind, i - 1) : "field " + std::to_string(i + 1);
        bool secret = hideRest || (kind != nullptr && IsSecret(*kind, i - 1));
        hideRest = hideRest || (secret && !fromServer);
        out += name + "=" + (secret ? (fields[i].empty() ? "(empty)" : "****") : fields[i]);
    }
    return out;
}

std::string MessageCatalog::StateName(int state) {
    switch (state) {
        case -1:
            return "no server";
        case 0:
            return "free";
        case 1:
            return "in use";
        case 2:
            return "locked";
        case 6:
            return "shut down";
        case 10:
            return "restart";
        case 13:
            return "lock only";
        default:
            return "state " + std::to_string(state);
    }
}

}  // namespace ko
