// The Palm user list from the HotSync user library, and which user the settings select.
#include "app/core/PalmUsers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/AppMessages.h"
#include "common/palm/PalmHotSync.h"
#include "support/hotsync/PalmFolder.h"
#include "support/hotsync/TwoPalmUsers.h"

namespace {

struct ChoiceCase {
  const char* szName;
  INT nStoredId;
  int nExpectedIndex;
  INT nIdAfter;
};

class ChooseUser : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseUser, FollowsTheStoredId) {
  TwoPalmUsers users;
  TAppSettings settings = {};
  settings.PDUserID = GetParam().nStoredId;
  EXPECT_EQ(ChoosePalmUser(settings, users.list), GetParam().nExpectedIndex);
  EXPECT_EQ(settings.PDUserID, GetParam().nIdAfter);
}

INSTANTIATE_TEST_SUITE_P(Ids, ChooseUser,
                         ::testing::Values(ChoiceCase{"NoneStoredTakesTheFirst", 0, 0, 5},
                                           ChoiceCase{"StoredSecond", 9, 1, 9},
                                           ChoiceCase{"MissingIdShowsFirstAndKeepsId", 4, 0, 4}),
                         [](const ::testing::TestParamInfo<ChoiceCase>& tpi) {
                           return tpi.param.szName;
                         });

TEST(ChooseUserEmpty, NoUsersLeavesTheIdAlone) {
  CxList users;
  TAppSettings settings = {};
  EXPECT_EQ(ChoosePalmUser(settings, users), -1);
  EXPECT_EQ(settings.PDUserID, 0);
}

// A Palm Desktop folder named by a registry file of its own.
class PalmUserList : public ::testing::Test {
 protected:
  void SetUp() override {
    m_sRegistry = m_Folder.File("registry.reg");
    setenv("DAYBRIDGE_REGISTRY", m_sRegistry.c_str(), 1);
    m_PreviousHandler =
        SetUserErrorHandler([this](const char* szText) { m_vMessages.push_back(szText); });
  }
  void TearDown() override {
    FreePalmUsers();
    FreeHotSyncLibraries(HOTSYNC_ALL);
    SetUserErrorHandler(m_PreviousHandler);
    unsetenv("DAYBRIDGE_REGISTRY");
  }
  void PointRegistryAtFolder() {
    std::ofstream(m_sRegistry) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot "
                                  "Desktop\\Core]\r\n\"DesktopPath\"=\""
                               << m_Folder.Path() << "/\"\r\n";
  }

  TempPalmFolder m_Folder{"appcore-users"};
  std::string m_sRegistry;
  std::vector<std::string> m_vMessages;
  UserErrorHandler m_PreviousHandler;
};

TEST_F(PalmUserList, ListsUsersInLibraryOrder) {
  PointRegistryAtFolder();
  m_Folder.InstallLibraries();
  m_Folder.AddUser("Smith");
  m_Folder.AddUser("Adams");
  m_Folder.WriteFile("users.ini", "[Users]\r\nSmith=9,John Smith\r\nAdams=5,Ann Adams\r\n");
  LoadHotSyncLibraries(HOTSYNC_ALL);
  ASSERT_TRUE(LoadPalmUsers());
  CxList& users = GetPalmUsers();
  ASSERT_EQ(users.GetCount(), 2u);
  PalmUser* pFirst = static_cast<PalmUser*>(users.GetAt(0));
  PalmUser* pSecond = static_cast<PalmUser*>(users.GetAt(1));
  EXPECT_EQ(pFirst->nUserId, 9u);
  EXPECT_STREQ(pFirst->szUserName, "John Smith");
  EXPECT_STREQ(pFirst->szUserDir, "Smith");
  EXPECT_EQ(pSecond->nUserId, 5u);
  EXPECT_TRUE(m_vMessages.empty());
  // Loading again replaces the list rather than adding to it.
  ASSERT_TRUE(LoadPalmUsers());
  EXPECT_EQ(users.GetCount(), 2u);
}

TEST_F(PalmUserList, NoUsersIsAnEmptyListWithoutMessage) {
  PointRegistryAtFolder();
  m_Folder.InstallLibraries();
  LoadHotSyncLibraries(HOTSYNC_ALL);
  EXPECT_TRUE(LoadPalmUsers());
  EXPECT_EQ(GetPalmUsers().GetCount(), 0u);
  EXPECT_TRUE(m_vMessages.empty());
}

TEST_F(PalmUserList, MissingUserCountTellsTheUserOnce) {
  PointRegistryAtFolder();
  m_Folder.InstallLibraries(15, true);
  m_Folder.AddUser("Smith");
  LoadHotSyncLibraries(HOTSYNC_ALL);
  EXPECT_FALSE(LoadPalmUsers());
  EXPECT_EQ(m_vMessages,
            std::vector<std::string>{"Can not find any Palm users in your desktop environment."});
  EXPECT_EQ(GetPalmUsers().GetCount(), 0u);
}

TEST_F(PalmUserList, NoPalmDesktopFolderTellsTheUser) {
  LoadHotSyncLibraries(HOTSYNC_ALL);
  EXPECT_FALSE(LoadPalmUsers());
  EXPECT_EQ(m_vMessages.size(), 1u);
}

}  // namespace
