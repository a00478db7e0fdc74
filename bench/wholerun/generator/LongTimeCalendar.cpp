// How the shape is drawn: each record takes one number in 0..999 that picks its kind by the
// shares below, a day of the eight years (timed ones on working days), and then independent
// draws for its note, alarm, location, category and privacy. The shares follow what such
// datebooks hold: about seven in ten appointments are single timed ones.
#include "bench/wholerun/generator/LongTimeCalendar.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/misc/WinUtil.h"
#include "common/palm/PalmDateEx.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/win/WinString.h"
#include "platform/win/WinText.h"

namespace {

// Upper bounds (exclusive) of each kind in a draw of 0..999.
constexpr int kSingleTimed = 690;
constexpr int kSingleAllDay = 810;
constexpr int kDaily = 830;
constexpr int kWeekly = 900;
constexpr int kMonthlyByDay = 920;
constexpr int kMonthlyByDate = 945;
constexpr int kYearlyByDate = 990;  // the rest is yearly by day

constexpr int kFirstYear = 1997;
constexpr int kYears = 8;

// splitmix64: the same stream on every platform and library, unlike std's distributions.
class Draw {
 public:
  explicit Draw(uint64_t nSeed) : m_nState(nSeed) {}
  uint64_t Next() {
    uint64_t z = (m_nState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int nBound) { return static_cast<int>(Next() % static_cast<uint64_t>(nBound)); }
  bool Percent(int nShare) { return Below(100) < nShare; }
  template <size_t N>
  const char* Pick(const char* const (&names)[N]) {
    return names[Below(static_cast<int>(N))];
  }

 private:
  uint64_t m_nState;
};

const char* const kWhat[] = {"Meeting with",     "Call",           "Lunch with", "Review with",
                             "Dinner with",      "Interview with", "Visit",      "Coffee with",
                             "Presentation for", "Workshop with"};
const char* const kWho[] = {"Anne",       "Bernd",        "Chloé",    "the board", "marketing",
                            "José",       "the landlord", "Dr. Weiß", "Françoise", "the bank",
                            "Sales team", "Mr. Okafor",   "Zoë",      "the school"};
const char* const kAllDay[] = {"Holiday",       "Trade fair",      "Conference", "Day off",
                               "Moving day",    "School holidays", "Inventory",  "Training",
                               "Company party", "Trip to Genève"};
const char* const kBirthday[] = {"Mum's birthday",   "Anniversary", "Paul's birthday",
                                 "Renée's birthday", "Wedding day", "Grandpa's birthday"};
const char* const kPlaces[] = {"Room 4",        "Head office", "Café Central", "Terminal 2",
                               "Hauptstraße 5", "Client site", "Home",         "Hotel Rex"};
const char* const kCategories[] = {"Business", "Business", "Business", "Personal",
                                   "Personal", "Family",   "Travel",   "Holiday"};
const char* const kNoteLines[] = {"Bring the contract.",
                                  "Call back before noon.",
                                  "Agenda: budget, staffing, the new office.",
                                  "Parking behind the building.",
                                  "Ask about the invoice.",
                                  "Tickets are in the drawer."};

std::string Ansi(const char* szUtf8) {
  return CxUtf8ToAnsi(szUtf8);
}

SYSTEMTIME DayOfRange(Draw& draw, bool bWorkingDay) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(kFirstYear);
  st.wMonth = 1;
  st.wDay = 1;
  AddDays(&st, draw.Below(kYears * 365 + 1));
  if (bWorkingDay && (st.wDayOfWeek == 0 || st.wDayOfWeek == 6)) {
    AddDays(&st, st.wDayOfWeek == 0 ? 1 : 2);
  }
  return st;
}

void SetSpan(CommDate* pDate, const SYSTEMTIME& stDay, int nStartMinutes, int nMinutes) {
  pDate->stStart = stDay;
  pDate->stStart.wHour = static_cast<WORD>(nStartMinutes / 60);
  pDate->stStart.wMinute = static_cast<WORD>(nStartMinutes % 60);
  const int nEnd = std::min(nStartMinutes + nMinutes, 23 * 60 + 45);
  pDate->stEnd = stDay;
  pDate->stEnd.wHour = static_cast<WORD>(nEnd / 60);
  pDate->stEnd.wMinute = static_cast<WORD>(nEnd % 60);
}

void SetTimed(Draw& draw, CommDate* pDate, const SYSTEMTIME& stDay) {
  static const int kLengths[] = {15, 30, 30, 45, 60, 60, 60, 90, 120, 180};
  SetSpan(pDate, stDay, (7 * 4 + draw.Below(12 * 4)) * 15, kLengths[draw.Below(10)]);
  std::string strText = std::string(draw.Pick(kWhat)) + " " + draw.Pick(kWho);
  CxCopyText(pDate->szDescription, Ansi(strText.c_str()).c_str());
}

void SetAllDay(CommDate* pDate, const SYSTEMTIME& stDay, const char* szUtf8Text) {
  pDate->bAllDay = 1;
  pDate->stStart = stDay;
  pDate->stEnd = stDay;
  CxCopyText(pDate->szDescription, Ansi(szUtf8Text).c_str());
}

void SetEnd(CommDate* pDate, int nDays) {
  pDate->repeat.bHasEnd = 1;
  pDate->repeat.stPatternEnd = pDate->stStart;
  AddDays(&pDate->repeat.stPatternEnd, nDays);
}

UINT InstanceOf(const SYSTEMTIME& st) {
  return static_cast<UINT>((st.wDay - 1) / 7 + 1);
}

void SetKind(Draw& draw, CommDate* pDate) {
  const int nKind = draw.Below(1000);
  RepeatPattern& repeat = pDate->repeat;
  if (nKind < kSingleTimed) {
    SetTimed(draw, pDate, DayOfRange(draw, true));
  } else if (nKind < kSingleAllDay) {
    SetAllDay(pDate, DayOfRange(draw, false), draw.Pick(kAllDay));
  } else if (nKind < kDaily) {
    SetSpan(pDate, DayOfRange(draw, false), 6 * 60 + 30, 45);
    CxCopyText(pDate->szDescription, "Morning run");
    repeat.nType = REPEAT_DAILY;
    repeat.nInterval = static_cast<UINT>(1 + draw.Below(2));
    SetEnd(pDate, 3 + draw.Below(12));
  } else if (nKind < kWeekly) {
    SetTimed(draw, pDate, DayOfRange(draw, true));
    repeat.nType = REPEAT_WEEKLY;
    repeat.nInterval = draw.Percent(80) ? 1 : 2;
    repeat.nDayOfWeekMask = 1u << pDate->stStart.wDayOfWeek;
    if (draw.Percent(25)) repeat.nDayOfWeekMask |= 1u << (1 + draw.Below(5));
    if (draw.Percent(60)) SetEnd(pDate, 30 + draw.Below(700));
  } else if (nKind < kMonthlyByDay) {
    SetTimed(draw, pDate, DayOfRange(draw, true));
    repeat.nType = REPEAT_MONTHLY_BY_DAY;
    repeat.nInterval = 1;
    repeat.nDayOfWeekMask = 1u << pDate->stStart.wDayOfWeek;
    repeat.nInstance = InstanceOf(pDate->stStart);
    if (draw.Percent(40)) SetEnd(pDate, 90 + draw.Below(900));
  } else if (nKind < kMonthlyByDate) {
    SetTimed(draw, pDate, DayOfRange(draw, false));
    CxCopyText(pDate->szDescription, draw.Percent(50) ? "Pay rent" : "Pay the insurance");
    repeat.nType = REPEAT_MONTHLY_BY_DATE;
    repeat.nInterval = draw.Percent(85) ? 1 : 3;
    repeat.nDayOfMonth = pDate->stStart.wDay;
  } else if (nKind < kYearlyByDate) {
    SetAllDay(pDate, DayOfRange(draw, false), draw.Pick(kBirthday));
    repeat.nType = REPEAT_YEARLY_BY_DATE;
    repeat.nInterval = 1;
    repeat.nDayOfMonth = pDate->stStart.wDay;
    repeat.nMonthOfYear = pDate->stStart.wMonth;
  } else {
    SetAllDay(pDate, DayOfRange(draw, true), "Company anniversary");
    repeat.nType = REPEAT_YEARLY_BY_DAY;
    repeat.nInterval = 1;
    repeat.nDayOfWeekMask = 1u << pDate->stStart.wDayOfWeek;
    repeat.nInstance = InstanceOf(pDate->stStart);
    repeat.nMonthOfYear = pDate->stStart.wMonth;
  }
}

void SetNote(Draw& draw, CommDate* pDate) {
  // One note in a hundred is a long one: minutes of a meeting, directions pasted in.
  const int nLines = draw.Percent(1) ? 40 + draw.Below(60) : 1 + draw.Below(4);
  std::string strNote;
  for (int i = 0; i < nLines; ++i) {
    if (i > 0) strNote += "\r\n";
    strNote += draw.Pick(kNoteLines);
  }
  CxCopyText(pDate->szNote, strNote.c_str());
}

void SetAlarm(Draw& draw, CommDate* pDate) {
  static const struct {
    INT nAdvance;
    UINT nUnit;
  } kAlarms[] = {{5, ADVANCE_MINUTES},  {10, ADVANCE_MINUTES}, {15, ADVANCE_MINUTES},
                 {15, ADVANCE_MINUTES}, {1, ADVANCE_HOURS},    {1, ADVANCE_DAYS}};
  const auto& alarm = kAlarms[draw.Below(6)];
  pDate->bAlarm = 1;
  pDate->bAdvance = 1;
  pDate->nAdvance = alarm.nAdvance;
  pDate->nAdvanceUnit = alarm.nUnit;
}

}  // namespace

void MakeLongTimeCalendar(int nRecords, uint64_t nSeed,
                          const std::function<bool(const CommDate&)>& onRecord) {
  Draw draw(nSeed);
  auto pDate = std::make_unique<CommDate>();
  // Draws that repeat an appointment already taken are drawn again, up to this many in all.
  const long nMaxDraws = 4L * nRecords + 100;
  int nTaken = 0;
  for (long nDraw = 0; nTaken < nRecords && nDraw < nMaxDraws; ++nDraw) {
    *pDate = CommDate{};
    SetKind(draw, pDate.get());
    if (draw.Percent(15)) SetNote(draw, pDate.get());
    if (draw.Percent(22)) SetAlarm(draw, pDate.get());
    if (draw.Percent(12)) CxCopyText(pDate->szLocation, Ansi(draw.Pick(kPlaces)).c_str());
    if (draw.Percent(45)) CxCopyText(pDate->szCategory, draw.Pick(kCategories));
    if (draw.Percent(3)) pDate->bPrivate = 1;
    if (onRecord(*pDate)) ++nTaken;
  }
}

int WriteLongTimeDatebook(const char* szPath, int nRecords, uint64_t nSeed) {
  // The store saves over an existing datebook only: an empty one of the layout first.
  std::ofstream(szPath, std::ios::binary).flush();
  if (!PmDateExUtil().SaveAs(szPath)) return -1;
  PmDateInfo store;
  if (!store.LoadFile(szPath)) return -1;
  MakeLongTimeCalendar(nRecords, nSeed, [&](const CommDate& date) {
    // A second appointment of the same description on the same day is matched with the
    // first one (and may update it) instead of being added.
    const int nBefore = store.GetRecordSet()->GetCount();
    store.SyncRecord(&date);
    return store.GetRecordSet()->GetCount() > nBefore;
  });
  if (!store.Save()) return -1;
  std::error_code ec;
  std::filesystem::remove(std::string(szPath) + ".bak", ec);
  return store.GetRecordSet()->GetCount();
}
