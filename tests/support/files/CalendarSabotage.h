// What befalls a user's calendar file from outside a window test: another DayBridge run that
// loaded it and has not saved yet, a copy cut short, another program that writes to it after
// DayBridge read it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "common/palm/PalmDateInfo.h"
#include "support/files/FileTestSupport.h"

namespace dbtest {

// A second process that loaded the Palm calendar file and holds it until the object goes.
class HeldByAnotherRun : public HeldElsewhere {
 public:
  explicit HeldByAnotherRun(const std::string& sPath)
      : HeldElsewhere([sPath] {
          // Kept until the child ends: a run holds its calendar from load to save.
          static PmDateInfo* s_pStore = new PmDateInfo;
          return s_pStore->LoadFile(sPath.c_str());
        }) {}
};

// Keeps the first half of the file.
inline void CutInHalf(const std::string& sPath) {
  std::filesystem::resize_file(sPath, std::filesystem::file_size(sPath) / 2);
}

// Another program adds to the file: it is no longer what was read.
inline void AppendElsewhere(const std::string& sPath) {
  std::ofstream(sPath, std::ios::binary | std::ios::app) << "written by another program";
}

}  // namespace dbtest
