// Fuzzes the reading of a Palm Desktop 6.x database's rows: the SQLite engine lets any column
// hold any type, so a damaged or foreign database can give a number where a text belongs, a
// text that is not UTF-8, a blob or nothing. The input is text, one row a line:
//   C<tab>id<tab>name<tab>status<tab>color      a row of "Category"
//   X<tab>Main (or Category, Information)        that table is dropped
//   anything else                                a row of "Main", its columns tab-separated
// and each value is "i:<integer>", "r:<real>", "b:<bytes>" (a blob), "n:" (NULL) or else a
// text of its bytes. The database is loaded as DayBridge loads it; every record it gives
// must hold terminated texts.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/palm/PalmDateEx2.h"
#include "demo/palm6/Palm6Fixture.h"
#include "fuzz/datebook414/FuzzSupport.h"

namespace {

// Enough rows and columns to reach every code path; more only repeat them.
constexpr size_t kMaxRows = 64;
constexpr size_t kMaxColumns = 20;
// The outcome describes this many records.
constexpr int kMaxRecordsShown = 3;

std::string Hex(const std::string& strBytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string strHex;
  for (unsigned char c : strBytes) {
    strHex += kDigits[c >> 4];
    strHex += kDigits[c & 15];
  }
  return strHex;
}

// The value as a SQL literal that keeps its type and bytes whatever they are.
std::string Literal(const std::string& strValue) {
  const std::string strTag = strValue.substr(0, 2);
  const std::string strRest = strValue.size() > 2 ? strValue.substr(2) : "";
  if (strTag == "i:") return std::to_string(std::strtoll(strRest.c_str(), nullptr, 10));
  if (strTag == "r:") {
    // SQL has no literal for NaN, and an infinity is written as a number too large.
    const double dValue = std::strtod(strRest.c_str(), nullptr);
    if (std::isnan(dValue)) return "NULL";
    if (std::isinf(dValue)) return dValue > 0 ? "9e999" : "-9e999";
    return dbfuzz::Format("%.17g", dValue);
  }
  if (strTag == "b:") return "X'" + Hex(strRest) + "'";
  if (strTag == "n:") return "NULL";
  return "CAST(X'" + Hex(strValue) + "' AS TEXT)";
}

std::vector<std::string> Split(const std::string& strLine, char cSeparator) {
  std::vector<std::string> parts;
  size_t nStart = 0;
  while (true) {
    const size_t nEnd = strLine.find(cSeparator, nStart);
    parts.push_back(strLine.substr(nStart, nEnd - nStart));
    if (nEnd == std::string::npos) return parts;
    nStart = nEnd + 1;
  }
}

std::string Insert(const char* szTable, const std::vector<std::string>& values, size_t nFirst,
                   size_t nColumns) {
  std::string strSql = std::string("INSERT INTO ") + szTable + " VALUES (";
  for (size_t i = 0; i < nColumns; ++i) {
    const size_t nValue = nFirst + i;
    strSql += (i ? ", " : "") + (nValue < values.size() ? Literal(values[nValue]) : "NULL");
  }
  return strSql + ")";
}

template <size_t N>
void CheckTerminated(const char (&szText)[N]) {
  if (std::memchr(szText, '\0', N) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string path = dbfuzz::Folder() + "/DateBook.mdb";
  {
    palm6::Palm6Fixture database(path);
    if (!database.IsOpen()) std::abort();
    const std::string strInput(reinterpret_cast<const char*>(pData), nSize);
    std::vector<std::string> lines = Split(strInput, '\n');
    if (lines.size() > kMaxRows) lines.resize(kMaxRows);
    for (const std::string& strLine : lines) {
      if (strLine.empty()) continue;
      std::vector<std::string> values = Split(strLine, '\t');
      if (values.size() > kMaxColumns) values.resize(kMaxColumns);
      // A row the engine refuses (a value too large for it) is simply not there.
      if (values[0] == "X" && values.size() > 1) {
        for (const char* szTable : {"Main", "Category", "Information"}) {
          if (values[1] == szTable) database.Exec(std::string("DROP TABLE ") + szTable);
        }
      } else if (values[0] == "C") {
        database.Exec(Insert("Category", values, 1, 4));
      } else {
        database.Exec(Insert("Main", values, 0, 17));
      }
    }
  }
  PmDateEx2Util db(path.c_str());
  if (!db.IsLoaded()) {
    dbfuzz::ReportRefused(dbfuzz::FailureKind(db.GetLastFailure()));
    return 0;
  }
  PmDateEx2DataMgr* pRecords = db.GetRecords();
  std::string strSeen = dbfuzz::Format("%d records", pRecords->GetCount());
  for (int i = 0; i < pRecords->GetCount(); ++i) {
    const PmDateEx2Record* pRecord = pRecords->GetAt(i);
    CheckTerminated(pRecord->szCategoryName);
    CheckTerminated(pRecord->szNote);
    CheckTerminated(pRecord->szStartTime);
    CheckTerminated(pRecord->szEndTime);
    CheckTerminated(pRecord->szTimeZone);
    CheckTerminated(pRecord->szLocation);
    CheckTerminated(pRecord->szSummary);
    CheckTerminated(pRecord->szRepeatedEvent);
    if (i < kMaxRecordsShown) {
      strSeen += dbfuzz::Format(
          "%s id %ld, %u-%u, repeat %ld, \"%s\" in \"%s\"", i == 0 ? ":" : ";",
          static_cast<long>(pRecord->nRecordId), static_cast<unsigned>(pRecord->nStartTime),
          static_cast<unsigned>(pRecord->nEndTime), static_cast<long>(pRecord->nRepeatType),
          dbfuzz::Printable(pRecord->szSummary).c_str(),
          dbfuzz::Printable(pRecord->szCategoryName).c_str());
    }
  }
  dbfuzz::ReportAccepted(strSeen);
  return 0;
}
