#include "platform/linux/SystemdServiceManager.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace ko {
namespace {

namespace fs = std::filesystem;

// Records every command and answers from a script: by the command's second word.
struct FakeRunner {
    std::vector<std::vector<std::string>> commands;
    std::map<std::string, CommandResult> answers;

    SystemdServiceManager::CommandRunner Runner() {
        return [this](const std::vector<std::string>& argv) {
            commands.push_back(argv);
            auto it = answers.find(argv.size() > 1 ? argv[1] : "");
            return it != answers.end() ? it->second : CommandResult{0, "", 0};
        };
    }
};

class UnitFolder {
  public:
    UnitFolder() {
        std::string pattern = (fs::temp_directory_path() / "ko-units-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~UnitFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string Path() const { return m_path; }
    std::string Read(const std::string& unit) const {
        std::ifstream in(m_path + "/" + unit);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    std::string m_path;
};

TEST(SystemdServiceManager, RegisterWritesTheUnitThenReloadsAndEnables) {
    UnitFolder units;
    FakeRunner fake;
    SystemdServiceManager manager(units.Path(), fake.Runner(), {});
    EXPECT_FALSE(manager.ImagePath("KoService"));

    ServiceConfig config;
    config.displayName = "Ostrel Service 100%";
    config.serviceName = "KoService";
    config.commandLine = "/opt/ostrel/koagent --foreground";
    ASSERT_TRUE(manager.Register(config));

    const std::string unit = units.Read("koagent.service");
    EXPECT_NE(unit.find("Description=Ostrel Service 100%%\n"), std::string::npos);
    EXPECT_NE(unit.find("ExecStart=/opt/ostrel/koagent --foreground\n"), std::string::npos);
    EXPECT_NE(unit.find("Restart=on-failure\n"), std::string::npos);
    EXPECT_NE(unit.find("RuntimeDirectory=ostrel\nRuntimeDirectoryMode=0755\n"), std::string::npos);
    EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);
    EXPECT_EQ(fake.commands,
              (std::vector<std::vector<std::string>>{{"systemctl", "daemon-reload"},
                                                     {"systemctl", "enable", "koagent.service"}}));
    EXPECT_EQ(manager.ImagePath("KoService"), "/opt/ostrel/koagent");
    EXPECT_FALSE(manager.ImagePath("Other"));
}

TEST(SystemdServiceManager, FailingSystemctlFailsRegisterButKeepsTheUnit) {
    UnitFolder units;
    FakeRunner fake;
    fake.answers["enable"] = CommandResult{1, "", 0};
    SystemdServiceManager manager(units.Path(), fake.Runner(), {});
    ServiceConfig config;
    config.serviceName = "Other";
    config.commandLine = "/bin/other\n[Service]\nExecStartPre=/bin/evil";
    EXPECT_FALSE(manager.Register(config));
    // A line break in a setting cannot smuggle in another line of the unit.
    const std::string unit = units.Read("Other.service");
    EXPECT_EQ(unit.find("\nExecStartPre"), std::string::npos);
    EXPECT_EQ(manager.ImagePath("Other"), "/bin/other");

    fake.answers["daemon-reload"] = CommandResult{-1, "", ENOENT};
    EXPECT_FALSE(manager.Register(config));
}

TEST(SystemdServiceManager, ManualServiceIsNotEnabledAndEmptyCommandRunsThisProgram) {
    UnitFolder units;
    FakeRunner fake;
    SystemdServiceManager manager(units.Path(), fake.Runner(), {});
    ServiceConfig config;
    config.serviceName = "KoService";
    config.startMode = 3;
    ASSERT_TRUE(manager.Register(config));
    ASSERT_EQ(fake.commands.size(), 1u);
    EXPECT_EQ(fake.commands[0][1], "daemon-reload");
    EXPECT_NE(units.Read("koagent.service").find(" --foreground\n"), std::string::npos);
    EXPECT_EQ(manager.ImagePath("KoService"), fs::read_symlink("/proc/self/exe").string());
}

TEST(SystemdServiceManager, ImagePathReadsTheProgramOfAHandWrittenUnit) {
    UnitFolder units;
    SystemdServiceManager manager(units.Path(), FakeRunner().Runner(), {});
    std::ofstream(units.Path() + "/quoted.service")
        << "[Unit]\nExecStart=/not/this\n[Service]\nExecStart=-\"/opt/my app/run\" --x\n";
    EXPECT_EQ(manager.ImagePath("quoted"), "/opt/my app/run");
    std::ofstream(units.Path() + "/empty.service") << "[Service]\nExecStart=\n";
    EXPECT_FALSE(manager.ImagePath("empty.service"));
    EXPECT_FALSE(manager.ImagePath("../etc/passwd"));
}

TEST(SystemdServiceManager, AUnitThatAPackageInstalledCountsAsRegistered) {
    UnitFolder admin;
    UnitFolder package;
    SystemdServiceManager manager(admin.Path(), FakeRunner().Runner(),
                                  {"/nonexistent", package.Path()});
    std::ofstream(package.Path() + "/koagent.service")
        << "[Service]\nExecStart=/usr/bin/koagent --foreground\n";
    EXPECT_EQ(manager.ImagePath("KoService"), "/usr/bin/koagent");
    // The administrator's own unit overrides the package's, as in systemd.
    std::ofstream(admin.Path() + "/koagent.service")
        << "[Service]\nExecStart=/opt/ostrel/koagent --foreground\n";
    EXPECT_EQ(manager.ImagePath("KoService"), "/opt/ostrel/koagent");
    EXPECT_FALSE(manager.ImagePath("Other"));
    // The package folders are where systemd looks beside /etc.
    const std::vector<std::string> dirs = SystemdServiceManager::SystemUnitDirs();
    EXPECT_NE(std::find(dirs.begin(), dirs.end(), "/lib/systemd/system"), dirs.end());
    EXPECT_NE(std::find(dirs.begin(), dirs.end(), "/usr/lib/systemd/system"), dirs.end());
}

TEST(SystemdServiceManager, StartAndQueryStateUseSystemctl) {
    FakeRunner fake;
    SystemdServiceManager manager("/nonexistent", fake.Runner());
    std::optional<long> error;
    EXPECT_TRUE(manager.Start("KoService", error));
    EXPECT_EQ(fake.commands.back(),
              (std::vector<std::string>{"systemctl", "start", "koagent.service"}));
    EXPECT_FALSE(error);

    fake.answers["start"] = CommandResult{5, "", 0};
    EXPECT_FALSE(manager.Start("KoService", error));
    EXPECT_FALSE(error);
    fake.answers["start"] = CommandResult{-1, "", ENOENT};
    EXPECT_FALSE(manager.Start("KoService", error));
    EXPECT_EQ(error, ENOENT);

    const std::vector<std::pair<std::string, std::optional<int>>> states = {
        {"active", 4},     {"reloading", 4},    {"inactive", 1},       {"failed", 1},
        {"activating", 2}, {"deactivating", 3}, {"odd", std::nullopt},
    };
    for (const auto& [state, expected] : states) {
        fake.answers["show"] = CommandResult{0, "LoadState=loaded\nActiveState=" + state + "\n", 0};
        EXPECT_EQ(manager.QueryState("KoService"), expected) << state;
    }
    EXPECT_EQ(fake.commands.back(),
              (std::vector<std::string>{"systemctl", "show", "-p", "LoadState", "-p", "ActiveState",
                                        "koagent.service"}));
    // systemd calls an unknown unit inactive; that is not a stopped service.
    fake.answers["show"] = CommandResult{0, "LoadState=not-found\nActiveState=inactive\n", 0};
    EXPECT_FALSE(manager.QueryState("Missing"));
    fake.answers["show"] = CommandResult{1, "", 0};
    EXPECT_FALSE(manager.QueryState("KoService"));
    fake.answers["show"] = CommandResult{-1, "", ENOENT};
    EXPECT_FALSE(manager.QueryState("KoService"));
}

TEST(SystemdServiceManager, DefaultRunnerRunsWithoutAShell) {
    CommandResult echo = SystemdServiceManager::RunCommand({"echo", "a;b", "$HOME"});
    EXPECT_EQ(echo.startError, 0);
    EXPECT_EQ(echo.exitCode, 0);
    EXPECT_EQ(echo.output, "a;b $HOME\n");
    EXPECT_EQ(SystemdServiceManager::RunCommand({"false"}).exitCode, 1);
    EXPECT_EQ(SystemdServiceManager::RunCommand({"/no/such/program"}).startError, ENOENT);
}

}  // namespace
}  // namespace ko
