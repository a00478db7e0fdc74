// The shared Outlook session against a stand-in application whose objects are counted, and
// the version class read from the registry and OUTLOOK.EXE's version resource.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/outlook/OlComm.h"
#include "demo/pe/PeImage.h"
#include "platform/automation/ComRuntime.h"
#include "platform/automation/DispatchBase.h"
#include "platform/win/WinRegistry.h"

namespace {

const CLSID kFakeClsid = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

int g_nLiveApps = 0;
int g_nCreatedApps = 0;
bool g_bEmptyNameSpace = false;

const CxDispMember kNameSpaceMembers[] = {{"GetDefaultFolder", 1}};
class FakeNameSpace : public CxDispatchBase {
 public:
  FakeNameSpace() : CxDispatchBase(kNameSpaceMembers, 1) {}

 protected:
  HRESULT InvokeMember(DISPID, WORD, DISPPARAMS*, VARIANT*) override { return E_FAIL; }
};

const CxDispMember kAppMembers[] = {{"GetNameSpace", 1}};
class FakeApp : public CxDispatchBase {
 public:
  FakeApp() : CxDispatchBase(kAppMembers, 1) {
    ++g_nLiveApps;
    ++g_nCreatedApps;
  }

 protected:
  ~FakeApp() override { --g_nLiveApps; }
  HRESULT InvokeMember(DISPID, WORD, DISPPARAMS* pParams, VARIANT* pResult) override {
    if (!g_bEmptyNameSpace) SetDispatch(pResult, new FakeNameSpace());
    return S_OK;
  }
};

IUnknown* CreateFakeApp() {
  return static_cast<IDispatch*>(new FakeApp());
}

class OlSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() / ("db-olcomm-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_dir);
    std::filesystem::remove(m_dir / "appdebug.log");
    g_DebugLog.SetFolder((m_dir.string() + "/").c_str());
    g_DebugLog.Enable(true);
    g_DebugLog.SetLevel(3);
    CxRegSetText("", 0);
    g_nLiveApps = g_nCreatedApps = 0;
    g_bEmptyNameSpace = false;
    CoInitialize(nullptr);
    IClassFactory* pFactory = new CxClassFactory(&CreateFakeApp);
    ASSERT_EQ(CoRegisterClassObject(kFakeClsid, pFactory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                    &m_dwCookie),
              S_OK);
    pFactory->Release();
    CxRegisterProgID(u"Outlook.Application", kFakeClsid);
  }

  void TearDown() override {
    CxRevokeProgID(u"Outlook.Application");
    CoRevokeClassObject(m_dwCookie);
    CoUninitialize();
    CxRegSetText(nullptr, 0);
    g_DebugLog.Enable(false);
    std::filesystem::remove_all(m_dir);
  }

  // The messages of the log lines, without their time, module and thread prefix.
  std::vector<std::string> LogMessages() {
    std::ifstream in(m_dir / "appdebug.log");
    std::vector<std::string> messages;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t nAt = line.find("] - ");
      messages.push_back(nAt == std::string::npos ? line : line.substr(nAt + 4));
    }
    return messages;
  }

  std::filesystem::path m_dir;
  DWORD m_dwCookie = 0;
};

TEST_F(OlSessionTest, TwoStoresShareOneSessionUntilBothDisconnect) {
  auto pFirst = std::make_unique<OlBaseUtil>();
  auto pSecond = std::make_unique<OlBaseUtil>();
  EXPECT_EQ(g_nCreatedApps, 1);
  pFirst.reset();
  EXPECT_EQ(g_nLiveApps, 1);
  pSecond.reset();
  EXPECT_EQ(g_nLiveApps, 0);
  // A later store starts a session of its own.
  OlBaseUtil third;
  EXPECT_EQ(g_nCreatedApps, 2);
}

TEST_F(OlSessionTest, ExtraDisconnectsOfOneStoreDoNotEndAnotherStoresSession) {
  auto pFirst = std::make_unique<OlBaseUtil>();
  {
    OlBaseUtil second;
    second.Disconnect();
    second.Disconnect();
    second.Disconnect();
  }
  EXPECT_EQ(g_nLiveApps, 1);
  pFirst.reset();
  EXPECT_EQ(g_nLiveApps, 0);
}

TEST_F(OlSessionTest, MissingRegistrationFailsWithItsLogLines) {
  CxRevokeProgID(u"Outlook.Application");
  OlBaseUtil store;
  EXPECT_FALSE(store.Connect());
  EXPECT_EQ(g_nCreatedApps, 0);
  std::vector<std::string> messages = LogMessages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Outlook automation started.");
  EXPECT_EQ(messages[1], "Can not get the CLSID of Outlook.Application, hr=0x800401f3");
}

TEST_F(OlSessionTest, EmptyNameSpaceIsAFailureAndReleasesTheApplication) {
  g_bEmptyNameSpace = true;
  OlBaseUtil store;
  EXPECT_EQ(g_nCreatedApps, 1);
  EXPECT_EQ(g_nLiveApps, 0);
  std::vector<std::string> messages = LogMessages();
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Outlook automation started.",
                          "Get Outlook.Application CLSID succeeded.",
                          "CoCreateInstance succeeded.",
                          "Microsoft Outlook started successfully.",
                          "Got Outlook IDispatch interface successfully.",
                          "Failed to call Outlook.Application GetNameSpace method, hr=0x00000000",
                      }));
}

TEST_F(OlSessionTest, SuccessLogsEveryStep) {
  OlBaseUtil store;
  std::vector<std::string> messages = LogMessages();
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(messages[5], "Get Outlook MAPI namespace object successfully.");
  EXPECT_EQ(messages[6], "Outlook Automation Succeeded.");
}

struct VersionCase {
  const char* szName;
  uint16_t nVersion[4];
  const char* szText;
  int nClass;
};

class OutlookVersionTest : public OlSessionTest,
                           public ::testing::WithParamInterface<VersionCase> {};

TEST_P(OutlookVersionTest, VersionOfTheRegisteredExecutableGivesTheClass) {
  const VersionCase& c = GetParam();
  std::filesystem::path folder = m_dir / "Office";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(WritePeFile((folder / "OUTLOOK.EXE").c_str(),
                          PeVersion(c.nVersion[0], c.nVersion[1], c.nVersion[2], c.nVersion[3])));
  std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
      "OUTLOOK.EXE]\r\n\"Path\"=\"" +
      folder.string() + "/\"\r\n";
  CxRegSetText(reg.c_str(), reg.size());
  char szVersion[32] = "stale";
  EXPECT_TRUE(GetOutlookVersion(szVersion, sizeof(szVersion)));
  EXPECT_STREQ(szVersion, c.szText);
  OlBaseUtil store;
  EXPECT_EQ(OlBaseUtil::GetVersionClass(), c.nClass);
}

INSTANTIATE_TEST_SUITE_P(
    Releases, OutlookVersionTest,
    ::testing::Values(VersionCase{"Outlook2000", {9, 0, 0, 2711}, "9.0.0.2711", 1},
                      VersionCase{"OutlookXP", {10, 0, 2627, 1}, "10.0.2627.1", 2},
                      VersionCase{"Outlook2003", {11, 0, 8169, 0}, "11.0.8169.0", 3},
                      VersionCase{"Outlook2007", {12, 0, 6423, 1000}, "12.0.6423.1000", 4},
                      VersionCase{"Outlook2010", {14, 0, 4760, 1000}, "14.0.4760.1000", 5},
                      VersionCase{"UnreleasedThirteen", {13, 0, 1, 0}, "13.0.1.0", 6},
                      VersionCase{"Outlook2013", {15, 0, 4420, 1017}, "15.0.4420.1017", 6}),
    [](const ::testing::TestParamInfo<VersionCase>& row) { return row.param.szName; });

TEST_F(OlSessionTest, NoAppPathsEntryGivesClassZeroAndStillStartsOutlook) {
  char szVersion[32] = "stale";
  EXPECT_FALSE(GetOutlookVersion(szVersion, sizeof(szVersion)));
  OlBaseUtil store;
  EXPECT_EQ(OlBaseUtil::GetVersionClass(), 0);
  EXPECT_EQ(g_nCreatedApps, 1);
}

TEST_F(OlSessionTest, RegisteredFolderWithoutExecutableEmptiesTheVersion) {
  std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
      "OUTLOOK.EXE]\r\n\"Path\"=\"/nowhere/\"\r\n";
  CxRegSetText(reg.c_str(), reg.size());
  char szVersion[32] = "stale";
  EXPECT_FALSE(GetOutlookVersion(szVersion, sizeof(szVersion)));
  EXPECT_STREQ(szVersion, "");
  int nMajor = 7, nMinor = 7, nBuild = 7, nRevision = 7;
  EXPECT_FALSE(GetFileVersion("", &nMajor, &nMinor, &nBuild, &nRevision));
  EXPECT_EQ(nMajor + nMinor + nBuild + nRevision, 0);
}

}  // namespace
