// Finding Palm Desktop, loading its HotSync libraries, listing its users and reading its
// version, on throw-away Palm Desktop folders made of the stand-in libraries.
#include "common/palm/PalmHotSync.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "demo/pe/PeImage.h"
#include "platform/win/WinRegistry.h"
#include "support/hotsync/PalmFolder.h"
#include "support/hotsync/ProgramIni.h"

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00\n\n";
const char kUserKey[] = "[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Core]\n";
const char kMachineKey[] = "[HKEY_LOCAL_MACHINE\\Software\\PalmSource\\Desktop\\Core]\n";

// Registry text with the backslashes of a .reg string value escaped.
std::string RegValue(const std::string& sName, const std::string& sValue) {
  std::string sEscaped;
  for (char c : sValue) {
    if (c == '\\' || c == '"') sEscaped += '\\';
    sEscaped += c;
  }
  return "\"" + sName + "\"=\"" + sEscaped + "\"\n";
}

class HotSyncTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeHotSyncLibraries(HOTSYNC_ALL);
    CxRegSetText(nullptr, 0);
  }
  static void SetRegistry(const std::string& sText) {
    const std::string sFull = kHeader + sText;
    CxRegSetText(sFull.data(), sFull.size());
  }
  // Makes the folder the Palm Desktop folder through the current user's key.
  static void UseFolder(const TempPalmFolder& folder) {
    SetRegistry(kUserKey + RegValue("DesktopPath", folder.Path()));
  }
  ProgramIni m_Ini;  // holds the program folder's settings file for the test's life
};

struct FolderCase {
  const char* szName;
  const char* szPdPath;  // null: no settings file
  std::string sRegistry;
  int nCapacity;
  int nExpected;
  const char* szExpected;
};

class FolderLookup : public HotSyncTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(FolderLookup, FindsTheFolder) {
  const FolderCase& c = GetParam();
  if (c.szPdPath) m_Ini.SetPalmDesktopPath(c.szPdPath);
  SetRegistry(c.sRegistry);
  char szBuf[MAX_PATH];
  std::memset(szBuf, 'x', sizeof szBuf);
  EXPECT_EQ(GetPalmDesktopFolder(szBuf, c.nCapacity), c.nExpected);
  EXPECT_STREQ(szBuf, c.szExpected);
}

const std::string kLongPath = "/opt/" + std::string(300, 'p') + "/HotSync.exe";

INSTANTIATE_TEST_SUITE_P(
    Table, FolderLookup,
    ::testing::Values(
        FolderCase{"PdPathWinsEvenForAMissingFolder", "/nonexistent/palm",
                   kUserKey + RegValue("DesktopPath", "/opt/palm"), MAX_PATH, 0,
                   "/nonexistent/palm"},
        FolderCase{"PdPathLongerThanCapacity", "/nonexistent/palm",
                   kUserKey + RegValue("DesktopPath", "/opt/palm"), 10, -102, ""},
        FolderCase{"CurrentUserDesktopPath", nullptr,
                   kUserKey + RegValue("DesktopPath", "/opt/palm") + kMachineKey +
                       RegValue("DesktopPath", "/opt/other"),
                   MAX_PATH, 0, "/opt/palm"},
        FolderCase{"OnlyTheLocalMachineKey", nullptr,
                   kMachineKey + RegValue("DesktopPath", "/opt/palm"), MAX_PATH, 0, "/opt/palm"},
        FolderCase{"CurrentUserKeyWithoutValuesHidesLocalMachine", nullptr,
                   kUserKey + std::string(kMachineKey) + RegValue("DesktopPath", "/opt/palm"),
                   MAX_PATH, -101, ""},
        FolderCase{"HotSyncPathGivesItsFolder", nullptr,
                   kUserKey + RegValue("HotSyncPath", "/opt/Palm/HotSync.exe"), MAX_PATH, 0,
                   "/opt/Palm/"},
        FolderCase{"HotSyncPathWindowsStyle", nullptr,
                   kUserKey + RegValue("HotSyncPath", "C:\\Palm\\HotSync.exe"), MAX_PATH, 0,
                   "C:\\Palm\\"},
        FolderCase{"EmptyDesktopPathFallsBackToHotSyncPath", nullptr,
                   kUserKey + RegValue("DesktopPath", "") +
                       RegValue("HotSyncPath", "/opt/Palm/HotSync.exe"),
                   MAX_PATH, 0, "/opt/Palm/"},
        FolderCase{"NoKeys", nullptr, "", MAX_PATH, -101, ""},
        FolderCase{"DesktopPathLongerThanCapacity", nullptr,
                   kUserKey + RegValue("DesktopPath", "/opt/palm"), 9, -102, ""},
        FolderCase{"DesktopPathFillingCapacityExactly", nullptr,
                   kUserKey + RegValue("DesktopPath", "/opt/palm"), 10, 0, "/opt/palm"},
        FolderCase{"HotSyncFolderLongerThanCapacity", nullptr,
                   kUserKey + RegValue("HotSyncPath", "/opt/Palm/HotSync.exe"), 10, -102, ""},
        FolderCase{"HotSyncPathLongerThanAnyFolder", nullptr,
                   kUserKey + RegValue("HotSyncPath", kLongPath), MAX_PATH, -102, ""}),
    [](const ::testing::TestParamInfo<FolderCase>& row) { return row.param.szName; });

TEST_F(HotSyncTest, FolderLookupWithoutBuffer) {
  char szBuf[4];
  EXPECT_EQ(GetPalmDesktopFolder(nullptr, MAX_PATH), -100);
  EXPECT_EQ(GetPalmDesktopFolder(szBuf, 0), -100);
}

TEST_F(HotSyncTest, LoadsEveryLibraryAndBindsByName) {
  TempPalmFolder folder("hs");
  folder.InstallLibraries();
  UseFolder(folder);
  ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_ALL));
  const int nMasks[] = {HOTSYNC_CONDMGR, HOTSYNC_USERDATA, HOTSYNC_HSAPI, HOTSYNC_INSTAIDE};
  const int nCounts[] = {90, 37, 11, 33};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(IsHotSyncLibraryLoaded(nMasks[i]));
    EXPECT_EQ(GetHotSyncEntryCount(nMasks[i]), nCounts[i]);
  }
  EXPECT_NE(GetHotSyncEntry(HOTSYNC_CONDMGR, "CmGetLibVersion"), nullptr);
  EXPECT_NE(GetHotSyncEntry(HOTSYNC_INSTAIDE, "PlmGetLibVesion"), nullptr);
  EXPECT_NE(GetHotSyncEntry(HOTSYNC_USERDATA, "UmGetRootDirectory"), nullptr);
  EXPECT_NE(GetHotSyncEntry(HOTSYNC_HSAPI, "HsRefreshConduitInfo"), nullptr);
  EXPECT_NE(GetHotSyncEntry(HOTSYNC_CONDMGR, "FmEnableSystemConduitByPath"), nullptr);
  EXPECT_EQ(GetHotSyncEntry(HOTSYNC_USERDATA, "NotInTheTable"), nullptr);

  FreeHotSyncLibraries(HOTSYNC_USERDATA);
  EXPECT_FALSE(IsHotSyncLibraryLoaded(HOTSYNC_USERDATA));
  EXPECT_EQ(GetHotSyncEntry(HOTSYNC_USERDATA, "UmGetRootDirectory"), nullptr);
  EXPECT_TRUE(IsHotSyncLibraryLoaded(HOTSYNC_HSAPI));
}

TEST_F(HotSyncTest, FirstFailingLoadStopsTheMask) {
  TempPalmFolder folder("hs");
  folder.InstallLibraries(HOTSYNC_CONDMGR | HOTSYNC_HSAPI | HOTSYNC_INSTAIDE);
  UseFolder(folder);
  EXPECT_FALSE(LoadHotSyncLibraries(HOTSYNC_ALL));
  EXPECT_TRUE(IsHotSyncLibraryLoaded(HOTSYNC_CONDMGR));
  EXPECT_FALSE(IsHotSyncLibraryLoaded(HOTSYNC_USERDATA));
  EXPECT_FALSE(IsHotSyncLibraryLoaded(HOTSYNC_HSAPI)) << "not tried after the failure";
  EXPECT_FALSE(IsHotSyncLibraryLoaded(HOTSYNC_INSTAIDE));
  // The no-users case: every wrapper answers without a library.
  EXPECT_EQ(PmGetUserCount(), -100);
  DWORD nId = 0;
  EXPECT_EQ(PmGetUserID(0, &nId), -100);
  char szBuf[MAX_PATH];
  EXPECT_FALSE(GetUserDataFolder(1, szBuf, MAX_PATH));
}

TEST_F(HotSyncTest, ReloadingALoadedLibrary) {
  TempPalmFolder folder("hs");
  folder.InstallLibraries();
  folder.AddUser("SmithJ");
  UseFolder(folder);
  ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_USERDATA));
  ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_USERDATA));
  EXPECT_EQ(PmGetUserCount(), 1);
}

TEST_F(HotSyncTest, LibraryFromAGivenFolderStillNeedsPalmDesktop) {
  TempPalmFolder folder("hs");
  folder.InstallLibraries();
  EXPECT_FALSE(LoadUserDataLibrary(folder.Path().c_str())) << "no Palm Desktop folder";
  TempPalmFolder elsewhere("hs");
  UseFolder(elsewhere);
  EXPECT_TRUE(LoadUserDataLibrary(folder.Path().c_str()));
  EXPECT_FALSE(LoadCondMgrLibrary(nullptr)) << "the Palm Desktop folder has no libraries";
}

TEST_F(HotSyncTest, LoadsFromTheHotSyncFolderWithItsDoubledSeparator) {
  TempPalmFolder folder("hs");
  folder.InstallLibraries();
  SetRegistry(kUserKey + RegValue("HotSyncPath", folder.File("HotSync.exe")));
  EXPECT_TRUE(LoadHotSyncLibraries(HOTSYNC_ALL));
}

TEST_F(HotSyncTest, ListsUsersAndTheirDataFolders) {
  TempPalmFolder folder("hs");
  folder.InstallLibraries();
  folder.AddUser("SmithJ");
  folder.AddUser("A-user-whose-folder-name-is-far-longer-than-the-root-path-of-the-install");
  UseFolder(folder);
  ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_ALL));
  ASSERT_EQ(PmGetUserCount(), 2);

  for (WORD i = 0; i < 2; ++i) {
    PalmUser user;
    ASSERT_TRUE(GetPalmUser(i, &user));
    EXPECT_EQ(std::string(user.szUserDir).substr(0, 63), user.szUserName)
        << "a name longer than the entry holds is cut";
    char szFolder[MAX_PATH];
    ASSERT_TRUE(GetUserDataFolder(user.nUserId, szFolder, MAX_PATH));
    EXPECT_EQ(std::string(szFolder), folder.Path() + "/" + user.szUserDir + "/");
  }
  PalmUser user;
  EXPECT_FALSE(GetPalmUser(2, &user));

  char szSmall[16];
  PalmUser first;
  ASSERT_TRUE(GetPalmUser(0, &first));
  EXPECT_FALSE(GetUserDataFolder(first.nUserId, szSmall, sizeof szSmall));
  EXPECT_FALSE(GetUserDataFolder(first.nUserId + 1, szSmall, MAX_PATH))
      << "an unknown user has no folder, not the root's";
}

TEST_F(HotSyncTest, EmptyAndUncountableUserLists) {
  TempPalmFolder folder("hs");
  folder.InstallLibraries();
  UseFolder(folder);
  ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_ALL));
  EXPECT_EQ(PmGetUserCount(), 0);

  TempPalmFolder other("hs");
  other.InstallLibraries(HOTSYNC_ALL, true);
  other.AddUser("SmithJ");
  UseFolder(other);
  ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_ALL));
  EXPECT_EQ(GetHotSyncEntry(HOTSYNC_USERDATA, "UmGetUserCount"), nullptr);
  EXPECT_EQ(PmGetUserCount(), -100);
  PalmUser user;
  EXPECT_TRUE(GetPalmUser(0, &user)) << "the other calls still work";
}

struct VersionCase {
  const char* szName;
  bool bWriteExe;
  PeImageOptions options;
  DWORD nExpected;
};

class PalmVersion : public HotSyncTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(PalmVersion, FromPalmExe) {
  const VersionCase& c = GetParam();
  TempPalmFolder folder("ver");
  if (c.bWriteExe) {
    ASSERT_TRUE(WritePeFile(folder.File("palm.exe").c_str(), c.options));
  }
  UseFolder(folder);
  EXPECT_EQ(GetPalmDesktopVersion(), c.nExpected);
}

PeImageOptions NoVersionResource() {
  PeImageOptions options;
  options.nResourceType = 3;
  return options;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PalmVersion,
    ::testing::Values(VersionCase{"Version4140", true, PeVersion(4, 1, 4, 0), 40104},
                      VersionCase{"Version6200Pe64", true, PeVersion(6, 2, 0, 0, true), 60200},
                      VersionCase{"RevisionDoesNotCount", true, PeVersion(4, 1, 0, 9), 40100},
                      VersionCase{"NoVersionResource", true, NoVersionResource(), 4294967295u},
                      VersionCase{"NoPalmExe", false, PeImageOptions(), 4294967295u}),
    [](const ::testing::TestParamInfo<VersionCase>& row) { return row.param.szName; });

TEST_F(HotSyncTest, NoPalmDesktopFolderNoVersion) {
  SetRegistry("");
  EXPECT_EQ(GetPalmDesktopVersion(), 4294967295u);
}

}  // namespace
