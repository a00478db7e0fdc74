// Fuzzes the category block of the datebook files. A block that reads must write back, and
// the written block must read to the same categories.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/palm/PalmComm.h"
#include "fuzz/datebook414/FuzzSupport.h"

namespace {

class CategoryCodec : public PmDBUtil {
 public:
  bool Read(const std::string& path) {
    if (!Open(path.c_str(), PM_OPEN_READ)) return false;
    const bool bOk = ReadCategoryBlock("PalmDateEx");
    Close();
    return bOk;
  }
  bool Write(const std::string& path) {
    if (!Open(path.c_str(), PM_OPEN_CREATE)) return false;
    const bool bOk = WriteCategoryBlock("PalmDateEx");
    Close();
    return bOk;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string path = dbfuzz::WriteInput("categories.bin", pData, nSize);
  CategoryCodec codec;
  if (!codec.Read(path)) {
    dbfuzz::ReportRefused();
    return 0;
  }
  const std::string copy = path + ".out";
  if (!codec.Write(copy)) std::abort();
  CategoryCodec again;
  if (!again.Read(copy)) std::abort();
  PmCategoryMgr* pFirst = codec.GetCategoryMgr();
  PmCategoryMgr* pSecond = again.GetCategoryMgr();
  if (pFirst->GetCount() != pSecond->GetCount()) std::abort();
  for (WORD nSlot = 0; nSlot < PM_CATEGORY_SLOTS; ++nSlot) {
    const PmCategory* pA = pFirst->GetAt(nSlot);
    const PmCategory* pB = pSecond->GetAt(nSlot);
    if ((pA == nullptr) != (pB == nullptr)) std::abort();
    if (pA != nullptr && !pA->Equals(pB)) std::abort();
  }
  dbfuzz::ReportAccepted(dbfuzz::Format("%d categories", pFirst->GetCount()));
  return 0;
}
