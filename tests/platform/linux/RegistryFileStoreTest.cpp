#include "platform/linux/RegistryFileStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "fakes/FakeEventLoop.h"
#include "platform/linux/UniqueFd.h"

namespace ko {
namespace {

namespace fs = std::filesystem;

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "ko-registry-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

  private:
    fs::path m_path;
};

RegData Sz(const std::string& text) {
    return RegData{kRegSz, text + '\0'};
}
RegData Dword(std::uint32_t n) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
    }
    return RegData{kRegDword, bytes};
}
bool Same(const std::optional<RegData>& a, const RegData& b) {
    return a && a->type == b.type && a->bytes == b.bytes;
}
std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string kSettings = "SOFTWARE\\Ostrel Software\\Ostrel\\1\\NetConfig";

TEST(RegistryFileStore, EveryTypeSurvivesTheFileRoundTrip) {
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    const std::vector<std::pair<std::string, RegData>> values = {
        {"Server", Sz("10.0.0.1")},
        {"Tricky", Sz("C:\\Program Files\\\"quoted\" caf\xE9")},
        {"Empty", Sz("")},
        {"Port", Dword(42)},
        {"Big", Dword(0xFFFFFFFF)},
        {"Bytes", RegData{kRegBinary, std::string("\x01\x0a\xff", 3)}},
        {"Long", RegData{kRegBinary, std::string(100, '\x5a')}},
        {"Multi", RegData{7, std::string("a\0b\0\0", 5)}},
        {"NoNul", RegData{kRegSz, "abc"}},
        {"Lines", Sz("one\r\ntwo")},
        {"ShortDword", RegData{kRegDword, "\x01\x02"}},
        {"", Sz("default")},
    };
    {
        RegistryFileStore store(path);
        ASSERT_TRUE(store.CreateKey(RegRoot::LocalMachine, kSettings, "1"));
        for (const auto& [name, data] : values) {
            ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, name, data)) << name;
        }
    }
    RegistryFileStore reopened(path);
    for (const auto& [name, data] : values) {
        EXPECT_TRUE(Same(reopened.QueryValue(RegRoot::LocalMachine, kSettings, name), data))
            << name;
    }

    const std::string text = ReadText(path);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\n\"Port\"=dword:0000002a\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\"Bytes\"=hex:01,0a,ff\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\"Multi\"=hex(7):61,00,62,00,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Tricky\"=\"C:\\\\Program Files\\\\\\\"quoted\\\" caf\xE9\""),
              std::string::npos);
    EXPECT_NE(text.find("]\r\n@=\"default\"\r\n"), std::string::npos);  // default value first
    EXPECT_NE(text.find(",\\\r\n  5a,"), std::string::npos);            // long lists wrap
}

TEST(RegistryFileStore, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
    TempFolder folder;
    RegistryFileStore store(folder.File("registry.reg"));
    ASSERT_TRUE(store.CreateKey(RegRoot::CurrentUser, "Software\\MyApp\\Caf\xE9", ""));
    ASSERT_TRUE(store.SetValue(RegRoot::CurrentUser, "SOFTWARE\\myapp\\CAF\xC9", "Left", Sz("1")));
    ASSERT_TRUE(store.SetValue(RegRoot::CurrentUser, "software\\MYAPP\\caf\xE9", "LEFT", Sz("2")));
    EXPECT_TRUE(
        Same(store.QueryValue(RegRoot::CurrentUser, "Software\\MyApp\\Caf\xE9", "left"), Sz("2")));
    // A key created again under another case keeps its first spelling.
    ASSERT_TRUE(store.CreateKey(RegRoot::CurrentUser, "SOFTWARE\\MYAPP\\CAF\xC9\\Sub", ""));

    const std::string text = ReadText(folder.File("registry.reg"));
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\MyApp\\Caf\xE9]\r\n\"Left\"=\"2\""),
              std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\MyApp\\Caf\xE9\\Sub]"), std::string::npos);
    EXPECT_EQ(text.find("LEFT"), std::string::npos);
    // The roots are separate trees.
    EXPECT_FALSE(store.QueryValue(RegRoot::LocalMachine, "Software\\MyApp\\Caf\xE9", "Left"));
}

TEST(RegistryFileStore, TreeDeletionTakesEveryKeyBelowAndNoNeighbour) {
    TempFolder folder;
    const std::string policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
    {
        RegistryFileStore store(folder.File("registry.reg"));
        for (const char* key : {"\\Explorer", "\\Explorer\\Deep\\Deeper", "\\Explorer2",
                                "\\Explorer Extra", "\\System"}) {
            ASSERT_TRUE(store.CreateKey(RegRoot::Users, "S-1-22-1-7\\" + policies + key, "4"));
            ASSERT_TRUE(
                store.SetValue(RegRoot::Users, "S-1-22-1-7\\" + policies + key, "V", Dword(1)));
        }
        EXPECT_TRUE(store.DeleteKeyTree(RegRoot::Users, "s-1-22-1-7\\" + policies + "\\EXPLORER"));
        EXPECT_FALSE(store.DeleteKeyTree(RegRoot::Users, "S-1-22-1-7\\" + policies + "\\Explorer"));
        EXPECT_FALSE(store.DeleteKeyTree(RegRoot::Users, ""));
        EXPECT_FALSE(store.DeleteKeyTree(RegRoot::CurrentUser, policies));  // another root
    }
    // The deletion reached the file: a fresh store sees the neighbours and nothing of the tree.
    RegistryFileStore store(folder.File("registry.reg"));
    const std::string base = "S-1-22-1-7\\" + policies;
    EXPECT_FALSE(store.QueryValue(RegRoot::Users, base + "\\Explorer", "V"));
    EXPECT_FALSE(store.QueryValue(RegRoot::Users, base + "\\Explorer\\Deep\\Deeper", "V"));
    EXPECT_FALSE(store.DeleteKey(RegRoot::Users, base + "\\Explorer\\Deep"));
    EXPECT_TRUE(store.QueryValue(RegRoot::Users, base + "\\Explorer2", "V"));
    EXPECT_TRUE(store.QueryValue(RegRoot::Users, base + "\\Explorer Extra", "V"));
    EXPECT_TRUE(store.QueryValue(RegRoot::Users, base + "\\System", "V"));
    EXPECT_TRUE(store.DeleteKeyTree(RegRoot::Users, "S-1-22-1-7"));
    EXPECT_FALSE(store.QueryValue(RegRoot::Users, base + "\\System", "V"));
}

TEST(RegistryFileStore, KeysAreCreatedWithParentsAndDeletedOnlyWhenEmptyOfSubKeys) {
    TempFolder folder;
    RegistryFileStore store(folder.File("registry.reg"));
    const std::string policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
    EXPECT_FALSE(store.SetValue(RegRoot::CurrentUser, policies + "\\System", "X", Dword(1)));
    EXPECT_FALSE(fs::exists(folder.File("registry.reg")));  // a refused change writes nothing

    ASSERT_TRUE(store.CreateKey(RegRoot::CurrentUser, policies + "\\System", "4"));
    EXPECT_TRUE(store.SetValue(RegRoot::CurrentUser, policies, "OnParent", Dword(1)));
    EXPECT_TRUE(store.SetValue(RegRoot::CurrentUser, policies + "\\System\\", "X", Dword(1)));

    EXPECT_FALSE(store.DeleteKey(RegRoot::CurrentUser, policies));                // has a sub-key
    EXPECT_FALSE(store.DeleteKey(RegRoot::CurrentUser, policies + "\\Network"));  // missing
    EXPECT_FALSE(store.DeleteKey(RegRoot::CurrentUser, ""));                      // a root
    EXPECT_TRUE(store.DeleteKey(RegRoot::CurrentUser, policies + "\\System"));
    EXPECT_FALSE(store.QueryValue(RegRoot::CurrentUser, policies + "\\System", "X"));
    EXPECT_TRUE(store.DeleteKey(RegRoot::CurrentUser, policies));
    EXPECT_FALSE(store.QueryValue(RegRoot::CurrentUser, policies, "OnParent"));

    ASSERT_TRUE(store.CreateKey(RegRoot::Users, "S-1-22-1-1000\\Software", ""));
    EXPECT_TRUE(store.SetValue(RegRoot::Users, "S-1-22-1-1000\\Software", "V", Sz("v")));
    EXPECT_FALSE(store.DeleteValue(RegRoot::Users, "S-1-22-1-1000\\Software", "Missing"));
    EXPECT_TRUE(store.DeleteValue(RegRoot::Users, "S-1-22-1-1000\\Software", "v"));
    EXPECT_FALSE(store.QueryValue(RegRoot::Users, "S-1-22-1-1000\\Software", "V"));

    // Names that the text form cannot carry are refused rather than corrupting the file.
    EXPECT_FALSE(store.SetValue(RegRoot::Users, "S-1-22-1-1000\\Software", "a\nb", Sz("x")));
    EXPECT_FALSE(store.CreateKey(RegRoot::Users, "bad\r\nkey", ""));

    EXPECT_EQ(store.LoadKey(RegRoot::Users, "keyloaded", "/x"), RegistryPrimitives::kNotSupported);
    EXPECT_EQ(store.UnloadKey(RegRoot::Users, "keyloaded"), RegistryPrimitives::kNotSupported);
    EXPECT_FALSE(store.EnableHivePrivileges());
    EXPECT_FALSE(store.DropPrivileges());
}

TEST(RegistryFileStore, TwoInstancesOnOneFileSeeEachOthersWrites) {
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    RegistryFileStore agent(path);
    RegistryFileStore watcher(path);
    EXPECT_FALSE(watcher.QueryValue(RegRoot::LocalMachine, kSettings, "Server"));

    ASSERT_TRUE(agent.CreateKey(RegRoot::LocalMachine, kSettings, "1"));
    ASSERT_TRUE(agent.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("a")));
    EXPECT_TRUE(Same(watcher.QueryValue(RegRoot::LocalMachine, kSettings, "Server"), Sz("a")));

    // Each change starts from the other's latest file, so neither loses the other's values.
    ASSERT_TRUE(watcher.SetValue(RegRoot::LocalMachine, kSettings, "Port", Dword(9678)));
    ASSERT_TRUE(agent.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("b")));
    EXPECT_TRUE(Same(watcher.QueryValue(RegRoot::LocalMachine, kSettings, "Server"), Sz("b")));
    EXPECT_TRUE(Same(agent.QueryValue(RegRoot::LocalMachine, kSettings, "Port"), Dword(9678)));

    ASSERT_TRUE(watcher.DeleteValue(RegRoot::LocalMachine, kSettings, "Server"));
    EXPECT_FALSE(agent.QueryValue(RegRoot::LocalMachine, kSettings, "Server"));

    // A hand edit that keeps the size is still noticed.
    std::string text = ReadText(path);
    std::size_t at = text.find("dword:000025ce");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 14, "dword:000025cf");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    EXPECT_TRUE(Same(agent.QueryValue(RegRoot::LocalMachine, kSettings, "Port"), Dword(9679)));

    fs::remove(path);
    EXPECT_FALSE(agent.QueryValue(RegRoot::LocalMachine, kSettings, "Port"));
}

TEST(RegistryFileStore, WritesCreateTheFolderAndReplaceTheFileWhole) {
    TempFolder folder;
    const std::string path = folder.File("state/ostrel/registry.reg");
    RegistryFileStore store(path);
    EXPECT_FALSE(store.QueryValue(RegRoot::LocalMachine, kSettings, "Server"));
    EXPECT_FALSE(fs::exists(folder.File("state")));  // reading creates nothing

    ASSERT_TRUE(store.CreateKey(RegRoot::LocalMachine, kSettings, "1"));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, "N", Dword(i)));
    }
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".new"));
    EXPECT_TRUE(fs::exists(path + ".lock"));
    EXPECT_TRUE(
        Same(RegistryFileStore(path).QueryValue(RegRoot::LocalMachine, kSettings, "N"), Dword(4)));
}

TEST(RegistryFileStore, BadlyEditedFileLoadsWhatItCan) {
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    std::ofstream(path, std::ios::binary) << "\"Orphan\"=\"before any key\"\n"
                                             "garbage line\n"
                                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]\n"
                                             "\"Good\"=\"yes\"\n"
                                             "\"Unterminated\"=\"no\n"
                                             "\"Trailing\"=\"x\" junk\n"
                                             "\"BadHex\"=hex:01,zz\n"
                                             "\"BadDword\"=dword:123456789\n"
                                             "\"NoEquals\" \"x\"\n"
                                             "; a comment\n"
                                             "\"Wrapped\"=hex:01,02,\\\n"
                                             "   03\n"
                                             "  \"Dw\" = DWORD:2A\n"
                                             "[HKEY_NOWHERE\\X]\n"
                                             "\"Lost\"=\"x\"\n"
                                             "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n"
                                             "\"AlsoLost\"=\"x\"\n"
                                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n"
                                             "\"Lost2\"=\"x\"\n"
                                             "[hkey_current_user\\Env]\n"
                                             "@=\"d\"\n"
                                             "\"Good\"=\"again\"\n";
    RegistryFileStore store(path);
    const std::string ab = "SOFTWARE\\A\\B";
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, ab, "Good"), Sz("yes")));
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, ab, "Wrapped"),
                     RegData{kRegBinary, "\x01\x02\x03"}));
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, ab, "Dw"), Dword(42)));
    for (const char* name : {"Unterminated", "Trailing", "BadHex", "BadDword", "NoEquals"}) {
        EXPECT_FALSE(store.QueryValue(RegRoot::LocalMachine, ab, name)) << name;
    }
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::CurrentUser, "Env", ""), Sz("d")));
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::CurrentUser, "Env", "Good"), Sz("again")));
    EXPECT_FALSE(store.QueryValue(RegRoot::LocalMachine, "SOFTWARE\\Gone", "AlsoLost"));
    // A section implies its parents, so the parent cannot be deleted under it.
    EXPECT_FALSE(store.DeleteKey(RegRoot::LocalMachine, "SOFTWARE\\A"));
    // And the store still takes changes. The lines it cannot read stay in the file where they
    // stood (a comment in its key, unknown sections with their values), so a person's or another
    // tool's edits survive; a line whose value is then set gives way to the new value.
    EXPECT_TRUE(store.SetValue(RegRoot::LocalMachine, ab, "New", Sz("n")));
    EXPECT_TRUE(store.SetValue(RegRoot::LocalMachine, ab, "BadHex", Sz("fixed")));
    const std::string written = ReadText(path);
    for (const char* line :
         {"\"Orphan\"=\"before any key\"\r\ngarbage line\r\n", "\"BadDword\"=dword:123456789\r\n",
          "; a comment\r\n", "\"Unterminated\"=\"no\r\n",
          "[HKEY_NOWHERE\\X]\r\n\"Lost\"=\"x\"\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
          "\"AlsoLost\"=\"x\"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\r\n\"Lost2\"=\"x\"\r\n"}) {
        EXPECT_NE(written.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(written.find("zz"), std::string::npos);
    const std::size_t comment = written.find("; a comment");
    EXPECT_GT(comment, written.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]"));
    EXPECT_LT(comment, written.find("\r\n[", written.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]")));
    RegistryFileStore reread(path);
    EXPECT_TRUE(Same(reread.QueryValue(RegRoot::LocalMachine, ab, "Good"), Sz("yes")));
    EXPECT_TRUE(Same(reread.QueryValue(RegRoot::LocalMachine, ab, "BadHex"), Sz("fixed")));
    EXPECT_FALSE(reread.QueryValue(RegRoot::LocalMachine, "SOFTWARE\\Broken", "Lost2"));
    // Writing again changes nothing of the kept text.
    EXPECT_TRUE(reread.SetValue(RegRoot::LocalMachine, ab, "Newer", Sz("m")));
    EXPECT_TRUE(reread.DeleteValue(RegRoot::LocalMachine, ab, "Newer"));
    EXPECT_EQ(ReadText(path), written);
}

TEST(RegistryFileStore, AHexListLeftOpenNeverSwallowsTheKeyAfterIt) {
    // A list whose last line ends in a backslash with no hex line after it: the store keeps the
    // broken value's text, and neither this reading nor the next (when the kept text may stand
    // before another key) takes the following header or value as part of the list.
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    std::ofstream(path, std::ios::binary) << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Z]\n"
                                             "\"Open\"=hex:zz,\\\n"
                                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
                                             "\"Kept\"=\"yes\"\n";
    RegistryFileStore store(path);
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, "SOFTWARE\\A", "Kept"), Sz("yes")));
    // A key written after the kept text.
    ASSERT_TRUE(store.CreateKey(RegRoot::LocalMachine, "SOFTWARE\\ZZ", ""));
    EXPECT_TRUE(store.SetValue(RegRoot::LocalMachine, "SOFTWARE\\ZZ", "New", Sz("n")));
    RegistryFileStore reread(path);
    EXPECT_TRUE(Same(reread.QueryValue(RegRoot::LocalMachine, "SOFTWARE\\A", "Kept"), Sz("yes")));
    EXPECT_TRUE(Same(reread.QueryValue(RegRoot::LocalMachine, "SOFTWARE\\ZZ", "New"), Sz("n")));
    const std::string written = ReadText(path);
    EXPECT_TRUE(reread.SetValue(RegRoot::LocalMachine, "SOFTWARE\\ZZ", "New", Sz("n")));
    EXPECT_EQ(ReadText(path), written);
}

TEST(RegistryFileStore, DeferredChangesGoToTheFileInOneWriteOnTheLoopsNextTurn) {
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    FakeEventLoop loop;
    RegistryFileStore store(path);
    store.DeferWritesTo(&loop);
    ASSERT_TRUE(store.CreateKey(RegRoot::CurrentUser, "Software\\Lang", ""));
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(
            store.SetValue(RegRoot::CurrentUser, "Software\\Lang", std::to_string(i), Sz("w")));
    }
    // The store shows its own changes at once; the file has none of them yet.
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::CurrentUser, "Software\\Lang", "299"), Sz("w")));
    EXPECT_EQ(store.WritesDone(), 0u);
    EXPECT_FALSE(fs::exists(path));

    // Meanwhile the other program writes a value of its own.
    {
        RegistryFileStore other(path);
        ASSERT_TRUE(other.CreateKey(RegRoot::CurrentUser, "Software\\Lang", ""));
        ASSERT_TRUE(other.SetValue(RegRoot::CurrentUser, "Software\\Lang", "Theirs", Sz("t")));
        ASSERT_TRUE(other.SetValue(RegRoot::CurrentUser, "Software\\Lang", "7", Sz("t")));
    }
    // The write reads the file again and makes ours on top of theirs.
    loop.RunPosted();
    EXPECT_EQ(store.WritesDone(), 1u);
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::CurrentUser, "Software\\Lang", "Theirs"), Sz("t")));
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::CurrentUser, "Software\\Lang", "7"), Sz("w")));
    RegistryFileStore reread(path);
    EXPECT_TRUE(Same(reread.QueryValue(RegRoot::CurrentUser, "Software\\Lang", "Theirs"), Sz("t")));
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(Same(
            reread.QueryValue(RegRoot::CurrentUser, "Software\\Lang", std::to_string(i)), Sz("w")))
            << i;
    }

    // What waits when the loop is let go, or the store ends, is written then.
    ASSERT_TRUE(store.SetValue(RegRoot::CurrentUser, "Software\\Lang", "Late", Sz("l")));
    store.DeferWritesTo(nullptr);
    EXPECT_EQ(store.WritesDone(), 2u);
    EXPECT_TRUE(
        Same(RegistryFileStore(path).QueryValue(RegRoot::CurrentUser, "Software\\Lang", "Late"),
             Sz("l")));
    loop.RunPosted();  // the write posted before has nothing left to do
    EXPECT_EQ(store.WritesDone(), 2u);
}

TEST(RegistryFileStore, AChangeFailsInsteadOfWaitingForALockThatStaysTaken) {
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    {
        RegistryFileStore first(path);
        ASSERT_TRUE(first.CreateKey(RegRoot::LocalMachine, kSettings, ""));
        ASSERT_TRUE(first.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("old")));
    }
    const std::string before = ReadText(path);
    // Another program holds the lock and does not let go.
    UniqueFd holder(::open((path + ".lock").c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(holder);
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX), 0);

    RegistryFileStore store(path);
    store.SetLockWaitMs(20);
    // Reading does not wait for it.
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, kSettings, "Server"), Sz("old")));
    EXPECT_FALSE(store.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("new")));
    EXPECT_FALSE(store.CreateKey(RegRoot::LocalMachine, "SOFTWARE\\Other", ""));

    FakeEventLoop loop;
    store.DeferWritesTo(&loop);
    EXPECT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("new")));
    EXPECT_FALSE(store.Flush());
    // The changes are dropped and the store shows the file again.
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, kSettings, "Server"), Sz("old")));
    EXPECT_EQ(ReadText(path), before);
    EXPECT_EQ(store.WritesDone(), 0u);

    // Where there is no file yet, the dropped changes leave nothing behind either.
    const std::string fresh = folder.File("fresh.reg");
    UniqueFd freshHolder(::open((fresh + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_EQ(::flock(freshHolder.Get(), LOCK_EX), 0);
    RegistryFileStore empty(fresh);
    empty.SetLockWaitMs(20);
    empty.DeferWritesTo(&loop);
    EXPECT_TRUE(empty.CreateKey(RegRoot::CurrentUser, "Software\\X", ""));
    EXPECT_FALSE(empty.Flush());
    EXPECT_FALSE(empty.SetValue(RegRoot::CurrentUser, "Software\\X", "V", Sz("v")));
    EXPECT_FALSE(fs::exists(fresh));

    // Once the lock is free, changes go through again.
    holder.Reset();
    EXPECT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("newer")));
    loop.RunPosted();
    EXPECT_TRUE(Same(RegistryFileStore(path).QueryValue(RegRoot::LocalMachine, kSettings, "Server"),
                     Sz("newer")));
}

TEST(RegistryFileStore, DefaultPathFollowsTheEnvironment) {
    const char* saved = std::getenv("OSTREL_REGISTRY");
    std::string savedValue = saved != nullptr ? saved : "";
    ::setenv("OSTREL_REGISTRY", "/tmp/elsewhere.reg", 1);
    EXPECT_EQ(RegistryFileStore::DefaultPath(), "/tmp/elsewhere.reg");
    ::unsetenv("OSTREL_REGISTRY");
    if (::geteuid() == 0) {
        EXPECT_EQ(RegistryFileStore::DefaultPath(), "/var/lib/ostrel/registry.reg");
    } else {
        const char* state = std::getenv("XDG_STATE_HOME");
        std::string savedState = state != nullptr ? state : "";
        ::setenv("XDG_STATE_HOME", "/tmp/state", 1);
        EXPECT_EQ(RegistryFileStore::DefaultPath(), "/tmp/state/ostrel/registry.reg");
        if (state != nullptr) {
            ::setenv("XDG_STATE_HOME", savedState.c_str(), 1);
        } else {
            ::unsetenv("XDG_STATE_HOME");
        }
    }
    if (saved != nullptr) {
        ::setenv("OSTREL_REGISTRY", savedValue.c_str(), 1);
    }
}

const std::string kWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// Runs body in a child process that has become an ordinary user; its exit code is the result.
int AsAnotherUser(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        int code = 100;
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            code = body();
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(RegistryFileStore, PasswordsLiveInAPartOnlyTheOwnerReadsAndCallersSeeOneStore) {
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    {
        RegistryFileStore store(path);
        ASSERT_TRUE(store.CreateKey(RegRoot::LocalMachine, kSettings, ""));
        ASSERT_TRUE(store.CreateKey(RegRoot::LocalMachine, kWinlogon, ""));
        ASSERT_TRUE(store.CreateKey(RegRoot::CurrentUser, "Software", ""));
        ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("10.0.0.1")));
        ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, "window", Sz("s3cret-a")));
        ASSERT_TRUE(
            store.SetValue(RegRoot::LocalMachine, kWinlogon, "DefaultPassword", Sz("s3cret-b")));
        ASSERT_TRUE(
            store.SetValue(RegRoot::LocalMachine, kWinlogon, "DefaultUserName", Sz("kiosk")));
        ASSERT_TRUE(
            store.SetValue(RegRoot::CurrentUser, "Software", "ProxyPassword", Sz("s3cret-c")));
        // "window" is a secret only where the settings keep the security password.
        ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kWinlogon, "window", Sz("open")));
        EXPECT_TRUE(
            Same(store.QueryValue(RegRoot::LocalMachine, kSettings, "window"), Sz("s3cret-a")));
    }
    const std::string text = ReadText(path);
    for (const char* secret : {"s3cret-a", "s3cret-b", "s3cret-c"}) {
        EXPECT_EQ(std::string::npos, text.find(secret)) << secret;
        EXPECT_NE(std::string::npos, ReadText(path + ".secret").find(secret)) << secret;
    }
    EXPECT_NE(std::string::npos, text.find("\"window\"=\"open\""));
    EXPECT_EQ(0600u, ModeOf(path + ".secret"));
    EXPECT_EQ(0600u, ModeOf(path + ".lock"));
    EXPECT_EQ(0644u, ModeOf(path));

    RegistryFileStore reopened(path);
    EXPECT_TRUE(Same(reopened.QueryValue(RegRoot::LocalMachine, kWinlogon, "DefaultPassword"),
                     Sz("s3cret-b")));
    // Deleting a secret takes it out of its part too.
    ASSERT_TRUE(reopened.DeleteValue(RegRoot::LocalMachine, kSettings, "window"));
    EXPECT_EQ(std::string::npos, ReadText(path + ".secret").find("s3cret-a"));
    EXPECT_FALSE(RegistryFileStore(path).QueryValue(RegRoot::LocalMachine, kSettings, "window"));
}

TEST(RegistryFileStore, PasswordsWrittenBeforeTheSplitMoveOutAtTheNextWrite) {
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    std::ofstream(path, std::ios::binary)
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" << kWinlogon
        << "]\r\n\"DefaultPassword\"=\"old-secret\"\r\n\"AutoAdminLogon\"=\"1\"\r\n";
    ::chmod(path.c_str(), 0644);
    RegistryFileStore store(path);
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, kWinlogon, "DefaultPassword"),
                     Sz("old-secret")));
    ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kWinlogon, "AutoAdminLogon", Sz("1")));
    EXPECT_EQ(std::string::npos, ReadText(path).find("old-secret"));
    EXPECT_TRUE(Same(
        RegistryFileStore(path).QueryValue(RegRoot::LocalMachine, kWinlogon, "DefaultPassword"),
        Sz("old-secret")));
}

TEST(RegistryFileStore, PasswordsWrittenBeforeTheSplitMoveOutAtTheStartWithoutLosingOne) {
    TempFolder folder;
    auto oldStore = [&folder](const std::string& name) {
        const std::string path = folder.File(name);
        std::ofstream(path, std::ios::binary)
            << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" << kWinlogon
            << "]\r\n\"DefaultPassword\"=\"old-secret\"\r\n\"AutoAdminLogon\"=\"1\"\r\n";
        ::chmod(path.c_str(), 0644);
        return path;
    };
    const std::string path = oldStore("registry.reg");
    {
        RegistryFileStore store(path);
        EXPECT_TRUE(store.MoveStraySecrets());
        EXPECT_EQ(1u, store.WritesDone());
        EXPECT_EQ(std::string::npos, ReadText(path).find("old-secret"));
        EXPECT_NE(std::string::npos, ReadText(path + ".secret").find("old-secret"));
        EXPECT_EQ(0600u, ModeOf(path + ".secret"));
        // Once split, a start writes nothing.
        EXPECT_TRUE(store.MoveStraySecrets());
        EXPECT_EQ(1u, store.WritesDone());
    }
    EXPECT_TRUE(Same(
        RegistryFileStore(path).QueryValue(RegRoot::LocalMachine, kWinlogon, "DefaultPassword"),
        Sz("old-secret")));

    // A secret part that cannot be written leaves the store file as it was, secret included.
    const std::string stuck = oldStore("stuck.reg");
    fs::create_directory(stuck + ".secret.new");
    {
        RegistryFileStore store(stuck);
        EXPECT_FALSE(store.MoveStraySecrets());
        EXPECT_EQ(0u, store.WritesDone());
        EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, kWinlogon, "DefaultPassword"),
                         Sz("old-secret")));
    }
    EXPECT_NE(std::string::npos, ReadText(stuck).find("old-secret"));
    EXPECT_FALSE(fs::exists(stuck + ".secret"));
    fs::remove(stuck + ".secret.new");
    EXPECT_TRUE(RegistryFileStore(stuck).MoveStraySecrets());
    EXPECT_EQ(std::string::npos, ReadText(stuck).find("old-secret"));
}

TEST(RegistryFileStore, AnotherUserReadsTheSettingsButNoSecretAndCannotTakeTheLock) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user";
    }
    TempFolder folder;
    const std::string path = folder.File("registry.reg");
    ::chmod(fs::path(path).parent_path().c_str(), 0755);
    // An older version left the lock file open to everyone.
    { std::ofstream(path + ".lock") << ""; }
    ::chmod((path + ".lock").c_str(), 0644);
    RegistryFileStore store(path);
    ASSERT_TRUE(store.CreateKey(RegRoot::LocalMachine, kSettings, ""));
    ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("10.0.0.1")));
    ASSERT_TRUE(store.SetValue(RegRoot::LocalMachine, kSettings, "window", Sz("s3cret")));
    EXPECT_EQ(0600u, ModeOf(path + ".lock"));

    // While the owner holds the lock, the user still reads the last complete file.
    UniqueFd held(::open((path + ".lock").c_str(), O_RDWR));
    ASSERT_EQ(0, ::flock(held.Get(), LOCK_EX));
    const int code = AsAnotherUser([&] {
        RegistryFileStore user(path);
        int failures = 0;
        if (!Same(user.QueryValue(RegRoot::LocalMachine, kSettings, "Server"), Sz("10.0.0.1"))) {
            failures |= 1;
        }
        if (user.QueryValue(RegRoot::LocalMachine, kSettings, "window") ||
            ::open((path + ".secret").c_str(), O_RDONLY) >= 0) {
            failures |= 2;
        }
        if (::open((path + ".lock").c_str(), O_RDONLY) >= 0) {
            failures |= 4;
        }
        if (user.SetValue(RegRoot::LocalMachine, kSettings, "Server", Sz("evil"))) {
            failures |= 8;
        }
        return failures;
    });
    EXPECT_EQ(0, code);
    ::flock(held.Get(), LOCK_UN);
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, kSettings, "Server"), Sz("10.0.0.1")));
    EXPECT_TRUE(Same(store.QueryValue(RegRoot::LocalMachine, kSettings, "window"), Sz("s3cret")));
}

}  // namespace
}  // namespace ko
