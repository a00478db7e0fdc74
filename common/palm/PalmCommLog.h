// The log lines of the datebook load and save, shared by the PalmComm source files. A line is
// logged under the module of the layout that asked for it (PmDatebookLayout::szModule), and
// a refusal without one under the including file's own DB_MODULE.
#pragma once

#include "common/misc/CxDebugUtil.h"

// Progress and error lines of the layout that asked for them (null module: silent layout).
#define LogAs(szModule, nLevel, ...)                                 \
  do {                                                               \
    if ((szModule) != nullptr) {                                     \
      g_DebugLog.Write((nLevel), (szModule), __LINE__, __VA_ARGS__); \
    }                                                                \
  } while (0)
// Refusals of damaged input are errors every layout reports.
#define LogRefusal(szModule, ...) \
  g_DebugLog.Write(0, (szModule) != nullptr ? (szModule) : DB_MODULE, __LINE__, __VA_ARGS__)
// One of the layout's own texts (see PmDatebookLayout), followed by szTail.
#define LogLayoutText(layout, nLevel, szText, szTail)                                      \
  do {                                                                                     \
    if ((szText) != nullptr) {                                                             \
      g_DebugLog.Write((nLevel), (layout).szModule, __LINE__, "%s%s", (szText), (szTail)); \
    }                                                                                      \
  } while (0)
