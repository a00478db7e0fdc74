// The cache of a calendar server's items, from bytes of any origin: a cache that reads must
// write back to the very same bytes, so nothing in it is misread.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/outlook/CalDavStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string strText(reinterpret_cast<const char*>(pData), nSize);
  OlCalDavCache cache;
  if (!OlParseCalDavCache(strText, &cache)) {
    if (!cache.items.empty() || !cache.strAddress.empty()) std::abort();  // nothing half-read
    dbfuzz::ReportRefused();
    return 0;
  }
  if (OlComposeCalDavCache(cache) != strText) std::abort();
  dbfuzz::ReportAccepted(std::to_string(cache.items.size()) + " items" +
                         (cache.strSyncToken.empty() ? "" : ", token"));
  return 0;
}
