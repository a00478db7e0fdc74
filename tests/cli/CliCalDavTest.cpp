// daybridge-cli against real calendar servers (Radicale and Xandikos, each started for the
// test): the demo's first synchronization into an empty collection, read back with
// python3-icalendar, then a two-way run after the test changed and added events on the
// server through plain HTTP, and the failures a user meets first: a refused login, a
// password in the address, a certificate of the server's own making.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/ProcessRun.h"
#include "support/caldav/CalDavServer.h"
#include "support/demo/DemoEnvironment.h"
#include "support/python/PythonReader.h"

namespace {

using dbtest::CalDavServer;
using dbtest::DavKind;

// Every VEVENT of the files the server holds, one "SUMMARY" line each, sorted.
const char kReadSummaries[] = R"(import sys, icalendar
text = open(sys.argv[1], 'rb').read()
cals = icalendar.Calendar.from_ical(text, multiple=True)
print("\n".join(sorted(str(e.get('SUMMARY')) for c in cals for e in c.walk('VEVENT'))))
)";

std::string Cli(const std::string& strArgs) {
  return dbtest::RunProcess(std::string(DB_CLI_PATH) + " " + strArgs).sOut;
}

class CliCalDav : public ::testing::TestWithParam<DavKind> {
 protected:
  void SetUp() override {
    m_pServer = std::make_unique<CalDavServer>(GetParam());
    if (!m_pServer->Missing().empty()) GTEST_SKIP() << m_pServer->Missing();
    m_pDemo = std::make_unique<DemoEnvironment>("caldav");
    ASSERT_TRUE(m_pDemo->IsReady());
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", m_pServer->CalendarAddress().c_str(), 1);
    setenv("NETRC", m_pServer->Netrc().c_str(), 1);
    setenv("TZ", "Europe/Paris", 1);
  }
  void TearDown() override {
    unsetenv("NETRC");
    unsetenv("DAYBRIDGE_CALDAV_CA_FILE");
  }

  // What the server holds, as python3-icalendar reads it.
  std::string ServerSummaries() {
    std::string strText;
    for (const auto& [strHref, reply] : m_pServer->Items()) strText += reply.strBody;
    const std::string strFile = m_pDemo->Path("server.ics");
    std::ofstream(strFile, std::ios::binary) << strText;
    return RunPythonOn(kReadSummaries, strFile);
  }

  std::unique_ptr<CalDavServer> m_pServer;
  std::unique_ptr<DemoEnvironment> m_pDemo;
};

TEST_P(CliCalDav, FirstSyncThenTwoWayAfterEditsOnTheServer) {
  EXPECT_NE(Cli("status").find("Outlook calendar:    0 records"), std::string::npos);
  const std::string strFirst = Cli("sync --direction palm-to-outlook --range all --conflict skip");
  ASSERT_NE(strFirst.find("9 record(s) were synchronized"), std::string::npos) << strFirst;
  const std::string strHeld = ServerSummaries();
  ASSERT_EQ(std::count(strHeld.begin(), strHeld.end(), '\n'), 9) << strHeld;

  // Another program changes one event and adds one.
  auto items = m_pServer->Items();
  ASSERT_EQ(items.size(), 9u);
  auto& [strHref, reply] = items.front();
  std::string strChanged = reply.strBody;
  const size_t nSummary = strChanged.find("SUMMARY:");
  strChanged.replace(nSummary, strChanged.find('\n', nSummary) - nSummary,
                     "SUMMARY:Changed on the server\r");
  ASSERT_EQ(m_pServer
                    ->Http("PUT", strHref, strChanged,
                           {"If-Match: " + reply.strEtag, "Content-Type: text/calendar"})
                    .nStatus /
                100,
            2);
  const std::string strAdded =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//EN\r\nBEGIN:VEVENT\r\n"
      "UID:added-on-server@test\r\nDTSTAMP:20261201T120000Z\r\nDTSTART:20261210T090000Z\r\n"
      "DTEND:20261210T100000Z\r\nSUMMARY:Added on the server\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  ASSERT_EQ(m_pServer
                    ->Http("PUT", m_pServer->CalendarPath() + "added.ics", strAdded,
                           {"If-None-Match: *", "Content-Type: text/calendar"})
                    .nStatus /
                100,
            2);

  const std::string strTwoWay = Cli("sync --direction two-way --range all --conflict outlook");
  EXPECT_NE(strTwoWay.find("record(s) were synchronized"), std::string::npos) << strTwoWay;
  const std::string strPalm = Cli("list palm");
  EXPECT_NE(strPalm.find("Changed on the server"), std::string::npos) << strPalm;
  EXPECT_NE(strPalm.find("Added on the server"), std::string::npos) << strPalm;
  // The next open asks only what changed and finds both calendars alike.
  const std::string strStatus = Cli("status");
  EXPECT_NE(strStatus.find("Palm Desktop:        0 new, 0 changed"), std::string::npos)
      << strStatus;
  EXPECT_NE(strStatus.find("Outlook:             0 new, 0 changed"), std::string::npos)
      << strStatus;
  const std::string strAfter = ServerSummaries();
  EXPECT_NE(strAfter.find("Changed on the server"), std::string::npos) << strAfter;
  EXPECT_NE(strAfter.find("Added on the server"), std::string::npos) << strAfter;
}

INSTANTIATE_TEST_SUITE_P(Servers, CliCalDav,
                         ::testing::Values(DavKind::Radicale, DavKind::Xandikos),
                         [](const auto& row) {
                           return row.param == DavKind::Radicale ? "Radicale" : "Xandikos";
                         });

// Xandikos has no login of its own, so what a refused login shows is tried on Radicale.
struct LoginCase {
  const char* szName;
  const char* szNetrcPassword;
  bool bPasswordInAddress;
  const char* szExpected;
};

class CliCalDavLogin : public ::testing::TestWithParam<LoginCase> {};

TEST_P(CliCalDavLogin, RefusalNamesTheAddressNeverThePassword) {
  CalDavServer server(DavKind::Radicale);
  if (!server.Missing().empty()) GTEST_SKIP() << server.Missing();
  DemoEnvironment demo("caldav-login");
  ASSERT_TRUE(demo.IsReady());
  const LoginCase& row = GetParam();
  std::string strAddress = server.CalendarAddress();
  if (row.bPasswordInAddress) {
    strAddress.insert(strAddress.find("//") + 2,
                      std::string(dbtest::kDavUser) + ":" + row.szNetrcPassword + "@");
  }
  setenv("DAYBRIDGE_OUTLOOK_CALENDAR", strAddress.c_str(), 1);
  setenv("NETRC", server.Netrc(row.szNetrcPassword).c_str(), 1);
  const dbtest::ProcessResult result = dbtest::RunProcess(
      std::string(DB_CLI_PATH) + " sync --direction palm-to-outlook --range all --conflict skip");
  unsetenv("NETRC");
  EXPECT_EQ(result.nExit, 2) << result.sOut;
  EXPECT_NE(result.sOut.find(row.szExpected), std::string::npos) << result.sOut;
  EXPECT_EQ(result.sOut.find(row.szNetrcPassword), std::string::npos) << result.sOut;
  std::ifstream log(demo.DataFile("appdebug.log"));
  const std::string strLog((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_EQ(strLog.find(row.szNetrcPassword), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Radicale, CliCalDavLogin,
                         ::testing::Values(LoginCase{"WrongPasswordInNetrc", "wrong-password-7",
                                                     false, "refused the login (HTTP 401)"},
                                           LoginCase{"PasswordInTheAddress", "s3cret-pass", true,
                                                     "put them in the netrc file"}),
                         [](const auto& row) { return std::string(row.param.szName); });

TEST(CliCalDavTls, SelfSignedServerIsTrustedOnlyThroughTheNamedCaFile) {
  CalDavServer server(DavKind::Radicale, true);
  if (!server.Missing().empty()) GTEST_SKIP() << server.Missing();
  DemoEnvironment demo("caldav-tls");
  ASSERT_TRUE(demo.IsReady());
  setenv("DAYBRIDGE_OUTLOOK_CALENDAR", server.CalendarAddress().c_str(), 1);
  setenv("NETRC", server.Netrc().c_str(), 1);
  const std::string strRefused = Cli("status");
  EXPECT_NE(strRefused.find("certificate"), std::string::npos) << strRefused;
  setenv("DAYBRIDGE_CALDAV_CA_FILE", server.CaFile().c_str(), 1);
  const std::string strSynced = Cli("sync --direction palm-to-outlook --range all --conflict skip");
  unsetenv("DAYBRIDGE_CALDAV_CA_FILE");
  unsetenv("NETRC");
  EXPECT_NE(strSynced.find("9 record(s) were synchronized"), std::string::npos) << strSynced;
}

}  // namespace
