// Scaffolding shared by the Palm datebook tests: a private temporary folder per test, and a
// capture of the debug log so a test can check which lines a load or save wrote.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinFile.h"

namespace dbtest {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dbpalmXXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) m_Path = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ec);
  }
  std::string File(const std::string& name) const { return m_Path + "/" + name; }
  const std::string& Path() const { return m_Path; }

 private:
  std::string m_Path;
};

// Sends the debug log to a temporary folder at every level for the life of the object.
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
  std::string Text() const {
    std::ifstream in(m_Folder.File("appdebug.log"), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Contains(const std::string& line) const { return Text().find(line) != std::string::npos; }

 private:
  TempFolder m_Folder;
};

// Turns the disk-full seam off again however the test ends.
class WriteFailAfter {
 public:
  explicit WriteFailAfter(long long nBytes) { CxSetWriteFailAfter(nBytes); }
  ~WriteFailAfter() { CxSetWriteFailAfter(-1); }
};

}  // namespace dbtest
