#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ko {

// Money in cents.
using Cents = std::int64_t;

struct Rate {
    std::string name;
    Cents perHour = 0;
};

struct PastSession {
    std::string date;  // "2026-12-01 14:02"
    std::string workstation;
    int minutes = 0;
    Cents amount = 0;
};

struct Account {
    std::string id;
    std::string password;
    std::string name;
    std::string rate;
    Cents payments = 0;  // all money the customer paid in
    Cents billed = 0;    // all money billed before the running session
    bool postpaid = false;
    bool canChangePassword = true;
    std::string profile;  // empty: the cafe's logon profile
    std::vector<PastSession> history;

    Cents Balance() const { return payments - billed; }
};

struct Service {
    std::string id;
    std::string description;
    Cents price = 0;
    std::string unit;
    int type = 1;
    double tax = 0;
};

struct NameValue {
    std::string name;
    std::string value;
};

struct PolicyValue {
    std::string section;
    std::string name;
    std::int32_t value = 0;
};

// What the workstation applies at a logon or a logoff.
struct Profile {
    std::vector<NameValue> windowsSettings;
    std::vector<NameValue> general;
    std::vector<NameValue> cleanUp;
    std::vector<std::string> close;
    std::vector<std::string> start;
    std::vector<std::string> disallowedApplications;
    std::vector<std::string> disallowedUrls;
    std::vector<PolicyValue> policies;
};

struct Advertisement {
    std::string title;
    std::string text;
    std::string url;  // empty: kosim's own advertisement page
    int seconds = 10;
};

struct KioskApplication {
    std::string title;
    std::string fileName;
};

// The options that the server sends the workstation after it comes online.
struct WorkstationOptions {
    int secureWorkstation = 0;
    std::string securityPassword;
    int minimizeInUse = 0;
    int keepOnTop = 0;
    int logonSettingsReceived = 0;
    int reportApplications = 1;
    int reportUrls = 1;
    int timeoutMessageSeconds = 9;
};

// Everything a cafe is made of: customers, rates, services, profiles, advertisements.
struct CafeData {
    std::string cafeName = "Ostrel Cafe";
    std::string currency = "EUR";
    int statusIntervalSeconds = 10;
    int warnBeforeSeconds = 120;
    bool sendOptionsOnConnect = true;
    bool sendAdsOnConnect = true;
    int startAdAfterSeconds = 30;
    WorkstationOptions options;
    std::vector<Rate> rates;
    std::vector<Account> accounts;
    std::vector<Service> services;
    std::map<std::string, Profile> profiles;
    std::string logonProfile = "logon";
    std::string logoffProfile = "logoff";
    std::vector<Advertisement> advertisements;
    std::vector<KioskApplication> applications;

    const Rate* FindRate(const std::string& name) const;
    Account* FindAccount(const std::string& id);
    const Account* FindAccount(const std::string& id) const;
    const Profile* FindProfile(const std::string& name) const;

    // Reads a data file (JSON). Every key is optional. Returns the data, or nullopt with the
    // reasons in errors; data that the workstation would act on badly is refused here.
    static std::optional<CafeData> Load(const std::string& path, std::vector<std::string>& errors);
    static std::optional<CafeData> Parse(const std::string& text, std::vector<std::string>& errors);
    // The problems of a data set; empty when it is sound.
    static std::vector<std::string> Validate(const CafeData& data);
};

// "12.50" from 1250 cents; "-0.05" from -5.
std::string FormatCents(Cents cents);
// Reads "12.5", "12.50", "3" into cents; nullopt on anything else.
std::optional<Cents> ParseCents(const std::string& text);

}  // namespace ko
