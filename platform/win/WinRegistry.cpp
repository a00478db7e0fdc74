// The registry over a .reg text file. How this works: the whole file is decoded to ANSI text,
// cut into lines, and each line is either a key header ("[HKEY_...\Path]", "[-...]" deletes
// the key and everything below it), a value ("name"=data, @=data, "name"=- deletes it), a
// comment (";") or something else, which is skipped the way regedit skips it. Values become
// the bytes the Win32 API reports: texts with their terminator, dwords as four little-endian
// bytes, hex data as given (the UTF-16 forms hex(2) and hex(7) of a version 5 file as ANSI).
//
// A handle owns a shared snapshot of the parsed file and the key's path, so handles stay
// valid whatever happens to the file while they are open.
#include "platform/win/WinRegistry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win/WinFile.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinText.h"
#include "platform/win/WinWine.h"

namespace {

// A registry file larger than this is not a hive anyone wrote for this program; it reads as
// empty rather than taking the process's memory.
constexpr size_t kMaxFileSize = 256u * 1024u * 1024u;

struct RegValue {
  DWORD nType = REG_NONE;
  std::vector<BYTE> data;
};

struct RegHive {
  std::set<std::string> keys;                                     // every existing key path
  std::map<std::string, std::map<std::string, RegValue>> values;  // key path -> name -> value
  std::string strWinePrefix;       // the prefix the keys of wineKeys were read from
  std::set<std::string> wineKeys;  // key paths that come from the Wine prefix
};

struct RegHandle {
  std::shared_ptr<const RegHive> pHive;
  std::string strPath;  // lower-case, components joined by '\'
};

// What one Wine registry file gave, kept while the file stays the same: a prefix's
// system.reg runs to megabytes and the Palm Desktop keys are looked up many times at start-up.
struct WineFileCache {
  std::string strPath;
  dev_t nDevice = 0;
  ino_t nInode = 0;
  off_t nSize = -1;
  struct timespec stModified {};
  CxWineKeys keys;
  std::string strNote;  // why the file was refused or what was skipped; empty when clean
};

std::mutex g_Lock;
std::set<RegHandle*> g_Handles;
std::optional<std::string> g_TextOverride;
WineFileCache g_WineUser;
WineFileCache g_WineSystem;
std::string g_strWineNote;

std::string Lower(std::string strText) {
  for (char& c : strText) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return strText;
}

// The long name of a root as the file may write it; empty for anything else.
std::string RootName(const std::string& strLower) {
  if (strLower == "hkey_current_user" || strLower == "hkcu") return "hkey_current_user";
  if (strLower == "hkey_local_machine" || strLower == "hklm") return "hkey_local_machine";
  if (strLower == "hkey_classes_root" || strLower == "hkcr") return "hkey_classes_root";
  if (strLower == "hkey_users" || strLower == "hku") return "hkey_users";
  return std::string();
}

std::string RootOfHandle(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER) return "hkey_current_user";
  if (hKey == HKEY_LOCAL_MACHINE) return "hkey_local_machine";
  if (hKey == HKEY_CLASSES_ROOT) return "hkey_classes_root";
  if (hKey == HKEY_USERS) return "hkey_users";
  return std::string();
}

// Joins the non-empty components of a backslash path, lower-cased, onto strBase.
std::string AppendPath(const std::string& strBase, const std::string& strSub) {
  std::string strResult = strBase;
  size_t nPos = 0;
  while (nPos <= strSub.size()) {
    size_t nNext = strSub.find('\\', nPos);
    if (nNext == std::string::npos) nNext = strSub.size();
    std::string strPart = Lower(strSub.substr(nPos, nNext - nPos));
    if (!strPart.empty()) {
      if (!strResult.empty()) strResult += '\\';
      strResult += strPart;
    }
    nPos = nNext + 1;
  }
  return strResult;
}

// A key header's path with its root spelled out; empty when the root is not one we know.
std::string KeyPathFromHeader(const std::string& strHeader) {
  size_t nSep = strHeader.find('\\');
  std::string strRoot = RootName(Lower(CxTrim(strHeader.substr(0, nSep), " \t")));
  if (strRoot.empty()) return std::string();
  if (nSep == std::string::npos) return strRoot;
  return AppendPath(strRoot, strHeader.substr(nSep + 1));
}

bool IsValidUtf8(const std::string& strText, bool* pbHasHigh) {
  *pbHasHigh = false;
  size_t i = 0;
  while (i < strText.size()) {
    const unsigned char c = static_cast<unsigned char>(strText[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    *pbHasHigh = true;
    const size_t nTrail = c >= 0xC2 && c <= 0xDF   ? 1
                          : c >= 0xE0 && c <= 0xEF ? 2
                          : c >= 0xF0 && c <= 0xF4 ? 3
                                                   : 0;
    if (nTrail == 0 || nTrail >= strText.size() - i) return false;
    for (size_t k = 1; k <= nTrail; ++k) {
      if ((static_cast<unsigned char>(strText[i + k]) & 0xC0) != 0x80) return false;
    }
    i += nTrail + 1;
  }
  return true;
}

std::string WideToAnsi(const char16_t* pWide, size_t nUnits) {
  if (nUnits == 0) return std::string();
  const int nNeeded =
      WideCharToMultiByte(CP_ACP, 0, pWide, static_cast<int>(nUnits), nullptr, 0, nullptr, nullptr);
  if (nNeeded <= 0) return std::string();
  std::string strOut(static_cast<size_t>(nNeeded), '\0');
  WideCharToMultiByte(CP_ACP, 0, pWide, static_cast<int>(nUnits), strOut.data(), nNeeded, nullptr,
                      nullptr);
  return strOut;
}

// The file's text in the ANSI code page, whatever encoding it was saved in.
std::string DecodeFileText(const std::string& strRaw) {
  if (strRaw.size() >= 2 && static_cast<unsigned char>(strRaw[0]) == 0xFF &&
      static_cast<unsigned char>(strRaw[1]) == 0xFE) {
    std::u16string sWide;
    sWide.reserve(strRaw.size() / 2);
    for (size_t i = 2; i + 1 < strRaw.size(); i += 2) {
      sWide.push_back(static_cast<char16_t>(static_cast<unsigned char>(strRaw[i]) |
                                            (static_cast<unsigned char>(strRaw[i + 1]) << 8)));
    }
    return WideToAnsi(sWide.data(), sWide.size());
  }
  std::string strText = strRaw;
  if (strText.size() >= 3 && strText.compare(0, 3, "\xEF\xBB\xBF") == 0) strText.erase(0, 3);
  bool bHasHigh = false;
  if (IsValidUtf8(strText, &bHasHigh) && bHasHigh) {
    // Converted line by line: CxUtf8ToAnsi stops at a NUL, which a damaged file may hold.
    std::string strOut;
    size_t nPos = 0;
    while (nPos <= strText.size()) {
      size_t nEnd = strText.find('\0', nPos);
      if (nEnd == std::string::npos) nEnd = strText.size();
      strOut += CxUtf8ToAnsi(strText.substr(nPos, nEnd - nPos).c_str());
      if (nEnd < strText.size()) strOut += '\0';
      nPos = nEnd + 1;
    }
    return strOut;
  }
  return strText;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted text starting at strText[nPos] == '"' with the .reg escapes \\ and \"; nPos ends
// after the closing quote. False when the closing quote is missing.
bool ReadQuoted(const std::string& strText, size_t& nPos, std::string& strOut) {
  strOut.clear();
  ++nPos;
  while (nPos < strText.size()) {
    const char c = strText[nPos];
    if (c == '\\' && nPos + 1 < strText.size() &&
        (strText[nPos + 1] == '\\' || strText[nPos + 1] == '"')) {
      strOut += strText[nPos + 1];
      nPos += 2;
      continue;
    }
    if (c == '"') {
      ++nPos;
      return true;
    }
    strOut += c;
    ++nPos;
  }
  return false;
}

// Comma-separated two-digit hex bytes with blanks allowed; false on anything else.
bool ReadHexBytes(const std::string& strData, std::vector<BYTE>& bytes) {
  bytes.clear();
  size_t nPos = 0;
  bool bExpectByte = true;
  while (nPos < strData.size()) {
    const char c = strData[nPos];
    if (c == ' ' || c == '\t') {
      ++nPos;
    } else if (c == ',' && !bExpectByte) {
      bExpectByte = true;
      ++nPos;
    } else if (bExpectByte && nPos + 1 < strData.size() && HexDigit(c) >= 0 &&
               HexDigit(strData[nPos + 1]) >= 0) {
      bytes.push_back(static_cast<BYTE>(HexDigit(c) * 16 + HexDigit(strData[nPos + 1])));
      bExpectByte = false;
      nPos += 2;
    } else if (c == ';') {
      break;
    } else {
      return false;
    }
  }
  return bytes.empty() || !bExpectByte;
}

// hex(2) and hex(7) of a version 5 file hold UTF-16 text; the ANSI API reports ANSI text.
std::vector<BYTE> WideBytesToAnsi(const std::vector<BYTE>& wide) {
  std::u16string sWide;
  for (size_t i = 0; i + 1 < wide.size(); i += 2) {
    sWide.push_back(static_cast<char16_t>(wide[i] | (wide[i + 1] << 8)));
  }
  std::string strAnsi = WideToAnsi(sWide.data(), sWide.size());
  return std::vector<BYTE>(strAnsi.begin(), strAnsi.end());
}

void AddKey(RegHive& hive, const std::string& strPath) {
  size_t nPos = strPath.find('\\');
  while (nPos != std::string::npos) {
    hive.keys.insert(strPath.substr(0, nPos));
    nPos = strPath.find('\\', nPos + 1);
  }
  hive.keys.insert(strPath);
}

void DeleteKey(RegHive& hive, const std::string& strPath) {
  const std::string strPrefix = strPath + '\\';
  for (auto it = hive.keys.begin(); it != hive.keys.end();) {
    if (*it == strPath || it->compare(0, strPrefix.size(), strPrefix) == 0) {
      hive.values.erase(*it);
      it = hive.keys.erase(it);
    } else {
      ++it;
    }
  }
}

// One value line below the current key. Lines that do not parse are skipped.
void ParseValueLine(RegHive& hive, const std::string& strKey, const std::string& strLine,
                    bool bUnicodeFile) {
  size_t nPos = 0;
  std::string strName;
  if (strLine[0] == '@') {
    nPos = 1;
  } else if (!ReadQuoted(strLine, nPos, strName)) {
    return;
  }
  while (nPos < strLine.size() && (strLine[nPos] == ' ' || strLine[nPos] == '\t')) ++nPos;
  if (nPos >= strLine.size() || strLine[nPos] != '=') return;
  ++nPos;
  const std::string strData = CxTrim(strLine.substr(nPos), " \t");
  const std::string strLowerName = Lower(strName);
  RegValue value;
  if (strData == "-") {
    auto it = hive.values.find(strKey);
    if (it != hive.values.end()) it->second.erase(strLowerName);
    return;
  }
  if (!strData.empty() && strData[0] == '"') {
    size_t nDataPos = 0;
    std::string strText;
    if (!ReadQuoted(strData, nDataPos, strText)) return;
    value.nType = REG_SZ;
    value.data.assign(strText.begin(), strText.end());
    value.data.push_back(0);
  } else if (Lower(strData.substr(0, 6)) == "dword:") {
    const std::string strHex = CxTrim(strData.substr(6), " \t");
    if (strHex.empty() || strHex.size() > 8) return;
    DWORD nValue = 0;
    for (char c : strHex) {
      if (HexDigit(c) < 0) return;
      nValue = nValue * 16 + static_cast<DWORD>(HexDigit(c));
    }
    value.nType = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(nValue >> (8 * i)));
  } else if (Lower(strData.substr(0, 3)) == "hex") {
    size_t nColon = strData.find(':');
    if (nColon == std::string::npos) return;
    const std::string strKind = Lower(CxTrim(strData.substr(3, nColon - 3), " \t"));
    if (strKind.empty()) {
      value.nType = REG_BINARY;
    } else {
      if (strKind.size() < 3 || strKind.front() != '(' || strKind.back() != ')' ||
          strKind.size() > 10) {
        return;
      }
      DWORD nType = 0;
      for (size_t i = 1; i + 1 < strKind.size(); ++i) {
        if (HexDigit(strKind[i]) < 0) return;
        nType = nType * 16 + static_cast<DWORD>(HexDigit(strKind[i]));
      }
      value.nType = nType;
    }
    if (!ReadHexBytes(strData.substr(nColon + 1), value.data)) return;
    if (bUnicodeFile && (value.nType == REG_EXPAND_SZ || value.nType == REG_MULTI_SZ)) {
      value.data = WideBytesToAnsi(value.data);
    }
  } else {
    return;
  }
  hive.values[strKey][strLowerName] = std::move(value);
}

std::shared_ptr<RegHive> ParseHive(const std::string& strRaw) {
  auto pHive = std::make_shared<RegHive>();
  const std::string strText = DecodeFileText(strRaw);
  std::vector<std::string> lines;
  size_t nPos = 0;
  while (nPos < strText.size()) {
    size_t nEnd = strText.find('\n', nPos);
    if (nEnd == std::string::npos) nEnd = strText.size();
    std::string strLine = strText.substr(nPos, nEnd - nPos);
    if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
    lines.push_back(std::move(strLine));
    nPos = nEnd + 1;
  }

  // A file without the version 5 header is taken as REGEDIT4 text: hex(2) data stays ANSI.
  bool bUnicodeFile = false;
  std::optional<std::string> strKey;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string strLine = CxTrim(lines[i], " \t");
    if (strLine.empty() || strLine[0] == ';') continue;
    if (strLine == "Windows Registry Editor Version 5.00") {
      bUnicodeFile = true;
      continue;
    }
    if (strLine[0] == '[') {
      const size_t nClose = strLine.rfind(']');
      if (nClose == std::string::npos || nClose < 1) {
        strKey.reset();
        continue;
      }
      std::string strHeader = strLine.substr(1, nClose - 1);
      const bool bDelete = !strHeader.empty() && strHeader[0] == '-';
      if (bDelete) strHeader.erase(0, 1);
      const std::string strPath = KeyPathFromHeader(strHeader);
      strKey.reset();
      if (strPath.empty()) continue;
      if (bDelete) {
        DeleteKey(*pHive, strPath);
      } else {
        AddKey(*pHive, strPath);
        strKey = strPath;
      }
      continue;
    }
    if (strLine[0] != '"' && strLine[0] != '@') continue;
    // Hex data may run over several lines, each but the last ending with a backslash.
    while (strLine.size() > 1 && strLine.back() == '\\' && i + 1 < lines.size() &&
           strLine.find("=hex") != std::string::npos) {
      strLine.pop_back();
      strLine += CxTrim(lines[++i], " \t");
    }
    if (strKey) ParseValueLine(*pHive, *strKey, strLine, bUnicodeFile);
  }
  return pHive;
}

// Palm Desktop's own keys; the Wine prefix is read only when DayBridge's file has neither.
const char kPalmUserKey[] = "hkey_current_user\\software\\u.s. robotics\\pilot desktop\\core";
const char kPalmMachineKey[] = "hkey_local_machine\\software\\palmsource\\desktop\\core";

bool StartsWithKey(const std::string& strPath, const std::string& strKey) {
  return strPath.compare(0, strKey.size(), strKey) == 0 &&
         (strPath.size() == strKey.size() || strPath[strKey.size()] == '\\');
}

// A Wine registry file larger than this is not one Wine wrote for a desktop.
constexpr size_t kMaxWineFileSize = 256u * 1024u * 1024u;

// Reads one registry file of the prefix into its cache unless it is unchanged. Caller holds
// g_Lock.
void RefreshWineFile(WineFileCache& cache, const std::string& strPath,
                     const std::function<bool(const std::string&)>& pfnKeep) {
  struct stat st {};
  if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    cache = WineFileCache();
    return;
  }
  if (cache.strPath == strPath && cache.nDevice == st.st_dev && cache.nInode == st.st_ino &&
      cache.nSize == st.st_size && cache.stModified.tv_sec == st.st_mtim.tv_sec &&
      cache.stModified.tv_nsec == st.st_mtim.tv_nsec) {
    return;
  }
  cache = WineFileCache();
  cache.strPath = strPath;
  cache.nDevice = st.st_dev;
  cache.nInode = st.st_ino;
  cache.nSize = st.st_size;
  cache.stModified = st.st_mtim;
  std::string strReason;
  std::string strData;
  if (!CxReadWholeFile(strPath.c_str(), kMaxWineFileSize, &strData)) {
    cache.strNote = GetLastError() == ERROR_FILE_TOO_LARGE
                        ? strPath + " was not read: it is larger than 256 MiB"
                        : strPath + " could not be opened";
    return;
  }
  std::istringstream in(std::move(strData));
  if (!CxWineReadRegistry(in, pfnKeep, cache.keys, strReason)) {
    cache.strNote = strPath + " was not read: " + strReason;
  } else if (cache.keys.nSkipped > 0) {
    cache.strNote = strPath + ": " + std::to_string(cache.keys.nSkipped) +
                    " part(s) skipped, the first for " + cache.keys.strFirstSkip;
  }
}

void AddWineKeys(RegHive& hive, const std::string& strRoot, const CxWineKeys& keys) {
  for (const auto& [strPath, values] : keys.keys) {
    const std::string strFull = strRoot + "\\" + strPath;
    AddKey(hive, strFull);
    hive.wineKeys.insert(strFull);
    for (const auto& [strName, value] : values) {
      hive.values[strFull][strName] = RegValue{value.nType, value.data};
    }
  }
}

// Adds Palm Desktop's keys from the Wine prefix's registry when DayBridge's own file names no
// Palm Desktop. A 32-bit Palm Desktop in a 64-bit prefix keeps its machine key below
// Wow6432Node, where the 32-bit program DayBridge is designed as would see it.
void AddWinePalmKeys(RegHive& hive) {
  const std::string strPrefix = CxWinePrefixFolder();
  std::lock_guard<std::mutex> lock(g_Lock);
  g_strWineNote.clear();
  if (hive.keys.count(kPalmUserKey) || hive.keys.count(kPalmMachineKey)) return;
  if (strPrefix.empty()) return;
  RefreshWineFile(g_WineUser, strPrefix + "/user.reg", [](const std::string& strPath) {
    return StartsWithKey(strPath, "software\\u.s. robotics\\pilot desktop");
  });
  RefreshWineFile(g_WineSystem, strPrefix + "/system.reg", [](const std::string& strPath) {
    return StartsWithKey(strPath, "software\\palmsource") ||
           StartsWithKey(strPath, "software\\wow6432node\\palmsource");
  });
  g_strWineNote = !g_WineSystem.strNote.empty() ? g_WineSystem.strNote : g_WineUser.strNote;
  AddWineKeys(hive, "hkey_current_user", g_WineUser.keys);
  bool bRedirected = false;
  for (const auto& entry : g_WineSystem.keys.keys) {
    bRedirected = bRedirected || StartsWithKey(entry.first, "software\\wow6432node");
  }
  if (bRedirected) {
    CxWineKeys machine;
    for (const auto& [strPath, values] : g_WineSystem.keys.keys) {
      if (StartsWithKey(strPath, "software\\wow6432node")) {
        machine.keys["software" + strPath.substr(std::string("software\\wow6432node").size())] =
            values;
      }
    }
    AddWineKeys(hive, "hkey_local_machine", machine);
  } else {
    AddWineKeys(hive, "hkey_local_machine", g_WineSystem.keys);
  }
  if (!hive.wineKeys.empty()) hive.strWinePrefix = strPrefix;
}

std::string RegistryFilePath() {
  const char* szFile = std::getenv("DAYBRIDGE_REGISTRY");
  if (szFile && *szFile) return szFile;
  const char* szConfig = std::getenv("XDG_CONFIG_HOME");
  if (szConfig && *szConfig) return std::string(szConfig) + "/daybridge/registry.reg";
  const char* szHome = std::getenv("HOME");
  return std::string(szHome ? szHome : "") + "/.config/daybridge/registry.reg";
}

std::shared_ptr<RegHive> LoadOwnHive() {
  // Only a plain file of a registry's size is read: a pipe at the name would hang the start.
  std::string strRaw;
  if (!CxReadWholeFile(RegistryFilePath().c_str(), kMaxFileSize, &strRaw)) {
    return std::make_shared<RegHive>();
  }
  return ParseHive(strRaw);
}

// A registry text set by a test or the fuzz target stands for the whole registry: no Wine
// prefix of the machine running them is read.
std::shared_ptr<const RegHive> LoadHive() {
  {
    std::lock_guard<std::mutex> lock(g_Lock);
    if (g_TextOverride) return ParseHive(*g_TextOverride);
  }
  std::shared_ptr<RegHive> pHive = LoadOwnHive();
  AddWinePalmKeys(*pHive);
  return pHive;
}

// The handle's object when hKey is one of ours; null otherwise. Caller holds g_Lock.
RegHandle* FindHandle(HKEY hKey) {
  RegHandle* pHandle = reinterpret_cast<RegHandle*>(hKey);
  return g_Handles.count(pHandle) ? pHandle : nullptr;
}

}  // namespace

LONG RegOpenKeyEx(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, DWORD samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::shared_ptr<const RegHive> pHive;
  std::string strBase = RootOfHandle(hKey);
  if (strBase.empty()) {
    std::lock_guard<std::mutex> lock(g_Lock);
    RegHandle* pParent = FindHandle(hKey);
    if (!pParent) return ERROR_INVALID_HANDLE;
    pHive = pParent->pHive;
    strBase = pParent->strPath;
  } else {
    pHive = LoadHive();
  }
  const std::string strPath = AppendPath(strBase, lpSubKey ? lpSubKey : "");
  if (!pHive->keys.count(strPath)) return ERROR_FILE_NOT_FOUND;
  auto pHandle = std::make_unique<RegHandle>();
  pHandle->pHive = pHive;
  pHandle->strPath = strPath;
  std::lock_guard<std::mutex> lock(g_Lock);
  g_Handles.insert(pHandle.get());
  *phkResult = reinterpret_cast<HKEY>(pHandle.release());
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                     LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<const RegHive> pHive;
  std::string strPath;
  {
    std::lock_guard<std::mutex> lock(g_Lock);
    RegHandle* pHandle = FindHandle(hKey);
    if (!pHandle) return ERROR_INVALID_HANDLE;
    pHive = pHandle->pHive;
    strPath = pHandle->strPath;
  }
  auto itKey = pHive->values.find(strPath);
  if (itKey == pHive->values.end()) return ERROR_FILE_NOT_FOUND;
  auto itValue = itKey->second.find(Lower(lpValueName ? lpValueName : ""));
  if (itValue == itKey->second.end()) return ERROR_FILE_NOT_FOUND;
  const RegValue& value = itValue->second;
  if (lpType) *lpType = value.nType;
  const DWORD nSize = static_cast<DWORD>(value.data.size());
  if (lpData) {
    if (*lpcbData < nSize) {
      *lpcbData = nSize;
      return ERROR_MORE_DATA;
    }
    if (nSize) std::memcpy(lpData, value.data.data(), nSize);
  }
  if (lpcbData) *lpcbData = nSize;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  if (!RootOfHandle(hKey).empty()) return ERROR_SUCCESS;
  std::unique_ptr<RegHandle> pHandle;
  {
    std::lock_guard<std::mutex> lock(g_Lock);
    RegHandle* pFound = FindHandle(hKey);
    if (!pFound) return ERROR_INVALID_HANDLE;
    g_Handles.erase(pFound);
    pHandle.reset(pFound);
  }
  return ERROR_SUCCESS;
}

void CxRegSetText(const char* pText, size_t nSize) {
  std::lock_guard<std::mutex> lock(g_Lock);
  if (pText) {
    g_TextOverride = std::string(pText, nSize);
  } else {
    g_TextOverride.reset();
  }
}

BOOL CxRegGetKeyPrefix(HKEY hKey, LPSTR szPrefix, DWORD nCapacity) {
  if (!szPrefix || nCapacity == 0) return FALSE;
  szPrefix[0] = '\0';
  std::lock_guard<std::mutex> lock(g_Lock);
  RegHandle* pHandle = FindHandle(hKey);
  if (!pHandle || !pHandle->pHive->wineKeys.count(pHandle->strPath)) return FALSE;
  const std::string strPrefix = CxWineShownFolder(pHandle->pHive->strWinePrefix);
  if (strPrefix.size() >= nCapacity) return FALSE;
  std::memcpy(szPrefix, strPrefix.c_str(), strPrefix.size() + 1);
  return TRUE;
}

LONG CxRegLocalPath(HKEY hKey, LPCSTR szRegPath, LPSTR szLocal, DWORD nCapacity) {
  if (!szRegPath || !szLocal || nCapacity == 0) return ERROR_INVALID_PARAMETER;
  std::string strPrefix;
  {
    std::lock_guard<std::mutex> lock(g_Lock);
    RegHandle* pHandle = FindHandle(hKey);
    if (!pHandle) return ERROR_INVALID_HANDLE;
    if (pHandle->pHive->wineKeys.count(pHandle->strPath)) {
      strPrefix = pHandle->pHive->strWinePrefix;
    }
  }
  std::string strLocal = szRegPath;
  if (!strPrefix.empty()) {
    std::string strReason;
    if (!CxWineLocalPath(strPrefix, szRegPath, strLocal, strReason)) {
      std::lock_guard<std::mutex> lock(g_Lock);
      // Appended piece by piece: GCC's -Wrestrict misfires on a literal added to a string
      // in optimized builds.
      g_strWineNote.assign(1, '"');
      g_strWineNote.append(szRegPath).append("\" of the Wine prefix ").append(strPrefix);
      g_strWineNote.append(" is not used: ").append(strReason);
      return ERROR_PATH_NOT_FOUND;
    }
  }
  if (strLocal.size() >= nCapacity) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(szLocal, strLocal.c_str(), strLocal.size() + 1);
  return ERROR_SUCCESS;
}

BOOL CxRegGetWineNote(LPSTR szNote, DWORD nCapacity) {
  if (!szNote || nCapacity == 0) return FALSE;
  std::lock_guard<std::mutex> lock(g_Lock);
  if (g_strWineNote.empty()) {
    szNote[0] = '\0';
    return FALSE;
  }
  const size_t nCopy = std::min<size_t>(g_strWineNote.size(), nCapacity - 1);
  std::memcpy(szNote, g_strWineNote.data(), nCopy);
  szNote[nCopy] = '\0';
  return TRUE;
}
