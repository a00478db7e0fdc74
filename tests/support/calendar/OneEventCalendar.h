// The smallest calendar file the Outlook stand-in's tests start from: one event "Base", CR LF
// line breaks, and the event blocks saved into it, each named by its UID and subject.
#pragma once

#include <string>

namespace dbtest {

inline const char kOneEventCalendar[] =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//EN\r\n"
    "BEGIN:VEVENT\r\nUID:base\r\nDTSTAMP:20110301T120000Z\r\nDTSTART:20110307T080000Z\r\n"
    "SUMMARY:Base\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

inline std::string NamedEvent(const std::string& strName) {
  return "BEGIN:VEVENT\r\nUID:" + strName + "\r\nDTSTAMP:20110301T120000Z\r\n" +
         "DTSTART:20110308T080000Z\r\nSUMMARY:" + strName + "\r\nEND:VEVENT\r\n";
}

}  // namespace dbtest
