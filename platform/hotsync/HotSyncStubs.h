// Entry points the stand-in libraries export only so that DayBridge binds every name it
// looks up, as it would against the real libraries. DayBridge never calls them; a call
// reports -1 (not supported here) and touches no argument.
#pragma once

#include <cstdint>

#define DB_HOTSYNC_STUB(name)                                        \
  extern "C" __attribute__((visibility("default"))) int32_t name() { \
    return -1;                                                       \
  }
