// Record texts and repeat ends as every window and the command-line tool show them.
#include "app/core/AppRecordText.h"

#include <cstdio>

bool GetRecordFieldText(const CommDate* pDate, int nFieldId, char* szBuf, int nSize) {
  if (szBuf == nullptr || nSize < 1) return false;
  szBuf[0] = '\0';
  if (pDate == nullptr) return false;
  // An all-day appointment has no time of day: midnight in a list reads as a real time.
  if (pDate->bAllDay && (nFieldId == FIELD_START_TIME || nFieldId == FIELD_END_TIME)) {
    snprintf(szBuf, static_cast<size_t>(nSize), "%s", RECORD_ALL_DAY_TEXT);
    return true;
  }
  CommField field = {};
  field.nId = nFieldId;
  return GetFieldText(pDate, &field, szBuf, nSize);
}

bool GetRepeatEndDate(const RepeatPattern* pRepeat, SYSTEMTIME* pEnd) {
  if (!RepeatHasRealEnd(pRepeat)) return false;
  if (pEnd != nullptr) *pEnd = pRepeat->stPatternEnd;
  return true;
}
