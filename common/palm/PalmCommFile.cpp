// PmDBUtil's open datebook file: opening it, the read-ahead and write-behind buffer and the
// position and size every length read from the file is checked against. Reads fail when the
// bytes asked for are not in the file; a write that fails fails every later one of the save.
#include "common/palm/PalmComm.h"
#define DB_MODULE "PalmComm"
#include <cstring>

#include "platform/win/WinFile.h"
#include "platform/win/WinSystem.h"

namespace {

// Read-ahead and write-behind buffer of an open datebook.
constexpr DWORD kIoBufferSize = 64 * 1024;

}  // namespace

bool PmDBUtil::OpenHandle(const char* szPath, int nMode) {
  Close();
  if (szPath == nullptr || szPath[0] == '\0') return false;
  // The name is kept in a 256-byte field; a longer path would not fit it.
  if (std::strlen(szPath) >= PM_FILE_NAME_SIZE) return false;
  DWORD dwAccess;
  DWORD dwDisposition = OPEN_EXISTING;
  switch (nMode) {
    case PM_OPEN_READ:
      dwAccess = GENERIC_READ;
      break;
    case PM_OPEN_WRITE:
      dwAccess = GENERIC_WRITE;
      break;
    case PM_OPEN_READWRITE:
      dwAccess = GENERIC_READ | GENERIC_WRITE;
      break;
    case PM_OPEN_CREATE:
      dwAccess = GENERIC_READ | GENERIC_WRITE;
      dwDisposition = CREATE_ALWAYS;
      break;
    default:
      return false;
  }
  HANDLE hFile =
      CreateFile(szPath, dwAccess, 0, nullptr, dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  DWORD nSizeHigh = 0;
  DWORD nSize = GetFileSize(hFile, &nSizeHigh);
  if (nSize == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) nSize = 0;
  // Positions are 32-bit in this format; a bigger file is read as far as they reach.
  if (nSizeHigh != 0) nSize = 0xFFFFFFFFUL;
  return AdoptHandle(hFile, nSize);
}

bool PmDBUtil::Open(const char* szPath, int nMode) {
  if (!OpenHandle(szPath, nMode)) return false;
  CxCopyText(m_szFileName, szPath);
  return true;
}

void PmDBUtil::Close() {
  if (m_hFile == INVALID_HANDLE_VALUE) return;
  if (m_bWriting) FlushWriteBuffer();
  CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
  m_nBufStart = m_nBufEnd = 0;
  m_bWriting = false;
  m_nPos = 0;
  m_nFileSize = 0;
}

bool PmDBUtil::IsOpen() const {
  return m_hFile != INVALID_HANDLE_VALUE;
}

DWORD PmDBUtil::GetFilePos() const {
  return IsOpen() ? m_nPos : 0;
}

DWORD PmDBUtil::RemainingBytes() const {
  if (!IsOpen() || m_nPos >= m_nFileSize) return 0;
  return m_nFileSize - m_nPos;
}

// False only when the read itself fails; at the end of the file the buffer stays empty.
bool PmDBUtil::FillReadBuffer() {
  DWORD nGot = 0;
  m_nBufStart = m_nBufEnd = 0;
  if (!ReadFile(m_hFile, m_Buffer.data(), kIoBufferSize, &nGot, nullptr)) return false;
  m_nBufEnd = nGot;
  return true;
}

bool PmDBUtil::FlushWriteBuffer() {
  if (m_bWriteFailed) return false;
  if (m_nBufEnd == 0) return true;
  DWORD nPut = 0;
  const DWORD nPending = m_nBufEnd;
  m_nBufEnd = 0;
  if (!WriteFile(m_hFile, m_Buffer.data(), nPending, &nPut, nullptr) || nPut != nPending) {
    m_bWriteFailed = true;
    m_dwWriteError = GetLastError();
  }
  return !m_bWriteFailed;
}

bool PmDBUtil::ReadSome(void* pBuf, DWORD* pnCount) {
  if (pBuf == nullptr || pnCount == nullptr || *pnCount == 0 || !IsOpen()) return false;
  if (m_bWriting) {
    if (!FlushWriteBuffer()) return false;
    m_bWriting = false;
  }
  auto* pOut = static_cast<BYTE*>(pBuf);
  const DWORD nWanted = *pnCount;
  DWORD nDone = 0;
  while (nDone < nWanted) {
    DWORD nBuffered = m_nBufEnd - m_nBufStart;
    if (nBuffered == 0) {
      if (nWanted - nDone >= kIoBufferSize) {
        // Big reads bypass the buffer.
        DWORD nGot = 0;
        if (!ReadFile(m_hFile, pOut + nDone, nWanted - nDone, &nGot, nullptr)) return false;
        nDone += nGot;
        m_nPos += nGot;
        break;
      }
      if (!FillReadBuffer()) return false;
      if (m_nBufEnd == 0) break;  // end of the file
      nBuffered = m_nBufEnd;
    }
    const DWORD nTake = nBuffered < nWanted - nDone ? nBuffered : nWanted - nDone;
    std::memcpy(pOut + nDone, m_Buffer.data() + m_nBufStart, nTake);
    m_nBufStart += nTake;
    nDone += nTake;
    m_nPos += nTake;
  }
  *pnCount = nDone;
  return true;
}

bool PmDBUtil::ReadBytes(void* pBuf, DWORD nCount) {
  if (pBuf == nullptr || nCount == 0) return false;
  DWORD nGot = nCount;
  return ReadSome(pBuf, &nGot) && nGot == nCount;
}

bool PmDBUtil::SkipBytes(DWORD nCount) {
  BYTE scratch[4096];
  while (nCount > 0) {
    const DWORD nStep = nCount < sizeof(scratch) ? nCount : static_cast<DWORD>(sizeof(scratch));
    if (!ReadBytes(scratch, nStep)) return false;
    nCount -= nStep;
  }
  return true;
}

bool PmDBUtil::WriteBytes(const void* pBuf, DWORD nCount) {
  if (pBuf == nullptr || nCount == 0 || !IsOpen() || m_bWriteFailed) return false;
  if (!m_bWriting) {
    // Bytes read ahead but not consumed put the handle's position past ours.
    if (m_nBufEnd > m_nBufStart) {
      if (SetFilePointer(m_hFile, static_cast<LONG>(m_nPos), nullptr, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER) {
        return false;
      }
    }
    m_nBufStart = m_nBufEnd = 0;
    m_bWriting = true;
  }
  const auto* pIn = static_cast<const BYTE*>(pBuf);
  if (nCount >= kIoBufferSize) {
    if (!FlushWriteBuffer()) return false;
    DWORD nPut = 0;
    if (!WriteFile(m_hFile, pIn, nCount, &nPut, nullptr) || nPut != nCount) {
      m_bWriteFailed = true;
      m_dwWriteError = GetLastError();
      return false;
    }
  } else {
    if (m_nBufEnd + nCount > kIoBufferSize && !FlushWriteBuffer()) return false;
    std::memcpy(m_Buffer.data() + m_nBufEnd, pIn, nCount);
    m_nBufEnd += nCount;
  }
  m_nPos += nCount;
  if (m_nPos > m_nFileSize) m_nFileSize = m_nPos;
  return true;
}

bool PmDBUtil::AdoptHandle(HANDLE hFile, DWORD nSize) {
  if (hFile == INVALID_HANDLE_VALUE) return false;
  m_hFile = hFile;
  m_nFileSize = nSize;
  m_nPos = 0;
  m_nBufStart = m_nBufEnd = 0;
  m_bWriting = false;
  m_bWriteFailed = false;
  if (m_Buffer.size() != kIoBufferSize) m_Buffer.assign(kIoBufferSize, 0);
  return true;
}
