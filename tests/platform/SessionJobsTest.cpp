#include "platform/SessionJobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/FakeBrowserTracking.h"
#include "fakes/FakeEventLoop.h"
#include "fakes/FakeShellJobs.h"

namespace ko {
namespace {

using Kind = DirectoryListing::Kind;

struct SessionJobsTest : ::testing::Test {
    FakeEventLoop loop;
    FakeShellJobs shell{loop};
    std::map<std::string, std::string> appPaths;
    SessionJobs jobs{loop, shell, [this](const std::string& name) {
                         auto found = appPaths.find(name);
                         return found == appPaths.end() ? std::string() : found->second;
                     }};
    std::vector<std::string> Calls() const { return shell.Calls(); }
};

TEST_F(SessionJobsTest, JobsStartAfterTheHandlerReturnsAndRunOneAfterAnotherInOrder) {
    shell.HoldJobs(true);
    shell.AllowRun("notepad.exe");
    jobs.DeleteUrlCache();
    jobs.ClearUrlHistory();
    jobs.KoRunScript("notepad.exe");
    EXPECT_TRUE(Calls().empty()) << "nothing runs inside the message handler";
    loop.RunPosted();
    EXPECT_EQ(Calls(), std::vector<std::string>{"DeleteUrlCache"});
    shell.ReleaseJob();
    loop.RunPosted();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"DeleteUrlCache", "ClearUrlHistory"}));
    EXPECT_FALSE(jobs.Idle());
    shell.ReleaseJob();
    loop.RunPosted();
    EXPECT_EQ(Calls().back(), "Run notepad.exe");
    EXPECT_TRUE(jobs.Idle());
}

TEST_F(SessionJobsTest, ACommandThatDoesNotStartRunsItsRecordedProgramQuoted) {
    appPaths["game.exe"] = "C:\\Games\\The Game\\game.exe";
    shell.AllowRun("\"C:\\Games\\The Game\\game.exe\"");
    jobs.KoRunScript("game.exe");
    loop.RunPosted();
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"Run game.exe", "Run \"C:\\Games\\The Game\\game.exe\""}));
    EXPECT_EQ(shell.DirectoriesOpened(), 0u);
}

TEST_F(SessionJobsTest, EmptyCommandsAndPathsAreNeverSearchedFor) {
    shell.SetFixedDriveRoots({"C:\\"});
    shell.AddEntry("C:\\", "x", Kind::File);
    jobs.KoRunScript("");
    jobs.KoRunScript("  ");
    EXPECT_TRUE(jobs.Idle());
    // A name with a folder in it cannot be a file's name: tried, then dropped without a walk.
    jobs.KoRunScript("C:\\Program Files\\app.exe");
    loop.RunPosted();
    EXPECT_EQ(Calls(), std::vector<std::string>{"Run C:\\Program Files\\app.exe"});
    EXPECT_EQ(shell.DirectoriesOpened(), 0u);
    EXPECT_TRUE(jobs.Idle());
}

// C:\ holds a link to elsewhere, a hidden folder, a sub-folder met before a second copy of the
// file, and D:\ (a second fixed disk) holds another copy.
TEST_F(SessionJobsTest, TheSearchIsDepthFirstAndKeepsTheNameAsStoredOnDisk) {
    shell.SetFixedDriveRoots({"C:\\", "D:\\"});
    shell.AddEntry("C:\\", "Linked", Kind::Other);
    shell.AddEntry("C:\\Linked\\", "TOOL.EXE", Kind::File);
    shell.AddEntry("C:\\", ".hidden", Kind::Directory);
    shell.AddEntry("C:\\.hidden\\", "tool.exe", Kind::File);
    shell.AddEntry("C:\\", "Apps", Kind::Directory);
    shell.AddEntry("C:\\Apps\\", "readme.txt", Kind::File);
    shell.AddEntry("C:\\Apps\\", "Tool.EXE", Kind::File);
    shell.AddEntry("C:\\", "tool.exe", Kind::File);
    shell.AddEntry("D:\\", "tool.exe", Kind::File);
    shell.AllowRun("\"C:\\Apps\\Tool.EXE\"");
    jobs.KoRunScript("tool.exe");
    loop.RunPosted();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Run tool.exe", "Run \"C:\\Apps\\Tool.EXE\""}));
    EXPECT_TRUE(jobs.Idle());
}

TEST_F(SessionJobsTest, AWholeDiskSearchLeavesTheLoopBetweenTurnsAndTheClearingGoesAhead) {
    shell.SetFixedDriveRoots({"/"});
    const int folders = 40;
    for (int i = 0; i < folders; ++i) {
        std::string folder = "/d" + std::to_string(i) + "/";
        shell.AddEntry("/", "d" + std::to_string(i), Kind::Directory);
        for (int j = 0; j < 50; ++j) {
            shell.AddEntry(folder, "f" + std::to_string(j), Kind::File);
        }
    }
    shell.AddEntry("/d39/", "wanted", Kind::File);
    shell.AllowRun("\"/d39/wanted\"");
    jobs.KoRunScript("wanted");
    jobs.DeleteUrlCache();

    // Another event of the loop, re-posting itself while the jobs run: it gets its turns in
    // between the search's.
    int heartbeats = 0;
    std::function<void()> heartbeat = [&] {
        ++heartbeats;
        if (!jobs.Idle()) {
            loop.Post(heartbeat);
        }
    };
    loop.Post(heartbeat);
    loop.RunPosted();
    EXPECT_GE(heartbeats, 2000 / static_cast<int>(FileSearch::kEntriesPerTurn));
    // The cache is cleared while the disks are still being searched.
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"Run wanted", "DeleteUrlCache", "Run \"/d39/wanted\""}));
}

TEST_F(SessionJobsTest, SearchesRunOneAtATimeInTheOrderTheirCommandsCame) {
    shell.SetFixedDriveRoots({"C:\\"});
    shell.AddEntry("C:\\", "Tools", Kind::Directory);
    shell.AddEntry("C:\\Tools\\", "first.exe", Kind::File);
    shell.AddEntry("C:\\Tools\\", "second.exe", Kind::File);
    shell.AllowRun("\"C:\\Tools\\first.exe\"");
    shell.AllowRun("\"C:\\Tools\\second.exe\"");
    jobs.KoRunScript("first.exe");
    jobs.KoRunScript("second.exe");
    jobs.ClearUrlHistory();
    loop.RunPosted();
    // How the searches interleave with the queue depends on how many loop turns a walk takes;
    // what holds is the order of the searched programs and that every job ran.
    const std::vector<std::string> calls = Calls();
    auto at = [&](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_LT(at("Run first.exe"), at("Run second.exe"));
    EXPECT_LT(at("Run \"C:\\Tools\\first.exe\""), at("Run \"C:\\Tools\\second.exe\""));
    EXPECT_LT(at("Run second.exe"), at("ClearUrlHistory"));
    EXPECT_LT(at("ClearUrlHistory"), 5);
    EXPECT_LT(at("Run \"C:\\Tools\\second.exe\""), 5);
    EXPECT_TRUE(jobs.Idle());
}

TEST_F(SessionJobsTest, NothingFoundRunsNothingAndDestructionMidSearchIsSafe) {
    shell.SetFixedDriveRoots({"C:\\", "E:\\"});  // E:\ is not ready: it cannot be opened
    shell.AddEntry("C:\\", "a", Kind::File);
    jobs.KoRunScript("missing.exe");
    loop.RunPosted();
    EXPECT_EQ(Calls(), std::vector<std::string>{"Run missing.exe"});
    EXPECT_TRUE(jobs.Idle());

    auto doomed = std::make_unique<SessionJobs>(loop, shell, nullptr);
    doomed->KoRunScript("missing.exe");
    loop.PumpPending();
    doomed.reset();
    loop.RunPosted();  // the search's posted turn must not touch the dead object
}

struct RecordingHandler : BrowserTracking::Handler {
    void BeforeNavigate(const std::string& url, bool& cancel) override {
        asked.push_back(url);
        cancel = url.find("casino") != std::string::npos;
    }
    void NavigateComplete(const std::string& url) override { completed.push_back(url); }
    std::vector<std::string> asked;
    std::vector<std::string> completed;
};

TEST(FakeBrowserTracking, NavigationsReachTheHandlerOnlyWhileSubscribed) {
    FakeBrowserTracking tracking;
    RecordingHandler handler;
    tracking.SetHandler(&handler);
    EXPECT_TRUE(tracking.Navigate("http://before/"));
    EXPECT_TRUE(handler.asked.empty());
    EXPECT_EQ(tracking.CreateIECollection(), BrowserTracking::Status::Tracking);
    EXPECT_FALSE(tracking.Navigate("http://casino.example/"));
    EXPECT_TRUE(tracking.Navigate(2, "http://news.example/"));
    EXPECT_EQ(handler.completed, std::vector<std::string>{"http://news.example/"});
    EXPECT_EQ(tracking.TrackedCount(), 2u);
    tracking.SetStatus(BrowserTracking::Status::NotSupported);
    EXPECT_EQ(tracking.CreateIECollection(), BrowserTracking::Status::NotSupported);
    EXPECT_EQ(tracking.TrackedCount(), 0u);
}

}  // namespace
}  // namespace ko
