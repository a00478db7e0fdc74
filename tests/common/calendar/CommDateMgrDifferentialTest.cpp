// The indexed matching and the jumping calendar tests against the plain scan and the plain
// stepping they replace (tests/support/calendar), over seeded random sets and patterns that
// crowd the cases where the two could part: duplicates and case variants within one set,
// changes to a set between searches, month ends, February 29, the last week of a month,
// long intervals, pattern ends on both sides of the day, searches that stepping ends, and
// deleted occurrences on and around the days asked (the first occurrence among them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/calendar/CommDateMgr.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"
#include "support/calendar/CalendarReference.h"
#include "support/clock/Moments.h"

namespace {

// The sanitizer build asks a quarter as many days, in about the same time.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSanitizerDivisor = 4;
#else
constexpr int kSanitizerDivisor = 1;
#endif

class Random {
 public:
  explicit Random(unsigned nSeed) : m_Engine(nSeed) {}
  int Int(int nLow, int nHigh) { return std::uniform_int_distribution<int>(nLow, nHigh)(m_Engine); }
  bool Chance(int nPercent) { return Int(0, 99) < nPercent; }
  template <typename T, size_t N>
  const T& Pick(const T (&values)[N]) {
    return values[static_cast<size_t>(Int(0, static_cast<int>(N) - 1))];
  }

 private:
  std::mt19937 m_Engine;
};

using clockguard::LocalTime;

SYSTEMTIME Shifted(SYSTEMTIME st, int nDays) {
  AddDays(&st, nDays);
  return st;
}

std::string Text(const SYSTEMTIME& st) {
  char szText[32];
  snprintf(szText, sizeof(szText), "%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
  return szText;
}

std::string Describe(const CommDate& date) {
  const RepeatPattern& p = date.repeat;
  char szText[256];
  snprintf(szText, sizeof(szText),
           "start %s end %s type %d interval %u mask 0x%x day %u instance %u until %s deleted",
           Text(date.stStart).c_str(), Text(date.stEnd).c_str(), p.nType, p.nInterval,
           p.nDayOfWeekMask, p.nDayOfMonth, p.nInstance,
           p.bHasEnd ? Text(p.stPatternEnd).c_str() : "-");
  std::string strText = szText;
  for (const SYSTEMTIME& stDay : ExceptionDays(p)) strText += " " + Text(stDay);
  return strText;
}

// Deleted occurrences as a store leaves them: ascending, each once.
void SetDeleted(CommDate& date, std::vector<SYSTEMTIME> vDays) {
  std::sort(vDays.begin(), vDays.end(),
            [](const SYSTEMTIME& a, const SYSTEMTIME& b) { return CompareDate(&a, &b) < 0; });
  vDays.erase(std::unique(vDays.begin(), vDays.end(),
                          [](const SYSTEMTIME& a, const SYSTEMTIME& b) {
                            return CompareDate(&a, &b) == 0;
                          }),
              vDays.end());
  SetExceptionDays(&date.repeat, vDays.data(), vDays.size());
}

// ---- Matching -----------------------------------------------------------------------------

// A record set with the key lists it was given, which the scan needs.
struct KeyedSet {
  CommDateMgr set;
  std::vector<int> identity{FIELD_DESCRIPTION, FIELD_START_TIME, FIELD_END_TIME,
                            FIELD_ALL_DAY_EVENT};
  std::vector<int> equality{FIELD_LOCATION};
};

// Few values, so that most records agree with others on some keys; texts that differ only
// in case (accented letters too), in line breaks or in a trailing blank.
CommDate RandomRecord(Random& rnd) {
  static const char* const kDescriptions[] = {"Lunch",  "LUNCH",    "lunch ",   "Zo\xEB",
                                              "ZO\xCB", "\xC4rzte", "\xE4RZTE", ""};
  static const char* const kNotes[] = {"", "a\r\nb", "AB", "a\nb\n", "x"};
  static const char* const kLocations[] = {"", "Room 1", "ROOM 1", "Room 2"};
  CommDate date{};
  CxCopyText(date.szDescription, rnd.Pick(kDescriptions));
  CxCopyText(date.szNote, rnd.Pick(kNotes));
  CxCopyText(date.szLocation, rnd.Pick(kLocations));
  date.stStart = LocalTime(2011, 3, rnd.Int(7, 8));
  date.stStart.wHour = static_cast<WORD>(rnd.Int(8, 9));
  date.stEnd = Shifted(date.stStart, rnd.Chance(80) ? 0 : 1);
  date.bAllDay = rnd.Chance(10) ? 2 : rnd.Int(0, 1);
  date.nImportance = rnd.Int(0, 1);
  date.repeat.nType = rnd.Int(0, 2);
  date.repeat.nInterval = static_cast<UINT>(rnd.Int(1, 2));
  // Deleted occurrences, which make a match changed unless one side cannot tell.
  if (rnd.Chance(30))
    SetDeleted(date, {LocalTime(2011, 3, rnd.Int(14, 15)), LocalTime(2011, 3, 21)});
  date.repeat.bExceptionsUnknown = rnd.Chance(10) ? 1 : 0;
  // Fields no key compares, which must not keep records apart.
  date.repeat.bHasEnd = static_cast<BYTE>(rnd.Int(0, 1));
  date.repeat.stPatternEnd = LocalTime(2012, 1, rnd.Int(1, 2));
  date.bAlarm = rnd.Int(0, 1);
  CxCopyText(date.szCategory, rnd.Chance(50) ? "Work" : "");
  return date;
}

void AddRandom(CommDateMgr& set, Random& rnd) {
  const CommDate date = RandomRecord(rnd);
  set.AddCopy(&date);
}

std::vector<int> RandomKeys(Random& rnd, bool bIdentity) {
  static const std::vector<int> kLists[] = {
      {FIELD_DESCRIPTION},          {FIELD_DESCRIPTION, FIELD_REPEAT},
      {FIELD_NOTE, FIELD_LOCATION}, {FIELD_START_TIME, FIELD_END_TIME},
      {FIELD_DATE, FIELD_ALARM},    {FIELD_DESCRIPTION, FIELD_IMPORTANCE, FIELD_ALL_DAY_EVENT}};
  if (rnd.Chance(40)) {
    return bIdentity ? std::vector<int>{FIELD_DESCRIPTION, FIELD_START_TIME, FIELD_END_TIME,
                                        FIELD_ALL_DAY_EVENT}
                     : std::vector<int>{FIELD_LOCATION};
  }
  if (rnd.Chance(50)) return rnd.Pick(kLists);
  std::vector<int> ids(static_cast<size_t>(rnd.Int(1, 4)));
  for (int& nId : ids) nId = rnd.Int(0, 15);
  return ids;
}

void SetKeys(KeyedSet& keyed, Random& rnd) {
  keyed.identity = RandomKeys(rnd, true);
  keyed.equality = RandomKeys(rnd, false);
  keyed.set.SetIdentityKeys(keyed.identity.data(), static_cast<int>(keyed.identity.size()));
  keyed.set.SetEqualityKeys(keyed.equality.data(), static_cast<int>(keyed.equality.size()));
}

void ExpectFoundAsScanned(KeyedSet& keyed, const CommDate* pProbe, const char* szAfter) {
  CommDate* pPeer = nullptr;
  int nPos = -1;
  const int nResult = keyed.set.FindMatch(pProbe, &pPeer, &nPos);
  CommDate* pScanPeer = nullptr;
  int nScanPos = -1;
  const int nScan = calref::ScanFindMatch(keyed.set, pProbe, keyed.identity, keyed.equality,
                                          &pScanPeer, &nScanPos);
  ASSERT_TRUE(nResult == nScan && pPeer == pScanPeer && nPos == nScanPos)
      << "after " << szAfter << ": \"" << pProbe->szDescription << "\" found " << nResult << " at "
      << nPos << ", the scan " << nScan << " at " << nScanPos;
}

void ExpectMarkedAsScanned(KeyedSet& mine, KeyedSet& theirs, const char* szAfter) {
  std::vector<CommDate*> vRecords;
  for (CommDate* p = mine.set.GetFirst(); p != nullptr; p = mine.set.GetNext()) {
    vRecords.push_back(p);
  }
  std::vector<std::pair<UINT, CommDate*>> vExpected;
  for (CommDate* pDate : vRecords) {
    CommDate* pPeer = nullptr;
    int nPos = 0;
    const int nResult =
        calref::ScanFindMatch(theirs.set, pDate, theirs.identity, theirs.equality, &pPeer, &nPos);
    vExpected.emplace_back(nResult == FIND_NONE      ? MATCH_NEW
                           : nResult == FIND_CHANGED ? MATCH_CHANGED
                                                     : MATCH_SAME,
                           pPeer);
  }
  ASSERT_TRUE(mine.set.MarkAll(&theirs.set));
  for (size_t i = 0; i < vRecords.size(); i++) {
    ASSERT_TRUE(vRecords[i]->nMatchState == vExpected[i].first &&
                vRecords[i]->pPeer == vExpected[i].second)
        << "after " << szAfter << ": record " << i << " marked " << vRecords[i]->nMatchState;
  }
}

// Changes a sync run or a reload makes to a set between searches; returns what it did.
const char* ChangeSet(KeyedSet& keyed, Random& rnd) {
  CommDateMgr& set = keyed.set;
  const int nCount = set.GetCount();
  const int nPos = nCount > 0 ? rnd.Int(0, nCount - 1) : 0;
  switch (rnd.Int(0, 9)) {
    case 0:
    case 1:
      AddRandom(set, rnd);
      return "an added record";
    case 2:
    case 3: {
      const CommDate incoming = RandomRecord(rnd);
      set.Update(&incoming, nPos);
      return "an update";
    }
    case 4: {
      // A changed match overwritten in place with the incoming record, which agrees with it
      // on the identity keys (as the Outlook store does).
      CommDate incoming = RandomRecord(rnd);
      CommDate* pPeer = nullptr;
      if (set.FindMatch(&incoming, &pPeer, nullptr) == FIND_CHANGED && pPeer != &incoming) {
        *pPeer = incoming;
      }
      return "a replacement in place";
    }
    case 5:
      set.Remove(nPos);
      return "a removal";
    case 6:
      SetKeys(keyed, rnd);
      return "new keys";
    case 7:
      if (rnd.Chance(10)) set.Clear();
      return "a clear";
    default:
      AddRandom(set, rnd);
      return "an added record";
  }
}

TEST(IndexedMatching, GivesTheScansAnswersThroughChangesToTheSets) {
  Random rnd(20240516);
  for (int nRound = 0; nRound < 300; nRound++) {
    KeyedSet palm;
    KeyedSet outlook;
    if (rnd.Chance(50)) SetKeys(outlook, rnd);
    for (int i = rnd.Int(0, 40); i > 0; i--) AddRandom(palm.set, rnd);
    for (int i = rnd.Int(0, 40); i > 0; i--) {
      AddRandom(outlook.set, rnd);
    }
    ExpectMarkedAsScanned(palm, outlook, "loading");
    ExpectMarkedAsScanned(outlook, palm, "loading");
    ExpectMarkedAsScanned(palm, palm, "loading");
    for (int nChange = 0; nChange < 30; nChange++) {
      const char* szChange = ChangeSet(outlook, rnd);
      for (int nProbe = 0; nProbe < 3; nProbe++) {
        const CommDate probe = RandomRecord(rnd);
        ExpectFoundAsScanned(outlook, &probe, szChange);
      }
      if (outlook.set.GetCount() > 0) {
        ExpectFoundAsScanned(outlook, outlook.set.GetAt(rnd.Int(0, outlook.set.GetCount() - 1)),
                             szChange);
      }
      if (HasFatalFailure()) return;
    }
    ExpectMarkedAsScanned(palm, outlook, "the changes");
    // A record changed in place on its keys, unannounced, is matched by its new keys once
    // the set is matched again.
    if (outlook.set.GetCount() > 0) {
      CommDate* pStored = outlook.set.GetAt(rnd.Int(0, outlook.set.GetCount() - 1));
      const CommDate incoming = RandomRecord(rnd);
      CxCopyText(pStored->szDescription, incoming.szDescription);
      pStored->stStart = incoming.stStart;
    }
    ExpectMarkedAsScanned(palm, outlook, "a change in place");
    ExpectMarkedAsScanned(outlook, outlook, "a change in place");
    if (HasFatalFailure()) return;
  }
}

// ---- Calendar tests -----------------------------------------------------------------------

SYSTEMTIME RandomDay(Random& rnd, int nFirstYear, int nLastYear) {
  const int nYear = rnd.Int(nFirstYear, nLastYear);
  const int nMonth = rnd.Int(1, 12);
  const int nLast = DaysInMonth(nYear, nMonth);
  // Month ends and February 29 come up far more often than by chance.
  const int nDay = rnd.Chance(30) ? rnd.Int(std::max(1, nLast - 3), nLast) : rnd.Int(1, nLast);
  return LocalTime(nYear, nMonth, nDay);
}

// Dates no store writes but a record may still carry: day 0, a day past the month's end,
// February 29 of a common year, month 0 or 13.
SYSTEMTIME Malformed(Random& rnd, SYSTEMTIME st) {
  switch (rnd.Int(0, 3)) {
    case 0:
      st.wDay = 0;
      break;
    case 1:
      st.wDay = static_cast<WORD>(DaysInMonth(st.wYear, st.wMonth) + rnd.Int(1, 3));
      break;
    case 2:
      st.wMonth = 2;
      st.wDay = 29;
      break;
    default:
      st.wMonth = static_cast<WORD>(rnd.Chance(50) ? 0 : 13);
      break;
  }
  return st;
}

CommDate RandomPattern(Random& rnd) {
  static const INT kTypes[] = {
      REPEAT_DAILY,           REPEAT_WEEKLY,         REPEAT_WEEKLY,
      REPEAT_MONTHLY_BY_DAY,  REPEAT_MONTHLY_BY_DAY, REPEAT_MONTHLY_BY_DATE,
      REPEAT_MONTHLY_BY_DATE, REPEAT_YEARLY_BY_DATE, REPEAT_YEARLY_BY_DATE,
      REPEAT_YEARLY_BY_DAY,   REPEAT_NONE,           9};
  static const UINT kLongIntervals[] = {7, 12, 13, 48, 100, 400, 1461, 10000};
  CommDate date{};
  CxCopyText(date.szDescription, "Pattern");
  RepeatPattern& p = date.repeat;
  p.nType = rnd.Pick(kTypes);
  const int nIntervalKind = rnd.Int(0, 99);
  p.nInterval = nIntervalKind < 55   ? 1
                : nIntervalKind < 80 ? static_cast<UINT>(rnd.Int(2, 6))
                : nIntervalKind < 97 ? rnd.Pick(kLongIntervals)
                                     : 0;
  p.nDayOfWeekMask = rnd.Chance(10) ? 0 : rnd.Chance(10) ? DAYMASK_SATURDAY : rnd.Int(1, 127);
  p.nInstance =
      rnd.Chance(90) ? static_cast<UINT>(rnd.Int(1, 5)) : static_cast<UINT>(rnd.Int(0, 9));
  p.nDayOfMonth =
      rnd.Chance(90) ? static_cast<UINT>(rnd.Int(1, 31)) : static_cast<UINT>(rnd.Int(0, 40));
  const int nYearKind = rnd.Int(0, 99);
  date.stStart = nYearKind < 90   ? RandomDay(rnd, 1990, 2030)
                 : nYearKind < 95 ? RandomDay(rnd, 100, 104)
                                  : RandomDay(rnd, 9985, 9999);
  if (p.nType == REPEAT_YEARLY_BY_DATE && rnd.Chance(40)) {
    // February 29 kept or lost across centuries, with intervals that pass them or not.
    static const UINT kLeapIntervals[] = {1, 2, 4, 8, 12, 16, 100, 200, 400};
    p.nInterval = rnd.Pick(kLeapIntervals);
    date.stStart = LocalTime(4 * rnd.Int(400, 600), 2, 29);
  }
  if (rnd.Chance(3)) date.stStart = Malformed(rnd, date.stStart);
  if (rnd.Chance(5)) date.stStart.wYear = static_cast<WORD>(rnd.Int(0, 99));
  date.stStart.wHour = static_cast<WORD>(rnd.Int(0, 23));
  date.stStart.wDayOfWeek = static_cast<WORD>(rnd.Int(0, 9));
  date.stEnd = date.stStart;
  date.stEnd.wHour = 23;
  return date;
}

// How far after the start the days are asked: far enough for many periods, near enough for
// the stepping to get there quickly.
int SpanInDays(const RepeatPattern& p, Random& rnd) {
  const int nPeriod = p.nType == REPEAT_DAILY            ? 1
                      : p.nType == REPEAT_WEEKLY         ? 2
                      : p.nType == REPEAT_YEARLY_BY_DATE ? 365
                                                         : 30;
  const long nSpan = static_cast<long>(nPeriod) * std::max<UINT>(p.nInterval, 1) *
                     rnd.Int(20, 400) * (rnd.Chance(10) ? 20 : 1);
  return static_cast<int>(std::min<long>(nSpan, MAX_OCCURRENCE_STEPS));
}

// The days asked of one pattern, ascending: days at random, the dates stepping reaches and
// the days next to them, and now and then a malformed day.
std::vector<SYSTEMTIME> AskedDays(const CommDate& date, int nCount, Random& rnd,
                                  std::vector<SYSTEMTIME>* pvReached) {
  const SYSTEMTIME stFrom = Shifted(LocalTime(std::max<int>(date.stStart.wYear, 100), 1, 1), -40);
  SYSTEMTIME stTo = stFrom;
  if (!AddDays(&stTo, SpanInDays(date.repeat, rnd))) stTo = LocalTime(9999, 12, 31);
  calref::SteppedOccurrences stepped(date);
  std::vector<SYSTEMTIME>& vReached = *pvReached;
  vReached = stepped.Until(stTo);
  std::vector<SYSTEMTIME> vDays;
  for (int i = 0; i < nCount; i++) {
    SYSTEMTIME stDay{};
    if (!vReached.empty() && rnd.Chance(50)) {
      stDay =
          Shifted(vReached[static_cast<size_t>(rnd.Int(0, static_cast<int>(vReached.size()) - 1))],
                  rnd.Int(-1, 1));
    } else {
      stDay = RandomDay(rnd, stFrom.wYear, stTo.wYear);
    }
    if (rnd.Chance(2)) stDay = Malformed(rnd, stDay);
    // Past the last day any step reaches, when the steps got that far.
    if (stTo.wYear == 9999 && rnd.Chance(1)) stDay.wYear = 10000;
    vDays.push_back(stDay);
  }
  std::sort(vDays.begin(), vDays.end(),
            [](const SYSTEMTIME& a, const SYSTEMTIME& b) { return CompareDate(&a, &b) < 0; });
  return vDays;
}

// Deleted occurrences: runs of occurrences in a row, days asked (which crowd around the
// occurrences, and may be none), and the start's day now and then.
void GiveDeletions(CommDate& date, const std::vector<SYSTEMTIME>& vDays,
                   const std::vector<SYSTEMTIME>& vReached, Random& rnd) {
  if (vDays.empty() || rnd.Chance(40)) return;
  std::vector<SYSTEMTIME> vDeleted;
  if (!vReached.empty() && rnd.Chance(50)) {
    const int nFirst = rnd.Int(0, static_cast<int>(vReached.size()) - 1);
    const int nLast = std::min(nFirst + rnd.Int(0, 8), static_cast<int>(vReached.size()) - 1);
    vDeleted.assign(vReached.begin() + nFirst, vReached.begin() + nLast + 1);
  }
  for (int i = rnd.Int(1, 12); i > 0; i--) {
    const SYSTEMTIME& stDay =
        vDays[static_cast<size_t>(rnd.Int(0, static_cast<int>(vDays.size()) - 1))];
    const bool bReal = stDay.wMonth >= 1 && stDay.wMonth <= 12 && stDay.wDay >= 1 &&
                       stDay.wDay <= DaysInMonth(stDay.wYear, stDay.wMonth) && stDay.wYear <= 9999;
    if (bReal) vDeleted.push_back(stDay);
  }
  if (rnd.Chance(20)) vDeleted.push_back(date.stStart);
  SetDeleted(date, vDeleted);
}

void GiveAnEnd(CommDate& date, const std::vector<SYSTEMTIME>& vDays, Random& rnd) {
  if (vDays.empty() || rnd.Chance(50)) return;
  date.repeat.bHasEnd = 1;
  date.repeat.stPatternEnd =
      vDays[static_cast<size_t>(rnd.Int(0, static_cast<int>(vDays.size()) - 1))];
  date.repeat.stPatternEnd.wHour = static_cast<WORD>(rnd.Int(0, 23));
}

TEST(JumpingOccurrences, OnDayAgreesWithSteppingForAMillionDays) {
  Random rnd(19950102);
  const int nPatterns = 2000 / kSanitizerDivisor;
  long nAsked = 0;
  for (int nPattern = 0; nPattern < nPatterns; nPattern++) {
    CommDate date = RandomPattern(rnd);
    std::vector<SYSTEMTIME> vReached;
    const std::vector<SYSTEMTIME> vDays = AskedDays(date, 500, rnd, &vReached);
    GiveAnEnd(date, vDays, rnd);
    GiveDeletions(date, vDays, vReached, rnd);
    calref::SteppedOccurrences stepped(date);
    for (const SYSTEMTIME& stDay : vDays) {
      const bool bStepped = stepped.OnDay(stDay);
      ASSERT_EQ(bStepped, OccursOnDay(&date, &stDay)) << Describe(date) << " on " << Text(stDay);
      nAsked++;
    }
  }
  EXPECT_GE(nAsked * kSanitizerDivisor, 1000000);
}

TEST(JumpingOccurrences, InRangeAgreesWithStepping) {
  Random rnd(20260615);
  for (int nPattern = 0; nPattern < 2000 / kSanitizerDivisor; nPattern++) {
    CommDate date = RandomPattern(rnd);
    std::vector<SYSTEMTIME> vReached;
    const std::vector<SYSTEMTIME> vDays = AskedDays(date, 50, rnd, &vReached);
    GiveAnEnd(date, vDays, rnd);
    GiveDeletions(date, vDays, vReached, rnd);
    calref::SteppedOccurrences stepped(date);
    for (size_t i = 0; i < vDays.size(); i++) {
      // From one asked day to the same or a later one, and now and then to an earlier one.
      const SYSTEMTIME& stFirst = vDays[i];
      const size_t nLast = rnd.Chance(5) ? i - std::min<size_t>(i, 1)
                                         : std::min(i + rnd.Int(0, 3), vDays.size() - 1);
      const SYSTEMTIME& stLast = vDays[nLast];
      ASSERT_EQ(stepped.InRange(stFirst, stLast), OccursInRange(&date, &stFirst, &stLast))
          << Describe(date) << " in " << Text(stFirst) << ".." << Text(stLast);
    }
  }
}

// Searches that step across the whole range of dates: the longest the step limit allows for.
struct FarCase {
  const char* szName;
  INT nType;
  UINT nInterval;
  UINT nMask;
  UINT nDayOfMonth;
  UINT nInstance;
  SYSTEMTIME stStart;
};

class FarOccurrenceTest : public ::testing::TestWithParam<FarCase> {};

TEST_P(FarOccurrenceTest, AgreesWithSteppingAtTheEndOfTheDates) {
  const FarCase& c = GetParam();
  CommDate date{};
  date.stStart = c.stStart;
  date.stEnd = c.stStart;
  date.repeat = {c.nType, 0, {}, {}, c.nInterval, c.nMask, c.nDayOfMonth, 2, c.nInstance};
  calref::SteppedOccurrences stepped(date);
  for (SYSTEMTIME stDay = LocalTime(9999, 12, 1); stDay.wYear == 9999; stDay = Shifted(stDay, 1)) {
    ASSERT_EQ(stepped.OnDay(stDay), OccursOnDay(&date, &stDay)) << c.szName << " " << Text(stDay);
    if (stDay.wDay == 31) break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    WholeRange, FarOccurrenceTest,
    ::testing::Values(
        FarCase{"DailyFromYear100", REPEAT_DAILY, 1, 0, 0, 0, LocalTime(100, 1, 1)},
        FarCase{"WeeklyThreeDaysFromYear100", REPEAT_WEEKLY, 1, 0x2A, 0, 0, LocalTime(100, 1, 1)},
        FarCase{"MonthlyLastFridayFromYear100", REPEAT_MONTHLY_BY_DAY, 1, DAYMASK_FRIDAY, 0, 5,
                LocalTime(100, 1, 1)},
        FarCase{"MonthlyOn31stFromYear0", REPEAT_MONTHLY_BY_DATE, 1, 0, 31, 0, LocalTime(0, 1, 31)},
        FarCase{"YearlyLeapDayEveryFourYears", REPEAT_YEARLY_BY_DATE, 4, 0, 29, 0,
                LocalTime(104, 2, 29)}),
    [](const ::testing::TestParamInfo<FarCase>& row) { return row.param.szName; });

}  // namespace
