// A calendar server's multistatus answer, from bytes of any origin: read, and what was kept
// checked against the limits every part must keep.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/outlook/CalDavXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string strBody(reinterpret_cast<const char*>(pData), nSize);
  OlDavMultiStatus answer;
  std::string strWhy;
  if (!OlParseMultiStatus(strBody, &answer, &strWhy)) {
    if (strWhy.empty()) std::abort();  // a refusal always says why
    dbfuzz::ReportRefused(strWhy);
    return 0;
  }
  size_t nData = 0;
  for (const OlDavResponse& response : answer.responses) {
    if (response.strHref.size() > OL_DAV_MAX_HREF || response.strEtag.size() > OL_DAV_MAX_ETAG ||
        response.nStatus < 0 || response.nStatus > 999) {
      std::abort();
    }
    if (response.bHasCalendarData) ++nData;
  }
  if (answer.strSyncToken.size() > OL_DAV_MAX_TOKEN) std::abort();
  dbfuzz::ReportAccepted(std::to_string(answer.responses.size()) + " responses, " +
                         std::to_string(nData) + " with data" +
                         (answer.strSyncToken.empty() ? "" : ", token"));
  return 0;
}
