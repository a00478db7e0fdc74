// The process's time zone as iCalendar names it. Outlook anchors a timed appointment to a
// zone so that a repeating one keeps its wall-clock time across daylight-saving changes; the
// stand-in writes the zone the C library's local time uses, by its tz database name (from
// TZ, else from the link /etc/localtime points through, else /etc/timezone), with libical's
// built-in definition of it. A zone that cannot be named that way (a POSIX rule string in
// TZ, no zone information at all) and UTC itself give an empty name: times are then written
// in UTC.
#pragma once

#include <libical/ical.h>

#include <ctime>
#include <string>
#include <vector>

// The tz database name of the process's zone when libical knows it, else empty.
std::string OlLocalZoneName();

// Whether a TZID names the process's own zone: the name itself, or a name that ends in
// "/<name>" (the prefixed TZIDs some programs write, "/freeassociation.sourceforge.net/...").
bool OlIsLocalZone(const char* szTzid);

// Whether a VTIMEZONE of a file can be worked with: libical lays out every change of a zone up
// to the year asked for, so an observance repeating more often than yearly (every minute, in
// a hostile file) or too many observances and dates would take without end.
bool OlZoneIsBounded(icalcomponent* pZone);

// libical's built-in zone of a tz database name; null when it has none.
icaltimezone* OlBuiltinZone(const std::string& strName);

// A VTIMEZONE block (CR LF lines) for a built-in zone, under the TZID strName so that events
// can say TZID=<name> as other calendar programs do; empty when libical has no such zone.
std::string OlZoneBlock(const std::string& strName);

// One stretch of time over which the local clock and a zone's clock keep one distance: from
// the moment tFrom on, the zone's clock runs nZoneOffset minutes ahead of UTC and the local
// clock nLocalAhead minutes ahead of the zone's.
struct OlZoneStep {
  std::time_t tFrom;
  long nZoneOffset;
  long nLocalAhead;
};

// The stretches of the local clock against zone pZone (UTC when null) from 1970 to 2100: the
// first at 1970, then one at every change of either clock, found to the second.
std::vector<OlZoneStep> OlZoneSteps(icaltimezone* pZone);
