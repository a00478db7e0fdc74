// Feeds arbitrary bytes to the PE version reader as an executable image, and every block it
// finds to VerQueryValue.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win/WinVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  std::vector<BYTE> block;
  if (!CxFindVersionBlock(pData, nSize, block)) return 0;
  // The block is exactly as large as the reader says, so a read past its own length shows.
  void* pInfo = nullptr;
  UINT nLen = 0;
  if (VerQueryValue(block.data(), "\\", &pInfo, &nLen)) {
    volatile DWORD nMs = static_cast<VS_FIXEDFILEINFO*>(pInfo)->dwFileVersionMS;
    (void)nMs;
  }
  return 0;
}
