#include "platform/win32/Win32Registry.h"

#include <gtest/gtest.h>

#include <string>

namespace ko {
namespace {

// Removes a key and everything below it (the system's own tree delete is newer than XP).
void DeleteTree(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char name[256];
        DWORD size = sizeof(name);
        while (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS) {
            DeleteTree(root, path + "\\" + name);
            size = sizeof(name);
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, path.c_str());
}

std::string DwordBytes(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

class Win32RegistryTest : public ::testing::Test {
  protected:
    Win32RegistryTest()
        : m_base("Software\\OstrelAdapterTests\\" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(GetTickCount())) {}
    ~Win32RegistryTest() override {
        DeleteTree(HKEY_CURRENT_USER, m_base);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OstrelAdapterTests");
    }

    Win32Registry m_registry;
    std::string m_base;
};

TEST_F(Win32RegistryTest, ValuesRoundTripInAnExistingKey) {
    EXPECT_FALSE(m_registry.SetValue(RegRoot::CurrentUser, m_base, "Server", {kRegSz, "x"}))
        << "SetValue never creates the key";
    ASSERT_TRUE(m_registry.CreateKey(RegRoot::CurrentUser, m_base + "\\NetConfig", "1"));
    std::string path = m_base + "\\NetConfig";

    const RegData text{kRegSz, std::string("10.0.0.1\0", 9)};
    const RegData number{kRegDword, DwordBytes(9678)};
    const RegData binary{kRegBinary, std::string("\x01\x0A\xFF", 3)};
    ASSERT_TRUE(m_registry.SetValue(RegRoot::CurrentUser, path, "Server", text));
    ASSERT_TRUE(m_registry.SetValue(RegRoot::CurrentUser, path, "Port", number));
    ASSERT_TRUE(m_registry.SetValue(RegRoot::CurrentUser, path, "Blob", binary));

    for (const auto& [name, expected] :
         {std::pair{"Server", text}, std::pair{"port", number}, std::pair{"BLOB", binary}}) {
        std::optional<RegData> read = m_registry.QueryValue(RegRoot::CurrentUser, path, name);
        ASSERT_TRUE(read.has_value()) << name;
        EXPECT_EQ(read->type, expected.type) << name;
        EXPECT_EQ(read->bytes, expected.bytes) << name;
    }
    // Key paths ignore case as well.
    EXPECT_TRUE(m_registry.QueryValue(RegRoot::CurrentUser, m_base + "\\NETCONFIG", "Server"));

    EXPECT_FALSE(m_registry.QueryValue(RegRoot::CurrentUser, path, "Missing").has_value());
    EXPECT_FALSE(m_registry.QueryValue(RegRoot::CurrentUser, m_base + "\\Nope", "Server"));

    EXPECT_TRUE(m_registry.DeleteValue(RegRoot::CurrentUser, path, "Server"));
    EXPECT_FALSE(m_registry.QueryValue(RegRoot::CurrentUser, path, "Server").has_value());
    EXPECT_FALSE(m_registry.DeleteValue(RegRoot::CurrentUser, path, "Server"));
}

TEST_F(Win32RegistryTest, CreateKeyMakesParentsAndKeepsTheClassString) {
    std::string path = m_base + "\\Policies\\System";
    ASSERT_TRUE(m_registry.CreateKey(RegRoot::CurrentUser, path, "4"));
    EXPECT_TRUE(m_registry.CreateKey(RegRoot::CurrentUser, path, "4")) << "an existing key is fine";

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char className[16] = {};
    DWORD classSize = sizeof(className);
    EXPECT_EQ(RegQueryInfoKeyA(key, className, &classSize, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(std::string(className, classSize), "4");
}

TEST_F(Win32RegistryTest, DeleteKeyRefusesKeysWithSubKeys) {
    ASSERT_TRUE(m_registry.CreateKey(RegRoot::CurrentUser, m_base + "\\Parent\\Child", "1"));
    EXPECT_FALSE(m_registry.DeleteKey(RegRoot::CurrentUser, m_base + "\\Parent"));
    EXPECT_TRUE(m_registry.DeleteKey(RegRoot::CurrentUser, m_base + "\\Parent\\Child"));
    EXPECT_TRUE(m_registry.DeleteKey(RegRoot::CurrentUser, m_base + "\\Parent"));
    EXPECT_FALSE(m_registry.DeleteKey(RegRoot::CurrentUser, m_base + "\\Parent"));
    EXPECT_FALSE(m_registry.DeleteKey(RegRoot::CurrentUser, ""))
        << "an empty path must never reach the root";
}

TEST_F(Win32RegistryTest, TreeDeletionTakesEverySubKeyAndNoNeighbour) {
    for (const char* key :
         {"\\Tree\\A\\Deep\\Deeper", "\\Tree\\B", "\\Tree\\C", "\\Tree2", "\\Tree Extra"}) {
        ASSERT_TRUE(m_registry.CreateKey(RegRoot::CurrentUser, m_base + key, "4"));
        ASSERT_TRUE(m_registry.SetValue(RegRoot::CurrentUser, m_base + key, "V",
                                        RegData{kRegDword, DwordBytes(1)}));
    }
    EXPECT_TRUE(m_registry.DeleteKeyTree(RegRoot::CurrentUser, m_base + "\\TREE\\"));
    EXPECT_FALSE(m_registry.QueryValue(RegRoot::CurrentUser, m_base + "\\Tree\\B", "V"));
    EXPECT_FALSE(m_registry.DeleteKey(RegRoot::CurrentUser, m_base + "\\Tree"));
    EXPECT_TRUE(m_registry.QueryValue(RegRoot::CurrentUser, m_base + "\\Tree2", "V"));
    EXPECT_TRUE(m_registry.QueryValue(RegRoot::CurrentUser, m_base + "\\Tree Extra", "V"));
    EXPECT_FALSE(m_registry.DeleteKeyTree(RegRoot::CurrentUser, m_base + "\\Tree"));
    EXPECT_FALSE(m_registry.DeleteKeyTree(RegRoot::CurrentUser, ""));
    EXPECT_FALSE(m_registry.DeleteKeyTree(RegRoot::CurrentUser, "\\"))
        << "no spelling of an empty path may reach the root";
}

TEST_F(Win32RegistryTest, PrivilegesAreDroppedOnTheTokenThatRaisedThem) {
    EXPECT_FALSE(m_registry.DropPrivileges()) << "nothing raised yet";
    EXPECT_TRUE(m_registry.EnableHivePrivileges());
    EXPECT_TRUE(m_registry.DropPrivileges());
}

TEST_F(Win32RegistryTest, LoadsAndUnloadsAHiveFile) {
    ASSERT_TRUE(m_registry.CreateKey(RegRoot::CurrentUser, m_base + "\\Hive", "1"));
    ASSERT_TRUE(m_registry.SetValue(RegRoot::CurrentUser, m_base + "\\Hive", "Marker",
                                    {kRegDword, DwordBytes(7)}));
    ASSERT_TRUE(m_registry.EnableHivePrivileges());

    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof(folder), folder);
    std::string file = std::string(folder) + "ostrel_hive_" + std::to_string(GetTickCount());
    DeleteFileA(file.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (m_base + "\\Hive").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    LONG saved = RegSaveKeyA(key, file.c_str(), nullptr);
    RegCloseKey(key);
    ASSERT_EQ(saved, ERROR_SUCCESS);

    std::string hive = "OstrelTestHive" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(m_registry.LoadKey(RegRoot::Users, hive, file), 0);
    std::optional<RegData> marker = m_registry.QueryValue(RegRoot::Users, hive, "Marker");
    ASSERT_TRUE(marker.has_value());
    EXPECT_EQ(marker->bytes, DwordBytes(7));
    EXPECT_EQ(m_registry.UnloadKey(RegRoot::Users, hive), 0);
    EXPECT_FALSE(m_registry.QueryValue(RegRoot::Users, hive, "Marker").has_value());
    EXPECT_NE(m_registry.LoadKey(RegRoot::Users, hive, file + ".missing"), 0);

    EXPECT_TRUE(m_registry.DropPrivileges());
    DeleteFileA(file.c_str());
}

}  // namespace
}  // namespace ko
