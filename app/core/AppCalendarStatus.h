// What the windows say of the two calendars after a load: the status line (each side's
// counts, then why a side is not loaded) and the box that reports calendars that did not
// load. Texts are ANSI, as the stores' reasons are.
#pragma once

#include <string>
#include <vector>

class AppCalendar;

struct CalendarStatus {
  // "Palm Desktop: 9 records (5 new, 2 changed)", "Outlook: calendar not loaded", ...
  std::vector<std::string> vParts;
  // "Outlook calendar: <reason>" for each side not loaded with a reason.
  std::vector<std::string> vReasons;
};
CalendarStatus DescribeCalendars(AppCalendar& calendar);

// The text of the one box that reports calendars that did not load, the Outlook one only when
// bWithOutlook; a missing file only when the user named it (bNamedByUser), since a first
// start finds none. Empty when there is nothing to report.
std::string LoadFailureText(AppCalendar& calendar, bool bWithOutlook, bool bNamedByUser);
