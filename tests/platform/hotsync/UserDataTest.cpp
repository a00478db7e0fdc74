// The stand-in user library: which folders are users, that ids are stable per folder name,
// the users.ini list, and the in/out lengths its callers rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/hotsync/HotSyncApi.h"
#include "platform/win/WinLibrary.h"
#include "support/hotsync/PalmFolder.h"

namespace {

class UserLibrary {
 public:
  explicit UserLibrary(const TempPalmFolder& folder)
      : m_hModule(LoadLibrary(folder.File("UserData.dll").c_str())) {}
  ~UserLibrary() {
    if (m_hModule) FreeLibrary(m_hModule);
  }
  template <typename T>
  T Bind(const char* szName) const {
    return reinterpret_cast<T>(GetProcAddress(m_hModule, szName));
  }
  HMODULE Module() const { return m_hModule; }

 private:
  HMODULE m_hModule;
};

struct Listed {
  std::string sDir;
  std::string sName;
  uint32_t nId;
};

std::vector<Listed> ListUsers(const UserLibrary& lib) {
  auto pfnCount = lib.Bind<PFN_UmGetUserCount>("UmGetUserCount");
  auto pfnId = lib.Bind<PFN_UmGetUserID>("UmGetUserID");
  auto pfnName = lib.Bind<PFN_UmGetUserName>("UmGetUserName");
  auto pfnDir = lib.Bind<PFN_UmGetUserDirectory>("UmGetUserDirectory");
  std::vector<Listed> users;
  const int16_t nCount = pfnCount();
  for (int16_t i = 0; i < nCount; ++i) {
    Listed user{};
    EXPECT_EQ(pfnId(static_cast<uint16_t>(i), &user.nId), UM_OK);
    char szBuf[256];
    int16_t nLength = sizeof szBuf;
    EXPECT_EQ(pfnName(user.nId, szBuf, &nLength), UM_OK);
    user.sName = szBuf;
    nLength = sizeof szBuf;
    EXPECT_EQ(pfnDir(user.nId, szBuf, &nLength), UM_OK);
    user.sDir = szBuf;
    users.push_back(user);
  }
  return users;
}

TEST(UserData, FoldersWithADatebookAreUsersInNameOrder) {
  TempPalmFolder folder("users");
  folder.InstallLibraries(2);
  folder.AddUser("SmithJ");
  folder.AddUser("AdamsK");
  folder.AddUser("NotAUser", false);
  UserLibrary lib(folder);
  ASSERT_NE(lib.Module(), nullptr);
  const std::vector<Listed> users = ListUsers(lib);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].sDir, "AdamsK");
  EXPECT_EQ(users[0].sName, "AdamsK");
  EXPECT_EQ(users[1].sDir, "SmithJ");
  EXPECT_NE(users[0].nId, users[1].nId);

  // The same folder name elsewhere, among other users, keeps its id.
  TempPalmFolder other("users");
  other.InstallLibraries(2);
  other.AddUser("SmithJ");
  other.AddUser("BakerL");
  UserLibrary otherLib(other);
  const std::vector<Listed> otherUsers = ListUsers(otherLib);
  ASSERT_EQ(otherUsers.size(), 2u);
  EXPECT_EQ(otherUsers[1].sDir, "SmithJ");
  EXPECT_EQ(otherUsers[1].nId, users[1].nId);
}

TEST(UserData, UsersIniListsUsersExplicitly) {
  TempPalmFolder folder("users");
  folder.InstallLibraries(2);
  folder.AddUser("Ignored");
  folder.WriteFile("users.ini",
                   "; who syncs here\r\n[Users]\r\nSmithJ=1001,John Smith, Jr.\r\n"
                   "Jones=0\r\n../Escape=5,Outside\r\n" +
                       std::string("..\0x=6,Parent\r\n", 15) + "[Other]\r\nX=7,Y\r\n");
  UserLibrary lib(folder);
  const std::vector<Listed> users = ListUsers(lib);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].sDir, "SmithJ");
  EXPECT_EQ(users[0].sName, "John Smith, Jr.");
  EXPECT_EQ(users[0].nId, 1001u);
  EXPECT_EQ(users[1].sName, "Jones") << "no name: the folder's";
  EXPECT_NE(users[1].nId, 0u) << "no id: the derived one";
}

TEST(UserData, LengthsAreHonoured) {
  TempPalmFolder folder("users");
  folder.InstallLibraries(2);
  folder.AddUser("SmithJ");
  UserLibrary lib(folder);
  auto pfnId = lib.Bind<PFN_UmGetUserID>("UmGetUserID");
  auto pfnDir = lib.Bind<PFN_UmGetUserDirectory>("UmGetUserDirectory");
  auto pfnRoot = lib.Bind<PFN_UmGetRootDirectory>("UmGetRootDirectory");
  uint32_t nId = 0;
  ASSERT_EQ(pfnId(0, &nId), UM_OK);
  EXPECT_EQ(pfnId(1, &nId), UM_ERR_NOT_FOUND);

  char szBuf[64];
  std::memset(szBuf, 'x', sizeof szBuf);
  int16_t nLength = 6;  // "SmithJ" needs 7 with its terminator
  EXPECT_EQ(pfnDir(nId, szBuf, &nLength), UM_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(nLength, 7);
  EXPECT_EQ(szBuf[0], '\0');
  EXPECT_EQ(szBuf[6], 'x') << "nothing written past the length given";
  nLength = 7;
  EXPECT_EQ(pfnDir(nId, szBuf, &nLength), UM_OK);
  EXPECT_STREQ(szBuf, "SmithJ");
  EXPECT_EQ(pfnDir(nId + 1, szBuf, &nLength), UM_ERR_NOT_FOUND);

  char szRoot[512];
  nLength = sizeof szRoot;
  EXPECT_NE(pfnRoot(szRoot, &nLength), 0);
  EXPECT_EQ(std::string(szRoot), folder.Path() + "/");
  nLength = 4;
  EXPECT_EQ(pfnRoot(szRoot, &nLength), 0);
  EXPECT_EQ(nLength, static_cast<int16_t>(folder.Path().size() + 2));
}

TEST(UserData, VariantWithoutUserCount) {
  TempPalmFolder folder("users");
  folder.InstallLibraries(2, true);
  UserLibrary lib(folder);
  ASSERT_NE(lib.Module(), nullptr);
  EXPECT_EQ(lib.Bind<void*>("UmGetUserCount"), nullptr);
  EXPECT_NE(lib.Bind<void*>("UmGetUserID"), nullptr);
}

}  // namespace
