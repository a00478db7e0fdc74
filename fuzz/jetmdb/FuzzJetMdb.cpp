// Feeds arbitrary bytes as a real Jet database file to the ADO stand-in, which copies its
// tables through mdbtools into SQLite, and reads every row of every table it copied as the
// Palm store reads rows. The input is written after the Jet header's magic text, so every
// input goes the Jet way rather than being opened as a SQLite file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/datebook414/FuzzSupport.h"
#include "platform/automation/OleAuto.h"
#include "platform/jet/JetAdo.h"
#include "platform/win/WinText.h"

namespace {

// Jet 4's file header starts so; the version byte that follows the magic text comes from
// the input.
constexpr char kJetHead[] = "\x00\x01\x00\x00Standard Jet DB\x00";
constexpr size_t kJetHeadSize = sizeof(kJetHead) - 1;
// Enough rows per table to reach every code path; more only repeat them.
constexpr int kMaxRows = 256;

int ReadTable(TADOConnection& connection, const std::string& strTable) {
  TADOQuery query(&connection);
  query.AddSql(("SELECT * FROM [" + strTable + "]").c_str());
  if (FAILED(query.Open())) return 0;
  int nRows = 0;
  for (; !query.Eof() && nRows < kMaxRows; ++nRows) {
    for (int i = 0; i < query.GetFieldCount(); ++i) {
      VARIANT value;
      VariantInit(&value);
      query.GetFieldValue(i, &value);
      VariantClear(&value);
    }
    if (FAILED(query.Next())) break;
  }
  return nRows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  std::vector<uint8_t> file(kJetHead, kJetHead + kJetHeadSize);
  if (nSize > 0) file.insert(file.end(), pData, pData + nSize);
  const std::string path = dbfuzz::WriteInput("fuzz.mdb", file.data(), file.size());
  TADOConnection connection;
  connection.SetConnectionString(
      ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + path + "\"").c_str());
  if (FAILED(connection.Open())) {
    dbfuzz::ReportRefused();
    return 0;
  }
  if (!connection.IsReadOnly()) std::abort();
  // The copy's own catalog names the tables mdbtools gave.
  std::vector<std::string> tables;
  {
    TADOQuery catalog(&connection);
    catalog.AddSql("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    if (FAILED(catalog.Open())) std::abort();
    for (; !catalog.Eof(); catalog.Next()) {
      VARIANT name;
      VariantInit(&name);
      if (SUCCEEDED(catalog.GetFieldValue(0, &name)) && name.vt == VT_BSTR) {
        tables.push_back(CxUtf16ToAnsi(name.bstrVal));
      }
      VariantClear(&name);
    }
  }
  std::string strSeen = dbfuzz::Format("%zu tables", tables.size());
  for (const std::string& strTable : tables) {
    strSeen += dbfuzz::Format("; %s %d rows", dbfuzz::Printable(strTable).c_str(),
                              ReadTable(connection, strTable));
  }
  dbfuzz::ReportAccepted(strSeen);
  return 0;
}
