// Hands PmDateInfo its maker of 6.x calendars.
#include "common/palm/PalmDateInfoEx2.h"

std::unique_ptr<PmCalendarEx2> PmMakeCalendarEx2() {
  return std::make_unique<PmCalendarEx2Db>();
}

void PmRegisterCalendarEx2() {
  PmSetCalendarEx2Factory(&PmMakeCalendarEx2);
}
