// Stand-in for the HotSync user library. The Palm Desktop folder is the folder this library
// was loaded from; its users are the sub-folders that hold a "datebook" folder, in name order,
// each with an id derived from the folder name alone, so ids stay the same when other users
// come and go. An optional "users.ini" in that folder lists the users instead, in its order:
//
//   [Users]
//   SmithJ=1001,John Smith     ; folder=id,name (id 0 or missing: the derived id;
//                              ;                 no name: the folder name)
//
// Loaded by DayBridge in place of the Windows library of another folder (a Palm Desktop
// folder in a Wine prefix), it serves that folder instead of its own.
//
// Nothing is cached: every call looks at the folder again.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/hotsync/HotSyncApi.h"
#include "platform/hotsync/HotSyncStubs.h"

namespace {

namespace fs = std::filesystem;

// Bounds a damaged or hostile folder: no Palm installation has this many users.
constexpr size_t kMaxUsers = 1024;
// users.ini is a few lines; anything larger is not read.
constexpr std::streamoff kMaxIniSize = 64 * 1024;
constexpr uint32_t kLibVersion = 0x00040100;

struct User {
  std::string strDir;
  std::string strName;
  uint32_t nId;
};

std::string Trim(const std::string& strText) {
  size_t nBegin = strText.find_first_not_of(" \t\r");
  if (nBegin == std::string::npos) return std::string();
  size_t nEnd = strText.find_last_not_of(" \t\r");
  return strText.substr(nBegin, nEnd - nBegin + 1);
}

std::string Lower(std::string strText) {
  for (char& c : strText) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return strText;
}

// FNV-1a of the folder name, kept positive and non-zero so it prints the same signed or not.
uint32_t DerivedId(const std::string& strDir) {
  uint32_t nHash = 2166136261u;
  for (unsigned char c : strDir) {
    nHash ^= c;
    nHash *= 16777619u;
  }
  nHash &= 0x7FFFFFFFu;
  return nHash ? nHash : 1;
}

// A user folder must stay inside the Palm Desktop folder. Callers read the name up to its
// first NUL, so a name holding one ("..<NUL>x") would reach them as another folder.
bool IsPlainFolderName(const std::string& strDir) {
  return !strDir.empty() && strDir != "." && strDir != ".." &&
         strDir.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

// Set when this library stands in for the Windows library of another folder (the Palm
// Desktop folder of a Wine prefix): that folder is the root then.
std::string g_strServedFolder;

std::string RootFolder() {
  if (!g_strServedFolder.empty()) return g_strServedFolder;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&RootFolder), &info) || !info.dli_fname) return {};
  std::string strPath = info.dli_fname;
  const size_t nSep = strPath.rfind('/');
  if (nSep == std::string::npos) return "./";
  strPath.erase(nSep + 1);
  while (strPath.size() > 1 && strPath[strPath.size() - 2] == '/') strPath.pop_back();
  return strPath;
}

bool ReadUsersIni(const std::string& strRoot, std::vector<User>& users) {
  std::ifstream in(strRoot + "users.ini", std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff nSize = in.tellg();
  if (nSize < 0 || nSize > kMaxIniSize) return false;
  in.seekg(0, std::ios::beg);
  std::string strLine;
  bool bInUsers = false;
  while (std::getline(in, strLine) && users.size() < kMaxUsers) {
    const size_t nComment = strLine.find(';');
    if (nComment != std::string::npos) strLine.erase(nComment);
    strLine = Trim(strLine);
    if (strLine.empty()) continue;
    if (strLine.front() == '[') {
      bInUsers = Lower(strLine) == "[users]";
      continue;
    }
    const size_t nEq = strLine.find('=');
    if (!bInUsers || nEq == std::string::npos) continue;
    User user;
    user.strDir = Trim(strLine.substr(0, nEq));
    if (!IsPlainFolderName(user.strDir)) continue;
    const std::string strValue = Trim(strLine.substr(nEq + 1));
    const size_t nComma = strValue.find(',');
    const std::string strId = Trim(strValue.substr(0, nComma));
    char* pEnd = nullptr;
    const unsigned long nId = std::strtoul(strId.c_str(), &pEnd, 10);
    user.nId = (!strId.empty() && *pEnd == '\0' && nId != 0 && nId <= 0xFFFFFFFFul)
                   ? static_cast<uint32_t>(nId)
                   : DerivedId(user.strDir);
    user.strName = nComma == std::string::npos ? std::string() : Trim(strValue.substr(nComma + 1));
    if (user.strName.empty()) user.strName = user.strDir;
    users.push_back(user);
  }
  return true;
}

bool HasDatebookFolder(const fs::path& dir) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == "datebook" && it->is_directory(ec)) return true;
  }
  return false;
}

std::vector<User> ListUsers() {
  std::vector<User> users;
  const std::string strRoot = RootFolder();
  if (strRoot.empty() || ReadUsersIni(strRoot, users)) return users;
  std::error_code ec;
  for (fs::directory_iterator it(strRoot, ec), end; !ec && it != end; it.increment(ec)) {
    if (users.size() >= kMaxUsers) break;
    const std::string strDir = it->path().filename().string();
    if (!it->is_directory(ec) || !IsPlainFolderName(strDir) || !HasDatebookFolder(it->path())) {
      continue;
    }
    users.push_back({strDir, strDir, DerivedId(strDir)});
  }
  std::sort(users.begin(), users.end(),
            [](const User& a, const User& b) { return a.strDir < b.strDir; });
  return users;
}

const User* FindUser(const std::vector<User>& users, uint32_t nUserId) {
  for (const User& user : users) {
    if (user.nId == nUserId) return &user;
  }
  return nullptr;
}

// Copies the text when it fits with its terminator; otherwise reports the length needed.
int32_t CopyOut(const std::string& strText, char* szBuf, int16_t* pnLength) {
  if (!szBuf || !pnLength) return UM_ERR_BAD_ARGUMENT;
  const size_t nNeeded = strText.size() + 1;
  if (*pnLength <= 0 || nNeeded > static_cast<size_t>(*pnLength)) {
    if (*pnLength > 0) szBuf[0] = '\0';
    *pnLength = static_cast<int16_t>(std::min<size_t>(nNeeded, INT16_MAX));
    return UM_ERR_BUFFER_TOO_SMALL;
  }
  std::memcpy(szBuf, strText.c_str(), nNeeded);
  *pnLength = static_cast<int16_t>(nNeeded);
  return UM_OK;
}

}  // namespace

extern "C" {

// DayBridge's loader calls this when it loads this library in place of a Windows one.
__attribute__((visibility("default"))) void DbStandInServe(const char* szFolder) {
  g_strServedFolder = szFolder ? szFolder : "";
  if (!g_strServedFolder.empty() && g_strServedFolder.back() != '/') g_strServedFolder += '/';
}

__attribute__((visibility("default"))) uint32_t UmGetLibVersion() {
  return kLibVersion;
}

#ifndef DB_HOTSYNC_WITHOUT_USER_COUNT
__attribute__((visibility("default"))) int16_t UmGetUserCount() {
  return static_cast<int16_t>(std::min<size_t>(ListUsers().size(), INT16_MAX));
}
#endif

__attribute__((visibility("default"))) int32_t UmGetUserID(uint16_t nIndex, uint32_t* pnUserId) {
  if (!pnUserId) return UM_ERR_BAD_ARGUMENT;
  const std::vector<User> users = ListUsers();
  if (nIndex >= users.size()) return UM_ERR_NOT_FOUND;
  *pnUserId = users[nIndex].nId;
  return UM_OK;
}

__attribute__((visibility("default"))) int32_t UmGetUserName(uint32_t nUserId, char* szName,
                                                             int16_t* pnLength) {
  const std::vector<User> users = ListUsers();
  const User* pUser = FindUser(users, nUserId);
  if (!pUser) return UM_ERR_NOT_FOUND;
  return CopyOut(pUser->strName, szName, pnLength);
}

__attribute__((visibility("default"))) int32_t UmGetUserDirectory(uint32_t nUserId, char* szDir,
                                                                  int16_t* pnLength) {
  const std::vector<User> users = ListUsers();
  const User* pUser = FindUser(users, nUserId);
  if (!pUser) return UM_ERR_NOT_FOUND;
  return CopyOut(pUser->strDir, szDir, pnLength);
}

__attribute__((visibility("default"))) int32_t UmGetRootDirectory(char* szDir, int16_t* pnLength) {
  const std::string strRoot = RootFolder();
  if (strRoot.empty() || CopyOut(strRoot, szDir, pnLength) != UM_OK) return 0;
  return *pnLength;
}

__attribute__((visibility("default"))) int32_t UmGetIDFromName(const char* szName,
                                                               uint32_t* pnUserId) {
  if (!szName || !pnUserId) return UM_ERR_BAD_ARGUMENT;
  for (const User& user : ListUsers()) {
    if (user.strName == szName) {
      *pnUserId = user.nId;
      return UM_OK;
    }
  }
  return UM_ERR_NOT_FOUND;
}

}  // extern "C"

// Bound by DayBridge, never called.
DB_HOTSYNC_STUB(UmGetUserPassword)
DB_HOTSYNC_STUB(UmIsUserInstalled)
DB_HOTSYNC_STUB(UmIsUserProfile)
DB_HOTSYNC_STUB(UmSetUserName)
DB_HOTSYNC_STUB(UmSetUserDirectory)
DB_HOTSYNC_STUB(UmSetUserInstall)
DB_HOTSYNC_STUB(UmSetUserPermSyncPreferences)
DB_HOTSYNC_STUB(UmSetUserTempSyncPreferences)
DB_HOTSYNC_STUB(UmGetUserPermSyncPreferences)
DB_HOTSYNC_STUB(UmGetUserTempSyncPreferences)
DB_HOTSYNC_STUB(UmRemoveUserTempSyncPreferences)
DB_HOTSYNC_STUB(UmDeleteUserPermSyncPreferences)
DB_HOTSYNC_STUB(UmDeleteUserTempSyncPreferences)
DB_HOTSYNC_STUB(UmAddUser)
DB_HOTSYNC_STUB(UmDeleteUser)
DB_HOTSYNC_STUB(UmIsInstallMaskSet)
DB_HOTSYNC_STUB(UmClearInstallMask)
DB_HOTSYNC_STUB(UmSetInstallMask)
DB_HOTSYNC_STUB(UmGetString)
DB_HOTSYNC_STUB(UmSetString)
DB_HOTSYNC_STUB(UmGetInteger)
DB_HOTSYNC_STUB(UmSetInteger)
DB_HOTSYNC_STUB(UmDeleteKey)
DB_HOTSYNC_STUB(UmGetIDFromPath)
DB_HOTSYNC_STUB(UmSlotGetExpMgrVersion)
DB_HOTSYNC_STUB(UmSlotGetSlotCount)
DB_HOTSYNC_STUB(UmSlotGetInfo)
DB_HOTSYNC_STUB(UmSlotGetMediaType)
DB_HOTSYNC_STUB(UmSlotGetDisplayName)
DB_HOTSYNC_STUB(UmSlotGetInstallDirectory)
