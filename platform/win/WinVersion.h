// File version resources, read from the Windows executable (PE, 32- or 64-bit) itself: the
// version resource's block as Windows hands it to GetFileVersionInfo, and its root block "\"
// (VS_FIXEDFILEINFO) through VerQueryValue. Other sub-blocks are not offered.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/win/WinTypes.h"

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u

typedef struct tagVS_FIXEDFILEINFO {
  DWORD dwSignature;  // VS_FFI_SIGNATURE
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;  // major << 16 | minor
  DWORD dwFileVersionLS;  // build << 16 | revision
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

// Size of the file's version block, 0 when the file is not a PE file or has no version
// resource (the last error says which: ERROR_FILE_NOT_FOUND, ERROR_BAD_FORMAT,
// ERROR_RESOURCE_TYPE_NOT_FOUND). *lpdwHandle, when given, is set to 0.
DWORD GetFileVersionInfoSize(LPCSTR lptstrFilename, LPDWORD lpdwHandle);

// Copies the version block (at most dwLen bytes) into lpData. FALSE as above, or for a
// missing buffer.
BOOL GetFileVersionInfo(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);

// For lpSubBlock "\": points *lplpBuffer at the block's VS_FIXEDFILEINFO and sets *puLen to
// its size. FALSE when the block is not a version block, its fixed part is cut short or its
// signature is wrong, and for every other sub-block.
BOOL VerQueryValue(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);

#ifndef ERROR_BAD_FORMAT
#define ERROR_BAD_FORMAT 11L
#endif

// The version block of a PE image held in memory (what GetFileVersionInfo reads from a
// file); false when there is none. Tests and the fuzz target use it.
bool CxFindVersionBlock(const BYTE* pImage, size_t nImageSize, std::vector<BYTE>& block);
