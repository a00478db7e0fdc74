// Logs without stating a module: must not compile.
#include "common/misc/CxDebugUtil.h"

void LogWithoutModule() {
  Log(2, "no module");
}
