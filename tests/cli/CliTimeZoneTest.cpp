// A change of time zone between two runs: all-day appointments are days on both sides, so
// after a two-way sync in one zone the same sync anywhere east or west finds nothing to do.
#include <gtest/gtest.h>

#include <string>

#include "support/ProcessRun.h"
#include "support/clock/ClockGuard.h"
#include "support/demo/DemoEnvironment.h"

namespace {

// The Palm calendar of the run: the demo's first user (a 4.1.4 datebook), or a file.
struct ZoneCase {
  const char* szName;
  const char* szPalmFile;  // in the demo folder; empty for the user's own
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

  // The demo's calendars are written in Paris.
  clockguard::ZoneGuard m_Zone{"Europe/Paris"};
  DemoEnvironment m_Demo{"cli-zones"};
};

TEST_P(CliTimeZones, SyncInAnotherZoneTransfersNothing) {
  ASSERT_TRUE(m_Demo.IsReady());
  const std::string sSync = "sync --direction two-way --conflict palm";
  const dbtest::ProcessResult first = Cli("Europe/Paris", sSync);
  ASSERT_EQ(first.nExit, 0) << first.sOut;
  for (const char* szZone :
       {"Pacific/Auckland", "America/Los_Angeles", "Pacific/Kiritimati", "Pacific/Pago_Pago"}) {
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

INSTANTIATE_TEST_SUITE_P(Calendars, CliTimeZones,
                         ::testing::Values(ZoneCase{"Datebook414", ""},
                                           ZoneCase{"EarlierDatebook",
                                                    "files/datebook-earlier.dat"},
                                           ZoneCase{"Database6", "files/DateBook.mdb"}),
                         [](const auto& tpi) { return std::string(tpi.param.szName); });

}  // namespace
