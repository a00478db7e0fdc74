// A throw-away Palm Desktop folder for tests: a fresh folder under the temporary folder with
// copies of the stand-in HotSync libraries (built into DB_HOTSYNC_DIR) and user folders.
// Removed with everything in it when the object goes.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef DB_HOTSYNC_DIR
#error "DB_HOTSYNC_DIR must name the folder the HotSync stand-ins are built into"
#endif

class TempPalmFolder {
 public:
  explicit TempPalmFolder(const std::string& sTag) {
    static std::atomic<int> s_nCounter{0};
    m_Path = std::filesystem::temp_directory_path() /
             ("daybridge-" + sTag + "-" + std::to_string(::getpid()) + "-" +
              std::to_string(s_nCounter++));
    std::filesystem::remove_all(m_Path);
    std::filesystem::create_directories(m_Path);
  }
  ~TempPalmFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_Path, ec);
  }
  TempPalmFolder(const TempPalmFolder&) = delete;
  TempPalmFolder& operator=(const TempPalmFolder&) = delete;

  // The folder without a trailing separator.
  std::string Path() const { return m_Path.string(); }
  std::string File(const std::string& sRelative) const { return (m_Path / sRelative).string(); }

  // Copies the libraries of the mask bits (1 condmgr, 2 UserData, 4 HSAPI, 8 instaide); with
  // bWithoutUserCount the user library is the variant that lacks UmGetUserCount.
  void InstallLibraries(unsigned nMask = 15, bool bWithoutUserCount = false) const {
    const std::filesystem::path built(DB_HOTSYNC_DIR);
    const char* szNames[4] = {"condmgr.dll", "UserData.dll", "HSAPI.DLL", "instaide.dll"};
    for (int i = 0; i < 4; ++i) {
      if (!(nMask & (1u << i))) continue;
      std::filesystem::path source = built / szNames[i];
      if (i == 1 && bWithoutUserCount) source = built / "nocount" / szNames[i];
      std::filesystem::copy_file(source, m_Path / szNames[i],
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }

  // A user folder; with bDatebook it holds the "datebook" folder that makes it a Palm user.
  void AddUser(const std::string& sDir, bool bDatebook = true) const {
    std::filesystem::create_directories(bDatebook ? m_Path / sDir / "datebook" : m_Path / sDir);
  }

  void WriteFile(const std::string& sRelative, const std::string& sContent) const {
    std::filesystem::create_directories((m_Path / sRelative).parent_path());
    std::ofstream(m_Path / sRelative, std::ios::binary) << sContent;
  }

 private:
  std::filesystem::path m_Path;
};
