// Scaffolding shared by the Palm datebook tests: a private temporary folder per test, a
// capture of the debug log so a test can check which lines a load or save wrote, and the
// disk-full seam.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinFile.h"
#include "support/files/TempFolder.h"
#include "support/log/LogCapture.h"

namespace dbtest {

// Turns the disk-full seam off again however the test ends.
class WriteFailAfter {
 public:
  explicit WriteFailAfter(long long nBytes) { CxSetWriteFailAfter(nBytes); }
  ~WriteFailAfter() { CxSetWriteFailAfter(-1); }
};

}  // namespace dbtest
