#include "ProfileDocuments.h"

#include "HtmlPage.h"

namespace ko {

namespace {

std::string Element(const std::string& name, const std::string& text) {
    return "<" + name + ">" + ProfileDocuments::Escape(text) + "</" + name + ">";
}

std::string Pairs(const std::string& section, const std::string& item,
                  const std::vector<NameValue>& values) {
    if (values.empty()) {
        return {};
    }
    std::string out = "<" + section + ">";
    for (const auto& v : values) {
        out += "<" + item + ">" + Element("Name", v.name) + Element("Value", v.value) + "</" +
               item + ">";
    }
    return out + "</" + section + ">";
}

std::string Programs(const std::string& section, const std::string& inner,
                     const std::vector<std::string>& items) {
    if (items.empty()) {
        return {};
    }
    std::string out = "<" + section + ">";
    for (const auto& item : items) {
        out += "<Program>" + Element(inner, item) + "</Program>";
    }
    return out + "</" + section + ">";
}

std::string List(const std::string& section, const std::string& item,
                 const std::vector<std::string>& items) {
    if (items.empty()) {
        return {};
    }
    std::string out = "<" + section + ">";
    for (const auto& text : items) {
        out += Element(item, text);
    }
    return out + "</" + section + ">";
}

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

}  // namespace

std::string ProfileDocuments::Escape(const std::string& text) {
    // The same five characters need escaping in XML as in HTML.
    return HtmlPage::Escape(text);
}

std::string ProfileDocuments::LogonProfile(const Profile& p, const std::string& wsName,
                                           bool logoff) {
    std::string out = std::string(kDeclaration) + "<LogonProfile wsName=\"" + Escape(wsName) +
                      "\" action=\"" + (logoff ? "Logoff" : "Logon") + "\">";
    out += Pairs("WindowsSettings", "Setting", p.windowsSettings);
    if (!p.general.empty()) {
        out += "<GeneralSettings>";
        for (const auto& v : p.general) {
            out +=
                "<GSetting>" + Element("Name", v.name) + Element("Value", v.value) + "</GSetting>";
        }
        out += "</GeneralSettings>";
    }
    out += Pairs("CleanUpSettings", "Option", p.cleanUp);
    out += Programs("Close", "FileName", p.close);
    out += Programs("Start", "CommandLine", p.start);
    out += List("DisallowedApplications", "Program", p.disallowedApplications);
    if (!p.policies.empty()) {
        out += "<Policies>";
        for (const auto& v : p.policies) {
            out += "<Policy>" + Element("Section", v.section) + Element("Name", v.name) +
                   Element("Value", std::to_string(v.value)) + "</Policy>";
        }
        out += "</Policies>";
    }
    return out + "</LogonProfile>\n";
}

std::string ProfileDocuments::LogonSettings(const Profile& p, const std::string& wsName) {
    std::vector<std::string> urls;
    for (const auto& url : p.disallowedUrls) {
        auto first = url.find_first_not_of(" \t\r\n");
        if (first != std::string::npos) {
            urls.push_back(url.substr(first, url.find_last_not_of(" \t\r\n") - first + 1));
        }
    }
    std::string out = std::string(kDeclaration) + "<LogonSettings wsName=\"" + Escape(wsName) +
                      "\"><DisallowedUrls>";
    for (const auto& url : urls) {
        out += Element("Url", url);
    }
    return out + "</DisallowedUrls></LogonSettings>\n";
}

}  // namespace ko
