// What the 6.x database tests share: temporary file names, and the capture of the debug log
// so a test can ask which lines were written.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/log/LogCapture.h"

namespace palm6test {

inline std::string TempPath(const std::string& strName) {
  return (std::filesystem::temp_directory_path() /
          ("daybridge-p6-" + std::to_string(::getpid()) + "-" + strName))
      .string();
}

}  // namespace palm6test
