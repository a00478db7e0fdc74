// A stand-in DateBook.mdb of Palm Desktop 6.x, made as a SQLite file with the three tables
// the calendar reads and the column types Palm Desktop gives them: "Main" (the sixteen
// appointment columns and "Blob"), "Category" and "Information". Times and the category are
// texts holding decimal numbers, flags are Yes/No columns. Texts are UTF-8, as Palm Desktop
// holds its text as Unicode: every text given here must already be UTF-8 (a row with ANSI
// bytes is refused), and Query gives the stored UTF-8 back. For tests and the demo; the
// program itself never writes through this.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace palm6 {

// One appointment as the table "Main" holds it.
struct MainRow {
  long nRecordId = 0;
  long nStatus = 0;
  long nPlacement = 0;
  bool bPrivate = false;
  std::string strCategory = "0";
  std::string strNote;
  std::string strStartTime;
  std::string strEndTime;
  bool bUntimed = false;
  std::string strTimeZone;
  std::string strLocation;
  std::string strSummary;
  bool bAlarm = false;
  long nAlarmAdvance = 0;
  long nAlarmUnit = 0;
  std::string strRepeatedEvent;
};

class Palm6Fixture {
 public:
  // Creates (replacing) the database file with the three empty tables.
  explicit Palm6Fixture(const std::string& strPath);
  ~Palm6Fixture();
  Palm6Fixture(const Palm6Fixture&) = delete;
  Palm6Fixture& operator=(const Palm6Fixture&) = delete;

  bool IsOpen() const { return m_pDb != nullptr; }
  const std::string& Path() const { return m_strPath; }

  bool AddMain(const MainRow& row);
  bool AddCategory(long nId, const std::string& strName, long nStatus = 1, long nColor = 0);
  bool AddInfo(const std::string& strName, const std::string& strNote);
  // Runs any statement (for setting up odd rows).
  bool Exec(const std::string& strSql);

  // The rows of a query, every value as text ("<null>" for NULL).
  std::vector<std::vector<std::string>> Query(const std::string& strSql);
  long Count(const std::string& strTable);

 private:
  std::string m_strPath;
  sqlite3* m_pDb = nullptr;
};

// Writes a file that is neither SQLite nor Jet (for the failure paths).
bool WriteJunkFile(const std::string& strPath);

}  // namespace palm6
