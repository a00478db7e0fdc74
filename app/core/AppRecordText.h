// How a record reads wherever the program shows it (the record lists, the details dialog, the
// command-line tool): a field's text, and which repeat ends count as a real last date. Texts
// are ANSI, as the stores keep them.
#pragma once

#include "common/calendar/CommDate.h"

#define RECORD_ALL_DAY_TEXT "All day"

// Writes the display text of a field of the record into szBuf (always terminated, cut to
// nSize - 1). The start and end time of an all-day record read "All day". False, with an
// empty text where there is a buffer, for a missing record or nSize < 1.
bool GetRecordFieldText(const CommDate* pDate, int nFieldId, char* szBuf, int nSize);

// The last date a person set for the repeat, into *pEnd; false (pEnd untouched) when the
// repeat has none: no end at all, or an end in 2100 or later, which is how the stores write
// "no end".
bool GetRepeatEndDate(const RepeatPattern* pRepeat, SYSTEMTIME* pEnd);
