// Text and JSON output of the companion tool. Record texts are ANSI (Windows-1252) and are
// printed as UTF-8; date-times are local.
#pragma once

#include <string>

#include "common/calendar/CommDate.h"

// "YYYY-MM-DDTHH:MM:SS" / "YYYY-MM-DD".
std::string FormatDateTime(const SYSTEMTIME& st);
std::string FormatDate(const SYSTEMTIME& st);

// A JSON string literal of ANSI text (converted to UTF-8, escaped).
std::string JsonString(const char* szAnsi);

// The record as one JSON object with the tool's documented keys.
std::string RecordJson(const CommDate& date);

// One line for the text listing: date, times, match state, description.
std::string RecordLine(const CommDate& date);

const char* MatchStateName(UINT nMatchState);
const char* SourceName(UINT nSource);
const char* RepeatTypeName(INT nType);
const char* AdvanceUnitName(UINT nUnit);

// "YYYY-MM-DD" into a date at midnight; false for anything else or an invalid date.
bool ParseDate(const char* szText, SYSTEMTIME* pDate);
