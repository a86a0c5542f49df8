#include "agent/control/LogonProfile.h"

#include <array>

#include "agent/core/AgentGlobals.h"
#include "platform/XmlNode.h"
#include "shared/AsciiCase.h"

namespace ko::LogonProfile {

namespace {

// The direct child element of that name.
const XmlNode* ChildElement(const XmlNode& node, const char* name) {
    for (const XmlNode& child : node.children) {
        if (child.kind == XmlNode::Kind::Element && child.name == name) {
            return &child;
        }
    }
    return nullptr;
}

}  // namespace

Policies ReadPolicies(const XmlNode& koDom, const RegionalSettings& regional) {
    Policies policies;
    const XmlNode* element = koDom.FirstElement("Policies");
    if (element == nullptr) {
        return policies;
    }
    policies.present = true;
    for (const XmlNode& entry : element->children) {
        const XmlNode* section = entry.Child(0);
        const XmlNode* name = entry.Child(1);
        const XmlNode* value = entry.Child(2);
        if (section == nullptr || name == nullptr || value == nullptr) {
            return policies;
        }
        std::optional<std::int32_t> number = NumberRules::ToInt32(value->Text(), regional);
        if (!number) {
            return policies;
        }
        policies.entries.push_back(PolicyEntry{section->Text(), name->Text(), *number});
    }
    policies.complete = true;
    return policies;
}

bool IsClearablePolicySection(std::string_view section) {
    if (EqualsIgnoringAsciiCase(section, "internetexplorer")) {
        return true;
    }
    static constexpr std::array<const char*, 5> kRoots = {"network", "system", "activedesktop",
                                                          "explorer", "uninstall"};
    std::vector<std::string> parts;
    std::string part;
    for (char c : section) {
        if (c == '\\') {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    for (const std::string& p : parts) {
        if (p.empty() || p == "." || p == ".." || p.find_first_not_of(' ') == std::string::npos) {
            return false;
        }
    }
    const std::string root = AsciiLower(parts.front());
    for (const char* known : kRoots) {
        if (root == known) {
            return true;
        }
    }
    return false;
}

void ApplyGeneralSettings(const XmlNode& koDom, WorkstationOptions& options) {
    for (const XmlNode* setting : koDom.Elements("GSetting")) {
        const XmlNode* name = ChildElement(*setting, "Name");
        const XmlNode* value = ChildElement(*setting, "Value");
        if (name == nullptr || value == nullptr) {
            continue;
        }
        std::optional<std::int16_t> number = NumberRules::ToInt16(value->Text());
        if (!number) {
            continue;
        }
        const std::string which = AsciiLower(name->Text());
        if (which == "trackapp") {
            options.ReportApplications = *number;
        } else if (which == "trackurls") {
            options.ReportUrls = *number;
        }
    }
}

bool ReadCleanUpOptions(const XmlNode& koDom, const RegionalSettings& regional,
                        CleanUpOptions& options) {
    options = CleanUpOptions{};
    const XmlNode* element = koDom.FirstElement("CleanUpSettings");
    if (element == nullptr) {
        return false;
    }
    for (const XmlNode& entry : element->children) {
        const XmlNode* nameNode = entry.Child(0);
        const XmlNode* valueNode = entry.Child(1);
        if (nameNode == nullptr || valueNode == nullptr) {
            return false;
        }
        const std::string name = AsciiLower(nameNode->Text());
        if (name == "scriptname") {
            options.coScriptPath = valueNode->Text();
            continue;
        }
        std::int16_t* target = nullptr;
        if (name == "closeallapp") {
            target = &options.coCloseAllApp;
        } else if (name == "delmydocs") {
            target = &options.coDelMyDocs;
        } else if (name == "deliehistory") {
            target = &options.coDelIEHistory;
        } else if (name == "delietemp") {
            target = &options.coDelIETemp;
        } else if (name == "runscript") {
            target = &options.coRunScript;
        }
        if (target == nullptr) {
            continue;
        }
        std::optional<std::int16_t> number = NumberRules::ToInt16(valueNode->Text(), regional);
        if (!number) {
            return false;
        }
        *target = *number;
    }
    return true;
}

std::vector<std::string> ProgramList(const XmlNode& koDom, const char* elementName) {
    std::vector<std::string> programs;
    const XmlNode* element = koDom.FirstElement(elementName);
    if (element == nullptr) {
        return programs;
    }
    for (const XmlNode& entry : element->children) {
        const XmlNode* first = entry.Child(0);
        if (first == nullptr) {
            break;
        }
        programs.push_back(first->Text());
    }
    return programs;
}

std::vector<std::string> DisallowedApplications(const XmlNode& koDom) {
    std::vector<std::string> names;
    if (const XmlNode* element = koDom.FirstElement("DisallowedApplications")) {
        for (const XmlNode& entry : element->children) {
            names.push_back(entry.Text());
        }
    }
    return names;
}

}  // namespace ko::LogonProfile
