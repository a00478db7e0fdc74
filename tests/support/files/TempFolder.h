// A private temporary folder for one test, removed with everything in it when the object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace dbtest {

class TempFolder {
 public:
  TempFolder() {
    std::string strPattern = (std::filesystem::temp_directory_path() / "daybridgeXXXXXX").string();
    if (::mkdtemp(strPattern.data()) != nullptr) m_strPath = strPattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!m_strPath.empty()) std::filesystem::remove_all(m_strPath, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Empty when the folder could not be made.
  const std::string& Path() const { return m_strPath; }
  std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }

 private:
  std::string m_strPath;
};

}  // namespace dbtest
