// The first-run wizard: the versions it finds through the registry and the programs' version
// resources, the user it shows, and what OK and Cancel leave in the settings.
#include "app/Wizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <filesystem>
#include <string>

#include "app/core/PalmUsers.h"
#include "common/misc/CxList.h"
#include "common/palm/PalmHotSync.h"
#include "demo/pe/PeImage.h"
#include "support/hotsync/TwoPalmUsers.h"
#include "support/ui/DialogTest.h"
#include "support/wine/WinePrefix.h"

namespace {

struct VersionCase {
  const char* szName;
  bool bAppPaths;          // the App Paths entry names Outlook's folder
  bool bPalmKey;           // Palm Desktop's key names its folder
  uint32_t nPalmResource;  // resource type in palm.exe: 16 a version, other none
  const char* szOutlook;
  const char* szPalm;
};

class WizardVersions : public DialogTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(WizardVersions, ShowFoundInBlueAndMissingInRed) {
  const VersionCase& c = GetParam();
  const std::filesystem::path root = m_Demo.Path("versions");
  std::filesystem::create_directories(root / "office");
  std::filesystem::create_directories(root / "palm");
  // Four different parts catch an order mixed up.
  ASSERT_TRUE(WritePeFile((root / "office" / "OUTLOOK.EXE").c_str(), PeVersion(12, 3, 4567, 89)));
  PeImageOptions palm = PeVersion(4, 1, 4, 2);
  palm.nResourceType = c.nPalmResource;
  ASSERT_TRUE(WritePeFile((root / "palm" / "palm.exe").c_str(), palm));
  std::string sRegistry = "Windows Registry Editor Version 5.00\r\n\r\n";
  if (c.bPalmKey) {
    sRegistry +=
        "[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Core]\r\n"
        "\"DesktopPath\"=\"" +
        (root / "palm").string() + "/\"\r\n\r\n";
  }
  if (c.bAppPaths) {
    sRegistry +=
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
        "OUTLOOK.EXE]\r\n\"Path\"=\"" +
        (root / "office").string() + "\"\r\n";
  }
  CxRegSetText(sRegistry.c_str(), sRegistry.size());

  CxList users;
  TfmWizard dlg(nullptr, users);
  const std::pair<const char*, const char*> labels[] = {{"lblOLVer", c.szOutlook},
                                                        {"lblPDVer", c.szPalm}};
  for (const auto& [szLabel, szText] : labels) {
    auto* pLabel = FindIn<QLabel>(&dlg, szLabel);
    EXPECT_EQ(pLabel->text().toStdString(), szText) << szLabel;
    const bool bFound = std::string(szText) != "Not Found.";
    EXPECT_EQ(pLabel->palette().color(QPalette::WindowText),
              bFound ? QColor(0, 0, 255) : QColor(255, 0, 0))
        << szLabel;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Installations, WizardVersions,
    ::testing::Values(
        VersionCase{"BothFound", true, true, 16, "12.3.4567.89", "4.1.4.2"},
        VersionCase{"NoAppPathsEntry", false, true, 16, "Not Found.", "4.1.4.2"},
        VersionCase{"PalmExeWithoutVersion", true, true, 6, "12.3.4567.89", "Not Found."},
        VersionCase{"NoPalmDesktopFolder", true, false, 16, "12.3.4567.89", "Not Found."}),
    [](const ::testing::TestParamInfo<VersionCase>& row) { return row.param.szName; });

struct UserCase {
  const char* szName;
  INT nStoredId;
  bool bUsers;
  const char* szShown;
  INT nIdAfterOk;
};

class WizardUsers : public DialogTest, public ::testing::WithParamInterface<UserCase> {};

TEST_P(WizardUsers, ShowTheStoredUserWithoutChangingItUntilOk) {
  TwoPalmUsers users(!GetParam().bUsers);
  AppSettings.PDUserID = GetParam().nStoredId;
  TfmWizard dlg(nullptr, users.list);
  EXPECT_EQ(FindIn<QComboBox>(&dlg, "cbUser")->currentText().toStdString(), GetParam().szShown);
  EXPECT_EQ(AppSettings.PDUserID, GetParam().nStoredId);
  ClickIn(&dlg, "btnOK");
  EXPECT_EQ(AppSettings.PDUserID, GetParam().nIdAfterOk);
}

INSTANTIATE_TEST_SUITE_P(Ids, WizardUsers,
                         ::testing::Values(UserCase{"NoneStoredShowsTheFirst", 0, true, "A", 5},
                                           UserCase{"StoredSecond", 9, true, "B", 9},
                                           UserCase{"UnknownIdShowsTheFirst", 4, true, "A", 5},
                                           UserCase{"NoUsersSelectsNothing", 9, false, "", 9}),
                         [](const ::testing::TestParamInfo<UserCase>& row) {
                           return row.param.szName;
                         });

using WizardTest = DialogTest;

TEST_F(WizardTest, ChoicesReachTheSettingsOnlyOnOk) {
  TwoPalmUsers users;
  AppSettings.ShowWizard = 1;
  AppSettings.PDUserID = 9;
  const auto Change = [&](TfmWizard& dlg) {
    EXPECT_TRUE(FindIn<QCheckBox>(&dlg, "cbShow")->isChecked());
    ClickIn(&dlg, "cbShow");
    FindIn<QComboBox>(&dlg, "cbUser")->setCurrentIndex(0);
  };
  {
    TfmWizard dlg(nullptr, users.list);
    Change(dlg);
    ClickIn(&dlg, "btnCancel");
  }
  EXPECT_EQ(AppSettings.ShowWizard, 1) << "the wizard comes again at the next start";
  EXPECT_EQ(AppSettings.PDUserID, 9);
  {
    TfmWizard dlg(nullptr, users.list);
    Change(dlg);
    ClickIn(&dlg, "btnOK");
  }
  EXPECT_EQ(AppSettings.ShowWizard, 0);
  EXPECT_EQ(AppSettings.PDUserID, 5);
}

// Palm Desktop in the default Wine prefix (~/.wine) of a user without a DayBridge registry
// file: the wizard finds its version and users there and says where.
TEST_F(WizardTest, PalmDesktopOfTheWinePrefixIsFoundAndShownWhere) {
  const std::filesystem::path home = m_Demo.Path("home");
  dbtest::EnvGuard homeGuard("HOME", home.c_str());
  dbtest::EnvGuard prefixGuard("WINEPREFIX", nullptr);
  dbtest::EnvGuard registryGuard("DAYBRIDGE_REGISTRY", m_Demo.Path("no-registry.reg").c_str());
  dbtest::WinePrefix prefix(home / ".wine");
  prefix.InstallPalmDesktop(m_Demo.Path("palm"));
  LoadHotSyncLibraries(HOTSYNC_ALL);
  ASSERT_TRUE(LoadPalmUsers());
  {
    TfmWizard dlg(nullptr, GetPalmUsers());
    EXPECT_EQ(FindIn<QLabel>(&dlg, "lblPDVer")->text().toStdString(), "4.1.4.0");
    EXPECT_EQ(FindIn<QLabel>(&dlg, "lblPDPlace")->text().toStdString(), "Wine prefix ~/.wine");
    EXPECT_EQ(FindIn<QComboBox>(&dlg, "cbUser")->count(), 3);
    EXPECT_TRUE(SaveDialogPicture(&dlg, "wizard-wine.png"));
  }
  FreePalmUsers();
  FreeHotSyncLibraries(HOTSYNC_ALL);
}

}  // namespace
