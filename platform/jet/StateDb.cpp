// The state file is one table, "pairs", of four blob columns, and a user_version of 1 that
// marks the layout; any other layout reads as empty and is replaced by the next write.
#include "platform/jet/StateDb.h"

#include <sqlite3.h>

#include <memory>

namespace {

constexpr int kLayoutVersion = 1;

struct DbCloser {
  void operator()(sqlite3* pDb) const { sqlite3_close_v2(pDb); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* pStmt) const { sqlite3_finalize(pStmt); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

void SetWhy(std::string* pWhy, const char* szWhat, sqlite3* pDb) {
  if (pWhy == nullptr) return;
  *pWhy = szWhat;
  if (pDb != nullptr) {
    *pWhy += ": ";
    *pWhy += sqlite3_errmsg(pDb);
  }
}

DbHandle OpenDb(const char* szPath, bool bWrite) {
  sqlite3* pRaw = nullptr;
  const int nFlags = bWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
  const int nRc = sqlite3_open_v2(szPath, &pRaw, nFlags, nullptr);
  DbHandle pDb(pRaw);
  if (nRc != SQLITE_OK) return nullptr;
  // Another run holding the file briefly is waited for, not reported.
  sqlite3_busy_timeout(pDb.get(), 2000);
  return pDb;
}

bool Exec(sqlite3* pDb, const char* szSql) {
  return sqlite3_exec(pDb, szSql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int LayoutVersion(sqlite3* pDb) {
  sqlite3_stmt* pRaw = nullptr;
  if (sqlite3_prepare_v2(pDb, "PRAGMA user_version", -1, &pRaw, nullptr) != SQLITE_OK) return -1;
  StmtHandle pStmt(pRaw);
  if (sqlite3_step(pStmt.get()) != SQLITE_ROW) return -1;
  return sqlite3_column_int(pStmt.get(), 0);
}

// A column as text, refused when it is longer than any row of ours.
bool ReadColumn(sqlite3_stmt* pStmt, int nColumn, std::string& strOut) {
  const int nBytes = sqlite3_column_bytes(pStmt, nColumn);
  if (nBytes < 0 || static_cast<size_t>(nBytes) > STATEDB_MAX_TEXT) return false;
  const void* pData = sqlite3_column_blob(pStmt, nColumn);
  if (pData == nullptr && nBytes > 0) return false;
  strOut.assign(static_cast<const char*>(pData), static_cast<size_t>(nBytes));
  return true;
}

bool BindText(sqlite3_stmt* pStmt, int nIndex, const std::string& strText) {
  return sqlite3_bind_blob(pStmt, nIndex, strText.data(), static_cast<int>(strText.size()),
                           SQLITE_TRANSIENT) == SQLITE_OK;
}

}  // namespace

bool StateDbRead(const char* szPath, std::vector<StateDbRow>& vRows, std::string* pWhy) {
  vRows.clear();
  if (szPath == nullptr || szPath[0] == '\0') {
    SetWhy(pWhy, "no state file", nullptr);
    return false;
  }
  DbHandle pDb = OpenDb(szPath, false);
  if (!pDb) {
    SetWhy(pWhy, "the state file cannot be opened", nullptr);
    return false;
  }
  if (LayoutVersion(pDb.get()) != kLayoutVersion) {
    SetWhy(pWhy, "the state file is not of a known layout", pDb.get());
    return false;
  }
  sqlite3_stmt* pRaw = nullptr;
  if (sqlite3_prepare_v2(pDb.get(),
                         "SELECT palm_key, outlook_key, palm_print, outlook_print FROM pairs", -1,
                         &pRaw, nullptr) != SQLITE_OK) {
    SetWhy(pWhy, "the state file has no pairs", pDb.get());
    return false;
  }
  StmtHandle pStmt(pRaw);
  for (;;) {
    const int nRc = sqlite3_step(pStmt.get());
    if (nRc == SQLITE_DONE) break;
    StateDbRow row;
    if (nRc != SQLITE_ROW || sqlite3_column_count(pStmt.get()) != 4 ||
        vRows.size() >= STATEDB_MAX_ROWS || !ReadColumn(pStmt.get(), 0, row.strPalmKey) ||
        !ReadColumn(pStmt.get(), 1, row.strOutlookKey) ||
        !ReadColumn(pStmt.get(), 2, row.strPalmPrint) ||
        !ReadColumn(pStmt.get(), 3, row.strOutlookPrint)) {
      // Half a memory is worse than none: a pair missing from it would look new.
      vRows.clear();
      SetWhy(pWhy, "the state file is damaged", pDb.get());
      return false;
    }
    vRows.push_back(std::move(row));
  }
  return true;
}

bool StateDbWrite(const char* szPath, const std::vector<StateDbRow>& vRows, std::string* pWhy) {
  if (szPath == nullptr || szPath[0] == '\0') {
    SetWhy(pWhy, "no state file", nullptr);
    return false;
  }
  DbHandle pDb = OpenDb(szPath, true);
  if (!pDb) {
    SetWhy(pWhy, "the state file cannot be created", nullptr);
    return false;
  }
  if (!Exec(pDb.get(), "BEGIN IMMEDIATE")) {
    SetWhy(pWhy, "the state file is busy", pDb.get());
    return false;
  }
  auto rollback = [&](const char* szWhat) {
    SetWhy(pWhy, szWhat, pDb.get());
    Exec(pDb.get(), "ROLLBACK");
    return false;
  };
  // A file of another layout (or damaged beyond its header) is replaced, not merged.
  if (!Exec(pDb.get(), "DROP TABLE IF EXISTS pairs") ||
      !Exec(pDb.get(),
            "CREATE TABLE pairs (palm_key BLOB NOT NULL, outlook_key BLOB NOT NULL, "
            "palm_print BLOB NOT NULL, outlook_print BLOB NOT NULL)") ||
      !Exec(pDb.get(), "PRAGMA user_version = 1")) {
    return rollback("the state file cannot be laid out");
  }
  sqlite3_stmt* pRaw = nullptr;
  if (sqlite3_prepare_v2(pDb.get(), "INSERT INTO pairs VALUES (?1, ?2, ?3, ?4)", -1, &pRaw,
                         nullptr) != SQLITE_OK) {
    return rollback("the state file cannot take rows");
  }
  StmtHandle pStmt(pRaw);
  for (const StateDbRow& row : vRows) {
    if (!BindText(pStmt.get(), 1, row.strPalmKey) || !BindText(pStmt.get(), 2, row.strOutlookKey) ||
        !BindText(pStmt.get(), 3, row.strPalmPrint) ||
        !BindText(pStmt.get(), 4, row.strOutlookPrint) ||
        sqlite3_step(pStmt.get()) != SQLITE_DONE) {
      pStmt.reset();
      return rollback("a row could not be written to the state file");
    }
    sqlite3_reset(pStmt.get());
  }
  pStmt.reset();
  if (!Exec(pDb.get(), "COMMIT")) return rollback("the state file could not be committed");
  return true;
}
