#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct sd_bus;

namespace ko {

// The login manager (org.freedesktop.login1) on the system bus, over sd-bus. Calls are
// synchronous with a short time-out: logind answers in milliseconds, and a missing logind makes
// every call fail at once. The bus address comes from DBUS_SYSTEM_BUS_ADDRESS when set (tests run
// a private bus with a stand-in login manager).
class LogindClient {
  public:
    struct Session {
        std::string id;
        std::string userName;
        std::uint32_t uid = 0;
        std::uint32_t leader = 0;  // the session's first process
        std::string type;          // "x11", "wayland", "tty", ...
    };

    LogindClient();
    ~LogindClient();
    LogindClient(const LogindClient&) = delete;
    LogindClient& operator=(const LogindClient&) = delete;

    // The active session of seat0 when it is a graphical one.
    std::optional<Session> ActiveGraphicalSession();
    // PowerOff and Reboot (not interactive), TerminateSession; true when logind accepted.
    bool PowerOff();
    bool Reboot();
    bool TerminateSession(const std::string& id);

  private:
    // Connects on first use and again after the bus went away.
    sd_bus* Bus();
    bool CallManager(const char* method, const char* signature, const void* argument);
    std::optional<std::string> StringProperty(const std::string& path, const char* interface,
                                              const char* name);

    sd_bus* m_bus = nullptr;
};

}  // namespace ko
