// Power, log-off and the session user through logind, against a stand-in login manager on a
// private bus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fakes/DryRunScope.h"
#include "platform/linux/ChildProgram.h"
#include "platform/linux/LinuxPower.h"
#include "platform/linux/LinuxUserSession.h"
#include "platform/linux/LogindClient.h"

namespace ko {
namespace {

class PrivateLogind {
  public:
    // With an empty user the seat has nobody on it.
    PrivateLogind(const std::string& user, unsigned uid, unsigned leader,
                  const std::string& type = "x11")
        : m_record(::testing::TempDir() + "login1-" + std::to_string(::getpid()) + ".log"),
          m_bus({"dbus-daemon", "--session", "--nofork", "--print-address=1"}) {
        std::remove(m_record.c_str());
        m_address = m_bus.ReadLine();
        // Debian's own interpreter: the D-Bus binding is a Debian package.
        std::vector<std::string> argv{"/usr/bin/python3",
                                      KO_TEST_SOURCE_DIR "/platform/linux/fake_login1.py",
                                      m_address, m_record};
        if (!user.empty()) {
            argv.insert(argv.end(), {user, std::to_string(uid), std::to_string(leader), type});
        }
        m_login1 = std::make_unique<ChildProgram>(argv);
        m_ready = !m_address.empty() && m_login1->ReadLine() == "ready";
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.c_str(), 1);
    }
    ~PrivateLogind() {
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        m_login1.reset();
        m_bus.Stop();
        std::remove(m_record.c_str());
    }
    bool Ready() const { return m_ready; }
    std::string Calls() const {
        std::ifstream in(m_record);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    std::string m_record;
    ChildProgram m_bus;
    std::unique_ptr<ChildProgram> m_login1;
    std::string m_address;
    bool m_ready = false;
};

TEST(LinuxLogind, SessionUserComesFromSeat0sActiveGraphicalSession) {
    PrivateLogind logind("anna", 1234, 4321);
    ASSERT_TRUE(logind.Ready());
    LogindClient client;
    LinuxUserSession session(client);
    const auto user = session.LoggedOnUser();
    ASSERT_TRUE(user);
    EXPECT_EQ(user->name, "anna");
    EXPECT_EQ(user->sid, "S-1-22-1-1234");
    EXPECT_EQ(user->domain, "");
    EXPECT_EQ(user->shellProcess, 4321u);
    EXPECT_EQ(session.RestartShell(), ActionResult::NotSupported);
    EXPECT_FALSE(session.DomainControllerName("CAFE"));
}

TEST(LinuxLogind, TextConsoleOrEmptySeatFallsBackToTheNamedUserElseNobody) {
    {
        PrivateLogind logind("anna", 1234, 4321, "tty");
        ASSERT_TRUE(logind.Ready());
        LogindClient client;
        LinuxUserSession session(client);
        EXPECT_FALSE(session.LoggedOnUser());
        ::setenv("OSTREL_SESSION_USER", "root", 1);
        const auto user = session.LoggedOnUser();
        ::unsetenv("OSTREL_SESSION_USER");
        ASSERT_TRUE(user);
        EXPECT_EQ(user->name, "root");
        EXPECT_EQ(user->sid, "S-1-22-1-0");
    }
    PrivateLogind empty("", 0, 0);
    ASSERT_TRUE(empty.Ready());
    LogindClient client;
    LinuxUserSession session(client);
    EXPECT_FALSE(session.LoggedOnUser());
    ::setenv("OSTREL_SESSION_USER", "no-such-user-here", 1);
    EXPECT_FALSE(session.LoggedOnUser());
    ::unsetenv("OSTREL_SESSION_USER");
    LinuxPower power(client);
    EXPECT_EQ(power.LogOff(), ActionResult::Failed);  // nobody to log off
}

TEST(LinuxLogind, PowerCallsReachLogindOnlyWithoutDryRun) {
    PrivateLogind logind("anna", 1234, 4321);
    ASSERT_TRUE(logind.Ready());
    LogindClient client;
    LinuxPower power(client);
    {
        DryRunScope dryRun;
        EXPECT_EQ(power.PowerOff(), ActionResult::DryRun);
        EXPECT_EQ(power.Reboot(), ActionResult::DryRun);
        EXPECT_EQ(power.LogOff(), ActionResult::DryRun);
    }
    EXPECT_EQ(logind.Calls(), "");
    EXPECT_EQ(power.PowerOff(), ActionResult::Done);
    EXPECT_EQ(power.Reboot(), ActionResult::Done);
    EXPECT_EQ(power.LogOff(), ActionResult::Done);
    EXPECT_EQ(logind.Calls(), "PowerOff False\nReboot False\nTerminateSession 7\n");
}

TEST(LinuxLogind, AbsentLoginManagerFailsEveryCallQuickly) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    LogindClient client;
    LinuxPower power(client);
    LinuxUserSession session(client);
    EXPECT_EQ(power.PowerOff(), ActionResult::Failed);
    EXPECT_FALSE(session.LoggedOnUser());
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
}  // namespace ko
