// The documents clean-up in a temporary home: only plain files at the top of the folder go, as
// their owner, and no link steers the deletion anywhere else.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/LinuxAutoLogon.h"
#include "platform/linux/UserDocuments.h"

namespace fs = std::filesystem;

namespace ko {
namespace {

constexpr uid_t kUser = 54321;
constexpr gid_t kGroup = 54321;

void Write(const fs::path& path, const std::string& text = "x") {
    std::ofstream(path) << text;
}

// A home of a made-up account, owned by it, and a place outside it that must survive.
class TempHome : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::getuid() != 0) {
            GTEST_SKIP() << "needs root to act as another account";
        }
        m_root = fs::path(::testing::TempDir()) / ("home-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "anna");
        fs::create_directories(m_root / "outside");
        Write(m_root / "outside" / "victim");
        m_account = LocalAccount{"anna", kUser, kGroup, (m_root / "anna").string()};
    }
    void TearDown() override { fs::remove_all(m_root); }

    fs::path Home() const { return m_root / "anna"; }
    // Makes the account own everything below its home, as a real home is.
    void OwnHome() {
        for (const auto& entry : fs::recursive_directory_iterator(Home())) {
            ::lchown(entry.path().c_str(), kUser, kGroup);
        }
        ::lchown(Home().c_str(), kUser, kGroup);
    }
    void UserDirs(const std::string& line) {
        fs::create_directories(Home() / ".config");
        Write(Home() / ".config" / "user-dirs.dirs", "# written by xdg-user-dirs-update\n" + line);
    }

    fs::path m_root;
    LocalAccount m_account;
};

TEST(UserDocumentsFolder, ComesFromUserDirsAndStaysStrictlyInsideTheHome) {
    const std::string home = "/home/anna";
    EXPECT_EQ(UserDocuments::FolderFromUserDirs(home, ""), "/home/anna/Documents");
    EXPECT_EQ(UserDocuments::FolderFromUserDirs(home, "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"),
              "/home/anna/Dokumente");
    EXPECT_EQ(
        UserDocuments::FolderFromUserDirs(
            home, "  XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/My\\ Docs/\""),
        "/home/anna/My Docs");
    EXPECT_EQ(UserDocuments::FolderFromUserDirs(home, "XDG_DOCUMENTS_DIR=\"/home/anna/./w\""),
              "/home/anna/w");
    // "$HOME" alone means "no documents folder": emptying the home itself is never asked for.
    EXPECT_FALSE(UserDocuments::FolderFromUserDirs(home, "XDG_DOCUMENTS_DIR=\"$HOME/\""));
    EXPECT_FALSE(UserDocuments::FolderFromUserDirs(home, "XDG_DOCUMENTS_DIR=\"/etc\""));
    EXPECT_FALSE(UserDocuments::FolderFromUserDirs(home, "XDG_DOCUMENTS_DIR=\"/home/annabel\""));
    EXPECT_FALSE(UserDocuments::FolderFromUserDirs(home, "XDG_DOCUMENTS_DIR=\"$HOME/../bob\""));
    EXPECT_FALSE(UserDocuments::FolderFromUserDirs(home, "XDG_DOCUMENTS_DIR=Documents"));
}

TEST(UserDocumentsAccountNames, OnlyPlainNamesPass) {
    EXPECT_TRUE(UserDocuments::IsValidAccountName("anna.b_c-1"));
    for (const char* bad : {"", "-rf", ".hidden", "a b", "a/b", "a\nb", "a;b", "a=b",
                            "averyveryveryveryverylongname12345"}) {
        EXPECT_FALSE(UserDocuments::IsValidAccountName(bad)) << bad;
    }
}

TEST_F(TempHome, RedirectedFolderLosesItsTopLevelFilesAndLinksButNothingTheyPointTo) {
    UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Work/Papers\"\n");
    const fs::path docs = Home() / "Work" / "Papers";
    fs::create_directories(docs / "sub");
    Write(docs / "a.txt");
    Write(docs / "b.doc");
    Write(docs / ".keep");
    Write(docs / "sub" / "inner.txt");
    fs::create_symlink(m_root / "outside" / "victim", docs / "link-to-file");
    fs::create_symlink(m_root / "outside", docs / "link-to-folder");
    Write(Home() / "Documents-not-this.txt");
    OwnHome();

    const auto folder = UserDocuments::Folder(m_account);
    ASSERT_EQ(folder, docs.string());

    const auto dry = UserDocuments::Delete(m_account, *folder, true);
    EXPECT_EQ(dry.result, ActionResult::DryRun);
    EXPECT_EQ(dry.deleted.size(), 4u);
    EXPECT_TRUE(fs::exists(docs / "a.txt"));

    const auto done = UserDocuments::Delete(m_account, *folder, false);
    EXPECT_EQ(done.result, ActionResult::Done);
    EXPECT_EQ(done.deleted,
              (std::vector<std::string>{"a.txt", "b.doc", "link-to-file", "link-to-folder"}));
    EXPECT_TRUE(done.failed.empty());
    EXPECT_TRUE(fs::exists(docs / ".keep"));
    EXPECT_TRUE(fs::exists(docs / "sub" / "inner.txt"));
    EXPECT_TRUE(fs::exists(m_root / "outside" / "victim"));
    EXPECT_TRUE(fs::exists(Home() / "Documents-not-this.txt"));
}

TEST_F(TempHome, FolderReachedThroughALinkIsNeverEmptied) {
    // The documents folder itself, or a folder on the way to it, is a link out of the home.
    fs::create_symlink(m_root / "outside", Home() / "Documents");
    fs::create_directories(Home() / "real");
    fs::create_symlink(m_root / "outside", Home() / "real" / "hop");
    OwnHome();

    const auto direct = UserDocuments::Delete(m_account, (Home() / "Documents").string(), false);
    EXPECT_EQ(direct.result, ActionResult::Failed);
    const auto viaHop = UserDocuments::Delete(m_account, (Home() / "real" / "hop").string(), false);
    EXPECT_EQ(viaHop.result, ActionResult::Failed);
    // A folder named by the user's own settings outside the home is refused as well.
    EXPECT_EQ(UserDocuments::Delete(m_account, (m_root / "outside").string(), false).result,
              ActionResult::Failed);
    EXPECT_TRUE(fs::exists(m_root / "outside" / "victim"));

    // A user-dirs.dirs that is a link is not read: the default folder applies.
    fs::create_directories(Home() / ".config");
    Write(m_root / "outside" / "dirs", "XDG_DOCUMENTS_DIR=\"$HOME/real\"\n");
    fs::create_symlink(m_root / "outside" / "dirs", Home() / ".config" / "user-dirs.dirs");
    OwnHome();
    EXPECT_EQ(UserDocuments::Folder(m_account), (Home() / "Documents").string());
}

TEST_F(TempHome, DeletionRunsWithTheUsersRightsNotTheAgents) {
    const fs::path docs = Home() / "Documents";
    fs::create_directories(docs);
    Write(docs / "mine.txt");
    OwnHome();
    // A folder the user may not change: root could empty it, the user cannot.
    const fs::path locked = Home() / "Locked";
    fs::create_directories(locked);
    Write(locked / "theirs.txt");
    ::chmod(locked.c_str(), 0755);

    const auto denied = UserDocuments::Delete(m_account, locked.string(), false);
    EXPECT_EQ(denied.failed, std::vector<std::string>{"theirs.txt"});
    EXPECT_TRUE(fs::exists(locked / "theirs.txt"));
    EXPECT_EQ(UserDocuments::Delete(m_account, docs.string(), false).deleted,
              std::vector<std::string>{"mine.txt"});
    // The agent's own file access is back afterwards.
    Write(m_root / "outside" / "after");
    EXPECT_TRUE(fs::remove(m_root / "outside" / "after"));
}

TEST(LinuxAutoLogonDropIn, WrittenForAValidLocalAccountAndRemovedAgain) {
    const fs::path lightdm =
        fs::path(::testing::TempDir()) / ("lightdm-" + std::to_string(::getpid()));
    fs::remove_all(lightdm);
    LinuxAutoLogon absent((lightdm / "lightdm.conf.d").string());
    EXPECT_EQ(absent.Enable("anna"), ActionResult::NotSupported);  // no LightDM here

    fs::create_directories(lightdm);
    LinuxAutoLogon autoLogon((lightdm / "lightdm.conf.d").string());
    EXPECT_EQ(autoLogon.Enable("anna\nautologin-user=root"), ActionResult::Failed);
    EXPECT_FALSE(fs::exists(autoLogon.DropInPath()));
    EXPECT_EQ(autoLogon.Enable("anna"), ActionResult::Done);
    std::ifstream in(autoLogon.DropInPath());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[Seat:*]\nautologin-user=anna\n"), std::string::npos);
    EXPECT_EQ(autoLogon.Enable("bob"), ActionResult::Done);  // replaced, never appended
    EXPECT_EQ(fs::file_size(autoLogon.DropInPath()), text.size() - 1);

    EXPECT_EQ(autoLogon.Disable(), ActionResult::Done);
    EXPECT_FALSE(fs::exists(autoLogon.DropInPath()));
    EXPECT_EQ(autoLogon.Disable(), ActionResult::Done);  // nothing to remove is fine
    EXPECT_EQ(std::distance(fs::directory_iterator(lightdm / "lightdm.conf.d"), {}), 0);
    fs::remove_all(lightdm);
}

}  // namespace
}  // namespace ko
