// Feeds arbitrary bytes to the Wine registry reader as the text of a prefix's system.reg or
// user.reg, keeping every key, and checks what a caller builds on: key paths hold no empty
// component, values of the text kinds end with their terminator.
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
      const std::string strShown = " " + (strName.empty() ? std::string("@") : strName) + "=";
      if (value.nType == 1 || value.nType == 2 || value.nType == 7) {
        Check(!value.data.empty() && value.data.back() == 0);
        if (value.nType == 1) {
          strTexts += strShown + dbfuzz::Printable(reinterpret_cast<const char*>(value.data.data()),
                                                   value.data.size() - 1);
        }
      } else {
        strTexts +=
            strShown + dbfuzz::Format("type %u, %zu bytes", static_cast<unsigned>(value.nType),
                                      value.data.size());
      }
    }
  }
  // The plain texts show that escapes were read, the other kinds their sizes; kept short.
  if (strTexts.size() > 120) strTexts.resize(120);
  dbfuzz::ReportAccepted(dbfuzz::Format("%zu keys, %zu values, %zu skipped;", keys.keys.size(),
                                        nValues, keys.nSkipped) +
                         strTexts);
  return 0;
}
