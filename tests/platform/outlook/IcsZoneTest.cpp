// The process's zone as the calendar file names it: from every form TZ takes, and UTC (or no
// name at all) where the zone cannot be named.
#include "platform/outlook/IcsZone.h"

#include <gtest/gtest.h>

#include <string>

#include "support/clock/ClockGuard.h"

namespace {

struct ZoneCase {
  const char* szName;
  const char* szTz;
  const char* szZone;  // empty: times are written in UTC
};

class LocalZoneNameTest : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(LocalZoneNameTest, NamesTheZoneOrNone) {
  clockguard::ZoneGuard zone(GetParam().szTz);
  EXPECT_EQ(OlLocalZoneName(), GetParam().szZone);
}

INSTANTIATE_TEST_SUITE_P(
    TzForms, LocalZoneNameTest,
    ::testing::Values(ZoneCase{"TzName", "Europe/Berlin", "Europe/Berlin"},
                      ZoneCase{"LeadingColon", ":America/New_York", "America/New_York"},
                      ZoneCase{"PathIntoZoneinfo", "/usr/share/zoneinfo/Asia/Tokyo", "Asia/Tokyo"},
                      ZoneCase{"PosixTree", "posix/Europe/Paris", "Europe/Paris"},
                      ZoneCase{"UtcItself", "Etc/UTC", ""}, ZoneCase{"EmptyIsUtc", "", ""},
                      ZoneCase{"PosixRuleHasNoName", "CET-1CEST,M3.5.0,M10.5.0/3", ""},
                      ZoneCase{"UnknownName", "Mars/Olympus_Mons", ""},
                      ZoneCase{"NameClimbingOutOfZoneinfo", "../../../etc/passwd", ""}),
    [](const ::testing::TestParamInfo<ZoneCase>& row) { return row.param.szName; });

TEST(LocalZoneTest, PrefixedTzidNamesTheSameZone) {
  clockguard::ZoneGuard zone("Europe/Berlin");
  EXPECT_TRUE(OlIsLocalZone("/freeassociation.sourceforge.net/Europe/Berlin"));
  EXPECT_FALSE(OlIsLocalZone("Europe/Berlin2"));
  EXPECT_FALSE(OlIsLocalZone("America/Berlin"));
}

}  // namespace

// Berlin seen from New York in 2011: the distance changes at each of the four clock changes,
// to the minute, and nowhere else.
TEST(ZoneStepsTest, FindsEachClockChangeOfEitherZoneToTheMinute) {
  clockguard::ZoneGuard zone("America/New_York");
  std::string strSteps;
  for (const OlZoneStep& step : OlZoneSteps(OlBuiltinZone("Europe/Berlin"))) {
    if (step.tFrom < 1293840000 || step.tFrom >= 1325376000) continue;  // 2011, UTC
    strSteps += std::to_string(step.tFrom) + ":" + std::to_string(step.nLocalAhead) + " ";
  }
  // 13 March 07:00 UTC, 27 March 01:00, 30 October 01:00, 6 November 06:00.
  EXPECT_EQ(strSteps, "1299999600:-300 1301187600:-360 1319936400:-300 1320559200:-360 ");
}
