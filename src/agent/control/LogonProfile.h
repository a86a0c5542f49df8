#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shared/NumberRules.h"

namespace ko {

struct XmlNode;
struct WorkstationOptions;

// What the customer's profile document says, read the way the profile handler reads it: each part
// is the first element of its name at any depth; an entry's fields are its child nodes in order.
namespace LogonProfile {

struct PolicyEntry {
    std::string section;
    std::string name;
    std::int32_t value = 0;
};

// The "Policies" entries up to the first that lacks a field or whose value is not a number.
// `complete` tells whether every entry was read; `present` whether the element exists.
struct Policies {
    bool present = false;
    bool complete = false;
    std::vector<PolicyEntry> entries;
};
Policies ReadPolicies(const XmlNode& koDom, const RegionalSettings& regional);

// True when the section's key lies under one of the six policy keys that a clear removes, with
// no empty, "." or ".." part: only such a section can be taken away again.
bool IsClearablePolicySection(std::string_view section);

// The "GSetting" elements anywhere in the document: "trackapp" and "trackurls" set the two
// reporting switches.
void ApplyGeneralSettings(const XmlNode& koDom, WorkstationOptions& options);

struct CleanUpOptions {
    std::int16_t coCloseAllApp = 0;
    std::int16_t coDelMyDocs = 0;
    std::int16_t coDelIETemp = 0;
    std::int16_t coDelIEHistory = 0;
    std::int16_t coRunScript = 0;
    std::string coScriptPath;
};
// False when the profile has no "CleanUpSettings" or an entry is malformed: then nothing of the
// clean-up runs.
bool ReadCleanUpOptions(const XmlNode& koDom, const RegionalSettings& regional,
                        CleanUpOptions& options);

// The first child's text of each child of the element ("Close", "Start"), up to the first child
// without one.
std::vector<std::string> ProgramList(const XmlNode& koDom, const char* elementName);
// The text of each child of "DisallowedApplications".
std::vector<std::string> DisallowedApplications(const XmlNode& koDom);

}  // namespace LogonProfile

}  // namespace ko
