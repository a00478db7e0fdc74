// What the 6.x database tests share: temporary file names, and a capture of the debug log
// (level 2 and up) into a file of its own so a test can ask which lines were written.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/misc/CxDebugUtil.h"

namespace palm6test {

inline std::string TempPath(const std::string& strName) {
  return (std::filesystem::temp_directory_path() /
          ("daybridge-p6-" + std::to_string(::getpid()) + "-" + strName))
      .string();
}

class LogCapture {
 public:
  LogCapture() {
    m_strFolder = TempPath("log") + "/";
    std::filesystem::create_directories(m_strFolder);
    g_DebugLog.SetFolder(m_strFolder.c_str());
    g_DebugLog.Enable(true);
    g_DebugLog.SetLevel(3);
    Clear();
  }
  ~LogCapture() {
    g_DebugLog.Enable(false);
    std::error_code ec;
    std::filesystem::remove_all(m_strFolder, ec);
  }
  void Clear() {
    std::error_code ec;
    std::filesystem::remove(m_strFolder + g_DebugLog.GetFileName(), ec);
  }
  std::string Text() const {
    std::ifstream in(m_strFolder + g_DebugLog.GetFileName());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Has(const std::string& strText) const { return Text().find(strText) != std::string::npos; }

 private:
  std::string m_strFolder;
};

}  // namespace palm6test
