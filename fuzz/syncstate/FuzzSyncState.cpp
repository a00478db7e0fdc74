// Feeds arbitrary bytes as the remembered-pairs file. Whatever it holds, a read either refuses
// it with no rows or gives rows within their limits, and rows that were read are written back
// and read again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/datebook414/FuzzSupport.h"
#include "platform/jet/StateDb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string path = dbfuzz::WriteInput("state.db", pData, nSize);
  std::vector<StateDbRow> vRows;
  if (!StateDbRead(path.c_str(), vRows)) {
    if (!vRows.empty()) std::abort();
    dbfuzz::ReportRefused();
    return 0;
  }
  for (const StateDbRow& row : vRows) {
    for (const std::string* pText :
         {&row.strPalmKey, &row.strOutlookKey, &row.strPalmPrint, &row.strOutlookPrint}) {
      if (pText->size() > STATEDB_MAX_TEXT) std::abort();
    }
  }
  const std::string copy = dbfuzz::WriteInput("state-copy.db", nullptr, 0);
  std::vector<StateDbRow> vAgain;
  if (!StateDbWrite(copy.c_str(), vRows) || !StateDbRead(copy.c_str(), vAgain) ||
      vAgain.size() != vRows.size()) {
    std::abort();
  }
  for (size_t i = 0; i < vRows.size(); ++i) {
    if (vAgain[i].strPalmKey != vRows[i].strPalmKey ||
        vAgain[i].strOutlookKey != vRows[i].strOutlookKey ||
        vAgain[i].strPalmPrint != vRows[i].strPalmPrint ||
        vAgain[i].strOutlookPrint != vRows[i].strOutlookPrint) {
      std::abort();
    }
  }
  dbfuzz::ReportAccepted(std::to_string(vRows.size()) + " rows");
  return 0;
}
