// Hands PmDateInfo its maker of 6.x calendars. Registering also happens when this file is
// linked in at all, but a static library drops files nobody refers to, so start-up calls
// PmRegisterCalendarEx2 itself.
#include "common/palm/PalmDateInfoEx2.h"

std::unique_ptr<PmCalendarEx2> PmMakeCalendarEx2() {
  return std::make_unique<PmCalendarEx2Db>();
}

void PmRegisterCalendarEx2() {
  PmSetCalendarEx2Factory(&PmMakeCalendarEx2);
}

namespace {

const bool g_bRegistered = (PmRegisterCalendarEx2(), true);

}  // namespace
