#include "platform/win32/Win32ShellJobs.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "fakes/FakeEventLoop.h"
#include "fakes/LogCapture.h"
#include "platform/FileSearch.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Win32BrowserTracking.h"
#include "shared/Logger.h"

namespace ko {
namespace {

// A folder of its own below the temporary folder, removed with everything in it afterwards.
class TempTree {
  public:
    TempTree() {
        char base[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, base);
        m_root = std::string(base) + "ko-jobs-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(m_root.c_str(), nullptr);
    }
    ~TempTree() { Remove(m_root); }
    const std::string& Root() const { return m_root; }
    void Folder(const std::string& relative) const {
        CreateDirectoryA((m_root + relative).c_str(), nullptr);
    }
    void File(const std::string& relative) const { std::ofstream(m_root + relative) << "x"; }

  private:
    static void Remove(const std::string& folder) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = data.cFileName;
                if (name == "." || name == "..") {
                    continue;
                }
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    Remove(folder + name + "\\");
                } else {
                    DeleteFileA((folder + name).c_str());
                }
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
        RemoveDirectoryA(folder.c_str());
    }
    std::string m_root;
};

TEST(Win32ShellJobs, TheSearchWalksFixedDisksAndKeepsTheNameAsStored) {
    FakeEventLoop loop;
    Win32ShellJobs shell(loop, true);
    std::vector<std::string> roots = shell.FixedDriveRoots();
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(roots.front(), "C:\\");
    for (const std::string& root : roots) {
        EXPECT_EQ(root.back(), '\\');
    }

    TempTree tree;
    tree.Folder("Apps");
    tree.Folder("Apps\\Sub");
    tree.File("Apps\\Sub\\Game.EXE");
    tree.File("game.exe");
    FileSearch search(loop, shell);
    std::string found = "unset";
    search.Start({tree.Root()}, "GAME.exe", [&](const std::string& path) { found = path; });
    loop.RunPosted();
    EXPECT_EQ(found, tree.Root() + "Apps\\Sub\\Game.EXE");
    EXPECT_EQ(shell.OpenDirectory(tree.Root() + "missing\\"), nullptr);
}

TEST(Win32ShellJobs, CacheAndHistoryJobsAlwaysFinishAndFailuresStayInside) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.Ok());
    FakeEventLoop loop;
    for (bool dryRun : {true, false}) {
        Win32ShellJobs shell(loop, dryRun);
        int done = 0;
        shell.DeleteUrlCache([&] { ++done; });
        // Wine's history store exists but clears nothing: the failure is logged, not raised.
        shell.ClearUrlHistory([&] { ++done; });
        EXPECT_EQ(done, 0);
        loop.RunPosted();
        EXPECT_EQ(done, 2);
    }
    // Only normal entries are ever collected, and the enumeration ends.
    for (const std::string& url : Win32ShellJobs::NormalCacheEntries()) {
        EXPECT_EQ(url.rfind("Cookie:", 0), std::string::npos) << url;
        EXPECT_EQ(url.rfind("Visited:", 0), std::string::npos) << url;
    }
}

TEST(Win32ShellJobs, RunStartsThroughTheScriptHostAndAMissingProgramIsNotFound) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.Ok());
    FakeEventLoop loop;
    Win32ShellJobs shell(loop, true);
    EXPECT_FALSE(shell.Run("ko-no-such-program-anywhere.exe"));

    TempTree tree;
    const std::string marker = tree.Root() + "ran.txt";
    ASSERT_TRUE(shell.Run("cmd.exe /c echo ran> \"" + marker + "\""));
    for (int i = 0; i < 200 && GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(25);
    }
    EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

struct CountingHandler : BrowserTracking::Handler {
    void BeforeNavigate(const std::string&, bool&) override { ++asked; }
    void NavigateComplete(const std::string&) override { ++completed; }
    int asked = 0;
    int completed = 0;
};

TEST(Win32BrowserTracking, ShellWindowsWithoutBrowsersFollowsNothingAndStopsCleanly) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.Ok());
    FakeEventLoop loop;
    CountingHandler handler;
    {
        LogCapture log;
        Win32BrowserTracking tracking(loop);
        tracking.SetHandler(&handler);
        BrowserTracking::Status status = tracking.CreateIECollection();
        // Wine's shell window list exists but lists nothing; either answer leaves no browser
        // followed and nothing asked.
        EXPECT_NE(status, BrowserTracking::Status::NotSupported);
        EXPECT_EQ(tracking.CreateIECollection(), status) << "renewing gives the same answer";
        EXPECT_EQ(tracking.CreateIECollection(), status);
        // A subscription that cannot be made is a warning, said once however often it is renewed.
        std::size_t failures = 0;
        for (const auto& [level, text] : log.Lines()) {
            EXPECT_NE(level, Logger::Level::Error) << text;
            failures += text.find("ShellWindows") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(failures, status == BrowserTracking::Status::Failed ? 1u : 0u);
        EXPECT_EQ(tracking.TrackedCount(), 0u);
        tracking.OnWindowRegistered(7);
        tracking.OnWindowRevoked(7);
        loop.RunPosted();
        EXPECT_EQ(tracking.TrackedCount(), 0u);
        tracking.Stop();
        tracking.OnWindowRegistered(8);  // after Stop: nothing is walked
    }
    loop.RunPosted();  // posted work of the destroyed tracker must not run
    EXPECT_EQ(handler.asked, 0);
}

}  // namespace
}  // namespace ko
