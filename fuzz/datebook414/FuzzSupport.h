// What every datebook fuzz target shares: one private temporary folder per process, removed at
// exit, into which the fuzzed bytes are written as a file; and a debug log pointed at a folder
// that does not exist, so that error lines go nowhere.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxFailure.h"
#include "fuzz/FuzzOutcome.h"

namespace dbfuzz {

inline const std::string& Folder() {
  static const std::string folder = [] {
    g_DebugLog.SetFolder("/nonexistent-daybridge-fuzz-log/");
    // A memory-backed folder where there is one: every save flushes its file to disk, which
    // on a real disk would cut the executions per second a hundredfold.
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "dbfuzzXXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    static const std::string removeAtExit = pattern;
    std::atexit([] {
      std::error_code ecRemove;
      std::filesystem::remove_all(removeAtExit, ecRemove);
    });
    return pattern;
  }();
  return folder;
}

inline std::string WriteInput(const char* szName, const uint8_t* pData, size_t nSize) {
  const std::string path = Folder() + "/" + szName;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (nSize > 0) std::fwrite(pData, 1, nSize, f);
  std::fclose(f);
  return path;
}

inline std::vector<uint8_t> ReadBack(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

// The kind of a refused load, without its text: the text names the temporary file and its
// wording may change, the kind is what callers act on.
inline std::string FailureKind(const CxFailure& failure) {
  switch (failure.nCode) {
    case CX_FAIL_NOT_CALENDAR:
      return "not a calendar";
    case CX_FAIL_DAMAGED:
      return "damaged";
    default:
      return Format("failure %d", failure.nCode);
  }
}

}  // namespace dbfuzz
