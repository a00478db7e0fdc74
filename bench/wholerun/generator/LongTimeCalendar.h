// A made-up calendar of the shape a long-time Palm user's datebook has: eight years
// (1997-2004) of mostly single timed appointments on working days, some all-day ones, a
// share repeating of every type (weekly meetings with and without an end, monthly dues,
// yearly birthdays and holidays, short daily runs), notes on some (a few long), alarms,
// locations and a handful of categories. The same seed always gives the same records; a
// larger count packs the same years more densely.
#pragma once

#include <cstdint>
#include <functional>

#include "common/calendar/CommDate.h"

// Calls onRecord with records in turn (texts ANSI, times local) until it has taken nRecords
// of them (it answers true for a record it takes). The record passed is reused for the next.
void MakeLongTimeCalendar(int nRecords, uint64_t nSeed,
                          const std::function<bool(const CommDate&)>& onRecord);

// Writes such a calendar as a new Palm Desktop 4.1.4 datebook at szPath, through the
// program's own Palm store, as Palm Desktop would hold it: the number of records it holds,
// -1 when the store fails.
int WriteLongTimeDatebook(const char* szPath, int nRecords, uint64_t nSeed);
