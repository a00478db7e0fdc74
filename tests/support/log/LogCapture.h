// The debug log sent to a private temporary folder at every level for the life of the object,
// so a test can ask which lines a step wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "support/files/TempFolder.h"

namespace dbtest {

class LogCapture {
 public:
  LogCapture() {
    g_DebugLog.SetFolder((m_Folder.Path() + "/").c_str());
    g_DebugLog.Enable(true);
    g_DebugLog.SetLevel(3);
  }
  ~LogCapture() {
    g_DebugLog.Enable(false);
    g_DebugLog.SetLevel(0);
    // Level-0 lines of later tests go nowhere rather than into the working folder.
    g_DebugLog.SetFolder("/nonexistent-daybridge-test-log/");
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Forgets what was written so far.
  void Clear() {
    std::error_code ec;
    std::filesystem::remove(m_Folder.File(g_DebugLog.GetFileName()), ec);
  }
  std::string Text() const {
    std::ifstream in(m_Folder.File(g_DebugLog.GetFileName()), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Contains(const std::string& strLine) const {
    return Text().find(strLine) != std::string::npos;
  }

 private:
  TempFolder m_Folder;
};

}  // namespace dbtest
