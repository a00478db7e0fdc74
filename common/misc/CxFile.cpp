// The program's files are little-endian whatever the host, so every value is assembled from
// its bytes. Counted strings come from files the user may hand us, so a stored length is
// trusted only after it has been checked against the bytes actually left in the file.
#include "common/misc/CxFile.h"

#include <cstring>

#include "platform/win/WinFileOps.h"

namespace {

// A length cut to the caller's capacity is skipped in chunks of this size.
constexpr size_t kSkipChunk = 4096;

}  // namespace

CxFile::~CxFile() {
  Close();
}

bool CxFile::Open(const char* szPath, const char* szMode) {
  if (szPath == nullptr || szPath[0] == '\0' || szMode == nullptr || szMode[0] == '\0') {
    return false;
  }
  Close();
  m_nKnownSize = -1;
  m_pFile = std::fopen(szPath, szMode);
  return m_pFile != nullptr;
}

bool CxFile::Close() {
  if (m_pFile != nullptr) {
    std::fclose(m_pFile);
    m_pFile = nullptr;
  }
  return true;
}

bool CxFile::ReadRaw(void* pTarget, size_t nBytes) {
  if (m_pFile == nullptr || pTarget == nullptr) return false;
  return std::fread(pTarget, 1, nBytes, m_pFile) == nBytes;
}

bool CxFile::WriteRaw(const void* pSource, size_t nBytes) {
  if (m_pFile == nullptr) return false;
  m_nKnownSize = -1;
  return nBytes == 0 || std::fwrite(pSource, 1, nBytes, m_pFile) == nBytes;
}

long long CxFile::RemainingBytes() {
  const long nHere = std::ftell(m_pFile);
  if (nHere < 0) return -1;
  if (m_nKnownSize < 0) {
    if (std::fseek(m_pFile, 0, SEEK_END) != 0) return -1;
    const long nEnd = std::ftell(m_pFile);
    if (std::fseek(m_pFile, nHere, SEEK_SET) != 0 || nEnd < 0) return -1;
    m_nKnownSize = nEnd;
  }
  return m_nKnownSize < nHere ? 0 : m_nKnownSize - nHere;
}

bool CxFile::ReadString(char* szBuf, int nCapacity, int* pnLength) {
  if (pnLength != nullptr) *pnLength = 0;
  if (m_pFile == nullptr || szBuf == nullptr || nCapacity <= 0) return false;
  szBuf[0] = '\0';
  LONG nLength = 0;
  if (!Read32(&nLength)) return false;
  // The caller logs the failure with its own context (which file, which record).
  if (nLength < 0) return false;
  const long long nRemaining = RemainingBytes();
  if (nRemaining >= 0 && nLength > nRemaining) return false;
  const size_t nKeep =
      nLength < nCapacity ? static_cast<size_t>(nLength) : static_cast<size_t>(nCapacity - 1);
  if (!ReadRaw(szBuf, nKeep)) {
    szBuf[0] = '\0';
    return false;
  }
  szBuf[nKeep] = '\0';
  // Read rather than seek past the cut part, so a stream that cannot seek ends the same way.
  size_t nSkip = static_cast<size_t>(nLength) - nKeep;
  char scratch[kSkipChunk];
  while (nSkip > 0) {
    const size_t nChunk = nSkip < sizeof(scratch) ? nSkip : sizeof(scratch);
    if (!ReadRaw(scratch, nChunk)) {
      szBuf[0] = '\0';
      return false;
    }
    nSkip -= nChunk;
  }
  if (pnLength != nullptr) *pnLength = static_cast<int>(nLength);
  return true;
}

bool CxFile::Read32(DWORD* pValue) {
  unsigned char bytes[4];
  if (pValue == nullptr || !ReadRaw(bytes, sizeof(bytes))) return false;
  *pValue = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
            static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
  return true;
}

bool CxFile::Read32(LONG* pValue) {
  DWORD nRaw = 0;
  if (pValue == nullptr || !Read32(&nRaw)) return false;
  *pValue = static_cast<LONG>(nRaw);
  return true;
}

bool CxFile::Read64(ULONGLONG* pValue) {
  unsigned char bytes[8];
  if (pValue == nullptr || !ReadRaw(bytes, sizeof(bytes))) return false;
  ULONGLONG nValue = 0;
  for (int i = 7; i >= 0; --i) nValue = nValue << 8 | bytes[i];
  *pValue = nValue;
  return true;
}

bool CxFile::Read64(LONGLONG* pValue) {
  ULONGLONG nRaw = 0;
  if (pValue == nullptr || !Read64(&nRaw)) return false;
  *pValue = static_cast<LONGLONG>(nRaw);
  return true;
}

bool CxFile::Read64(DATE* pValue) {
  ULONGLONG nRaw = 0;
  if (pValue == nullptr || !Read64(&nRaw)) return false;
  std::memcpy(pValue, &nRaw, sizeof(nRaw));
  return true;
}

bool CxFile::WriteString(const char* szText) {
  if (m_pFile == nullptr) return false;
  const size_t nLength = szText == nullptr ? 0 : std::strlen(szText);
  if (nLength > 0x7FFFFFFF) return false;
  return Write32(static_cast<DWORD>(nLength)) && WriteRaw(szText, nLength);
}

bool CxFile::Write32(DWORD nValue) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(nValue), static_cast<unsigned char>(nValue >> 8),
      static_cast<unsigned char>(nValue >> 16), static_cast<unsigned char>(nValue >> 24)};
  return WriteRaw(bytes, sizeof(bytes));
}

bool CxFile::Write64(ULONGLONG nValue) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(nValue >> (8 * i));
  return WriteRaw(bytes, sizeof(bytes));
}

bool CxFile::Write64(DATE dtValue) {
  ULONGLONG nRaw = 0;
  std::memcpy(&nRaw, &dtValue, sizeof(nRaw));
  return Write64(nRaw);
}

bool CxFile::WriteLine(const char* szText) {
  if (m_pFile == nullptr) return false;
  const size_t nLength = szText == nullptr ? 0 : std::strlen(szText);
  return WriteRaw(szText, nLength) && WriteRaw("\r\n", 2);
}

bool CxFile::Flush() {
  return m_pFile != nullptr && std::fflush(m_pFile) == 0;
}

int CxFile::GetFileSize(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0') return -1;
  // A folder opens for reading here but has no size a caller could use.
  const DWORD dwAttributes = GetFileAttributes(szPath);
  if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return -1;
  }
  FILE* pFile = std::fopen(szPath, "rb");
  if (pFile == nullptr) return -1;
  long nSize = -1;
  if (std::fseek(pFile, 0, SEEK_END) == 0) nSize = std::ftell(pFile);
  std::fclose(pFile);
  if (nSize < 0) return -1;
  return nSize > 0x7FFFFFFFL ? 0x7FFFFFFF : static_cast<int>(nSize);
}
