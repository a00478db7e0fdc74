// The "Outlook.Application" automation server: Application, the "MAPI" NameSpace, the
// default calendar folder, its Items, AppointmentItem and RecurrencePattern, with the members
// DayBridge calls and Outlook's types and rules for them. The calendar folder is an
// iCalendar file (see IcsFile.h); its path is $DAYBRIDGE_OUTLOOK_CALENDAR, else
// "DayBridge Outlook/Calendar.ics" in the common application data folder.
//
// Item saves reach the file when the last object of the calendar or the application object
// is released (or OutlookServerFold is called); until then they are in the journal beside
// it, and other programs reading the file see it as it was before them.
//
// The server lives in the process. The program's start-up registers it once, before the
// Outlook store connects; without the registration "Outlook.Application" is unknown, as on a
// machine without Outlook.
#pragma once

#include <string>

#include "platform/automation/ComBase.h"

extern const CLSID CLSID_OutlookApplication;

// Registers the ProgID and the class factory; a second call does nothing. S_OK on success.
HRESULT OutlookServerRegister();
// Removes both registrations (objects already created keep working).
void OutlookServerRevoke();

// The calendar file (or CalDAV collection address) the default calendar folder opens: the one
// chosen by OutlookServerUseCalendar, else $DAYBRIDGE_OUTLOOK_CALENDAR, else the default file.
std::string OutlookCalendarPath();
// The stand-in's own folder under the common data folder ($DAYBRIDGE_COMMON_APPDATA, else
// the user's data folder), with its trailing separator: the default calendar file and the
// cache of a calendar server's items live there.
std::string OutlookDataFolder();
// Whether the calendar is kept on a calendar server (an http or https address) rather than in
// a file: the server answers for what may be written there, item by item.
bool OutlookCalendarIsOnServer(const std::string& strCalendar);
// The calendar the user chose in the options; empty leaves the choice to the environment.
// Folders opened afterwards open it.
void OutlookServerUseCalendar(const std::string& strPathOrAddress);

// What the last open of the calendar file passed over (events it could not show exactly,
// malformed lines kept as written), in one line for a status display: "3 passed over (see
// the log)"; empty when it read everything. Each kind has a log line of its own.
std::string OutlookServerLoadNote();

// Writes the saves every open calendar holds in its journal into its file now, as releasing
// the application does. S_OK when all of them are written (or none were pending).
HRESULT OutlookServerFold();
