// A demo environment made by the demo generator (DB_DEMO_PATH) for a fixed day in a fresh
// temporary folder, with this process's DAYBRIDGE_* variables pointing at it. Removed with
// everything in it, and the variables cleared, when the object goes.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef DB_DEMO_PATH
#error "DB_DEMO_PATH must name the demo generator"
#endif

class DemoEnvironment {
 public:
  // szToday as YYYY-MM-DD: the appointments are placed around that day.
  explicit DemoEnvironment(const std::string& sTag, const char* szToday = "2026-12-09") {
    static std::atomic<int> s_nCounter{0};
    m_Root = std::filesystem::temp_directory_path() /
             ("daybridge-" + sTag + "-" + std::to_string(::getpid()) + "-" +
              std::to_string(s_nCounter++));
    std::filesystem::remove_all(m_Root);
    // Start-up makes the Palm Desktop folder inside the demo the current directory.
    m_Cwd = std::filesystem::current_path();
    const std::string sCommand = std::string(DB_DEMO_PATH) + " --out '" + m_Root.string() +
                                 "' --today " + szToday + " > /dev/null";
    if (std::system(sCommand.c_str()) != 0) return;
    std::ifstream env(m_Root / "demo.env");
    std::string sLine;
    while (std::getline(env, sLine)) {
      const size_t nEq = sLine.find('=');
      if (nEq == std::string::npos) continue;
      ::setenv(sLine.substr(0, nEq).c_str(), sLine.substr(nEq + 1).c_str(), 1);
      m_bReady = true;
    }
  }
  ~DemoEnvironment() {
    for (const char* szName :
         {"DAYBRIDGE_COMMON_APPDATA", "DAYBRIDGE_REGISTRY", "DAYBRIDGE_OUTLOOK_CALENDAR"}) {
      ::unsetenv(szName);
    }
    std::error_code ec;
    std::filesystem::current_path(m_Cwd, ec);
    std::filesystem::remove_all(m_Root, ec);
  }
  DemoEnvironment(const DemoEnvironment&) = delete;
  DemoEnvironment& operator=(const DemoEnvironment&) = delete;

  bool IsReady() const { return m_bReady; }
  std::string Path(const std::string& sRelative) const { return (m_Root / sRelative).string(); }
  // DayBridge's data folder (settings, history, log) inside the demo.
  std::string DataFile(const std::string& sName) const {
    return (m_Root / "appdata" / "tidewell" / "DayBridge_OL_PD" / sName).string();
  }

 private:
  std::filesystem::path m_Root;
  std::filesystem::path m_Cwd;
  bool m_bReady = false;
};
