#include "platform/linux/ProgramLauncher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/FakeEventLoop.h"
#include "platform/FileSearch.h"
#include "platform/LoopTestSupport.h"
#include "platform/SessionJobs.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxShellJobs.h"
#include "platform/linux/MountTable.h"

namespace ko {
namespace {

namespace fs = std::filesystem;

using Words = std::vector<std::string>;

TEST(ProgramLauncher, DoubleQuotesGroupBlanksAndAreDropped) {
    EXPECT_EQ(ProgramLauncher::SplitCommand("  tool   a\tb "), (Words{"tool", "a", "b"}));
    EXPECT_EQ(ProgramLauncher::SplitCommand("\"/opt/My Apps/run me\" \"x y\" z"),
              (Words{"/opt/My Apps/run me", "x y", "z"}));
    EXPECT_EQ(ProgramLauncher::SplitCommand("a\"b c\"d \"\" e"), (Words{"ab cd", "", "e"}));
    // Shell characters are plain text; an unclosed quote runs to the end.
    EXPECT_EQ(ProgramLauncher::SplitCommand("x ;|$(y) \"open end"),
              (Words{"x", ";|$(y)", "open end"}));
    EXPECT_TRUE(ProgramLauncher::SplitCommand("   ").empty());
}

// A folder with programs that write their arguments, one a line, to a file named after them.
class LauncherFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ko-launch-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "My Apps");
        Recorder(dir / "My Apps/run me");
        Recorder(dir / "bin/xdg-open");
        Recorder(dir / "bin/tool");
        std::ofstream(dir / "notes.txt") << "a document";
        const char* path = std::getenv("PATH");
        oldPath = path != nullptr ? path : "";
        ::setenv("PATH", ((dir / "bin").string() + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    void Recorder(const fs::path& program) {
        const fs::path out = dir / (program.filename().string() + ".args");
        std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                               << out.string() << ".tmp\"\nmv \"" << out.string() << ".tmp\" \""
                               << out.string() << "\"\n";
        fs::permissions(program, fs::perms::owner_all);
    }

    // The arguments program received, once it has written them.
    Words Arguments(const std::string& program) {
        const fs::path out = dir / (program + ".args");
        // The child's file is no event of the loop: look for it every few milliseconds.
        EventLoop::TimerId poll = loop.AddTimer([] {});
        loop.SetTimerInterval(poll, 10);
        RunFor(loop, 5000, [&] { return fs::exists(out); });
        loop.RemoveTimer(poll);
        std::ifstream in(out);
        Words words;
        for (std::string line; std::getline(in, line);) {
            words.push_back(line);
        }
        return words;
    }

    LinuxEventLoop loop;
    fs::path dir;
    std::string oldPath;
};

TEST_F(LauncherFolder, ProgramsRunDirectlyWithTheirWordsAsArgumentsAndAreReaped) {
    ProgramLauncher launcher(loop);
    const std::string program = (dir / "My Apps/run me").string();
    EXPECT_TRUE(launcher.Run("\"" + program + "\" \"two words\" ;touch " +
                             (dir / "pwned").string() + " $(id)"));
    EXPECT_EQ(Arguments("run me"),
              (Words{"two words", ";touch", (dir / "pwned").string(), "$(id)"}));
    EXPECT_FALSE(fs::exists(dir / "pwned")) << "no shell ever reads the command";

    EXPECT_TRUE(launcher.Run("tool --flag"));  // found in PATH
    EXPECT_EQ(Arguments("tool"), Words{"--flag"});
    EXPECT_TRUE(RunFor(loop, 10000, [&] { return launcher.Children() == 0; }));
}

TEST_F(LauncherFolder, ARecordedPathWithBlanksRunsAsOneProgram) {
    LinuxShellJobs shell(loop, {"", "", ""}, true);
    const std::string program = (dir / "My Apps/run me").string();
    SessionJobs jobs(loop, shell, [&](const std::string& name) {
        return name == "run me" ? program : std::string();
    });
    jobs.KoRunScript("run me");  // not a program of PATH: its record is quoted and run
    EXPECT_TRUE(Arguments("run me").empty());
    EXPECT_TRUE(fs::exists(dir / "run me.args")) << "the program ran";
    EXPECT_TRUE(jobs.Idle());
}

TEST_F(LauncherFolder, DocumentsAndAddressesGoToXdgOpenAndNothingRunsForTheUnknown) {
    ProgramLauncher launcher(loop);
    EXPECT_TRUE(launcher.Run("\"" + (dir / "notes.txt").string() + "\""));
    EXPECT_EQ(Arguments("xdg-open"), Words{(dir / "notes.txt").string()});
    fs::remove(dir / "xdg-open.args");
    EXPECT_TRUE(launcher.Run("http://cafe.example/welcome"));
    EXPECT_EQ(Arguments("xdg-open"), Words{"http://cafe.example/welcome"});

    EXPECT_FALSE(launcher.Run("no-such-program"));
    EXPECT_FALSE(launcher.Run((dir / "missing.exe").string()));
    EXPECT_FALSE(launcher.Run("notes.txt")) << "a bare name is only looked up as a program";
    EXPECT_FALSE(launcher.Run("\"\""));
    // An executable that cannot be executed (no interpreter) fails at once and leaves no child.
    std::ofstream(dir / "broken") << "#!/no/such/interpreter\n";
    fs::permissions(dir / "broken", fs::perms::owner_all);
    std::size_t before = launcher.Children();
    EXPECT_FALSE(launcher.Run((dir / "broken").string()));
    EXPECT_EQ(launcher.Children(), before);
}

TEST(MountTable, FixedDisksAreTheRootFirstEachDeviceOnceWithoutRemovableOrBindMounts) {
    const std::string mountinfo =
        "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
        "30 1 8:2 / /home rw,relatime shared:2 - ext4 /dev/sda2 rw\n"
        "28 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "31 28 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
        "32 28 8:2 /srv /srv rw - ext4 /dev/sda2 rw\n"
        "33 28 8:3 / /data\\040disk rw - xfs /dev/sda3 rw\n"
        "34 28 8:3 / /again rw - xfs /dev/sda3 rw\n"
        "35 28 0:45 / /run/user/1000 rw - tmpfs tmpfs rw\n"
        "36 28 7:0 / /snap/core rw - squashfs /dev/loop0 ro\n"
        "garbage\n";
    auto fixed = [](const std::string& device) {
        return device.rfind("8:", 0) == 0 && device != "8:17";
    };
    EXPECT_EQ(MountTable::FixedDiskRoots(mountinfo, fixed), (Words{"/", "/home/", "/data disk/"}));
}

// A temporary tree standing for a disk: the wanted file lies deep, after many others, and a link
// to a folder holding it comes first.
TEST(FileSearchOnLinux, FindsTheFileAcrossLoopTurnsWithoutFollowingLinks) {
    std::string pattern = (fs::temp_directory_path() / "ko-disk-XXXXXX").string();
    const fs::path disk = ::mkdtemp(pattern.data());
    fs::create_directories(disk / "elsewhere");
    std::ofstream(disk / "elsewhere/Game.exe") << "x";
    fs::create_directories(disk / "a-linked");
    fs::create_directory_symlink(disk / "elsewhere", disk / "a-linked/link");
    fs::create_directories(disk / "files");
    for (int i = 0; i < 600; ++i) {
        std::ofstream(disk / "files" / ("f" + std::to_string(i))) << "";
    }
    fs::create_directories(disk / "z/Deep/er");
    std::ofstream(disk / "z/Deep/er/GAME.EXE") << "x";
    fs::rename(disk / "elsewhere", disk / ".hidden");  // hidden folders are not searched either
    fs::create_directory_symlink(disk / ".hidden", disk / "a-linked/link2");

    FakeEventLoop loop;
    LinuxShellJobs shell(loop, {"", "", ""}, true);
    FileSearch search(loop, shell);
    std::string found = "unset";
    search.Start({disk.string() + "/"}, "game.exe", [&](const std::string& path) { found = path; });
    loop.PumpPending();  // PumpPending runs what is posted meanwhile too: the whole search
    EXPECT_EQ(found, (disk / "z/Deep/er/GAME.EXE").string());
    EXPECT_GT(search.Turns(), 600 / FileSearch::kEntriesPerTurn);

    search.Start({disk.string() + "/"}, "absent", [&](const std::string& path) { found = path; });
    loop.RunPosted();
    EXPECT_EQ(found, "");
    std::error_code ignored;
    fs::remove_all(disk, ignored);
}

}  // namespace
}  // namespace ko
