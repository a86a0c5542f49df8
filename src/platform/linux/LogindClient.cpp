#include "platform/linux/LogindClient.h"

#include <systemd/sd-bus.h>

#include <cstdlib>
#include <cstring>

#include "shared/Logger.h"

namespace ko {

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSeat = "org.freedesktop.login1.Seat";
constexpr const char* kSession = "org.freedesktop.login1.Session";
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;

// The RAII owners of sd-bus's reference-counted objects and of its error record.
struct Message {
    sd_bus_message* value = nullptr;
    ~Message() { sd_bus_message_unref(value); }
};
struct Error {
    sd_bus_error value = SD_BUS_ERROR_NULL;
    ~Error() { sd_bus_error_free(&value); }
    std::string Text(int result) const {
        return value.message != nullptr ? value.message : std::strerror(-result);
    }
};

}  // namespace

LogindClient::LogindClient() = default;

LogindClient::~LogindClient() {
    sd_bus_flush_close_unref(m_bus);
}

sd_bus* LogindClient::Bus() {
    if (m_bus != nullptr && sd_bus_is_open(m_bus) > 0) {
        return m_bus;
    }
    sd_bus_flush_close_unref(m_bus);
    m_bus = nullptr;
    // sd_bus_open_system reads DBUS_SYSTEM_BUS_ADDRESS itself.
    const int result = sd_bus_open_system(&m_bus);
    if (result < 0) {
        Logger::Debug(std::string("system bus: ") + std::strerror(-result));
        m_bus = nullptr;
        return nullptr;
    }
    sd_bus_set_method_call_timeout(m_bus, kCallTimeoutUs);
    return m_bus;
}

std::optional<std::string> LogindClient::StringProperty(const std::string& path,
                                                        const char* interface, const char* name) {
    sd_bus* bus = Bus();
    if (bus == nullptr) {
        return std::nullopt;
    }
    Error error;
    char* text = nullptr;
    const int result = sd_bus_get_property_string(bus, kService, path.c_str(), interface, name,
                                                  &error.value, &text);
    if (result < 0) {
        Logger::Debug(std::string("logind ") + name + ": " + error.Text(result));
        return std::nullopt;
    }
    std::string value = text;
    std::free(text);
    return value;
}

std::optional<LogindClient::Session> LogindClient::ActiveGraphicalSession() {
    sd_bus* bus = Bus();
    if (bus == nullptr) {
        return std::nullopt;
    }
    Error error;
    Message reply;
    int result = sd_bus_call_method(bus, kService, kManagerPath, kManager, "GetSeat", &error.value,
                                    &reply.value, "s", "seat0");
    const char* seatPath = nullptr;
    if (result < 0 || sd_bus_message_read(reply.value, "o", &seatPath) < 0) {
        Logger::Debug("logind seat0: " + error.Text(result));
        return std::nullopt;
    }
    Message active;
    result = sd_bus_get_property(bus, kService, seatPath, kSeat, "ActiveSession", &error.value,
                                 &active.value, "(so)");
    const char* sessionId = nullptr;
    const char* sessionPath = nullptr;
    if (result < 0 || sd_bus_message_read(active.value, "(so)", &sessionId, &sessionPath) < 0 ||
        sessionId == nullptr || *sessionId == '\0') {
        return std::nullopt;  // nobody at the seat
    }
    Session session;
    session.id = sessionId;
    const std::string path = sessionPath;

    const auto type = StringProperty(path, kSession, "Type");
    if (!type || (*type != "x11" && *type != "wayland" && *type != "mir")) {
        return std::nullopt;  // a text console is not a desktop user
    }
    session.type = *type;
    const auto name = StringProperty(path, kSession, "Name");
    if (!name) {
        return std::nullopt;
    }
    session.userName = *name;

    Message user;
    result = sd_bus_get_property(bus, kService, path.c_str(), kSession, "User", &error.value,
                                 &user.value, "(uo)");
    const char* userPath = nullptr;
    if (result < 0 || sd_bus_message_read(user.value, "(uo)", &session.uid, &userPath) < 0) {
        return std::nullopt;
    }
    result = sd_bus_get_property_trivial(bus, kService, path.c_str(), kSession, "Leader",
                                         &error.value, 'u', &session.leader);
    if (result < 0) {
        session.leader = 0;
    }
    return session;
}

bool LogindClient::CallManager(const char* method, const char* signature, const void* argument) {
    sd_bus* bus = Bus();
    if (bus == nullptr) {
        return false;
    }
    Error error;
    int result = 0;
    if (std::strcmp(signature, "b") == 0) {
        result = sd_bus_call_method(bus, kService, kManagerPath, kManager, method, &error.value,
                                    nullptr, "b", *static_cast<const int*>(argument));
    } else {
        result = sd_bus_call_method(bus, kService, kManagerPath, kManager, method, &error.value,
                                    nullptr, "s", static_cast<const char*>(argument));
    }
    if (result < 0) {
        Logger::Debug(std::string("logind ") + method + ": " + error.Text(result));
        return false;
    }
    return true;
}

bool LogindClient::PowerOff() {
    const int interactive = 0;
    return CallManager("PowerOff", "b", &interactive);
}

bool LogindClient::Reboot() {
    const int interactive = 0;
    return CallManager("Reboot", "b", &interactive);
}

bool LogindClient::TerminateSession(const std::string& id) {
    return CallManager("TerminateSession", "s", id.c_str());
}

}  // namespace ko
