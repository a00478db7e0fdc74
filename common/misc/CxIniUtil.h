// A private-profile (INI) settings file: one path, an optional default section that calls
// with an empty section name fall back to, and typed reads and writes of single keys. Every
// call goes to the file itself; nothing is cached.
#pragma once

#include "platform/win/WinTypes.h"

class CxIniUtil {
 public:
  // The path is szFolder followed directly by szFileName; without a folder the program's
  // own folder is used. A path that would not fit MAX_PATH is refused (left empty and
  // logged): a cut path would name some other file.
  explicit CxIniUtil(const char* szFolder = nullptr, const char* szFileName = nullptr);
  virtual ~CxIniUtil() = default;

  // Replaces the path when szPath is non-empty and fits.
  void SetPath(const char* szPath);
  const char* GetPath() const { return m_szPath; }
  void SetDefaultSection(const char* szSection);
  const char* GetDefaultSection() const { return m_szSection; }

  // Number of characters copied into szBuf (szDefault when the key is missing). 0 without
  // reading for an empty key, a missing buffer or a size of 0.
  int ReadString(const char* szSection, const char* szKey, char* szBuf, int nSize,
                 const char* szDefault);
  // The leading decimal digits (with a sign) of the key's text, 0 when there are none;
  // nDefault when the key is missing or empty.
  int ReadInt(const char* szSection, const char* szKey, int nDefault);
  bool ReadBool(const char* szSection, const char* szKey, bool bDefault);

  // False for an empty key or when the file cannot be written; a null text writes an empty
  // value.
  bool WriteString(const char* szSection, const char* szKey, const char* szText);
  bool WriteInt(const char* szSection, const char* szKey, int nValue);
  bool WriteBool(const char* szSection, const char* szKey, bool bValue);

 private:
  const char* SectionOr(const char* szSection) const;

  char m_szSection[32] = "";
  char m_szPath[MAX_PATH] = "";
};
