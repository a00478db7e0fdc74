// A buffered file stream with the typed reads and writes of the program's own binary files
// (little-endian 32- and 64-bit values, counted strings: a signed 32-bit length and that
// many bytes without terminator) and the CR LF text lines of the debug log. One stream at a
// time; the destructor closes it.
#pragma once

#include <cstdio>

#include "platform/win/WinTypes.h"

class CxFile {
 public:
  CxFile() = default;
  virtual ~CxFile();
  CxFile(const CxFile&) = delete;
  CxFile& operator=(const CxFile&) = delete;

  // Opens with an fopen mode ("rb", "wb", "ab"...); an open stream is closed first. False
  // for an empty path or mode or when the open fails.
  virtual bool Open(const char* szPath, const char* szMode);
  // Closes the stream when one is open; true.
  virtual bool Close();
  bool IsOpen() const { return m_pFile != nullptr; }

  // Reads a counted string into szBuf (terminated) and reports its stored length through
  // pnLength. A length beyond the capacity is cut to nCapacity - 1 after all its bytes are
  // consumed. False without a stream or buffer, and for a negative length or one larger than
  // what remains of the file; the buffer is then empty.
  bool ReadString(char* szBuf, int nCapacity, int* pnLength = nullptr);
  // Read 4 or 8 bytes; false without a stream or target, or at the end of the file.
  bool Read32(DWORD* pValue);
  bool Read32(LONG* pValue);
  bool Read64(ULONGLONG* pValue);
  bool Read64(LONGLONG* pValue);
  bool Read64(DATE* pValue);

  // Writes a counted string; null or empty writes length 0 and no bytes.
  bool WriteString(const char* szText);
  bool Write32(DWORD nValue);
  bool Write32(LONG nValue) { return Write32(static_cast<DWORD>(nValue)); }
  bool Write64(ULONGLONG nValue);
  bool Write64(LONGLONG nValue) { return Write64(static_cast<ULONGLONG>(nValue)); }
  bool Write64(DATE dtValue);
  // Writes the text and CR LF; null writes an empty line.
  bool WriteLine(const char* szText);

  // Flushes the stream's buffer to the file; false when that fails or no stream is open.
  bool Flush();

  // Size of the named file in bytes; -1 for an empty path or a file that cannot be opened
  // for reading. Files of 2 GiB and more report 0x7FFFFFFF: the result is a signed 32-bit
  // value that callers compare with limits far below that.
  static int GetFileSize(const char* szPath);

 private:
  bool ReadRaw(void* pTarget, size_t nBytes);
  bool WriteRaw(const void* pSource, size_t nBytes);
  // Bytes between the position and the end, or -1 when the stream cannot seek.
  long long RemainingBytes();

  FILE* m_pFile = nullptr;
  // The file's size as found when first needed, so that reading many strings does not seek
  // to the end each time; -1 until known, and forgotten whenever the stream is written.
  long long m_nKnownSize = -1;
};
