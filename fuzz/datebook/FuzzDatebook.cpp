// Fuzzes the earlier datebook loader. A file that loads must save, and what it saves must
// load again and save to the very same bytes.
#include <cstdint>
#include <cstdlib>

#include "common/palm/PalmDate.h"
#include "fuzz/datebook414/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string path = dbfuzz::WriteInput("datebook.dat", pData, nSize);
  PmDateUtil db(path.c_str());
  if (!db.IsLoaded()) {
    dbfuzz::ReportRefused(dbfuzz::FailureKind(db.GetLastFailure()));
    return 0;
  }
  if (!db.Save()) std::abort();
  const std::vector<uint8_t> first = dbfuzz::ReadBack(path);
  PmDateUtil again(path.c_str());
  if (!again.IsLoaded() || again.GetDataMgr()->GetCount() != db.GetDataMgr()->GetCount()) {
    std::abort();
  }
  if (!again.Save() || dbfuzz::ReadBack(path) != first) std::abort();
  dbfuzz::ReportAccepted(dbfuzz::Format("%d records", again.GetDataMgr()->GetCount()));
  return 0;
}
