// Feeds arbitrary bytes to the private-profile reader as a settings file, then writes a key
// into it and checks that the key reads back: a rewrite must never lose or garble the key it
// was asked to store, whatever the rest of the file holds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/win/WinProfile.h"

namespace {

const std::string& FuzzFilePath() {
  // Memory-backed when possible: every write replaces the file with a flush to disk.
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/fuzz_ini_" + std::to_string(static_cast<long>(getpid())) +
                                  ".ini";
  return path;
}

void Check(bool bCondition, const char* szWhat) {
  if (!bCondition) {
    std::fprintf(stderr, "fuzz_ini: %s\n", szWhat);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string& path = FuzzFilePath();
  FILE* pFile = std::fopen(path.c_str(), "wb");
  if (pFile == nullptr) return 0;
  if (nSize > 0) std::fwrite(pData, 1, nSize, pFile);
  std::fclose(pFile);

  static const char* const kSections[] = {"DayBridge_OL_PD", "Path", "daybridge_ol_pd", ""};
  static const char* const kKeys[] = {"SyncMode", "PDPath", "LogLevel", "="};
  char szValue[64];
  std::string strSeen;
  for (const char* szSection : kSections) {
    for (const char* szKey : kKeys) {
      const DWORD nCopied =
          GetPrivateProfileString(szSection, szKey, "dflt", szValue, sizeof(szValue), path.c_str());
      Check(nCopied < sizeof(szValue) && std::strlen(szValue) == nCopied, "read overran");
      if (std::strcmp(szValue, "dflt") != 0) {
        strSeen += std::string(strSeen.empty() ? "" : " ") + "[" + szSection + "]" + szKey + "=" +
                   dbfuzz::Printable(szValue, nCopied);
      }
      GetPrivateProfileInt(szSection, szKey, 5, path.c_str());
    }
  }
  // A tiny buffer must still be terminated.
  char szTiny[2] = {'x', 'x'};
  GetPrivateProfileString("Path", "PDPath", "default", szTiny, sizeof(szTiny), path.c_str());
  Check(szTiny[0] == '\0' || szTiny[1] == '\0', "tiny buffer not terminated");

  if (WritePrivateProfileString("DayBridge_OL_PD", "FuzzKey", "stored value", path.c_str())) {
    GetPrivateProfileString("DAYBRIDGE_OL_PD", "fuzzkey", "", szValue, sizeof(szValue),
                            path.c_str());
    Check(std::strcmp(szValue, "stored value") == 0, "written key did not read back");
    Check(WritePrivateProfileString("DayBridge_OL_PD", "FuzzKey", nullptr, path.c_str()) != 0,
          "delete failed");
    GetPrivateProfileString("DayBridge_OL_PD", "FuzzKey", "gone", szValue, sizeof(szValue),
                            path.c_str());
    // As on Windows, a delete removes the first of duplicate keys only, so a later duplicate
    // from the input may show through; the deleted value itself must not.
    const bool bInputHoldsValue =
        nSize > 0 &&
        std::string(reinterpret_cast<const char*>(pData), nSize).find("stored value") !=
            std::string::npos;
    Check(bInputHoldsValue || std::strcmp(szValue, "stored value") != 0, "deleted key still read");
  }
  std::remove(path.c_str());
  // The reader takes any bytes; what it found is the outcome.
  dbfuzz::ReportAccepted(strSeen);
  return 0;
}
