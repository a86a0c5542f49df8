#include "DataFileReader.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace ko {

namespace {

using Json = nlohmann::ordered_json;

// The data file is read leniently about what is missing and strictly about what is there: a
// present key of the wrong type is an error, so a typo does not silently become a default.
class Reader {
  public:
    explicit Reader(std::vector<std::string>& errors) : m_errors(errors) {}

    void Error(const std::string& where, const std::string& what) {
        m_errors.push_back(where + ": " + what);
    }

    void Text(const Json& j, const char* key, std::string& out, const std::string& where) {
        if (!j.contains(key)) {
            return;
        }
        const Json& v = j.at(key);
        if (v.is_string()) {
            out = v.get<std::string>();
        } else if (v.is_number()) {
            out = v.dump();
        } else {
            Error(where + "." + key, "expected a text");
        }
    }

    void Int(const Json& j, const char* key, int& out, const std::string& where) {
        if (!j.contains(key)) {
            return;
        }
        const Json& v = j.at(key);
        if (v.is_number_integer()) {
            out = v.get<int>();
        } else if (v.is_boolean()) {
            out = v.get<bool>() ? 1 : 0;
        } else {
            Error(where + "." + key, "expected a whole number");
        }
    }

    void Bool(const Json& j, const char* key, bool& out, const std::string& where) {
        if (!j.contains(key)) {
            return;
        }
        if (j.at(key).is_boolean()) {
            out = j.at(key).get<bool>();
        } else {
            Error(where + "." + key, "expected true or false");
        }
    }

    void Money(const Json& j, const char* key, Cents& out, const std::string& where) {
        if (!j.contains(key)) {
            return;
        }
        const Json& v = j.at(key);
        std::optional<Cents> cents;
        if (v.is_number()) {
            cents = static_cast<Cents>(std::llround(v.get<double>() * 100.0));
        } else if (v.is_string()) {
            cents = ParseCents(v.get<std::string>());
        }
        if (cents) {
            out = *cents;
        } else {
            Error(where + "." + key, "expected an amount such as \"12.50\"");
        }
    }

    void TextList(const Json& j, const char* key, std::vector<std::string>& out,
                  const std::string& where) {
        if (!j.contains(key)) {
            return;
        }
        if (!j.at(key).is_array()) {
            Error(where + "." + key, "expected a list of texts");
            return;
        }
        for (const auto& item : j.at(key)) {
            if (item.is_string()) {
                out.push_back(item.get<std::string>());
            } else {
                Error(where + "." + key, "expected a list of texts");
            }
        }
    }

    // {"name": "value", ...} in file order.
    void Pairs(const Json& j, const char* key, std::vector<NameValue>& out,
               const std::string& where) {
        if (!j.contains(key)) {
            return;
        }
        if (!j.at(key).is_object()) {
            Error(where + "." + key, "expected an object of names and values");
            return;
        }
        for (const auto& [name, value] : j.at(key).items()) {
            if (value.is_string()) {
                out.push_back({name, value.get<std::string>()});
            } else if (value.is_number_integer() || value.is_boolean()) {
                out.push_back(
                    {name, value.is_boolean() ? (value.get<bool>() ? "1" : "0") : value.dump()});
            } else {
                Error(where + "." + key + "." + name, "expected a text or a whole number");
            }
        }
    }

  private:
    std::vector<std::string>& m_errors;
};

bool IsObject(Reader& r, const Json& j, const std::string& where) {
    if (!j.is_object()) {
        r.Error(where, "expected an object");
        return false;
    }
    return true;
}

Profile ReadProfile(Reader& r, const Json& j, const std::string& where) {
    Profile p;
    if (!IsObject(r, j, where)) {
        return p;
    }
    r.Pairs(j, "windowsSettings", p.windowsSettings, where);
    r.Pairs(j, "general", p.general, where);
    r.Pairs(j, "cleanUp", p.cleanUp, where);
    r.TextList(j, "close", p.close, where);
    r.TextList(j, "start", p.start, where);
    r.TextList(j, "disallowedApplications", p.disallowedApplications, where);
    r.TextList(j, "disallowedUrls", p.disallowedUrls, where);
    if (j.contains("policies")) {
        if (!j.at("policies").is_array()) {
            r.Error(where + ".policies", "expected a list");
        } else {
            for (const auto& item : j.at("policies")) {
                std::string at = where + ".policies";
                if (!IsObject(r, item, at)) {
                    continue;
                }
                PolicyValue v;
                int value = 0;
                r.Text(item, "section", v.section, at);
                r.Text(item, "name", v.name, at);
                r.Int(item, "value", value, at);
                v.value = value;
                p.policies.push_back(v);
            }
        }
    }
    return p;
}

void ReadCustomers(Reader& r, const Json& j, CafeData& data) {
    for (const auto& item : j) {
        std::string where = "customers";
        if (!IsObject(r, item, where)) {
            continue;
        }
        Account a;
        r.Text(item, "id", a.id, where);
        where += "[" + a.id + "]";
        r.Text(item, "password", a.password, where);
        r.Text(item, "name", a.name, where);
        r.Text(item, "rate", a.rate, where);
        r.Money(item, "payments", a.payments, where);
        r.Money(item, "billed", a.billed, where);
        r.Bool(item, "postpaid", a.postpaid, where);
        r.Bool(item, "canChangePassword", a.canChangePassword, where);
        r.Text(item, "profile", a.profile, where);
        if (item.contains("history") && item.at("history").is_array()) {
            for (const auto& h : item.at("history")) {
                if (!IsObject(r, h, where + ".history")) {
                    continue;
                }
                PastSession s;
                r.Text(h, "date", s.date, where + ".history");
                r.Text(h, "workstation", s.workstation, where + ".history");
                r.Int(h, "minutes", s.minutes, where + ".history");
                r.Money(h, "amount", s.amount, where + ".history");
                a.history.push_back(s);
            }
        }
        data.accounts.push_back(a);
    }
}

void ReadServices(Reader& r, const Json& j, CafeData& data) {
    for (const auto& item : j) {
        if (!IsObject(r, item, "services")) {
            continue;
        }
        Service s;
        r.Text(item, "id", s.id, "services");
        std::string where = "services[" + s.id + "]";
        r.Text(item, "description", s.description, where);
        r.Money(item, "price", s.price, where);
        r.Text(item, "unit", s.unit, where);
        r.Int(item, "type", s.type, where);
        if (item.contains("tax")) {
            if (item.at("tax").is_number()) {
                s.tax = item.at("tax").get<double>();
            } else {
                r.Error(where + ".tax", "expected a number");
            }
        }
        data.services.push_back(s);
    }
}

void ReadAdvertisements(Reader& r, const Json& j, CafeData& data) {
    if (!IsObject(r, j, "advertisements")) {
        return;
    }
    r.Int(j, "startAfterSeconds", data.startAdAfterSeconds, "advertisements");
    r.Bool(j, "sendOnConnect", data.sendAdsOnConnect, "advertisements");
    if (j.contains("pages") && j.at("pages").is_array()) {
        for (const auto& item : j.at("pages")) {
            if (!IsObject(r, item, "advertisements.pages")) {
                continue;
            }
            Advertisement ad;
            r.Text(item, "title", ad.title, "advertisements.pages");
            r.Text(item, "text", ad.text, "advertisements.pages");
            r.Text(item, "url", ad.url, "advertisements.pages");
            r.Int(item, "seconds", ad.seconds, "advertisements.pages");
            data.advertisements.push_back(ad);
        }
    }
}

void ReadOptions(Reader& r, const Json& j, CafeData& data) {
    if (!IsObject(r, j, "options")) {
        return;
    }
    WorkstationOptions& o = data.options;
    r.Int(j, "secureWorkstation", o.secureWorkstation, "options");
    r.Text(j, "securityPassword", o.securityPassword, "options");
    r.Int(j, "minimizeInUse", o.minimizeInUse, "options");
    r.Int(j, "keepOnTop", o.keepOnTop, "options");
    r.Int(j, "logonSettingsReceived", o.logonSettingsReceived, "options");
    r.Int(j, "reportApplications", o.reportApplications, "options");
    r.Int(j, "reportUrls", o.reportUrls, "options");
    r.Int(j, "timeoutMessageSeconds", o.timeoutMessageSeconds, "options");
    r.Bool(j, "sendOnConnect", data.sendOptionsOnConnect, "options");
}

}  // namespace

std::optional<CafeData> DataFileReader::Read(const std::string& text,
                                             std::vector<std::string>& errors) {
    Json j = Json::parse(text, nullptr, false, true);
    if (j.is_discarded() || !j.is_object()) {
        errors.push_back("the data file is not a JSON object");
        return std::nullopt;
    }
    CafeData data;
    Reader r(errors);
    std::size_t before = errors.size();
    if (j.contains("cafe") && IsObject(r, j.at("cafe"), "cafe")) {
        r.Text(j.at("cafe"), "name", data.cafeName, "cafe");
        r.Text(j.at("cafe"), "currency", data.currency, "cafe");
    }
    r.Int(j, "statusIntervalSeconds", data.statusIntervalSeconds, "data");
    r.Int(j, "warnBeforeSeconds", data.warnBeforeSeconds, "data");
    r.Text(j, "logonProfile", data.logonProfile, "data");
    r.Text(j, "logoffProfile", data.logoffProfile, "data");
    if (j.contains("options")) {
        ReadOptions(r, j.at("options"), data);
    }
    if (j.contains("rates") && j.at("rates").is_array()) {
        for (const auto& item : j.at("rates")) {
            if (IsObject(r, item, "rates")) {
                Rate rate;
                r.Text(item, "name", rate.name, "rates");
                r.Money(item, "perHour", rate.perHour, "rates[" + rate.name + "]");
                data.rates.push_back(rate);
            }
        }
    }
    if (j.contains("customers") && j.at("customers").is_array()) {
        ReadCustomers(r, j.at("customers"), data);
    }
    if (j.contains("services") && j.at("services").is_array()) {
        ReadServices(r, j.at("services"), data);
    }
    if (j.contains("profiles") && IsObject(r, j.at("profiles"), "profiles")) {
        for (const auto& [name, value] : j.at("profiles").items()) {
            data.profiles[name] = ReadProfile(r, value, "profiles." + name);
        }
    }
    if (j.contains("advertisements")) {
        ReadAdvertisements(r, j.at("advertisements"), data);
    }
    if (j.contains("applications") && j.at("applications").is_array()) {
        for (const auto& item : j.at("applications")) {
            if (IsObject(r, item, "applications")) {
                KioskApplication app;
                r.Text(item, "title", app.title, "applications");
                r.Text(item, "fileName", app.fileName, "applications");
                data.applications.push_back(app);
            }
        }
    }
    if (errors.size() != before) {
        return std::nullopt;
    }
    return data;
}

}  // namespace ko
