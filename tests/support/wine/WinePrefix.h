// A Wine prefix laid out as Wine lays one out, for tests: the registry files real Wine wrote
// (tests/data/wine-prefix, made by scripts/make-wine-registry), the drive links
// dosdevices/c: -> ../drive_c and z: -> /, and the Palm Desktop folder that registry names,
// "C:\Program Files\Palm\".
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/EnvGuard.h"

#ifndef DB_TEST_DATA_DIR
#error "DB_TEST_DATA_DIR must name tests/data"
#endif

namespace dbtest {

class WinePrefix {
 public:
  explicit WinePrefix(const std::filesystem::path& root) : m_Root(root) {
    namespace fs = std::filesystem;
    fs::create_directories(root / "dosdevices");
    fs::create_directories(root / "drive_c" / "Program Files");
    fs::create_directory_symlink("../drive_c", root / "dosdevices" / "c:");
    fs::create_directory_symlink("/", root / "dosdevices" / "z:");
    for (const char* szFile : {"system.reg", "user.reg"}) {
      fs::copy_file(fs::path(DB_TEST_DATA_DIR) / "wine-prefix" / szFile, root / szFile,
                    fs::copy_options::overwrite_existing);
    }
  }

  const std::filesystem::path& Root() const { return m_Root; }
  std::filesystem::path PalmFolder() const { return m_Root / "drive_c" / "Program Files" / "Palm"; }

  // Moves a Palm Desktop folder (a demo's) in as a Windows installation leaves it: "Palm.exe",
  // the first user's folder and datebook folder in other case than DayBridge asks for, and the
  // HotSync libraries as Windows programs, which cannot be loaded here.
  void InstallPalmDesktop(const std::filesystem::path& from) const {
    namespace fs = std::filesystem;
    const fs::path palm = PalmFolder();
    fs::rename(from, palm);
    fs::rename(palm / "palm.exe", palm / "Palm.exe");
    fs::rename(palm / "Alice" / "datebook", palm / "Alice" / "Datebook");
    fs::rename(palm / "Alice", palm / "alice");
    for (const char* szLibrary : {"condmgr.dll", "UserData.dll", "HSAPI.DLL", "instaide.dll"}) {
      std::ofstream(palm / szLibrary, std::ios::binary | std::ios::trunc) << "MZ\x90";
    }
    fs::rename(palm / "UserData.dll", palm / "USERDATA.DLL");
  }

 private:
  std::filesystem::path m_Root;
};

}  // namespace dbtest
