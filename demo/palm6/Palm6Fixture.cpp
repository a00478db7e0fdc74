// The fixture talks to SQLite directly and binds every value, so a test's data never
// depends on the quoting code it is there to check. Texts are bound as the UTF-8 they must
// already be: Palm Desktop's database holds Unicode, never ANSI bytes.
#include "demo/palm6/Palm6Fixture.h"

#include <sqlite3.h>

#include <cstdio>

namespace palm6 {

namespace {

const char* const kSchema =
    "CREATE TABLE Main ("
    "[Record ID] INTEGER, [Status] INTEGER, [Placement] INTEGER, [Private] BIT, "
    "[Category] VARCHAR(255), [Note] LONGTEXT, [Start Time] VARCHAR(255), "
    "[End Time] VARCHAR(255), [Untimed] BIT, [Time Zone] VARCHAR(255), "
    "[Location] VARCHAR(255), [Summary] VARCHAR(255), [Alarm] BIT, [Alarm Advance] INTEGER, "
    "[Alarm Unit] INTEGER, [Repeated Event] VARCHAR(255), [Blob] LONGBINARY);"
    "CREATE TABLE Category ([ID] INTEGER, [Name] VARCHAR(255), [Status] INTEGER, "
    "[Color] INTEGER);"
    "CREATE TABLE Information ([Name] VARCHAR(255), [Note] LONGTEXT);";

// True when the bytes are well-formed UTF-8 (shortest forms, no surrogates, at most
// U+10FFFF).
bool IsUtf8(const std::string& str) {
  const auto* p = reinterpret_cast<const unsigned char*>(str.data());
  const size_t n = str.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    size_t nTrail = 0;
    unsigned char cLow = 0x80;
    unsigned char cHigh = 0xBF;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      nTrail = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      nTrail = 2;
      cLow = c == 0xE0 ? 0xA0 : 0x80;
      cHigh = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
      nTrail = 3;
      cLow = c == 0xF0 ? 0x90 : 0x80;
      cHigh = c == 0xF4 ? 0x8F : 0xBF;
    } else {
      return false;
    }
    if (n - i <= nTrail || p[i + 1] < cLow || p[i + 1] > cHigh) return false;
    for (size_t k = 2; k <= nTrail; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
    }
    i += nTrail + 1;
  }
  return true;
}

class Statement {
 public:
  Statement(sqlite3* pDb, const char* szSql) {
    if (pDb != nullptr) sqlite3_prepare_v2(pDb, szSql, -1, &m_pStmt, nullptr);
  }
  ~Statement() { sqlite3_finalize(m_pStmt); }
  sqlite3_stmt* get() const { return m_pStmt; }
  // A text that is not UTF-8 makes the row fail rather than plant bytes Palm Desktop never
  // writes.
  void Text(int n, const std::string& str) {
    if (!IsUtf8(str)) m_bBadText = true;
    sqlite3_bind_text(m_pStmt, n, str.c_str(), static_cast<int>(str.size()), SQLITE_TRANSIENT);
  }
  void Int(int n, long nValue) { sqlite3_bind_int64(m_pStmt, n, nValue); }
  bool Run() { return m_pStmt != nullptr && !m_bBadText && sqlite3_step(m_pStmt) == SQLITE_DONE; }

 private:
  sqlite3_stmt* m_pStmt = nullptr;
  bool m_bBadText = false;
};

}  // namespace

Palm6Fixture::Palm6Fixture(const std::string& strPath) : m_strPath(strPath) {
  std::remove(strPath.c_str());
  if (sqlite3_open_v2(strPath.c_str(), &m_pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK ||
      sqlite3_exec(m_pDb, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close(m_pDb);
    m_pDb = nullptr;
  }
}

Palm6Fixture::~Palm6Fixture() {
  sqlite3_close(m_pDb);
}

bool Palm6Fixture::AddMain(const MainRow& row) {
  Statement stmt(m_pDb,
                 "INSERT INTO Main VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)");
  stmt.Int(1, row.nRecordId);
  stmt.Int(2, row.nStatus);
  stmt.Int(3, row.nPlacement);
  stmt.Int(4, row.bPrivate ? 1 : 0);
  stmt.Text(5, row.strCategory);
  stmt.Text(6, row.strNote);
  stmt.Text(7, row.strStartTime);
  stmt.Text(8, row.strEndTime);
  stmt.Int(9, row.bUntimed ? 1 : 0);
  stmt.Text(10, row.strTimeZone);
  stmt.Text(11, row.strLocation);
  stmt.Text(12, row.strSummary);
  stmt.Int(13, row.bAlarm ? 1 : 0);
  stmt.Int(14, row.nAlarmAdvance);
  stmt.Int(15, row.nAlarmUnit);
  stmt.Text(16, row.strRepeatedEvent);
  return stmt.Run();
}

bool Palm6Fixture::AddCategory(long nId, const std::string& strName, long nStatus, long nColor) {
  Statement stmt(m_pDb, "INSERT INTO Category VALUES (?, ?, ?, ?)");
  stmt.Int(1, nId);
  stmt.Text(2, strName);
  stmt.Int(3, nStatus);
  stmt.Int(4, nColor);
  return stmt.Run();
}

bool Palm6Fixture::AddInfo(const std::string& strName, const std::string& strNote) {
  Statement stmt(m_pDb, "INSERT INTO Information VALUES (?, ?)");
  stmt.Text(1, strName);
  stmt.Text(2, strNote);
  return stmt.Run();
}

bool Palm6Fixture::Exec(const std::string& strSql) {
  return m_pDb != nullptr &&
         sqlite3_exec(m_pDb, strSql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::vector<std::vector<std::string>> Palm6Fixture::Query(const std::string& strSql) {
  std::vector<std::vector<std::string>> rows;
  Statement stmt(m_pDb, strSql.c_str());
  if (stmt.get() == nullptr) return rows;
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) {
      const auto* szText = sqlite3_column_text(stmt.get(), i);
      row.push_back(szText != nullptr ? reinterpret_cast<const char*>(szText) : "<null>");
    }
    rows.push_back(row);
  }
  return rows;
}

long Palm6Fixture::Count(const std::string& strTable) {
  const auto rows = Query("SELECT count(*) FROM " + strTable);
  return rows.empty() ? -1 : std::stol(rows[0][0]);
}

bool WriteJunkFile(const std::string& strPath) {
  FILE* pFile = std::fopen(strPath.c_str(), "wb");
  if (pFile == nullptr) return false;
  const char szJunk[] = "This is not a database, only some text bytes for the failure paths.";
  const bool bOk = std::fwrite(szJunk, 1, sizeof(szJunk), pFile) == sizeof(szJunk);
  return std::fclose(pFile) == 0 && bOk;
}

}  // namespace palm6
