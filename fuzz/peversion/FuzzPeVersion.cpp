// Feeds arbitrary bytes to the PE version reader as an executable image, and every block it
// finds to VerQueryValue.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzOutcome.h"
#include "platform/win/WinVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  std::vector<BYTE> block;
  if (!CxFindVersionBlock(pData, nSize, block)) {
    dbfuzz::ReportRefused();
    return 0;
  }
  // The block is exactly as large as the reader says, so a read past its own length shows.
  void* pInfo = nullptr;
  UINT nLen = 0;
  if (!VerQueryValue(block.data(), "\\", &pInfo, &nLen)) {
    dbfuzz::ReportRefused("no fixed file information");
    return 0;
  }
  const auto* pFixed = static_cast<const VS_FIXEDFILEINFO*>(pInfo);
  dbfuzz::ReportAccepted(dbfuzz::Format("%u.%u.%u.%u",
                                        static_cast<unsigned>(pFixed->dwFileVersionMS >> 16),
                                        static_cast<unsigned>(pFixed->dwFileVersionMS & 0xFFFF),
                                        static_cast<unsigned>(pFixed->dwFileVersionLS >> 16),
                                        static_cast<unsigned>(pFixed->dwFileVersionLS & 0xFFFF)));
  return 0;
}
