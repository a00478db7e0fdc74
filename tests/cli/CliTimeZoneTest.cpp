// A change of time zone between two runs: all-day appointments are days on both sides, so
// after a two-way sync in one zone the same sync anywhere east or west finds nothing to do.
#include <gtest/gtest.h>

#include <string>

#include "support/ProcessRun.h"
#include "support/clock/ClockGuard.h"
#include "support/demo/DemoEnvironment.h"

namespace {

// The Palm calendar of the run: the demo's first user (a 4.1.4 datebook), or a file, and
// the zone the demo writes it in and the first sync runs in.
struct ZoneCase {
  const char* szName;
  const char* szPalmFile;  // in the demo folder; empty for the user's own
  const char* szWrittenIn;
};

class CliTimeZones : public ::testing::TestWithParam<ZoneCase> {
 protected:
  dbtest::ProcessResult Cli(const char* szZone, const std::string& sArgs) const {
    std::string sFile;
    if (GetParam().szPalmFile[0] != '\0') {
      sFile = " --palm-file '" + m_Demo.Path(GetParam().szPalmFile) + "'";
    }
    return dbtest::RunProcess(std::string("TZ=") + szZone + " " DB_CLI_PATH + sFile + " " + sArgs);
  }

  clockguard::ZoneGuard m_Zone{GetParam().szWrittenIn};
  DemoEnvironment m_Demo{"cli-zones"};
};

TEST_P(CliTimeZones, SyncInAnotherZoneTransfersNothing) {
  ASSERT_TRUE(m_Demo.IsReady());
  const std::string sSync = "sync --direction two-way --conflict palm";
  const dbtest::ProcessResult first = Cli(GetParam().szWrittenIn, sSync);
  ASSERT_EQ(first.nExit, 0) << first.sOut;
  for (const char* szZone : {"Pacific/Auckland", "America/Los_Angeles", "Pacific/Kiritimati",
                             "Pacific/Pago_Pago", GetParam().szWrittenIn}) {
    const dbtest::ProcessResult again = Cli(szZone, sSync);
    EXPECT_EQ(again.nExit, 0) << szZone << "\n" << again.sOut;
    EXPECT_EQ(again.sOut.find("Synchronizing Calendar record from"), std::string::npos)
        << szZone << "\n"
        << again.sOut;
    const dbtest::ProcessResult status = Cli(szZone, "status");
    EXPECT_NE(status.sOut.find("Palm Desktop:        0 new, 0 changed"), std::string::npos)
        << szZone << "\n"
        << status.sOut;
    EXPECT_NE(status.sOut.find("Outlook:             0 new, 0 changed"), std::string::npos)
        << szZone << "\n"
        << status.sOut;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Calendars, CliTimeZones,
    ::testing::Values(ZoneCase{"Datebook414", "", "Europe/Paris"},
                      ZoneCase{"EarlierDatebook", "files/datebook-earlier.dat", "Europe/Paris"},
                      ZoneCase{"Database6", "files/DateBook.mdb", "Europe/Paris"},
                      // Kolkata's midnight is the morning of the day before in the Americas.
                      ZoneCase{"Datebook414WrittenInKolkata", "", "Asia/Kolkata"},
                      ZoneCase{"EarlierDatebookWrittenInKolkata", "files/datebook-earlier.dat",
                               "Asia/Kolkata"},
                      ZoneCase{"Database6WrittenInKolkata", "files/DateBook.mdb", "Asia/Kolkata"}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

}  // namespace
