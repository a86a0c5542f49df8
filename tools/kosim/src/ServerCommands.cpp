#include "ServerCommands.h"

#include "MessageCatalog.h"

namespace ko {

namespace {

bool IsWhole(const std::string& text) {
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    return i < text.size() && text.find_first_not_of("0123456789", i) == std::string::npos;
}

// Splits "name=value".
bool SplitAssignment(const std::string& arg, std::string& name, std::string& value) {
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) {
        return false;
    }
    name = arg.substr(0, eq);
    value = arg.substr(eq + 1);
    return true;
}

}  // namespace

std::string ServerCommands::AdvertisementProfile(const CafeData& data, const std::string& adBase) {
    std::vector<std::string> fields = {std::to_string(data.startAdAfterSeconds),
                                       std::to_string(data.advertisements.size())};
    for (std::size_t i = 0; i < data.advertisements.size(); ++i) {
        const auto& ad = data.advertisements[i];
        fields.push_back(ad.url.empty() ? adBase + "/ws/wsAdvert.asp?ad=" + std::to_string(i + 1)
                                        : ad.url);
        fields.push_back(std::to_string(ad.seconds));
    }
    return MessageCatalog::Compose(32, fields);
}

std::optional<std::string> ServerCommands::Options(const WorkstationOptions& options,
                                                   const std::vector<std::string>& overrides,
                                                   std::string& error) {
    WorkstationOptions o = options;
    for (const auto& arg : overrides) {
        std::string name;
        std::string value;
        if (!SplitAssignment(arg, name, value)) {
            error = "options take name=value pairs, not \"" + arg + "\"";
            return std::nullopt;
        }
        if (name == "securityPassword") {
            o.securityPassword = value;
            continue;
        }
        if (!IsWhole(value)) {
            error = name + ": expected a whole number";
            return std::nullopt;
        }
        int v = std::stoi(value);
        if (name == "secureWorkstation") {
            o.secureWorkstation = v;
        } else if (name == "minimizeInUse") {
            o.minimizeInUse = v;
        } else if (name == "keepOnTop") {
            o.keepOnTop = v;
        } else if (name == "logonSettingsReceived") {
            o.logonSettingsReceived = v;
        } else if (name == "reportApplications") {
            o.reportApplications = v;
        } else if (name == "reportUrls") {
            o.reportUrls = v;
        } else if (name == "timeoutMessageSeconds") {
            if (v < 0 || v > 65) {
                error = "timeoutMessageSeconds: from 0 to 65 (the workstation's timer limit)";
                return std::nullopt;
            }
            o.timeoutMessageSeconds = v;
        } else {
            error = "unknown option " + name;
            return std::nullopt;
        }
    }
    std::vector<std::string> fields = {std::to_string(o.secureWorkstation),
                                       o.securityPassword,
                                       "0",
                                       std::to_string(o.minimizeInUse),
                                       std::to_string(o.keepOnTop),
                                       std::to_string(o.logonSettingsReceived),
                                       std::to_string(o.reportApplications),
                                       std::to_string(o.reportUrls),
                                       std::to_string(o.timeoutMessageSeconds)};
    if (!MessageCatalog::FieldsAreClean(fields)) {
        error = "no \"|\" inside a field";
        return std::nullopt;
    }
    return MessageCatalog::Compose(35, fields);
}

std::optional<std::string> ServerCommands::Build(const std::string& word,
                                                 const std::vector<std::string>& args,
                                                 const CafeData& data, const std::string& adBase,
                                                 std::string& error) {
    const MessageKind* kind = MessageCatalog::FindServerWord(word);
    if (kind == nullptr || kind->code == 0) {
        error = "unknown message \"" + word + "\" (try help)";
        return std::nullopt;
    }
    if (!MessageCatalog::FieldsAreClean(args)) {
        error = "no \"|\" inside a field: the workstation would shift every later field";
        return std::nullopt;
    }
    switch (kind->code) {
        case 35:
            return Options(data.options, args, error);
        case 32: {
            if (!args.empty()) {
                error = "ads takes no arguments: the profile comes from the data file";
                return std::nullopt;
            }
            if (data.advertisements.empty()) {
                error = "the data file has no advertisements";
                return std::nullopt;
            }
            return AdvertisementProfile(data, adBase);
        }
        case 23: {
            // language <id> <version> key=text ...
            if (args.size() < 2) {
                error = "language <id> <version> key=text ...";
                return std::nullopt;
            }
            std::vector<std::string> fields = {std::to_string(args.size() - 2), args[0], args[1]};
            for (std::size_t i = 2; i < args.size(); ++i) {
                std::string key;
                std::string text;
                if (!SplitAssignment(args[i], key, text)) {
                    error = "language words are key=text, not \"" + args[i] + "\"";
                    return std::nullopt;
                }
                fields.push_back(key);
                fields.push_back(text);
            }
            if (args.size() - 2 > 148) {
                error = "at most 148 words fit one message";
                return std::nullopt;
            }
            return MessageCatalog::Compose(23, fields);
        }
        case 31: {
            std::vector<std::string> urls = args;
            if (urls.empty()) {
                const Profile* p = data.FindProfile(data.logonProfile);
                if (p != nullptr) {
                    urls = p->disallowedUrls;
                }
            }
            std::vector<std::string> fields = {std::to_string(urls.size())};
            fields.insert(fields.end(), urls.begin(), urls.end());
            return MessageCatalog::Compose(31, fields);
        }
        default:
            break;
    }
    if (args.size() > kind->fields.size()) {
        error = word + " takes at most " + std::to_string(kind->fields.size()) + " field(s)";
        return std::nullopt;
    }
    if ((kind->code == 13 || kind->code == 20 || kind->code == 21 || kind->code == 24) &&
        (args.size() != 1 || !IsWhole(args[0]))) {
        error = word + " takes one whole number";
        return std::nullopt;
    }
    std::vector<std::string> fields = args;
    fields.resize(kind->fields.size());
    return MessageCatalog::Compose(kind->code, fields);
}

std::string ServerCommands::Help() {
    return "  messages for send <ws|all> <word> [fields]:\n"
           "    shutdown | restart | stop | policy | closeall | timeout | sound | apps\n"
           "    deletecache | deletehistory | deletedocs\n"
           "    sak <0|1>                     secure-attention keys off or on\n"
           "    message <id> <text>           operator message (15)\n"
           "    question <id> <text>          operator message with OK and Cancel (16)\n"
           "    say <text>                    operator message (27)\n"
           "    text <text>                   message 17 (no effect)\n"
           "    closewindow <hwnd> | endwindow <hwnd>\n"
           "    language <id> <version> key=text ...\n"
           "    charset <n>\n"
           "    urls [address ...]            disallowed addresses (31), default from the profile\n"
           "    ads                           advertisement profile from the data file (32)\n"
           "    options [name=value ...]      options (35): secureWorkstation securityPassword\n"
           "                                  minimizeInUse keepOnTop logonSettingsReceived\n"
           "                                  reportApplications reportUrls timeoutMessageSeconds\n"
           "    status                        the workstation's status now (0)\n";
}

}  // namespace ko
