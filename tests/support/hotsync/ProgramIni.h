// The program folder's "tidewell.ini" for tests that set "PDPath". Every test process of a
// folder shares that one file, so the object holds an exclusive lock beside it for its whole
// life; tests that need the file absent take the lock too. The file is removed on the way out.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/misc/WinUtil.h"

class ProgramIni {
 public:
  ProgramIni() {
    char szFolder[260] = {};
    GetAppFolder(szFolder, sizeof szFolder);
    m_Path = std::string(szFolder) + "tidewell.ini";
    m_nLock =
        ::open((std::string(szFolder) + ".tidewell.ini.lock").c_str(), O_CREAT | O_RDWR, 0600);
    if (m_nLock >= 0) ::flock(m_nLock, LOCK_EX);
    std::filesystem::remove(m_Path);
  }
  ~ProgramIni() {
    std::error_code ec;
    std::filesystem::remove(m_Path, ec);
    if (m_nLock >= 0) {
      ::flock(m_nLock, LOCK_UN);
      ::close(m_nLock);
    }
  }
  ProgramIni(const ProgramIni&) = delete;
  ProgramIni& operator=(const ProgramIni&) = delete;

  void SetPalmDesktopPath(const std::string& sFolder) const {
    std::ofstream(m_Path, std::ios::binary) << "[Path]\r\nPDPath=" << sFolder << "\r\n";
  }

 private:
  std::string m_Path;
  int m_nLock = -1;
};
