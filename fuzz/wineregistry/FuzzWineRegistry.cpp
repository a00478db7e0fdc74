// Feeds arbitrary bytes to the Wine registry reader as the text of a prefix's system.reg or
// user.reg, keeping every key, and checks what a caller builds on: key paths hold no empty
// component, texts end with their terminator, dwords are four bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/win/WinWine.h"

namespace {

void Check(bool bHolds) {
  if (!bHolds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(pData), nSize));
  CxWineKeys keys;
  std::string strReason;
  if (!CxWineReadRegistry(
          in, [](const std::string&) { return true; }, keys, strReason)) {
    Check(keys.keys.empty() && !strReason.empty());
    dbfuzz::ReportRefused(strReason);
    return 0;
  }
  size_t nValues = 0;
  std::string strTexts;
  for (const auto& [strPath, values] : keys.keys) {
    Check(!strPath.empty() && strPath.front() != '\\' && strPath.back() != '\\' &&
          strPath.find("\\\\") == std::string::npos);
    for (const auto& [strName, value] : values) {
      ++nValues;
      if (value.nType == 1 || value.nType == 2 || value.nType == 7) {
        Check(!value.data.empty() && value.data.back() == 0);
        if (value.nType == 1) {
          strTexts += " " + (strName.empty() ? std::string("@") : strName) + "=" +
                      dbfuzz::Printable(reinterpret_cast<const char*>(value.data.data()),
                                        value.data.size() - 1);
        }
      }
      if (value.nType == 4) Check(value.data.size() == 4);
    }
  }
  // The texts of plain string values show that escapes were read; kept short.
  if (strTexts.size() > 120) strTexts.resize(120);
  dbfuzz::ReportAccepted(dbfuzz::Format("%zu keys, %zu values, %zu skipped;", keys.keys.size(),
                                        nValues, keys.nSkipped) +
                         strTexts);
  return 0;
}
