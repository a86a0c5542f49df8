#include "platform/win32/Win32UserSession.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "fakes/DryRunScope.h"
#include "platform/win32/TestProgram.h"
#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32ConsoleShell.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Power.h"
#include "platform/win32/Win32Registry.h"
#include "shared/RegistryModule.h"

namespace ko {
namespace {

std::string OwnName() {
    char name[256];
    DWORD length = sizeof(name);
    return GetUserNameA(name, &length) ? std::string(name) : std::string();
}

// Under Wine the console's shell is Wine's explorer.exe, which draws the desktop; it starts
// with the first window of the prefix.
class Win32UserSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HWND window = CreateWindowExA(0, "STATIC", "session", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                      nullptr, nullptr, nullptr, nullptr);
        RunPolling(m_loop, 10000, [&] { return m_session.LoggedOnUser().has_value(); });
        DestroyWindow(window);
        m_user = m_session.LoggedOnUser();
        ASSERT_TRUE(m_user.has_value()) << "no explorer.exe in the console session";
    }

    Win32EventLoop m_loop;
    Win32UserSession m_session;
    std::optional<SessionUser> m_user;
};

TEST_F(Win32UserSessionTest, TheConsoleShellsUserIsFoundWithNameDomainAndSid) {
    EXPECT_NE(m_user->shellProcess, GetCurrentProcessId());
    EXPECT_EQ(m_user->name, OwnName());
    EXPECT_EQ(m_user->sid, OwnSid());
    EXPECT_EQ(m_user->domain, "") << "a local account has no domain";
    EXPECT_EQ(m_session.AccountSid(m_user->domain, *m_user->name), m_user->sid);
    EXPECT_FALSE(m_session.AccountSid("", "no-such-account-" + std::to_string(GetTickCount())));
    EXPECT_FALSE(m_session.AccountSid("", ""));
    EXPECT_FALSE(m_session.DomainControllerName("NO-SUCH-DOMAIN-XYZ").has_value());
}

TEST_F(Win32UserSessionTest, ImpersonationLastsAsLongAsItsScope) {
    {
        std::unique_ptr<ImpersonationScope> asUser = m_session.Impersonate();
        ASSERT_NE(asUser, nullptr);
        HANDLE token = nullptr;
        EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
        if (token != nullptr) {
            EXPECT_EQ(TokenUserSid(token), m_user->sid);
            CloseHandle(token);
        }
    }
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
}

TEST_F(Win32UserSessionTest, TheDocumentsFolderIsTheUsersOwn) {
    char own[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, own), S_OK);
    EXPECT_EQ(m_session.DocumentsFolder(), std::string(own));
}

// The documents folder points to a folder of the test for the time of a test.
class DocumentsDeletionTest : public Win32UserSessionTest {
  protected:
    static constexpr char kShellFolders[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

    void SetUp() override {
        Win32UserSessionTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        m_saved = m_registry.QueryValue(RegRoot::CurrentUser, kShellFolders, "Personal");
        char profile[MAX_PATH];
        ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile),
                  S_OK);
        m_inside = std::string(profile) + "\\ostrel-docs-" + std::to_string(GetTickCount());
        char temp[MAX_PATH];
        GetTempPathA(sizeof(temp), temp);
        m_outside = std::string(temp);
        // Outside the profile: the drive's root, never the prefix's users folder.
        m_outside = m_outside.substr(0, 3) + "ostrel-outside-" + std::to_string(GetTickCount());
        CreateDirectoryA(m_inside.c_str(), nullptr);
        CreateDirectoryA(m_outside.c_str(), nullptr);
    }

    void TearDown() override {
        if (m_saved) {
            m_registry.SetValue(RegRoot::CurrentUser, kShellFolders, "Personal", *m_saved);
        }
        for (const std::string& folder : {m_inside, m_outside}) {
            if (folder.empty()) {
                continue;
            }
            for (const char* name :
                 {"a.txt", "readonly.txt", "hidden.txt", ".profile", "busy.txt"}) {
                std::string path = folder + "\\" + name;
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
            DeleteFileA((folder + "\\sub\\inner.txt").c_str());
            RemoveDirectoryA((folder + "\\sub").c_str());
            RemoveDirectoryA(folder.c_str());
        }
    }

    void PointDocumentsTo(const std::string& folder) {
        RegData data{kRegSz, folder + std::string(1, '\0')};
        ASSERT_TRUE(m_registry.SetValue(RegRoot::CurrentUser, kShellFolders, "Personal", data));
        ASSERT_EQ(m_session.DocumentsFolder(), folder) << "the shell does not follow the setting";
    }

    static void Write(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  attributes, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        WriteFile(file, "x", 1, &written, nullptr);
        CloseHandle(file);
    }

    static bool Exists(const std::string& path) {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void Fill(const std::string& folder) {
        Write(folder + "\\a.txt");
        Write(folder + "\\readonly.txt", FILE_ATTRIBUTE_READONLY);
        Write(folder + "\\hidden.txt", FILE_ATTRIBUTE_HIDDEN);
        Write(folder + "\\.profile");
        CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
        Write(folder + "\\sub\\inner.txt");
    }

    Win32Registry m_registry;
    std::optional<RegData> m_saved;
    std::string m_inside;
    std::string m_outside;
};

// Top-level files go, read-only and hidden ones too; names starting with "." and sub-folders
// stay; a file in use stays without any dialog and does not keep the others.
TEST_F(DocumentsDeletionTest, DeletesTheTopLevelFilesAndKeepsWhatIsInUse) {
    PointDocumentsTo(m_inside);
    Fill(m_inside);
    Write(m_inside + "\\busy.txt");
    HANDLE busy = CreateFileA((m_inside + "\\busy.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);

    DocumentsDeletion deletion = m_session.DeleteDocuments();
    CloseHandle(busy);
    EXPECT_EQ(deletion.folder, m_inside);
    EXPECT_EQ(deletion.result, ActionResult::Failed) << "one file stayed";
    EXPECT_EQ(deletion.failed, std::vector<std::string>{"busy.txt"});
    EXPECT_EQ(deletion.deleted.size(), 3u);
    EXPECT_FALSE(Exists(m_inside + "\\a.txt"));
    EXPECT_FALSE(Exists(m_inside + "\\readonly.txt"));
    EXPECT_FALSE(Exists(m_inside + "\\hidden.txt"));
    EXPECT_TRUE(Exists(m_inside + "\\.profile"));
    EXPECT_TRUE(Exists(m_inside + "\\sub\\inner.txt"));
    EXPECT_TRUE(Exists(m_inside + "\\busy.txt"));

    // An empty folder is no failure.
    DeleteFileA((m_inside + "\\busy.txt").c_str());
    deletion = m_session.DeleteDocuments();
    EXPECT_EQ(deletion.result, ActionResult::Done);
    EXPECT_TRUE(deletion.deleted.empty());
}

TEST_F(DocumentsDeletionTest, ADryRunOnlyListsTheFiles) {
    PointDocumentsTo(m_inside);
    Fill(m_inside);
    DryRunScope dryRun;
    DocumentsDeletion deletion = m_session.DeleteDocuments();
    EXPECT_EQ(deletion.result, ActionResult::DryRun);
    EXPECT_EQ(deletion.deleted.size(), 3u);
    EXPECT_TRUE(Exists(m_inside + "\\a.txt"));
}

// A documents folder redirected out of the user's profile is never emptied.
TEST_F(DocumentsDeletionTest, AFolderOutsideTheProfileIsLeftAlone) {
    PointDocumentsTo(m_outside);
    Fill(m_outside);
    DocumentsDeletion deletion = m_session.DeleteDocuments();
    EXPECT_EQ(deletion.result, ActionResult::Failed);
    EXPECT_TRUE(deletion.deleted.empty());
    EXPECT_TRUE(Exists(m_outside + "\\a.txt"));
}

TEST_F(Win32UserSessionTest, ShellRestartAndPowerOnlyLogInADryRun) {
    DryRunScope dryRun;
    EXPECT_EQ(m_session.RestartShell(), ActionResult::DryRun);
    Win32Power power;
    EXPECT_EQ(power.PowerOff(), ActionResult::DryRun);
    EXPECT_EQ(power.Reboot(), ActionResult::DryRun);
    EXPECT_EQ(power.LogOff(), ActionResult::DryRun);
    EXPECT_TRUE(m_session.LoggedOnUser().has_value()) << "the shell still runs";
    EXPECT_EQ(m_session.LoggedOnUser()->shellProcess, m_user->shellProcess);
}

// The user's hive under HKEY_USERS\<SID> is the user's HKEY_CURRENT_USER: policies written there
// are the user's, and a whole policy tree goes at once.
TEST_F(Win32UserSessionTest, TheUsersHiveUnderTheirSidIsTheirCurrentUserKey) {
    Win32Registry primitives;
    RegistryModule registry(primitives);
    registry.SetPolicyHive(m_user->sid);
    registry.WriteUserPolicy("OstrelTest", "NoRun", 1);
    registry.WriteUserPolicy("OstrelTest\\Deeper", "NoClose", 1);
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\OstrelTest";
    RegValue value;
    ASSERT_TRUE(registry.QueryValue(RegRoot::CurrentUser, key, "NoRun", value));
    EXPECT_TRUE(registry.QueryValue(RegRoot::CurrentUser, key + "\\Deeper", "NoClose", value));

    EXPECT_FALSE(primitives.DeleteKey(RegRoot::Users, m_user->sid + "\\" + key))
        << "a key with sub-keys stays for a plain delete";
    EXPECT_TRUE(primitives.DeleteKeyTree(RegRoot::Users, m_user->sid + "\\" + key));
    EXPECT_FALSE(primitives.QueryValue(RegRoot::CurrentUser, key, "NoRun").has_value());
    EXPECT_FALSE(primitives.DeleteKeyTree(RegRoot::Users, m_user->sid + "\\" + key));
}

// The automatic logon values live in the machine's Winlogon key, as text.
TEST(Win32Winlogon, LogonValuesAreWrittenAndRestoredAsText) {
    Win32Registry primitives;
    RegistryModule registry(primitives);
    const std::string before = registry.ReadSetting("WindowsLogon", "DefaultUserName", "<none>");
    registry.WriteSetting("windowslogon", "DefaultUserName", "customer1");
    EXPECT_EQ(registry.ReadSetting("WINDOWSLOGON", "DefaultUserName", ""), "customer1");
    std::optional<RegData> raw = primitives.QueryValue(
        RegRoot::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
        "DefaultUserName");
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->type, kRegSz);
    if (before == "<none>") {
        primitives.DeleteValue(RegRoot::LocalMachine,
                               "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                               "DefaultUserName");
    } else {
        registry.WriteSetting("windowslogon", "DefaultUserName", before);
    }
}

}  // namespace
}  // namespace ko
