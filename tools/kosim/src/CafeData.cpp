#include "CafeData.h"

#include "DataFileReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace ko {

namespace {

bool HasSeparator(const std::string& text) {
    return text.find('|') != std::string::npos;
}

std::string Trimmed(const std::string& text) {
    auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void ValidateProfile(const std::string& name, const Profile& p, std::vector<std::string>& out) {
    std::string where = "profiles." + name;
    // The workstation takes Windows settings without the account name as an order to log the
    // present user off and switch to an empty one, so such settings are refused here.
    if (!p.windowsSettings.empty()) {
        bool named = std::any_of(p.windowsSettings.begin(), p.windowsSettings.end(),
                                 [](const NameValue& v) { return v.name == "DefaultUserName"; });
        if (!named) {
            out.push_back(where + ".windowsSettings: must name \"DefaultUserName\"");
        }
    }
    static const std::set<std::string> cleanUpNames = {"closeallapp", "delmydocs", "deliehistory",
                                                       "delietemp",   "runscript", "scriptname"};
    for (const auto& v : p.cleanUp) {
        std::string lower = Lower(v.name);
        if (cleanUpNames.count(lower) == 0) {
            out.push_back(where + ".cleanUp." + v.name + ": unknown clean-up option");
        } else if (lower != "scriptname" &&
                   (v.value.empty() ||
                    v.value.find_first_not_of("-0123456789") != std::string::npos)) {
            out.push_back(where + ".cleanUp." + v.name + ": expected a whole number");
        }
    }
    // An empty entry would refuse every address (or close every program) on the workstation.
    for (const auto& url : p.disallowedUrls) {
        if (Trimmed(url).empty()) {
            out.push_back(where + ".disallowedUrls: an empty entry would refuse every address");
        }
    }
    for (const auto& app : p.disallowedApplications) {
        if (Trimmed(app).empty()) {
            out.push_back(where + ".disallowedApplications: empty program name");
        }
    }
    for (const auto& v : p.policies) {
        if (v.name.empty()) {
            out.push_back(where + ".policies: a policy needs a name");
        }
    }
    for (const auto& list : {&p.close, &p.start}) {
        for (const auto& item : *list) {
            if (Trimmed(item).empty()) {
                out.push_back(where + ": empty program in the close or start list");
            }
        }
    }
}

}  // namespace

const Rate* CafeData::FindRate(const std::string& name) const {
    for (const auto& rate : rates) {
        if (rate.name == name) {
            return &rate;
        }
    }
    return nullptr;
}

Account* CafeData::FindAccount(const std::string& id) {
    for (auto& account : accounts) {
        if (account.id == id) {
            return &account;
        }
    }
    return nullptr;
}

const Account* CafeData::FindAccount(const std::string& id) const {
    return const_cast<CafeData*>(this)->FindAccount(id);
}

const Profile* CafeData::FindProfile(const std::string& name) const {
    auto it = profiles.find(name);
    return it == profiles.end() ? nullptr : &it->second;
}

std::optional<CafeData> CafeData::Load(const std::string& path, std::vector<std::string>& errors) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors.push_back(path + ": cannot be read");
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    return Parse(text.str(), errors);
}

std::optional<CafeData> CafeData::Parse(const std::string& text, std::vector<std::string>& errors) {
    std::size_t before = errors.size();
    std::optional<CafeData> data = DataFileReader::Read(text, errors);
    if (data) {
        auto problems = Validate(*data);
        errors.insert(errors.end(), problems.begin(), problems.end());
    }
    if (!data || errors.size() != before) {
        return std::nullopt;
    }
    return data;
}

std::vector<std::string> CafeData::Validate(const CafeData& data) {
    std::vector<std::string> out;
    if (data.statusIntervalSeconds < 1 || data.statusIntervalSeconds > 3600) {
        out.push_back("statusIntervalSeconds: from 1 to 3600");
    }
    if (data.warnBeforeSeconds < 0) {
        out.push_back("warnBeforeSeconds: must not be negative");
    }
    // The workstation's timers hold at most 65 535 ms; a longer hold or idle time misbehaves.
    if (data.options.timeoutMessageSeconds < 0 || data.options.timeoutMessageSeconds > 65) {
        out.push_back("options.timeoutMessageSeconds: from 0 to 65");
    }
    if (HasSeparator(data.options.securityPassword)) {
        out.push_back("options.securityPassword: must not contain \"|\"");
    }
    std::set<std::string> ids;
    for (const auto& a : data.accounts) {
        if (a.id.empty() || HasSeparator(a.id) || HasSeparator(a.password)) {
            out.push_back("customers[" + a.id +
                          "]: id must be non-empty; no \"|\" in id or password");
        }
        if (!ids.insert(a.id).second) {
            out.push_back("customers[" + a.id + "]: id given twice");
        }
        const Rate* rate = data.FindRate(a.rate);
        if (rate == nullptr) {
            out.push_back("customers[" + a.id + "]: unknown rate \"" + a.rate + "\"");
        }
        if (!a.profile.empty() && data.FindProfile(a.profile) == nullptr) {
            out.push_back("customers[" + a.id + "]: unknown profile \"" + a.profile + "\"");
        }
    }
    for (const auto& rate : data.rates) {
        if (rate.perHour < 0) {
            out.push_back("rates[" + rate.name + "]: negative rate");
        }
    }
    std::set<std::string> serviceIds;
    for (const auto& s : data.services) {
        bool plain = !s.id.empty() && std::all_of(s.id.begin(), s.id.end(), [](unsigned char c) {
            return std::isalnum(c) != 0 || c == '_';
        });
        if (!plain) {
            out.push_back("services[" + s.id + "]: id must be letters, digits or _");
        }
        if (!serviceIds.insert(s.id).second) {
            out.push_back("services[" + s.id + "]: id given twice");
        }
    }
    for (const auto& name : {data.logonProfile, data.logoffProfile}) {
        if (!data.profiles.empty() && data.FindProfile(name) == nullptr) {
            out.push_back("profile \"" + name + "\" is named but not given");
        }
    }
    for (const auto& [name, profile] : data.profiles) {
        ValidateProfile(name, profile, out);
    }
    if (!data.advertisements.empty()) {
        if (data.startAdAfterSeconds < 1 || data.startAdAfterSeconds > 65) {
            out.push_back("advertisements.startAfterSeconds: from 1 to 65");
        }
        if (data.advertisements.size() > 148) {
            out.push_back("advertisements: at most 148 pages fit one message");
        }
        // The workstation looks for the next page with a positive duration and never stops
        // looking when there is none.
        bool anyShown = false;
        for (const auto& ad : data.advertisements) {
            anyShown = anyShown || ad.seconds > 0;
            if (ad.seconds > 65) {
                out.push_back("advertisements.pages[" + ad.title + "]: at most 65 seconds");
            }
            if (HasSeparator(ad.url)) {
                out.push_back("advertisements.pages[" + ad.title + "]: no \"|\" in the address");
            }
        }
        if (!anyShown) {
            out.push_back("advertisements: at least one page needs a positive duration");
        }
    }
    return out;
}

std::string FormatCents(Cents cents) {
    unsigned long long magnitude = cents < 0 ? 0ULL - static_cast<unsigned long long>(cents)
                                             : static_cast<unsigned long long>(cents);
    char text[32];
    std::snprintf(text, sizeof text, "%s%llu.%02llu", cents < 0 ? "-" : "", magnitude / 100,
                  magnitude % 100);
    return text;
}

std::optional<Cents> ParseCents(const std::string& text) {
    std::string t = Trimmed(text);
    if (t.empty()) {
        return std::nullopt;
    }
    bool negative = t[0] == '-';
    std::size_t i = negative ? 1 : 0;
    Cents whole = 0;
    std::size_t digits = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) != 0; ++i, ++digits) {
        whole = whole * 10 + (t[i] - '0');
        if (whole > 1000000000000LL) {
            return std::nullopt;
        }
    }
    Cents fraction = 0;
    if (i < t.size() && t[i] == '.') {
        ++i;
        int places = 0;
        for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) != 0; ++i) {
            if (places < 2) {
                fraction = fraction * 10 + (t[i] - '0');
                ++places;
                ++digits;
            } else {
                return std::nullopt;  // more than cents
            }
        }
        if (places == 1) {
            fraction *= 10;
        }
    }
    if (i != t.size() || digits == 0) {
        return std::nullopt;
    }
    Cents value = whole * 100 + fraction;
    return negative ? -value : value;
}

}  // namespace ko
