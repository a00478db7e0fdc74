// Feeds arbitrary bytes as the users.ini of a Palm Desktop folder to the HotSync user
// library stand-in, loaded once from a copy in that folder as DayBridge loads it (the library
// reads the file again on every call), and lists the users through its entry points. Every
// user must be reachable by index and id, and its folder must stay inside the Palm Desktop
// folder.
#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/hotsync/HotSyncApi.h"

#ifndef DB_HOTSYNC_DIR
#error "DB_HOTSYNC_DIR must name the folder the HotSync stand-ins are built into"
#endif

namespace {

// The outcome names this many users; more only repeat the pattern.
constexpr int kMaxUsersShown = 4;

struct UserLibrary {
  std::string strIniPath;
  PFN_UmGetUserCount pGetUserCount = nullptr;
  PFN_UmGetUserID pGetUserId = nullptr;
  PFN_UmGetUserName pGetUserName = nullptr;
  PFN_UmGetUserDirectory pGetUserDirectory = nullptr;
};

void Check(bool bCondition, const char* szWhat) {
  if (!bCondition) {
    std::fprintf(stderr, "fuzz_usersini: %s\n", szWhat);
    std::abort();
  }
}

const UserLibrary& Library() {
  static const UserLibrary library = [] {
    UserLibrary loaded;
    // Not /dev/shm: it may forbid mapping code, and the library is loaded from this folder.
    std::string strFolder =
        (std::filesystem::temp_directory_path() / "dbfuzz-usersXXXXXX").string();
    Check(::mkdtemp(strFolder.data()) != nullptr, "no temporary folder");
    static const std::string strRemoveAtExit = strFolder;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(strRemoveAtExit, ec);
    });
    const std::string strLibrary = strFolder + "/UserData.dll";
    std::filesystem::copy_file(std::string(DB_HOTSYNC_DIR) + "/UserData.dll", strLibrary);
    void* pHandle = ::dlopen(strLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    Check(pHandle != nullptr, "the user library does not load");
    loaded.strIniPath = strFolder + "/users.ini";
    loaded.pGetUserCount = reinterpret_cast<PFN_UmGetUserCount>(::dlsym(pHandle, "UmGetUserCount"));
    loaded.pGetUserId = reinterpret_cast<PFN_UmGetUserID>(::dlsym(pHandle, "UmGetUserID"));
    loaded.pGetUserName = reinterpret_cast<PFN_UmGetUserName>(::dlsym(pHandle, "UmGetUserName"));
    loaded.pGetUserDirectory =
        reinterpret_cast<PFN_UmGetUserDirectory>(::dlsym(pHandle, "UmGetUserDirectory"));
    Check(loaded.pGetUserCount && loaded.pGetUserId && loaded.pGetUserName &&
              loaded.pGetUserDirectory,
          "an entry point is missing");
    return loaded;
  }();
  return library;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const UserLibrary& library = Library();
  FILE* pFile = std::fopen(library.strIniPath.c_str(), "wb");
  Check(pFile != nullptr, "users.ini cannot be written");
  if (nSize > 0) std::fwrite(pData, 1, nSize, pFile);
  std::fclose(pFile);

  const int nCount = library.pGetUserCount();
  Check(nCount >= 0, "negative user count");
  std::string strSeen = dbfuzz::Format("%d users", nCount);
  for (int nIndex = 0; nIndex < nCount; ++nIndex) {
    uint32_t nId = 0;
    Check(library.pGetUserId(static_cast<uint16_t>(nIndex), &nId) == UM_OK && nId != 0,
          "a counted user has no id");
    char szName[256];
    int16_t nNameLength = sizeof(szName);
    const int32_t nNameResult = library.pGetUserName(nId, szName, &nNameLength);
    char szDir[256];
    int16_t nDirLength = sizeof(szDir);
    const int32_t nDirResult = library.pGetUserDirectory(nId, szDir, &nDirLength);
    Check(nNameResult == UM_OK || nNameResult == UM_ERR_BUFFER_TOO_SMALL, "a user has no name");
    Check(nDirResult == UM_OK || nDirResult == UM_ERR_BUFFER_TOO_SMALL, "a user has no folder");
    if (nDirResult == UM_OK) {
      const std::string strDir = szDir;
      Check(!strDir.empty() && strDir != "." && strDir != ".." &&
                strDir.find_first_of("/\\") == std::string::npos,
            "a user folder leaves the Palm Desktop folder");
    }
    if (nIndex < kMaxUsersShown) {
      strSeen += dbfuzz::Format("%s %s=%u,", nIndex == 0 ? ":" : ";",
                                nDirResult == UM_OK ? dbfuzz::Printable(szDir).c_str() : "(long)",
                                static_cast<unsigned>(nId));
      strSeen += nNameResult == UM_OK ? dbfuzz::Printable(szName) : "(long)";
    }
  }
  // The library takes any text; the users it lists are the outcome.
  dbfuzz::ReportAccepted(strSeen);
  return 0;
}
