#include "platform/linux/LinuxShellJobs.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "fakes/FakeEventLoop.h"

namespace ko {
namespace {

namespace fs = std::filesystem;

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

// A pid no process has: a child that has already been reaped.
pid_t DeadPid() {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

void WriteFile(const fs::path& path, const std::string& text = "data") {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// Runs sql on database and gives the first column of the first row.
std::string Query(const fs::path& database, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string answer;
    if (sqlite3_open(database.c_str(), &db) == SQLITE_OK) {
        sqlite3_exec(
            db, sql.c_str(),
            [](void* out, int columns, char** values, char**) {
                if (columns > 0 && values[0] != nullptr &&
                    static_cast<std::string*>(out)->empty()) {
                    *static_cast<std::string*>(out) = values[0];
                }
                return 0;
            },
            &answer, nullptr);
    }
    sqlite3_close(db);
    return answer;
}

// A places database as Firefox lays it out, trimmed to the tables the history lives in: two
// visited places, one of them bookmarked, and a bookmark of a never-visited place.
void MakePlaces(const fs::path& database) {
    fs::create_directories(database.parent_path());
    Query(database, R"(
        CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,
            frecency INTEGER NOT NULL);
        CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,
            rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL,
            typed INTEGER DEFAULT 0 NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL,
            last_visit_date INTEGER, guid TEXT, foreign_count INTEGER DEFAULT 0 NOT NULL,
            url_hash INTEGER DEFAULT 0 NOT NULL, description TEXT, preview_image_url TEXT,
            origin_id INTEGER REFERENCES moz_origins(id), site_name TEXT);
        CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, from_visit INTEGER,
            place_id INTEGER, visit_date INTEGER, visit_type INTEGER, session INTEGER,
            source INTEGER DEFAULT 0 NOT NULL, triggeringPlaceId INTEGER);
        CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL,
            parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER,
            folder_type TEXT, dateAdded INTEGER, lastModified INTEGER, guid TEXT,
            syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter INTEGER NOT NULL DEFAULT 1);
        INSERT INTO moz_origins VALUES (1, 'https://', 'casino.example', 0),
            (2, 'https://', 'news.example', 0), (3, 'https://', 'docs.example', 0);
        INSERT INTO moz_places (id, url, visit_count, last_visit_date, foreign_count, origin_id)
            VALUES (1, 'https://casino.example/', 3, 100, 0, 1),
                   (2, 'https://news.example/', 1, 200, 1, 2),
                   (3, 'https://docs.example/', 0, NULL, 1, 3);
        INSERT INTO moz_historyvisits (place_id, visit_date) VALUES (1, 10), (1, 20), (2, 30);
        INSERT INTO moz_bookmarks (type, fk, title) VALUES (1, 2, 'News'), (1, 3, 'Docs');
    )");
}

// A session's home folder made by the test: a Firefox profile and a Chromium profile with
// history, caches, cookies and bookmarks, and a second profile of each that its browser holds.
class BrowserHome : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ko-home-XXXXXX").string();
        home = ::mkdtemp(pattern.data());
        folders = {home.string(), (home / ".config").string(), (home / ".cache").string()};

        const fs::path firefox = home / ".mozilla/firefox";
        WriteFile(firefox / "profiles.ini",
                  "[General]\nStartWithLastProfile=1\n\n"
                  "[Profile0]\nName=default\nIsRelative=1\nPath=abc.default\nDefault=1\n\n"
                  "[Profile1]\nName=busy\nIsRelative=1\nPath=busy.default\n\n"
                  "[Install4F96D1932A9F858E]\nDefault=abc.default\n");
        profile = firefox / "abc.default";
        busyProfile = firefox / "busy.default";
        for (const fs::path& p : {profile, busyProfile}) {
            MakePlaces(p / "places.sqlite");
            WriteFile(p / "cookies.sqlite", "cookies");
        }
        fs::create_symlink(HostName() + ":+" + std::to_string(::getpid()), busyProfile / "lock");
        WriteFile(home / ".cache/mozilla/firefox/abc.default/cache2/entries/0A1B");
        WriteFile(home / ".cache/mozilla/firefox/busy.default/cache2/entries/0A1B");

        chromium = home / ".config/chromium/Default";
        busyChrome = home / ".config/google-chrome/Default";
        for (const fs::path& p : {chromium, busyChrome}) {
            WriteFile(p / "Preferences", "{}");
            WriteFile(p / "History", "history");
            WriteFile(p / "History-journal", "journal");
            WriteFile(p / "Bookmarks", "{\"roots\":{}}");
            WriteFile(p / "Cookies", "cookies");
        }
        fs::create_symlink(HostName() + "-" + std::to_string(::getpid()),
                           busyChrome.parent_path() / "SingletonLock");
        WriteFile(home / ".cache/chromium/Default/Cache/Cache_Data/data_0");
        WriteFile(home / ".cache/google-chrome/Default/Cache/Cache_Data/data_0");

        outside = home / "outside";
        WriteFile(outside / "precious.txt", "keep me");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }

    void RunBoth(bool dryRun) {
        LinuxShellJobs jobs(loop, folders, dryRun);
        int done = 0;
        jobs.DeleteUrlCache([&] { ++done; });
        jobs.ClearUrlHistory([&] { ++done; });
        EXPECT_EQ(done, 0) << "completions come from the loop";
        loop.RunPosted();
        EXPECT_EQ(done, 2);
    }

    FakeEventLoop loop;
    fs::path home, profile, busyProfile, chromium, busyChrome, outside;
    BrowserProfiles::Folders folders;
};

TEST_F(BrowserHome, HistoryAndCachesGoWhileCookiesBookmarksAndBusyProfilesStay) {
    RunBoth(false);

    const fs::path places = profile / "places.sqlite";
    EXPECT_EQ(Query(places, "SELECT count(*) FROM moz_historyvisits"), "0");
    EXPECT_EQ(Query(places, "SELECT group_concat(url, ' ') FROM moz_places ORDER BY id"),
              "https://news.example/ https://docs.example/");
    EXPECT_EQ(Query(places, "SELECT sum(visit_count) FROM moz_places"), "0");
    EXPECT_EQ(Query(places, "SELECT count(*) FROM moz_bookmarks"), "2");
    EXPECT_EQ(Query(places, "SELECT count(*) FROM moz_origins WHERE host = 'casino.example'"), "0");
    EXPECT_TRUE(fs::exists(profile / "cookies.sqlite"));
    EXPECT_FALSE(fs::exists(home / ".cache/mozilla/firefox/abc.default"));

    EXPECT_FALSE(fs::exists(chromium / "History"));
    EXPECT_FALSE(fs::exists(chromium / "History-journal"));
    EXPECT_TRUE(fs::exists(chromium / "Bookmarks"));
    EXPECT_TRUE(fs::exists(chromium / "Cookies"));
    EXPECT_TRUE(fs::exists(chromium / "Preferences"));
    EXPECT_FALSE(fs::exists(home / ".cache/chromium/Default"));

    // The profiles their browsers hold are untouched.
    EXPECT_EQ(Query(busyProfile / "places.sqlite", "SELECT count(*) FROM moz_historyvisits"), "3");
    EXPECT_TRUE(fs::exists(home / ".cache/mozilla/firefox/busy.default/cache2/entries/0A1B"));
    EXPECT_TRUE(fs::exists(busyChrome / "History"));
    EXPECT_TRUE(fs::exists(home / ".cache/google-chrome/Default/Cache/Cache_Data/data_0"));
}

TEST_F(BrowserHome, ALargeCacheGoesASliceAtATimeAndTheLoopRunsBetweenSlices) {
    const fs::path cache = home / ".cache/chromium/Default/Cache";
    for (int i = 0; i < 1000; ++i) {
        WriteFile(cache / "Cache_Data" / ("f_" + std::to_string(i)));
    }
    WriteFile(cache / "Cache_Data/index-dir/the-real-index");
    auto entries = [&] {
        std::error_code ignored;
        std::size_t n = 0;
        for (auto it = fs::recursive_directory_iterator(cache, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored)) {
            ++n;
        }
        return n;
    };
    LinuxShellJobs jobs(loop, folders, false);
    bool done = false;
    jobs.DeleteUrlCache([&] { done = true; });
    std::size_t leftWhenOtherWorkRan = 0;
    loop.Post([&] { leftWhenOtherWorkRan = entries(); });

    std::size_t before = entries();
    int turns = 0;
    while (!done && loop.RunOnePosted()) {
        ++turns;
        const std::size_t now = entries();
        EXPECT_LE(before - now, LinuxShellJobs::kEntriesPerTurn) << "turn " << turns;
        before = now;
    }
    EXPECT_TRUE(done);
    EXPECT_GE(turns, static_cast<int>(1000 / LinuxShellJobs::kEntriesPerTurn));
    EXPECT_GT(leftWhenOtherWorkRan, 0u) << "other work waited for the whole cache";
    EXPECT_FALSE(fs::exists(home / ".cache/chromium/Default"));
    EXPECT_FALSE(fs::exists(home / ".cache/mozilla/firefox/abc.default"));
    EXPECT_TRUE(fs::exists(home / ".cache/google-chrome/Default/Cache/Cache_Data/data_0"));
}

TEST_F(BrowserHome, LocksLeftByEndedBrowsersDoNotKeepTheirProfiles) {
    const pid_t dead = DeadPid();
    fs::remove(busyProfile / "lock");
    fs::create_symlink(HostName() + ":+" + std::to_string(dead), busyProfile / "lock");
    fs::remove(busyChrome.parent_path() / "SingletonLock");
    fs::create_symlink(HostName() + "-" + std::to_string(dead),
                       busyChrome.parent_path() / "SingletonLock");
    RunBoth(false);
    EXPECT_EQ(Query(busyProfile / "places.sqlite", "SELECT count(*) FROM moz_historyvisits"), "0");
    EXPECT_FALSE(fs::exists(busyChrome / "History"));

    // A lock whose owner cannot be told (another machine) keeps the profile.
    EXPECT_FALSE(BrowserProfiles::ChromiumInUse((home / "other").string()));
    fs::create_directories(home / "other");
    fs::create_symlink("elsewhere-" + std::to_string(dead), home / "other/SingletonLock");
    EXPECT_TRUE(BrowserProfiles::ChromiumInUse((home / "other").string()));
}

TEST_F(BrowserHome, LinksAreRemovedAsLinksAndNeverFollowed) {
    // A link inside a cache folder, a cache folder that is itself a link, a history file that
    // is a link and a places database that is a link, all pointing outside.
    fs::create_directory_symlink(outside, home / ".cache/chromium/Default/Cache/escape");
    fs::remove_all(home / ".cache/mozilla/firefox/abc.default");
    fs::create_directory_symlink(outside, home / ".cache/mozilla/firefox/abc.default");
    fs::remove(chromium / "History");
    fs::create_symlink(outside / "precious.txt", chromium / "History");
    const fs::path otherPlaces = outside / "places.sqlite";
    fs::rename(profile / "places.sqlite", otherPlaces);
    fs::create_symlink(otherPlaces, profile / "places.sqlite");

    RunBoth(false);
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
    EXPECT_FALSE(fs::exists(home / ".cache/chromium/Default"));
    EXPECT_FALSE(fs::is_symlink(chromium / "History"));
    EXPECT_EQ(Query(otherPlaces, "SELECT count(*) FROM moz_historyvisits"), "3");
    // A cache folder that is a link is removed as a link: its target keeps its files.
    EXPECT_FALSE(fs::is_symlink(home / ".cache/mozilla/firefox/abc.default"));
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
}

TEST_F(BrowserHome, AProfilePathThatClimbsOutIsNoProfile) {
    std::ofstream(home / ".mozilla/firefox/profiles.ini", std::ios::app)
        << "[Profile2]\nIsRelative=1\nPath=..\n\n[Profile3]\nIsRelative=1\nPath=x/../..\n";
    WriteFile(home / ".cache/mozilla/keep.txt");
    RunBoth(false);
    EXPECT_TRUE(fs::exists(home / ".cache/mozilla/keep.txt"));
    EXPECT_TRUE(fs::exists(home / ".mozilla/firefox/profiles.ini"));
    EXPECT_FALSE(fs::exists(home / ".cache/mozilla/firefox/abc.default"));
}

TEST_F(BrowserHome, ADryRunDeletesNothing) {
    RunBoth(true);
    EXPECT_EQ(Query(profile / "places.sqlite", "SELECT count(*) FROM moz_historyvisits"), "3");
    EXPECT_EQ(Query(profile / "places.sqlite", "SELECT count(*) FROM moz_places"), "3");
    EXPECT_TRUE(fs::exists(chromium / "History"));
    EXPECT_TRUE(fs::exists(home / ".cache/chromium/Default/Cache/Cache_Data/data_0"));
    EXPECT_TRUE(fs::exists(home / ".cache/mozilla/firefox/abc.default/cache2/entries/0A1B"));
}

TEST_F(BrowserHome, ABrokenPlacesDatabaseIsLeftAsItWasAndTheRestGoesOn) {
    // A database without the visits table: the transaction changes nothing.
    const fs::path places = profile / "places.sqlite";
    Query(places, "DROP TABLE moz_historyvisits");
    RunBoth(false);
    EXPECT_EQ(Query(places, "SELECT count(*) FROM moz_places"), "3");
    EXPECT_FALSE(fs::exists(chromium / "History"));
    // No home at all: nothing to do, and still done.
    LinuxShellJobs none(loop, {"", "", ""}, false);
    bool done = false;
    none.ClearUrlHistory([&] { done = true; });
    loop.RunPosted();
    EXPECT_TRUE(done);
}

}  // namespace
}  // namespace ko
