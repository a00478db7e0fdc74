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

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/win/WinText.h"

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
};

struct RegHandle {
  std::shared_ptr<const RegHive> pHive;
  std::string sPath;  // lower-case, components joined by '\'
};

std::mutex g_Lock;
std::set<RegHandle*> g_Handles;
std::optional<std::string> g_TextOverride;

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string TrimBlanks(const std::string& s) {
  size_t nBegin = 0;
  size_t nEnd = s.size();
  while (nBegin < nEnd && (s[nBegin] == ' ' || s[nBegin] == '\t')) ++nBegin;
  while (nEnd > nBegin && (s[nEnd - 1] == ' ' || s[nEnd - 1] == '\t')) --nEnd;
  return s.substr(nBegin, nEnd - nBegin);
}

// The long name of a root as the file may write it; empty for anything else.
std::string RootName(const std::string& sLower) {
  if (sLower == "hkey_current_user" || sLower == "hkcu") return "hkey_current_user";
  if (sLower == "hkey_local_machine" || sLower == "hklm") return "hkey_local_machine";
  if (sLower == "hkey_classes_root" || sLower == "hkcr") return "hkey_classes_root";
  if (sLower == "hkey_users" || sLower == "hku") return "hkey_users";
  return std::string();
}

std::string RootOfHandle(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER) return "hkey_current_user";
  if (hKey == HKEY_LOCAL_MACHINE) return "hkey_local_machine";
  if (hKey == HKEY_CLASSES_ROOT) return "hkey_classes_root";
  if (hKey == HKEY_USERS) return "hkey_users";
  return std::string();
}

// Joins the non-empty components of a backslash path, lower-cased, onto sBase.
std::string AppendPath(const std::string& sBase, const std::string& sSub) {
  std::string sResult = sBase;
  size_t nPos = 0;
  while (nPos <= sSub.size()) {
    size_t nNext = sSub.find('\\', nPos);
    if (nNext == std::string::npos) nNext = sSub.size();
    std::string sPart = Lower(sSub.substr(nPos, nNext - nPos));
    if (!sPart.empty()) {
      if (!sResult.empty()) sResult += '\\';
      sResult += sPart;
    }
    nPos = nNext + 1;
  }
  return sResult;
}

// A key header's path with its root spelled out; empty when the root is not one we know.
std::string KeyPathFromHeader(const std::string& sHeader) {
  size_t nSep = sHeader.find('\\');
  std::string sRoot = RootName(Lower(TrimBlanks(sHeader.substr(0, nSep))));
  if (sRoot.empty()) return std::string();
  if (nSep == std::string::npos) return sRoot;
  return AppendPath(sRoot, sHeader.substr(nSep + 1));
}

bool IsValidUtf8(const std::string& s, bool* pbHasHigh) {
  *pbHasHigh = false;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    *pbHasHigh = true;
    const size_t nTrail = c >= 0xC2 && c <= 0xDF   ? 1
                          : c >= 0xE0 && c <= 0xEF ? 2
                          : c >= 0xF0 && c <= 0xF4 ? 3
                                                   : 0;
    if (nTrail == 0 || nTrail >= s.size() - i) return false;
    for (size_t k = 1; k <= nTrail; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
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
  std::string sOut(static_cast<size_t>(nNeeded), '\0');
  WideCharToMultiByte(CP_ACP, 0, pWide, static_cast<int>(nUnits), sOut.data(), nNeeded, nullptr,
                      nullptr);
  return sOut;
}

// The file's text in the ANSI code page, whatever encoding it was saved in.
std::string DecodeFileText(const std::string& sRaw) {
  if (sRaw.size() >= 2 && static_cast<unsigned char>(sRaw[0]) == 0xFF &&
      static_cast<unsigned char>(sRaw[1]) == 0xFE) {
    std::u16string sWide;
    sWide.reserve(sRaw.size() / 2);
    for (size_t i = 2; i + 1 < sRaw.size(); i += 2) {
      sWide.push_back(static_cast<char16_t>(static_cast<unsigned char>(sRaw[i]) |
                                            (static_cast<unsigned char>(sRaw[i + 1]) << 8)));
    }
    return WideToAnsi(sWide.data(), sWide.size());
  }
  std::string sText = sRaw;
  if (sText.size() >= 3 && sText.compare(0, 3, "\xEF\xBB\xBF") == 0) sText.erase(0, 3);
  bool bHasHigh = false;
  if (IsValidUtf8(sText, &bHasHigh) && bHasHigh) {
    // Converted line by line: CxUtf8ToAnsi stops at a NUL, which a damaged file may hold.
    std::string sOut;
    size_t nPos = 0;
    while (nPos <= sText.size()) {
      size_t nEnd = sText.find('\0', nPos);
      if (nEnd == std::string::npos) nEnd = sText.size();
      sOut += CxUtf8ToAnsi(sText.substr(nPos, nEnd - nPos).c_str());
      if (nEnd < sText.size()) sOut += '\0';
      nPos = nEnd + 1;
    }
    return sOut;
  }
  return sText;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted text starting at s[nPos] == '"' with the .reg escapes \\ and \"; nPos ends
// after the closing quote. False when the closing quote is missing.
bool ReadQuoted(const std::string& s, size_t& nPos, std::string& sOut) {
  sOut.clear();
  ++nPos;
  while (nPos < s.size()) {
    const char c = s[nPos];
    if (c == '\\' && nPos + 1 < s.size() && (s[nPos + 1] == '\\' || s[nPos + 1] == '"')) {
      sOut += s[nPos + 1];
      nPos += 2;
      continue;
    }
    if (c == '"') {
      ++nPos;
      return true;
    }
    sOut += c;
    ++nPos;
  }
  return false;
}

// Comma-separated two-digit hex bytes with blanks allowed; false on anything else.
bool ReadHexBytes(const std::string& sData, std::vector<BYTE>& bytes) {
  bytes.clear();
  size_t nPos = 0;
  bool bExpectByte = true;
  while (nPos < sData.size()) {
    const char c = sData[nPos];
    if (c == ' ' || c == '\t') {
      ++nPos;
    } else if (c == ',' && !bExpectByte) {
      bExpectByte = true;
      ++nPos;
    } else if (bExpectByte && nPos + 1 < sData.size() && HexDigit(c) >= 0 &&
               HexDigit(sData[nPos + 1]) >= 0) {
      bytes.push_back(static_cast<BYTE>(HexDigit(c) * 16 + HexDigit(sData[nPos + 1])));
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
  std::string sAnsi = WideToAnsi(sWide.data(), sWide.size());
  return std::vector<BYTE>(sAnsi.begin(), sAnsi.end());
}

void AddKey(RegHive& hive, const std::string& sPath) {
  size_t nPos = sPath.find('\\');
  while (nPos != std::string::npos) {
    hive.keys.insert(sPath.substr(0, nPos));
    nPos = sPath.find('\\', nPos + 1);
  }
  hive.keys.insert(sPath);
}

void DeleteKey(RegHive& hive, const std::string& sPath) {
  const std::string sPrefix = sPath + '\\';
  for (auto it = hive.keys.begin(); it != hive.keys.end();) {
    if (*it == sPath || it->compare(0, sPrefix.size(), sPrefix) == 0) {
      hive.values.erase(*it);
      it = hive.keys.erase(it);
    } else {
      ++it;
    }
  }
}

// One value line below the current key. Lines that do not parse are skipped.
void ParseValueLine(RegHive& hive, const std::string& sKey, const std::string& sLine,
                    bool bUnicodeFile) {
  size_t nPos = 0;
  std::string sName;
  if (sLine[0] == '@') {
    nPos = 1;
  } else if (!ReadQuoted(sLine, nPos, sName)) {
    return;
  }
  while (nPos < sLine.size() && (sLine[nPos] == ' ' || sLine[nPos] == '\t')) ++nPos;
  if (nPos >= sLine.size() || sLine[nPos] != '=') return;
  ++nPos;
  const std::string sData = TrimBlanks(sLine.substr(nPos));
  const std::string sLowerName = Lower(sName);
  RegValue value;
  if (sData == "-") {
    auto it = hive.values.find(sKey);
    if (it != hive.values.end()) it->second.erase(sLowerName);
    return;
  }
  if (!sData.empty() && sData[0] == '"') {
    size_t nDataPos = 0;
    std::string sText;
    if (!ReadQuoted(sData, nDataPos, sText)) return;
    value.nType = REG_SZ;
    value.data.assign(sText.begin(), sText.end());
    value.data.push_back(0);
  } else if (Lower(sData.substr(0, 6)) == "dword:") {
    const std::string sHex = TrimBlanks(sData.substr(6));
    if (sHex.empty() || sHex.size() > 8) return;
    DWORD nValue = 0;
    for (char c : sHex) {
      if (HexDigit(c) < 0) return;
      nValue = nValue * 16 + static_cast<DWORD>(HexDigit(c));
    }
    value.nType = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(nValue >> (8 * i)));
  } else if (Lower(sData.substr(0, 3)) == "hex") {
    size_t nColon = sData.find(':');
    if (nColon == std::string::npos) return;
    const std::string sKind = Lower(TrimBlanks(sData.substr(3, nColon - 3)));
    if (sKind.empty()) {
      value.nType = REG_BINARY;
    } else {
      if (sKind.size() < 3 || sKind.front() != '(' || sKind.back() != ')' || sKind.size() > 10) {
        return;
      }
      DWORD nType = 0;
      for (size_t i = 1; i + 1 < sKind.size(); ++i) {
        if (HexDigit(sKind[i]) < 0) return;
        nType = nType * 16 + static_cast<DWORD>(HexDigit(sKind[i]));
      }
      value.nType = nType;
    }
    if (!ReadHexBytes(sData.substr(nColon + 1), value.data)) return;
    if (bUnicodeFile && (value.nType == REG_EXPAND_SZ || value.nType == REG_MULTI_SZ)) {
      value.data = WideBytesToAnsi(value.data);
    }
  } else {
    return;
  }
  hive.values[sKey][sLowerName] = std::move(value);
}

std::shared_ptr<const RegHive> ParseHive(const std::string& sRaw) {
  auto pHive = std::make_shared<RegHive>();
  const std::string sText = DecodeFileText(sRaw);
  std::vector<std::string> lines;
  size_t nPos = 0;
  while (nPos < sText.size()) {
    size_t nEnd = sText.find('\n', nPos);
    if (nEnd == std::string::npos) nEnd = sText.size();
    std::string sLine = sText.substr(nPos, nEnd - nPos);
    if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
    lines.push_back(std::move(sLine));
    nPos = nEnd + 1;
  }

  // A file without the version 5 header is taken as REGEDIT4 text: hex(2) data stays ANSI.
  bool bUnicodeFile = false;
  std::optional<std::string> sKey;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string sLine = TrimBlanks(lines[i]);
    if (sLine.empty() || sLine[0] == ';') continue;
    if (sLine == "Windows Registry Editor Version 5.00") {
      bUnicodeFile = true;
      continue;
    }
    if (sLine[0] == '[') {
      const size_t nClose = sLine.rfind(']');
      if (nClose == std::string::npos || nClose < 1) {
        sKey.reset();
        continue;
      }
      std::string sHeader = sLine.substr(1, nClose - 1);
      const bool bDelete = !sHeader.empty() && sHeader[0] == '-';
      if (bDelete) sHeader.erase(0, 1);
      const std::string sPath = KeyPathFromHeader(sHeader);
      sKey.reset();
      if (sPath.empty()) continue;
      if (bDelete) {
        DeleteKey(*pHive, sPath);
      } else {
        AddKey(*pHive, sPath);
        sKey = sPath;
      }
      continue;
    }
    if (sLine[0] != '"' && sLine[0] != '@') continue;
    // Hex data may run over several lines, each but the last ending with a backslash.
    while (sLine.size() > 1 && sLine.back() == '\\' && i + 1 < lines.size() &&
           sLine.find("=hex") != std::string::npos) {
      sLine.pop_back();
      sLine += TrimBlanks(lines[++i]);
    }
    if (sKey) ParseValueLine(*pHive, *sKey, sLine, bUnicodeFile);
  }
  return pHive;
}

std::string RegistryFilePath() {
  const char* szFile = std::getenv("DAYBRIDGE_REGISTRY");
  if (szFile && *szFile) return szFile;
  const char* szConfig = std::getenv("XDG_CONFIG_HOME");
  if (szConfig && *szConfig) return std::string(szConfig) + "/daybridge/registry.reg";
  const char* szHome = std::getenv("HOME");
  return std::string(szHome ? szHome : "") + "/.config/daybridge/registry.reg";
}

std::shared_ptr<const RegHive> LoadHive() {
  {
    std::lock_guard<std::mutex> lock(g_Lock);
    if (g_TextOverride) return ParseHive(*g_TextOverride);
  }
  std::ifstream in(RegistryFilePath(), std::ios::binary);
  if (!in) return std::make_shared<RegHive>();
  in.seekg(0, std::ios::end);
  const std::streamoff nSize = in.tellg();
  if (nSize < 0 || static_cast<unsigned long long>(nSize) > kMaxFileSize) {
    return std::make_shared<RegHive>();
  }
  in.seekg(0, std::ios::beg);
  std::string sRaw(static_cast<size_t>(nSize), '\0');
  in.read(sRaw.data(), nSize);
  sRaw.resize(static_cast<size_t>(in.gcount()));
  return ParseHive(sRaw);
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
  std::string sBase = RootOfHandle(hKey);
  if (sBase.empty()) {
    std::lock_guard<std::mutex> lock(g_Lock);
    RegHandle* pParent = FindHandle(hKey);
    if (!pParent) return ERROR_INVALID_HANDLE;
    pHive = pParent->pHive;
    sBase = pParent->sPath;
  } else {
    pHive = LoadHive();
  }
  const std::string sPath = AppendPath(sBase, lpSubKey ? lpSubKey : "");
  if (!pHive->keys.count(sPath)) return ERROR_FILE_NOT_FOUND;
  auto pHandle = std::make_unique<RegHandle>();
  pHandle->pHive = pHive;
  pHandle->sPath = sPath;
  std::lock_guard<std::mutex> lock(g_Lock);
  g_Handles.insert(pHandle.get());
  *phkResult = reinterpret_cast<HKEY>(pHandle.release());
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                     LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<const RegHive> pHive;
  std::string sPath;
  {
    std::lock_guard<std::mutex> lock(g_Lock);
    RegHandle* pHandle = FindHandle(hKey);
    if (!pHandle) return ERROR_INVALID_HANDLE;
    pHive = pHandle->pHive;
    sPath = pHandle->sPath;
  }
  auto itKey = pHive->values.find(sPath);
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
