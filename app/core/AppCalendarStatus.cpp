// The status line and the load-failure box of the two calendars.
#include "app/core/AppCalendarStatus.h"

#include <cstdio>

#include "app/core/AppCalendar.h"
#include "app/core/AppMessages.h"

#define MSG_PALM_NOT_LOADED "The Palm Desktop calendar could not be loaded."
#define MSG_OUTLOOK_NOT_LOADED "The Outlook calendar could not be loaded."

namespace {

struct Side {
  const char* szName;
  bool bLoaded;
  CommDateMgr* pSet;
  const CxFailure& failure;
  const char* szNotLoaded;
};

std::vector<Side> SidesOf(AppCalendar& calendar) {
  return {{"Palm Desktop", calendar.IsPalmLoaded(), calendar.GetPalmSet(),
           calendar.GetPalmFailure(), MSG_PALM_NOT_LOADED},
          {"Outlook", calendar.IsOutlookLoaded(), calendar.GetOutlookSet(),
           calendar.GetOutlookFailure(), MSG_OUTLOOK_NOT_LOADED}};
}

}  // namespace

CalendarStatus DescribeCalendars(AppCalendar& calendar) {
  CalendarStatus status;
  for (const Side& side : SidesOf(calendar)) {
    char szPart[128];
    if (!side.bLoaded) {
      std::snprintf(szPart, sizeof(szPart), "%s: calendar not loaded", side.szName);
      status.vParts.emplace_back(szPart);
      if (side.failure.IsSet()) {
        status.vReasons.push_back(std::string(side.szName) + " calendar: " + side.failure.szText);
      }
      continue;
    }
    const MatchCounts counts = CountMatchStates(side.pSet);
    std::snprintf(szPart, sizeof(szPart), "%s: %d records (%d new, %d changed)", side.szName,
                  counts.nRecords, counts.nNew, counts.nChanged);
    std::string strPart = szPart;
    // What the Outlook load passed over (events it could not hold) stays in sight.
    if (side.pSet == calendar.GetOutlookSet() && !calendar.GetOutlookNote().empty()) {
      strPart += ", " + calendar.GetOutlookNote();
    }
    status.vParts.push_back(strPart);
  }
  return status;
}

std::string LoadFailureText(AppCalendar& calendar, bool bWithOutlook, bool bNamedByUser) {
  std::string strText;
  for (const Side& side : SidesOf(calendar)) {
    if (side.bLoaded || (!bWithOutlook && side.pSet == calendar.GetOutlookSet())) continue;
    if (side.failure.nCode == CX_FAIL_NOT_FOUND && !bNamedByUser) continue;
    if (!strText.empty()) strText += "\n\n";
    strText += AppTextWithReason(side.szNotLoaded, side.failure);
  }
  return strText;
}
