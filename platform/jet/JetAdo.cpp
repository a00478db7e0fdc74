// The connection owns the SQLite handle; each query owns its prepared statement and stands on
// the current row while it is open. A connection knows its queries so that closing (or
// re-opening) it first ends their results: a statement must never outlive its database.
//
// Text crosses the engine boundary here and nowhere else: the SQL text callers give is ANSI
// (Windows-1252) and goes to SQLite as UTF-8, the engine's messages come back as ANSI, and
// text columns are read from their UTF-8 bytes into UTF-16 BSTRs. Palm Desktop's own
// database holds Unicode text, and mdbtools hands a real Jet file's text over as UTF-8.
#include "platform/jet/JetAdo.h"

#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>

#include "platform/jet/JetMdbImport.h"
#include "platform/jet/JetSql.h"
#include "platform/jet/JetVfs.h"
#include "platform/win/WinString.h"
#include "platform/win/WinText.h"
#include "platform/win/WinTime.h"

namespace {

struct DbCloser {
  void operator()(sqlite3* pDb) const { sqlite3_close_v2(pDb); }
};

// Splits "key=value;key="quoted; value"" into its provider and data source. Keys compare
// without regard to case; a value may be quoted with either quote character.
void ParseConnectionString(const std::string& strText, std::string& strProvider,
                           std::string& strDataSource) {
  size_t i = 0;
  while (i < strText.size()) {
    const size_t nEq = strText.find('=', i);
    if (nEq == std::string::npos) break;
    const std::string strKey = CxTrim(strText.substr(i, nEq - i), " \t\n\v\f\r");
    size_t j = nEq + 1;
    while (j < strText.size() && std::isspace(static_cast<unsigned char>(strText[j]))) ++j;
    std::string strValue;
    if (j < strText.size() && (strText[j] == '"' || strText[j] == '\'')) {
      const char cQuote = strText[j];
      const size_t nClose = strText.find(cQuote, j + 1);
      const size_t nStop = nClose == std::string::npos ? strText.size() : nClose;
      strValue = strText.substr(j + 1, nStop - j - 1);
      j = nClose == std::string::npos ? strText.size() : nClose + 1;
      const size_t nSemi = strText.find(';', j);
      i = nSemi == std::string::npos ? strText.size() : nSemi + 1;
    } else {
      const size_t nSemi = strText.find(';', j);
      const size_t nStop = nSemi == std::string::npos ? strText.size() : nSemi;
      strValue = CxTrim(strText.substr(j, nStop - j), " \t\n\v\f\r");
      i = nSemi == std::string::npos ? strText.size() : nSemi + 1;
    }
    if (strcasecmp(strKey.c_str(), "Provider") == 0) {
      strProvider = strValue;
    } else if (strcasecmp(strKey.c_str(), "Data Source") == 0) {
      strDataSource = strValue;
    }
  }
}

bool HasWord(const std::string& strType, const char* szWord) {
  return strType.find(szWord) != std::string::npos;
}

// The VARIANT type a declared column type reads as. Longer names are tested first so that
// LONGTEXT is a text and SMALLINT is not a 32-bit integer.
VARTYPE TypeOfDeclaration(const char* szDeclared) {
  if (szDeclared == nullptr) return VT_EMPTY;
  std::string strType(szDeclared);
  for (char& c : strType) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (HasWord(strType, "BIT") || HasWord(strType, "BOOL") || HasWord(strType, "YESNO") ||
      HasWord(strType, "LOGICAL"))
    return VT_BOOL;
  if (HasWord(strType, "BINARY") || HasWord(strType, "BLOB") || HasWord(strType, "IMAGE") ||
      HasWord(strType, "OLE"))
    return VT_NULL;  // read as empty
  if (HasWord(strType, "CHAR") || HasWord(strType, "TEXT") || HasWord(strType, "MEMO") ||
      HasWord(strType, "CLOB") || HasWord(strType, "STRING"))
    return VT_BSTR;
  if (HasWord(strType, "TINYINT") || HasWord(strType, "BYTE")) return VT_I1;
  if (HasWord(strType, "SMALLINT") || HasWord(strType, "SHORT") || HasWord(strType, "INT2"))
    return VT_I2;
  if (HasWord(strType, "INT") || HasWord(strType, "LONG") || HasWord(strType, "COUNTER") ||
      HasWord(strType, "AUTOINCREMENT"))
    return VT_I4;
  if (HasWord(strType, "DATE") || HasWord(strType, "TIME")) return VT_DATE;
  if (HasWord(strType, "REAL") || HasWord(strType, "FLOA") || HasWord(strType, "DOUB") ||
      HasWord(strType, "NUMERIC") || HasWord(strType, "DECIMAL") || HasWord(strType, "MONEY") ||
      HasWord(strType, "CURRENCY"))
    return VT_R8;
  return VT_NULL;
}

// A column without a declared type (an expression) reads by the value's own storage class.
VARTYPE TypeOfValue(int nStorage) {
  switch (nStorage) {
    case SQLITE_INTEGER:
      return VT_I4;
    case SQLITE_FLOAT:
      return VT_R8;
    case SQLITE_TEXT:
      return VT_BSTR;
    default:
      return VT_NULL;
  }
}

// Dates copied from a Jet file arrive as "YYYY-MM-DD HH:MM:SS" text.
bool ParseDateText(const char* szText, DATE* pDate) {
  if (szText == nullptr) return false;
  int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0, nSecond = 0;
  const int nFields =
      std::sscanf(szText, "%d-%d-%d %d:%d:%d", &nYear, &nMonth, &nDay, &nHour, &nMinute, &nSecond);
  if (nFields != 3 && nFields != 6) return false;
  if (nYear < 0 || nYear > 9999 || nMonth < 0 || nMonth > 12 || nDay < 0 || nDay > 31 ||
      nHour < 0 || nHour > 23 || nMinute < 0 || nMinute > 59 || nSecond < 0 || nSecond > 59)
    return false;
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  st.wHour = static_cast<WORD>(nHour);
  st.wMinute = static_cast<WORD>(nMinute);
  st.wSecond = static_cast<WORD>(nSecond);
  return SystemTimeToVariantTime(&st, pDate) != FALSE;
}

// True when the bytes are well-formed UTF-8: no stray continuation bytes, overlong forms,
// encoded surrogates, values past U+10FFFF or sequences cut short.
bool IsUtf8(const unsigned char* pBytes, size_t nBytes) {
  size_t i = 0;
  while (i < nBytes) {
    const unsigned char c = pBytes[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t nTrail = 0;
    unsigned char cLow = 0x80;
    unsigned char cHigh = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      nTrail = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      nTrail = 2;
      if (c == 0xE0) cLow = 0xA0;
      if (c == 0xED) cHigh = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      nTrail = 3;
      if (c == 0xF0) cLow = 0x90;
      if (c == 0xF4) cHigh = 0x8F;
    } else {
      return false;
    }
    if (nBytes - i <= nTrail) return false;
    if (pBytes[i + 1] < cLow || pBytes[i + 1] > cHigh) return false;
    for (size_t k = 2; k <= nTrail; ++k) {
      if ((pBytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += nTrail + 1;
  }
  return true;
}

// A text value as a BSTR. Bytes that are not UTF-8 can only come from a writer that stored
// ANSI text unconverted (earlier builds of this stand-in did); they are read as Windows-1252,
// which gives that text back instead of replacement characters.
HRESULT TextToBstr(const unsigned char* pText, int nBytes, BSTR* pBstr) {
  *pBstr = nullptr;
  if (pText == nullptr || nBytes <= 0) {
    if (nBytes > 0) return E_OUTOFMEMORY;
    *pBstr = SysAllocString(u"");
    return *pBstr != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  const UINT nCodePage = IsUtf8(pText, static_cast<size_t>(nBytes)) ? CP_UTF8 : CP_ACP;
  const auto* szText = reinterpret_cast<LPCSTR>(pText);
  const int nWide = MultiByteToWideChar(nCodePage, 0, szText, nBytes, nullptr, 0);
  if (nWide <= 0) return E_FAIL;
  BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(nWide));
  if (bstr == nullptr) return E_OUTOFMEMORY;
  if (MultiByteToWideChar(nCodePage, 0, szText, nBytes, bstr, nWide) != nWide) {
    SysFreeString(bstr);
    return E_FAIL;
  }
  *pBstr = bstr;
  return S_OK;
}

// SQLite's messages are UTF-8 and may quote the statement (a name, a literal).
std::string EngineMessage(sqlite3* pDb) {
  return CxUtf8ToAnsi(pDb != nullptr ? sqlite3_errmsg(pDb) : "out of memory");
}

}  // namespace

struct TADOConnection::Impl {
  std::string strConnectionString;
  std::string strProvider = JET_PROVIDER;
  std::unique_ptr<sqlite3, DbCloser> pDb;
  bool bReadOnly = false;
  std::set<TADOQuery*> queries;
};

struct TADOQuery::Impl {
  sqlite3_stmt* pStmt = nullptr;
  bool bEof = true;

  void Finalize() {
    if (pStmt != nullptr) sqlite3_finalize(pStmt);
    pStmt = nullptr;
    bEof = true;
  }
};

TADOConnection::TADOConnection() : m_pImpl(std::make_unique<Impl>()) {}

TADOConnection::~TADOConnection() {
  Close();
  for (TADOQuery* pQuery : m_pImpl->queries) pQuery->m_pConnection = nullptr;
}

bool TADOConnection::GetConnected() const {
  return m_pImpl->pDb != nullptr;
}

void TADOConnection::Close() {
  for (TADOQuery* pQuery : m_pImpl->queries) pQuery->Close();
  m_pImpl->pDb.reset();
  m_pImpl->bReadOnly = false;
}

void TADOConnection::SetConnectionString(const char* szConnectionString) {
  m_pImpl->strConnectionString = szConnectionString != nullptr ? szConnectionString : "";
}

const char* TADOConnection::GetConnectionString() const {
  return m_pImpl->strConnectionString.c_str();
}

void TADOConnection::SetProvider(const char* szProvider) {
  m_pImpl->strProvider = szProvider != nullptr ? szProvider : "";
}

const char* TADOConnection::GetProvider() const {
  return m_pImpl->strProvider.c_str();
}

bool TADOConnection::IsReadOnly() const {
  return m_pImpl->bReadOnly;
}

void TADOConnection::Attach(TADOQuery* pQuery) {
  m_pImpl->queries.insert(pQuery);
}

void TADOConnection::Detach(TADOQuery* pQuery) {
  m_pImpl->queries.erase(pQuery);
}

HRESULT TADOConnection::Open() {
  m_Error.Clear();
  if (GetConnected()) {
    m_Error.strMessage = "Operation is not allowed when the object is open.";
    return E_FAIL;
  }
  std::string strProvider = m_pImpl->strProvider;
  std::string strPath;
  ParseConnectionString(m_pImpl->strConnectionString, strProvider, strPath);
  if (strcasecmp(strProvider.c_str(), JET_PROVIDER) != 0) {
    m_Error.strMessage = "Provider cannot be found. It may not be properly installed.";
    return E_FAIL;
  }
  m_Error.bDatabaseError = true;
  struct stat stFile = {};
  if (strPath.empty() || stat(strPath.c_str(), &stFile) != 0 || !S_ISREG(stFile.st_mode)) {
    m_Error.strMessage = "Could not find file '" + strPath + "'.";
    return E_FAIL;
  }

  sqlite3* pRaw = nullptr;
  if (JetIsJetFile(strPath.c_str())) {
    int nRc =
        sqlite3_open_v2(":memory:", &pRaw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, DbCloser> pDb(pRaw);
    if (nRc != SQLITE_OK) {
      m_Error.strMessage = EngineMessage(pRaw);
      return E_FAIL;
    }
    std::string strError;
    if (!JetImportMdb(strPath.c_str(), pDb.get(), strError)) {
      m_Error.strMessage = strError;
      return E_FAIL;
    }
    // The copy is what statements run on; refusing writes on it keeps the stand-in as
    // read-only as the real file is to us.
    sqlite3_exec(pDb.get(), "PRAGMA query_only = 1", nullptr, nullptr, nullptr);
    m_pImpl->pDb = std::move(pDb);
    m_pImpl->bReadOnly = true;
    return S_OK;
  }

  const int nRc = sqlite3_open_v2(strPath.c_str(), &pRaw, SQLITE_OPEN_READWRITE, JetFileLayerVfs());
  std::unique_ptr<sqlite3, DbCloser> pDb(pRaw);
  if (nRc != SQLITE_OK) {
    m_Error.strMessage = EngineMessage(pRaw);
    return E_FAIL;
  }
  // SQLite opens any file lazily; reading the schema tells a database from other bytes.
  char* szError = nullptr;
  if (sqlite3_exec(pDb.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &szError) !=
      SQLITE_OK) {
    m_Error.strMessage = "Unrecognized database format '" + strPath +
                         "': " + CxUtf8ToAnsi(szError != nullptr ? szError : "unknown error");
    sqlite3_free(szError);
    return E_FAIL;
  }
  sqlite3_busy_timeout(pDb.get(), 2000);
  m_pImpl->pDb = std::move(pDb);
  m_pImpl->bReadOnly = false;
  m_Error.Clear();
  return S_OK;
}

TADOQuery::TADOQuery(TADOConnection* pConnection) : m_pImpl(std::make_unique<Impl>()) {
  SetConnection(pConnection);
}

TADOQuery::~TADOQuery() {
  Close();
  if (m_pConnection != nullptr) m_pConnection->Detach(this);
}

void TADOQuery::SetConnection(TADOConnection* pConnection) {
  Close();
  if (m_pConnection != nullptr) m_pConnection->Detach(this);
  m_pConnection = pConnection;
  if (m_pConnection != nullptr) m_pConnection->Attach(this);
}

void TADOQuery::Close() {
  m_pImpl->Finalize();
}

bool TADOQuery::GetActive() const {
  return m_pImpl->pStmt != nullptr;
}

void TADOQuery::ClearSql() {
  m_strSql.clear();
}

void TADOQuery::AddSql(const char* szLine) {
  if (!m_strSql.empty()) m_strSql += "\n";
  if (szLine != nullptr) m_strSql += szLine;
}

HRESULT TADOQuery::Fail(bool bDatabaseError, const std::string& strMessage) {
  m_pImpl->Finalize();
  m_Error.bDatabaseError = bDatabaseError;
  m_Error.strMessage = strMessage;
  return E_FAIL;
}

HRESULT TADOQuery::Run(bool bWantRows) {
  Close();
  m_Error.Clear();
  if (m_pConnection == nullptr || !m_pConnection->GetConnected())
    return Fail(true, "Operation is not allowed when the object is closed.");
  sqlite3* pDb = m_pConnection->m_pImpl->pDb.get();

  std::string strAnsiSql;
  JetTranslateSql(m_strSql.c_str(), strAnsiSql);
  const std::string strSql = CxAnsiToUtf8(strAnsiSql.c_str());
  sqlite3_stmt* pStmt = nullptr;
  const char* szTail = nullptr;
  if (sqlite3_prepare_v2(pDb, strSql.c_str(), static_cast<int>(strSql.size()), &pStmt, &szTail) !=
      SQLITE_OK)
    return Fail(true, EngineMessage(pDb));
  m_pImpl->pStmt = pStmt;
  if (pStmt == nullptr) return Fail(true, "Command text was not set for the command object.");
  // One statement per call: whatever follows the first is refused, never run.
  if (!JetIsBlankTail(szTail)) return Fail(true, "Characters found after end of SQL statement.");
  if (m_pConnection->IsReadOnly() && !sqlite3_stmt_readonly(pStmt))
    return Fail(true, "Cannot update. Database or object is read-only.");
  const bool bHasRows = sqlite3_column_count(pStmt) > 0;
  if (bWantRows && !bHasRows) return Fail(true, "CommandText does not return a result set.");

  const int nRc = sqlite3_step(pStmt);
  if (nRc == SQLITE_ROW) {
    m_pImpl->bEof = false;
  } else if (nRc == SQLITE_DONE) {
    m_pImpl->bEof = true;
  } else {
    return Fail(true, EngineMessage(pDb));
  }
  if (!bWantRows) {
    // A statement run for its effect: step it to its end so nothing stays pending.
    while (m_pImpl->bEof == false) {
      const int nStep = sqlite3_step(pStmt);
      if (nStep == SQLITE_DONE) break;
      if (nStep != SQLITE_ROW) return Fail(true, EngineMessage(pDb));
    }
    m_pImpl->Finalize();
  }
  return S_OK;
}

HRESULT TADOQuery::Open() {
  return Run(true);
}

HRESULT TADOQuery::ExecSql() {
  return Run(false);
}

HRESULT TADOQuery::Next() {
  m_Error.Clear();
  if (m_pImpl->pStmt == nullptr)
    return Fail(true, "Operation is not allowed when the object is closed.");
  if (m_pImpl->bEof) return S_OK;
  const int nRc = sqlite3_step(m_pImpl->pStmt);
  if (nRc == SQLITE_ROW) return S_OK;
  m_pImpl->bEof = true;
  if (nRc == SQLITE_DONE) return S_OK;
  sqlite3* pDb = sqlite3_db_handle(m_pImpl->pStmt);
  return Fail(true, EngineMessage(pDb));
}

bool TADOQuery::Eof() const {
  return m_pImpl->pStmt == nullptr || m_pImpl->bEof;
}

int TADOQuery::GetFieldCount() const {
  return m_pImpl->pStmt != nullptr ? sqlite3_column_count(m_pImpl->pStmt) : 0;
}

HRESULT TADOQuery::GetFieldValue(int nIndex, VARIANT* pValue) const {
  if (pValue == nullptr) return E_POINTER;
  VariantInit(pValue);
  sqlite3_stmt* pStmt = m_pImpl->pStmt;
  if (pStmt == nullptr || m_pImpl->bEof) return E_UNEXPECTED;
  if (nIndex < 0 || nIndex >= sqlite3_column_count(pStmt)) return DISP_E_BADINDEX;

  const int nStorage = sqlite3_column_type(pStmt, nIndex);
  if (nStorage == SQLITE_NULL) return S_OK;
  const char* szDeclared = sqlite3_column_decltype(pStmt, nIndex);
  const VARTYPE vt = szDeclared != nullptr ? TypeOfDeclaration(szDeclared) : TypeOfValue(nStorage);
  switch (vt) {
    case VT_BOOL:
      pValue->vt = VT_BOOL;
      pValue->boolVal = sqlite3_column_int64(pStmt, nIndex) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_I1:
      pValue->vt = VT_I1;
      pValue->cVal = static_cast<CHAR>(sqlite3_column_int(pStmt, nIndex));
      break;
    case VT_I2:
      pValue->vt = VT_I2;
      pValue->iVal = static_cast<SHORT>(sqlite3_column_int(pStmt, nIndex));
      break;
    case VT_I4:
      pValue->vt = VT_I4;
      pValue->lVal = static_cast<LONG>(sqlite3_column_int64(pStmt, nIndex));
      break;
    case VT_R8:
      pValue->vt = VT_R8;
      pValue->dblVal = sqlite3_column_double(pStmt, nIndex);
      break;
    case VT_DATE: {
      DATE dt = 0;
      if (nStorage == SQLITE_FLOAT || nStorage == SQLITE_INTEGER) {
        pValue->vt = VT_DATE;
        pValue->date = sqlite3_column_double(pStmt, nIndex);
      } else if (ParseDateText(reinterpret_cast<const char*>(sqlite3_column_text(pStmt, nIndex)),
                               &dt)) {
        pValue->vt = VT_DATE;
        pValue->date = dt;
      }
      break;
    }
    case VT_BSTR: {
      // The bytes first, then their length: the order SQLite asks for.
      const unsigned char* pText = sqlite3_column_text(pStmt, nIndex);
      const int nBytes = sqlite3_column_bytes(pStmt, nIndex);
      BSTR bstr = nullptr;
      const HRESULT hr = TextToBstr(pText, nBytes, &bstr);
      if (FAILED(hr)) return hr;
      pValue->vt = VT_BSTR;
      pValue->bstrVal = bstr;
      break;
    }
    default:
      break;
  }
  return S_OK;
}
