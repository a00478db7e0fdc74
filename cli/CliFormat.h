// Text and JSON output of the companion tool. Record texts are ANSI (Windows-1252) and are
// printed as UTF-8; date-times are local.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "common/calendar/CommDate.h"

// Keys keep the order they were added in, so the output reads in a fixed, documented order.
using CliJson = nlohmann::ordered_json;

// "YYYY-MM-DDTHH:MM:SS" / "YYYY-MM-DD".
std::string FormatDateTime(const SYSTEMTIME& st);
std::string FormatDate(const SYSTEMTIME& st);

// A JSON string of ANSI text (converted to UTF-8).
CliJson JsonString(const char* szAnsi);

// A value on one line, with a blank after every ':' and ',' as the tool has always printed.
std::string JsonText(const CliJson& value);
// An array with one element per line, each indented by two blanks ("[]" when empty).
std::string JsonLines(const CliJson& array);

// The record as one JSON object with the tool's documented keys.
CliJson RecordJson(const CommDate& date);

// One line for the text listing: date, times, match state, description.
std::string RecordLine(const CommDate& date);

const char* MatchStateName(UINT nMatchState);
const char* SourceName(UINT nSource);
const char* RepeatTypeName(INT nType);
const char* AdvanceUnitName(UINT nUnit);

// "YYYY-MM-DD" into a date at midnight; false for anything else or an invalid date.
bool ParseDate(const char* szText, SYSTEMTIME* pDate);
