// Version resources straight from the PE file. How this works: the DOS header gives the PE
// header; its optional header (PE32 or PE32+) gives the resource directory's address; the
// section table maps that address to a file offset; the resource tree is walked three levels
// down (type RT_VERSION, the first name, the first language) to a data entry whose bytes are
// the version block. Every offset, count and size comes from the file and is checked against
// the file's size before it is used, so a damaged or hostile file fails instead of reading
// out of bounds.
#include "platform/win/WinVersion.h"

#include <cstring>
#include <fstream>
#include <functional>

#include "platform/win/WinSystem.h"

namespace {

constexpr WORD kDosMagic = 0x5A4D;      // "MZ"
constexpr DWORD kPeMagic = 0x00004550;  // "PE\0\0"
constexpr WORD kOptionalMagic32 = 0x10B;
constexpr WORD kOptionalMagic64 = 0x20B;
constexpr DWORD kResourceDirectoryIndex = 2;
constexpr DWORD kRtVersion = 16;
constexpr DWORD kSubdirectoryBit = 0x80000000u;
// The PE format allows at most 96 sections; more means a damaged header.
constexpr DWORD kMaxSections = 96;
// A resource directory level never holds more entries than this in any real file; the limit
// bounds the walk through a damaged one.
constexpr DWORD kMaxDirectoryEntries = 4096;
// Version blocks are a few kilobytes; a larger one is refused rather than allocated.
constexpr DWORD kMaxVersionBlock = 1024 * 1024;
// VS_VERSIONINFO: wLength, wValueLength, wType, "VS_VERSION_INFO" with its terminator in
// UTF-16, padding to 32 bits, then the fixed part.
constexpr size_t kFixedInfoOffset = 40;
constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";

// Reads nSize bytes at nOffset; false when they are not all there.
using ReadAt = std::function<bool(uint64_t nOffset, void* pDst, size_t nSize)>;

struct Section {
  DWORD nVirtualAddress;
  DWORD nVirtualSize;
  DWORD nRawSize;
  DWORD nRawOffset;
};

WORD Word(const BYTE* p) {
  return static_cast<WORD>(p[0] | (p[1] << 8));
}
DWORD Dword(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
         (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

// File offset of nSize bytes at the relative virtual address; false when a section does not
// hold them all in its raw data.
bool RvaToOffset(const std::vector<Section>& sections, DWORD nRva, DWORD nSize,
                 uint64_t* pnOffset) {
  for (const Section& s : sections) {
    const uint64_t nSpan = s.nVirtualSize > s.nRawSize ? s.nVirtualSize : s.nRawSize;
    if (nRva < s.nVirtualAddress || nRva - s.nVirtualAddress >= nSpan) continue;
    const uint64_t nDelta = nRva - s.nVirtualAddress;
    if (nDelta + nSize > s.nRawSize) return false;
    *pnOffset = static_cast<uint64_t>(s.nRawOffset) + nDelta;
    return true;
  }
  return false;
}

// The offset field of the first entry of the directory at nDirOffset whose id is nId (any
// entry when nId is negative) and whose kind (subdirectory or data) is as asked.
bool FindEntry(const ReadAt& read, uint64_t nDirOffset, long nId, bool bSubdirectory,
               DWORD* pnTarget) {
  BYTE dir[16];
  if (!read(nDirOffset, dir, sizeof dir)) return false;
  DWORD nEntries = static_cast<DWORD>(Word(dir + 12)) + Word(dir + 14);
  if (nEntries > kMaxDirectoryEntries) nEntries = kMaxDirectoryEntries;
  for (DWORD i = 0; i < nEntries; ++i) {
    BYTE entry[8];
    if (!read(nDirOffset + 16 + 8ull * i, entry, sizeof entry)) return false;
    const DWORD nName = Dword(entry);
    const DWORD nTarget = Dword(entry + 4);
    if (nId >= 0 && ((nName & kSubdirectoryBit) || nName != static_cast<DWORD>(nId))) continue;
    if (((nTarget & kSubdirectoryBit) != 0) != bSubdirectory) continue;
    *pnTarget = nTarget & ~kSubdirectoryBit;
    return true;
  }
  return false;
}

// ERROR_BAD_FORMAT for a file that is no PE file, ERROR_RESOURCE_TYPE_NOT_FOUND for one
// without a readable version resource, ERROR_SUCCESS with the block otherwise.
DWORD ReadVersionBlock(const ReadAt& read, std::vector<BYTE>& block) {
  BYTE dos[64];
  if (!read(0, dos, sizeof dos) || Word(dos) != kDosMagic) return ERROR_BAD_FORMAT;
  const uint64_t nPe = Dword(dos + 0x3C);
  BYTE pe[24];
  if (!read(nPe, pe, sizeof pe) || Dword(pe) != kPeMagic) return ERROR_BAD_FORMAT;
  const DWORD nSections = Word(pe + 6);
  const DWORD nOptionalSize = Word(pe + 20);
  if (nSections > kMaxSections) return ERROR_BAD_FORMAT;

  const uint64_t nOptional = nPe + 24;
  BYTE magic[2];
  if (nOptionalSize < 2 || !read(nOptional, magic, sizeof magic)) return ERROR_BAD_FORMAT;
  DWORD nCountField = 0;
  DWORD nDirectories = 0;
  if (Word(magic) == kOptionalMagic32) {
    nCountField = 92, nDirectories = 96;
  } else if (Word(magic) == kOptionalMagic64) {
    nCountField = 108, nDirectories = 112;
  } else {
    return ERROR_BAD_FORMAT;
  }
  const DWORD nResourceField = nDirectories + 8 * kResourceDirectoryIndex;
  BYTE count[4];
  BYTE resource[8];
  if (nOptionalSize < nResourceField + 8 || !read(nOptional + nCountField, count, 4) ||
      Dword(count) <= kResourceDirectoryIndex ||
      !read(nOptional + nResourceField, resource, sizeof resource)) {
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  }
  const DWORD nResourceRva = Dword(resource);
  if (nResourceRva == 0) return ERROR_RESOURCE_TYPE_NOT_FOUND;

  std::vector<Section> sections;
  const uint64_t nTable = nOptional + nOptionalSize;
  for (DWORD i = 0; i < nSections; ++i) {
    BYTE header[40];
    if (!read(nTable + 40ull * i, header, sizeof header)) return ERROR_BAD_FORMAT;
    sections.push_back(
        {Dword(header + 12), Dword(header + 8), Dword(header + 16), Dword(header + 20)});
  }

  uint64_t nBase = 0;
  if (!RvaToOffset(sections, nResourceRva, 16, &nBase)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  DWORD nNames = 0;
  DWORD nLanguages = 0;
  DWORD nDataEntry = 0;
  if (!FindEntry(read, nBase, kRtVersion, true, &nNames) ||
      !FindEntry(read, nBase + nNames, -1, true, &nLanguages) ||
      !FindEntry(read, nBase + nLanguages, -1, false, &nDataEntry)) {
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  }
  BYTE data[16];
  if (!read(nBase + nDataEntry, data, sizeof data)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  const DWORD nDataRva = Dword(data);
  const DWORD nDataSize = Dword(data + 4);
  uint64_t nDataOffset = 0;
  if (nDataSize < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO) || nDataSize > kMaxVersionBlock ||
      !RvaToOffset(sections, nDataRva, nDataSize, &nDataOffset)) {
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  }
  block.assign(nDataSize, 0);
  if (!read(nDataOffset, block.data(), nDataSize)) {
    block.clear();
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  }
  // The block's own length is what VerQueryValue trusts; it must not claim more than is here.
  if (Word(block.data()) > nDataSize) {
    block[0] = static_cast<BYTE>(nDataSize & 0xFF);
    block[1] = static_cast<BYTE>(nDataSize >> 8);
  }
  return ERROR_SUCCESS;
}

DWORD ReadFileVersionBlock(LPCSTR szPath, std::vector<BYTE>& block) {
  if (!szPath || !*szPath) return ERROR_FILE_NOT_FOUND;
  std::ifstream in(szPath, std::ios::binary);
  if (!in) return ERROR_FILE_NOT_FOUND;
  in.seekg(0, std::ios::end);
  const std::streamoff nFileSize = in.tellg();
  if (nFileSize < 0) return ERROR_FILE_NOT_FOUND;
  ReadAt read = [&in, nFileSize](uint64_t nOffset, void* pDst, size_t nSize) {
    if (nOffset > static_cast<uint64_t>(nFileSize) ||
        nSize > static_cast<uint64_t>(nFileSize) - nOffset) {
      return false;
    }
    in.clear();
    in.seekg(static_cast<std::streamoff>(nOffset));
    in.read(static_cast<char*>(pDst), static_cast<std::streamsize>(nSize));
    return in.gcount() == static_cast<std::streamsize>(nSize);
  };
  return ReadVersionBlock(read, block);
}

}  // namespace

bool CxFindVersionBlock(const BYTE* pImage, size_t nImageSize, std::vector<BYTE>& block) {
  block.clear();
  if (!pImage) return false;
  ReadAt read = [pImage, nImageSize](uint64_t nOffset, void* pDst, size_t nSize) {
    if (nOffset > nImageSize || nSize > nImageSize - nOffset) return false;
    std::memcpy(pDst, pImage + nOffset, nSize);
    return true;
  };
  return ReadVersionBlock(read, block) == ERROR_SUCCESS;
}

DWORD GetFileVersionInfoSize(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
  if (lpdwHandle) *lpdwHandle = 0;
  std::vector<BYTE> block;
  const DWORD nError = ReadFileVersionBlock(lptstrFilename, block);
  if (nError != ERROR_SUCCESS) {
    SetLastError(nError);
    return 0;
  }
  return static_cast<DWORD>(block.size());
}

BOOL GetFileVersionInfo(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData) {
  if (!lpData || dwLen == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<BYTE> block;
  const DWORD nError = ReadFileVersionBlock(lptstrFilename, block);
  if (nError != ERROR_SUCCESS) {
    SetLastError(nError);
    return FALSE;
  }
  const DWORD nCopy = dwLen < block.size() ? dwLen : static_cast<DWORD>(block.size());
  std::memcpy(lpData, block.data(), nCopy);
  // A cut copy says so in its own length, so VerQueryValue never reads past what was copied.
  if (nCopy >= 2 && nCopy < Word(block.data())) {
    BYTE* pOut = static_cast<BYTE*>(lpData);
    pOut[0] = static_cast<BYTE>(nCopy & 0xFF);
    pOut[1] = static_cast<BYTE>(nCopy >> 8);
  }
  return TRUE;
}

BOOL VerQueryValue(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
  if (!pBlock || !lpSubBlock || !lplpBuffer || !puLen) return FALSE;
  if (std::strcmp(lpSubBlock, "\\") != 0) return FALSE;
  const BYTE* p = static_cast<const BYTE*>(pBlock);
  const WORD nLength = Word(p);
  const WORD nValueLength = Word(p + 2);
  if (nLength < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO) ||
      nValueLength < sizeof(VS_FIXEDFILEINFO)) {
    return FALSE;
  }
  for (size_t i = 0; i < sizeof kVersionKey / sizeof kVersionKey[0]; ++i) {
    if (Word(p + 6 + 2 * i) != kVersionKey[i]) return FALSE;
  }
  if (Dword(p + kFixedInfoOffset) != VS_FFI_SIGNATURE) return FALSE;
  *lplpBuffer = const_cast<BYTE*>(p + kFixedInfoOffset);
  *puLen = sizeof(VS_FIXEDFILEINFO);
  return TRUE;
}
