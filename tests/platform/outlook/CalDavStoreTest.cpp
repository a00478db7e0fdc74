// The Outlook stand-in on a calendar server, driven through IDispatch as DayBridge drives
// it, against Radicale and Xandikos started for each test: another program's change between
// the load and the save, the server going away in the middle of a run, and a later open that
// reads only what changed on the server since the last one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "AutoCall.h"
#include "platform/automation/ComRuntime.h"
#include "platform/outlook/IcsFile.h"
#include "platform/outlook/OutlookServer.h"
#include "support/caldav/CalDavServer.h"
#include "support/clock/ClockGuard.h"
#include "support/files/TempFolder.h"

using namespace autocall;
using dbtest::CalDavServer;
using dbtest::DavKind;

namespace {

std::string& ServerLog() {
  static std::string strLog;
  return strLog;
}
void KeepServerLog(const char* szText) {
  ServerLog() += szText;
  ServerLog() += "\n";
}

std::string Event(const std::string& strUid, const std::string& strSummary, int nDay) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//EN\r\nBEGIN:VEVENT\r\nUID:" + strUid +
         "\r\nDTSTAMP:20261201T120000Z\r\nDTSTART:202612" + std::to_string(nDay) +
         "T090000Z\r\nDTEND:202612" + std::to_string(nDay) + "T100000Z\r\nSUMMARY:" + strSummary +
         "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

class CalDavStoreTest : public ::testing::TestWithParam<DavKind> {
 protected:
  void SetUp() override {
    m_pServer = std::make_unique<CalDavServer>(GetParam());
    if (!m_pServer->Missing().empty()) GTEST_SKIP() << m_pServer->Missing();
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", m_pServer->CalendarAddress().c_str(), 1);
    setenv("DAYBRIDGE_COMMON_APPDATA", m_AppData.Path().c_str(), 1);
    setenv("NETRC", m_pServer->Netrc().c_str(), 1);
    for (const char* szName : {"one", "two"}) {
      ASSERT_EQ(PutOnServer(szName, Event(std::string(szName) + "@test", szName, 10)).nStatus / 100,
                2);
    }
    ServerLog().clear();
    CxSetServerLog(&KeepServerLog);
    CoInitialize(nullptr);
    ASSERT_EQ(OutlookServerRegister(), S_OK);
  }
  void TearDown() override {
    CloseFolder();
    OutlookServerRevoke();
    CoUninitialize();
    CxSetServerLog(nullptr);
    unsetenv("NETRC");
    unsetenv("DAYBRIDGE_COMMON_APPDATA");
  }

  dbtest::DavReply PutOnServer(const std::string& strName, const std::string& strText,
                               const std::string& strEtag = std::string()) {
    return m_pServer->Http("PUT", m_pServer->CalendarPath() + strName + ".ics", strText,
                           {"Content-Type: text/calendar",
                            strEtag.empty() ? "If-None-Match: *" : "If-Match: " + strEtag});
  }

  HRESULT OpenFolder() { return m_Folder.Open(); }
  void CloseFolder() { m_Folder.Close(); }

  // The subjects of the folder's items, sorted.
  std::string Subjects() {
    std::vector<std::u16string> subjects;
    for (IDispatch* pItem = CallObject(m_Folder.pItems, u"GetFirst", {}); pItem != nullptr;
         pItem = CallObject(m_Folder.pItems, u"GetNext", {})) {
      subjects.push_back(GetText(pItem, u"Subject"));
      pItem->Release();
    }
    std::sort(subjects.begin(), subjects.end());
    std::string strOut;
    for (const std::u16string& subject : subjects)
      strOut += std::string(subject.begin(), subject.end()) + ";";
    return strOut;
  }

  clockguard::ZoneGuard m_Zone{"Europe/Paris"};
  dbtest::TempFolder m_AppData;
  std::unique_ptr<CalDavServer> m_pServer;
  CalendarFolder m_Folder;
};

TEST_P(CalDavStoreTest, ChangeByAnotherProgramBetweenLoadAndSaveIsKeptAndReadNextTime) {
  ASSERT_EQ(OpenFolder(), S_OK);
  IDispatch* pItem = CallObject(m_Folder.pItems, u"GetFirst", {});
  ASSERT_NE(pItem, nullptr);
  const std::u16string strMine = GetText(pItem, u"Subject");
  const std::string strName(strMine.begin(), strMine.end());
  const dbtest::DavReply theirs =
      m_pServer->Http("GET", m_pServer->CalendarPath() + strName + ".ics");
  ASSERT_EQ(
      PutOnServer(strName, Event(strName + "@test", "Theirs", 10), theirs.strEtag).nStatus / 100,
      2);

  Put(pItem, u"Subject", Text(u"Mine"));
  EXPECT_EQ(Call(pItem, u"Save"), OL_E_OBJECT_CHANGED);
  pItem->Release();
  EXPECT_NE(ServerLog().find("was changed by another program; it was not overwritten"),
            std::string::npos)
      << ServerLog();
  EXPECT_NE(m_pServer->Http("GET", m_pServer->CalendarPath() + strName + ".ics")
                .strBody.find("SUMMARY:Theirs"),
            std::string::npos);
  CloseFolder();
  ASSERT_EQ(OpenFolder(), S_OK);
  EXPECT_EQ(Subjects(), strName == "one" ? "Theirs;two;" : "Theirs;one;");
}

TEST_P(CalDavStoreTest, ServerGoneMidRunFailsEverySaveAtOnceWithTheReason) {
  ASSERT_EQ(OpenFolder(), S_OK);
  m_pServer->Stop();
  IDispatch* pItem = CallObject(m_Folder.pItems, u"GetFirst", {});
  ASSERT_NE(pItem, nullptr);
  Put(pItem, u"Subject", Text(u"Changed"));
  EXPECT_EQ(Call(pItem, u"Save"), OL_E_DISK_ERROR);
  pItem->Release();
  EXPECT_NE(ServerLog().find("could not be reached"), std::string::npos) << ServerLog();
  // The saves after it are not tried again, each for the whole of a timeout.
  const auto start = std::chrono::steady_clock::now();
  IDispatch* pNew = CallObject(m_Folder.pItems, u"Add", {I4(1)});
  ASSERT_NE(pNew, nullptr);
  Put(pNew, u"Subject", Text(u"New"));
  EXPECT_EQ(Call(pNew, u"Save"), OL_E_DISK_ERROR);
  pNew->Release();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(Subjects(), "one;two;");
}

TEST_P(CalDavStoreTest, LaterOpenReadsWhatChangedWentAndCameOnTheServer) {
  ASSERT_EQ(OpenFolder(), S_OK);
  IDispatch* pNew = CallObject(m_Folder.pItems, u"Add", {I4(1)});
  Put(pNew, u"Subject", Text(u"ours"));
  ASSERT_EQ(Call(pNew, u"Save"), S_OK);
  pNew->Release();
  CloseFolder();
  const dbtest::DavReply one = m_pServer->Http("GET", m_pServer->CalendarPath() + "one.ics");
  ASSERT_EQ(PutOnServer("one", Event("one@test", "one changed", 11), one.strEtag).nStatus / 100, 2);
  ASSERT_EQ(m_pServer->Http("DELETE", m_pServer->CalendarPath() + "two.ics").nStatus / 100, 2);
  ASSERT_EQ(PutOnServer("three", Event("three@test", "three", 12)).nStatus / 100, 2);
  ASSERT_EQ(OpenFolder(), S_OK);
  EXPECT_EQ(Subjects(), "one changed;ours;three;");
}

TEST_P(CalDavStoreTest, DeletedItemLeavesTheServer) {
  ASSERT_EQ(OpenFolder(), S_OK);
  IDispatch* pItem = CallObject(m_Folder.pItems, u"GetFirst", {});
  ASSERT_NE(pItem, nullptr);
  const std::u16string strGone = GetText(pItem, u"Subject");
  EXPECT_EQ(Call(pItem, u"Delete"), S_OK);
  pItem->Release();
  CloseFolder();
  const std::string strName(strGone.begin(), strGone.end());
  EXPECT_EQ(m_pServer->Http("GET", m_pServer->CalendarPath() + strName + ".ics").nStatus, 404);
  ASSERT_EQ(OpenFolder(), S_OK);
  EXPECT_EQ(Subjects(), strName == "one" ? "two;" : "one;");
}

INSTANTIATE_TEST_SUITE_P(Servers, CalDavStoreTest,
                         ::testing::Values(DavKind::Radicale, DavKind::Xandikos),
                         [](const auto& row) {
                           return row.param == DavKind::Radicale ? "Radicale" : "Xandikos";
                         });

}  // namespace
