// How the copy works: mdbtools reads the Jet file's catalog; each user table becomes a
// SQLite table of the same name whose columns carry the declared type names the query
// object maps to VARIANT types (Long Integer as INTEGER, Yes/No as BIT, Text as VARCHAR and
// so on). Rows are fetched with every column bound as text (mdbtools' own rendering) and
// inserted through one prepared statement per table, numbers and flags converted back to
// integers so that comparisons in WHERE clauses behave as they do on Jet. mdbtools gives
// names and texts as UTF-8, which is what SQLite holds, so texts are copied unchanged; only
// the messages handed back are made ANSI, as the query object's are.
#include "platform/jet/JetMdbImport.h"

#include <mdbtools.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/win/WinText.h"

namespace {

// Jet 3 and Jet 4 files say "Standard Jet DB" at offset 4, ACE files "Standard ACE DB".
constexpr size_t kJetMagicOffset = 4;
constexpr char kJetMagic[] = "Standard Jet DB";
constexpr char kAceMagic[] = "Standard ACE DB";
constexpr size_t kMagicLen = sizeof(kJetMagic) - 1;

// Text columns can be long (memo); a row's value beyond this is cut by mdbtools.
constexpr size_t kBindSize = 65536;

struct MdbCloser {
  void operator()(MdbHandle* pMdb) const { mdb_close(pMdb); }
};
struct TableFreer {
  void operator()(MdbTableDef* pTable) const { mdb_free_tabledef(pTable); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* pStmt) const { sqlite3_finalize(pStmt); }
};

enum class ValueKind { Integer, Real, Text, Skip };

const char* DeclaredType(int nMdbType, ValueKind& kind) {
  switch (nMdbType) {
    case MDB_BOOL:
      kind = ValueKind::Integer;
      return "BIT";
    case MDB_BYTE:
      kind = ValueKind::Integer;
      return "TINYINT";
    case MDB_INT:
      kind = ValueKind::Integer;
      return "SMALLINT";
    case MDB_LONGINT:
      kind = ValueKind::Integer;
      return "INTEGER";
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC:
      kind = ValueKind::Real;
      return "DOUBLE";
    case MDB_DATETIME:
      kind = ValueKind::Text;
      return "DATETIME";
    case MDB_TEXT:
    case MDB_REPID:
      kind = ValueKind::Text;
      return "VARCHAR";
    case MDB_MEMO:
      kind = ValueKind::Text;
      return "MEMO";
    default:
      // OLE objects and binary columns: the program never reads them.
      kind = ValueKind::Skip;
      return "LONGBINARY";
  }
}

bool ValidName(const char* szName) {
  return szName[0] != '\0' && std::strchr(szName, ']') == nullptr;
}

bool Exec(sqlite3* pDb, const std::string& strSql, std::string& strError) {
  char* szError = nullptr;
  if (sqlite3_exec(pDb, strSql.c_str(), nullptr, nullptr, &szError) != SQLITE_OK) {
    strError = CxUtf8ToAnsi(szError != nullptr ? szError : "SQLite error");
    sqlite3_free(szError);
    return false;
  }
  return true;
}

bool CopyTable(MdbCatalogEntry* pEntry, sqlite3* pDb, std::string& strError) {
  std::unique_ptr<MdbTableDef, TableFreer> pTable(mdb_read_table(pEntry));
  if (!pTable) {
    strError = "Cannot read the table " + CxUtf8ToAnsi(pEntry->object_name);
    return false;
  }
  mdb_read_columns(pTable.get());
  const unsigned int nCols = pTable->num_cols;
  if (nCols == 0 || pTable->columns == nullptr || pTable->columns->len < nCols) return true;

  std::string strCreate = std::string("CREATE TABLE [") + pTable->name + "] (";
  std::string strInsert = std::string("INSERT INTO [") + pTable->name + "] VALUES (";
  std::vector<ValueKind> kinds(nCols);
  for (unsigned int i = 0; i < nCols; ++i) {
    auto* pCol = static_cast<MdbColumn*>(g_ptr_array_index(pTable->columns, i));
    if (!ValidName(pCol->name)) {
      strError = "Unsupported column name in " + CxUtf8ToAnsi(pTable->name);
      return false;
    }
    const char* szType = DeclaredType(pCol->col_type, kinds[i]);
    strCreate += std::string(i ? ", [" : "[") + pCol->name + "] " + szType;
    strInsert += i ? ", ?" : "?";
  }
  strCreate += ")";
  strInsert += ")";
  if (!Exec(pDb, strCreate, strError)) return false;

  sqlite3_stmt* pRaw = nullptr;
  if (sqlite3_prepare_v2(pDb, strInsert.c_str(), -1, &pRaw, nullptr) != SQLITE_OK) {
    strError = CxUtf8ToAnsi(sqlite3_errmsg(pDb));
    return false;
  }
  std::unique_ptr<sqlite3_stmt, StmtFinalizer> pInsert(pRaw);

  std::vector<std::vector<char>> buffers(nCols, std::vector<char>(kBindSize + 1, '\0'));
  std::vector<int> lengths(nCols, 0);
  for (unsigned int i = 0; i < nCols; ++i) {
    mdb_bind_column(pTable.get(), static_cast<int>(i + 1), buffers[i].data(), &lengths[i]);
  }
  mdb_rewind_table(pTable.get());
  while (mdb_fetch_row(pTable.get())) {
    sqlite3_reset(pInsert.get());
    sqlite3_clear_bindings(pInsert.get());
    for (unsigned int i = 0; i < nCols; ++i) {
      const int nParam = static_cast<int>(i + 1);
      const int nLen = lengths[i];
      if (kinds[i] == ValueKind::Skip || nLen <= 0 || static_cast<size_t>(nLen) > kBindSize) {
        sqlite3_bind_null(pInsert.get(), nParam);
        continue;
      }
      buffers[i][static_cast<size_t>(nLen)] = '\0';
      const char* szValue = buffers[i].data();
      switch (kinds[i]) {
        case ValueKind::Integer:
          sqlite3_bind_int64(pInsert.get(), nParam, std::strtoll(szValue, nullptr, 10));
          break;
        case ValueKind::Real:
          sqlite3_bind_double(pInsert.get(), nParam, std::strtod(szValue, nullptr));
          break;
        default:
          sqlite3_bind_text(pInsert.get(), nParam, szValue, nLen, SQLITE_TRANSIENT);
          break;
      }
    }
    if (sqlite3_step(pInsert.get()) != SQLITE_DONE) {
      strError = CxUtf8ToAnsi(sqlite3_errmsg(pDb));
      return false;
    }
  }
  return true;
}

}  // namespace

bool JetIsJetFile(const char* szPath) {
  if (szPath == nullptr) return false;
  FILE* pFile = std::fopen(szPath, "rb");
  if (pFile == nullptr) return false;
  char header[kJetMagicOffset + kMagicLen] = {};
  const size_t nRead = std::fread(header, 1, sizeof(header), pFile);
  std::fclose(pFile);
  if (nRead != sizeof(header)) return false;
  return std::memcmp(header + kJetMagicOffset, kJetMagic, kMagicLen) == 0 ||
         std::memcmp(header + kJetMagicOffset, kAceMagic, kMagicLen) == 0;
}

bool JetImportMdb(const char* szPath, sqlite3* pDb, std::string& strError) {
  std::unique_ptr<MdbHandle, MdbCloser> pMdb(mdb_open(szPath, MDB_NOFLAGS));
  if (!pMdb) {
    strError = std::string("Unrecognized database format '") + szPath + "'.";
    return false;
  }
  mdb_set_bind_size(pMdb.get(), kBindSize);
  mdb_set_date_fmt(pMdb.get(), "%Y-%m-%d %H:%M:%S");
  mdb_set_boolean_fmt_numbers(pMdb.get());
  if (!mdb_read_catalog(pMdb.get(), MDB_TABLE)) {
    strError = std::string("Cannot read the catalog of '") + szPath + "'.";
    return false;
  }
  if (!Exec(pDb, "BEGIN", strError)) return false;
  for (unsigned int i = 0; i < pMdb->num_catalog; ++i) {
    auto* pEntry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(pMdb->catalog, i));
    if (pEntry->object_type != MDB_TABLE || !mdb_is_user_table(pEntry)) continue;
    if (!ValidName(pEntry->object_name)) continue;
    if (!CopyTable(pEntry, pDb, strError)) {
      std::string strIgnored;
      Exec(pDb, "ROLLBACK", strIgnored);
      return false;
    }
  }
  return Exec(pDb, "COMMIT", strError);
}
