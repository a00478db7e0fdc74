// Statements are built as text, never prepared: names in square brackets, values as SQL
// literals (texts quoted with doubled quotes, flags as 1 or 0, numbers as digits). The
// statement buffer and the literal work areas are process-wide, as the whole store runs on
// the user-interface thread.
#include "common/palm/PalmCommEx2.h"
#define DB_MODULE "PalmCommEx2"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/Datamain.h"
#include "common/palm/PalmComm.h"
#include "platform/win/WinString.h"
#include "platform/win/WinText.h"

namespace {

// SqlQuoteText looks at no more input than this.
constexpr int kMaxSqlQuoteInput = 20480;

char g_szSql[PM_SQL_SIZE];
// SqlLiteral may write its closing quote one place past the text it was given room for;
// the spare bytes keep that inside the work area.
constexpr int kLiteralSpare = 8;
char g_szLiteral[PM_INSERT_LITERAL_SIZE + kLiteralSpare];

// Appends to a fixed buffer, cutting what does not fit; the buffer stays terminated.
class SqlAppender {
 public:
  SqlAppender(char* szBuf, size_t nCapacity) : m_szBuf(szBuf), m_nCapacity(nCapacity) {
    if (m_nCapacity > 0) m_szBuf[0] = '\0';
  }
  SqlAppender& operator<<(const char* szText) {
    if (szText == nullptr || m_nCapacity == 0) return *this;
    const size_t nText = std::strlen(szText);
    const size_t nRoom = m_nCapacity - 1 - m_nLen;
    const size_t nCopy = nText < nRoom ? nText : nRoom;
    std::memcpy(m_szBuf + m_nLen, szText, nCopy);
    m_nLen += nCopy;
    m_szBuf[m_nLen] = '\0';
    return *this;
  }

 private:
  char* m_szBuf;
  size_t m_nCapacity;
  size_t m_nLen = 0;
};

// The literal of a value within nCapacity, in the shared work area.
const char* Literal(const VARIANT* pValue, int nCapacity) {
  g_szLiteral[0] = '\0';
  if (pValue != nullptr) SqlLiteral(pValue, g_szLiteral, nCapacity);
  g_szLiteral[sizeof(g_szLiteral) - 1] = '\0';
  return g_szLiteral;
}

bool FileExists(const char* szPath) {
  std::error_code ec;
  return szPath != nullptr && szPath[0] != '\0' && std::filesystem::is_regular_file(szPath, ec);
}

// Releases a row's values when the reader leaves, whatever path it takes.
struct RowValues {
  VARIANT* pValues = nullptr;
  DWORD nCount = 0;
  ~RowValues() { Release(); }
  void Release() {
    FreeValues(pValues, nCount);
    pValues = nullptr;
    nCount = 0;
  }
};

const char* const kCategoryColumns[] = {"ID", "Name", "Status", "Color"};
constexpr DWORD kCategoryColumnCount = 4;

void CategoryFromRow(const RowValues& row, PmCategoryEx2& category) {
  if (row.nCount != kCategoryColumnCount) return;
  GetIntValue(&row.pValues[0], &category.nId);
  GetTextValue(&row.pValues[1], category.szName, sizeof(category.szName));
  GetIntValue(&row.pValues[2], &category.nStatus);
  GetIntValue(&row.pValues[3], &category.nColor);
}

}  // namespace

void WideToAnsi(LPCWSTR szWide, LPSTR szAnsi, int nCapacity) {
  if (szAnsi == nullptr || nCapacity <= 0) return;
  szAnsi[0] = '\0';
  if (szWide == nullptr || szWide[0] == 0) return;
  const std::string strAnsi = CxUtf16ToAnsi(szWide);
  lstrcpyn(szAnsi, strAnsi.c_str(), nCapacity);
}

void AnsiToWide(LPCSTR szAnsi, LPWSTR szWide, int nCapacity) {
  if (szWide == nullptr || nCapacity <= 0) return;
  szWide[0] = 0;
  if (szAnsi == nullptr || szAnsi[0] == '\0') return;
  const std::u16string wide = CxAnsiToUtf16(szAnsi);
  const size_t nCopy = wide.size() < static_cast<size_t>(nCapacity - 1)
                           ? wide.size()
                           : static_cast<size_t>(nCapacity - 1);
  std::memcpy(szWide, wide.data(), nCopy * sizeof(WCHAR));
  szWide[nCopy] = 0;
}

bool SqlQuoteText(char* szBuf, int nCapacity) {
  if (szBuf == nullptr) return false;
  if (szBuf[0] == '\0' || nCapacity <= 0) return true;
  if (nCapacity > kMaxSqlQuoteInput) nCapacity = kMaxSqlQuoteInput;
  // A doubled quote is kept or dropped whole: cutting between its two halves would leave a
  // lone quote that ends the literal early and lets the rest of the text into the statement.
  std::string strQuoted;
  const size_t nRoom = static_cast<size_t>(nCapacity - 1);
  for (int i = 0; i < nCapacity && szBuf[i] != '\0'; ++i) {
    const size_t nUnit = szBuf[i] == '\'' ? 2 : 1;
    if (strQuoted.size() + nUnit > nRoom) break;
    strQuoted.append(nUnit, szBuf[i]);
  }
  std::memcpy(szBuf, strQuoted.c_str(), strQuoted.size() + 1);
  return true;
}

void SqlLiteral(const VARIANT* pVar, char* szBuf, int nCapacity) {
  if (pVar == nullptr || szBuf == nullptr || nCapacity <= 0) return;
  switch (pVar->vt) {
    case VT_BOOL:
      lstrcpyn(szBuf, pVar->boolVal != VARIANT_FALSE ? "1" : "0", nCapacity);
      break;
    case VT_I4:
      std::snprintf(szBuf, static_cast<size_t>(nCapacity), "%d", static_cast<int>(pVar->lVal));
      break;
    case VT_BSTR: {
      // Room for the two quotes; the text inside is quoted within what remains.
      if (nCapacity < 3) {
        lstrcpyn(szBuf, "", nCapacity);
        break;
      }
      std::vector<char> inner(static_cast<size_t>(nCapacity - 2));
      WideToAnsi(pVar->bstrVal, inner.data(), nCapacity - 2);
      SqlQuoteText(inner.data(), nCapacity - 2);
      std::snprintf(szBuf, static_cast<size_t>(nCapacity), "'%s'", inner.data());
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// Value helpers

bool SetIntValue(LONG nNumber, VARIANT* pValue) {
  if (pValue == nullptr) return false;
  VariantInit(pValue);
  pValue->vt = VT_I4;
  pValue->lVal = nNumber;
  return true;
}

bool SetBoolValue(BYTE bFlag, VARIANT* pValue) {
  if (pValue == nullptr) return false;
  VariantInit(pValue);
  pValue->vt = VT_BOOL;
  pValue->boolVal = static_cast<VARIANT_BOOL>(bFlag);
  return true;
}

bool SetTextValue(const char* szText, VARIANT* pValue) {
  if (pValue == nullptr) return false;
  VariantInit(pValue);
  pValue->vt = VT_BSTR;
  pValue->bstrVal = nullptr;
  if (szText == nullptr || szText[0] == '\0') return true;
  std::vector<WCHAR> wide(PM_SQL_SIZE + 1, 0);
  AnsiToWide(szText, wide.data(), PM_SQL_SIZE);
  pValue->bstrVal = SysAllocString(wide.data());
  return pValue->bstrVal != nullptr;
}

bool SetNumberTextValue(LONG nNumber, VARIANT* pValue) {
  char szNumber[16];
  std::snprintf(szNumber, sizeof(szNumber), "%d", static_cast<int>(nNumber));
  return SetTextValue(szNumber, pValue);
}

bool GetIntValue(const VARIANT* pValue, LONG* pnNumber) {
  if (pValue == nullptr || pnNumber == nullptr) return false;
  switch (pValue->vt) {
    case VT_I4:
      *pnNumber = pValue->lVal;
      return true;
    case VT_I1:
      *pnNumber = static_cast<signed char>(pValue->cVal);
      return true;
    case VT_I2:
      *pnNumber = pValue->iVal;
      return true;
    case VT_BSTR: {
      // Start and end times are unsigned Palm time values written as text: read them as
      // 64-bit and keep the low 32 bits, so values past 2038 survive the round trip.
      char szDigits[32];
      WideToAnsi(pValue->bstrVal, szDigits, sizeof(szDigits));
      *pnNumber = static_cast<LONG>(static_cast<uint32_t>(std::strtoll(szDigits, nullptr, 10)));
      return true;
    }
    default:
      return false;
  }
}

bool GetBoolValue(const VARIANT* pValue, BYTE* pbFlag) {
  if (pValue == nullptr || pbFlag == nullptr || pValue->vt != VT_BOOL) return false;
  *pbFlag = pValue->boolVal != 0 ? 1 : 0;
  return true;
}

bool GetTextValue(const VARIANT* pValue, char* szBuf, int nCapacity) {
  if (pValue == nullptr || szBuf == nullptr || nCapacity <= 0 || pValue->vt != VT_BSTR)
    return false;
  szBuf[0] = '\0';
  if (pValue->bstrVal != nullptr) WideToAnsi(pValue->bstrVal, szBuf, nCapacity);
  return true;
}

void FreeValues(VARIANT* pValues, DWORD nCount) {
  if (pValues == nullptr) return;
  for (DWORD i = 0; i < nCount; ++i) {
    if (pValues[i].vt == VT_BSTR) SysFreeString(pValues[i].bstrVal);
  }
  delete[] pValues;
}

bool ReadRow(TADOQuery* pQuery, VARIANT** ppValues, DWORD* pnCount) {
  if (pQuery == nullptr || ppValues == nullptr || pnCount == nullptr) return false;
  const int nColumns = pQuery->GetFieldCount();
  const DWORD nCount = nColumns > 0 ? static_cast<DWORD>(nColumns) : 0;
  *pnCount = nCount;
  *ppValues = new VARIANT[nCount];
  for (DWORD i = 0; i < nCount; ++i) {
    VARIANT& value = (*ppValues)[i];
    VariantInit(&value);
    VARIANT field;
    if (FAILED(pQuery->GetFieldValue(static_cast<int>(i), &field))) continue;
    switch (field.vt) {
      case VT_I2:
        value.vt = VT_I4;
        value.lVal = field.iVal;
        break;
      case VT_I4:
        value.vt = VT_I4;
        value.lVal = field.lVal;
        break;
      case VT_BSTR:
        value.vt = VT_BSTR;
        value.bstrVal = field.bstrVal != nullptr
                            ? SysAllocStringLen(field.bstrVal, SysStringLen(field.bstrVal))
                            : SysAllocString(u"");
        break;
      case VT_BOOL:
        value.vt = VT_BOOL;
        value.boolVal = field.boolVal != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      default:
        break;
    }
    VariantClear(&field);
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// PmDataAccessor

PmDataAccessor::PmDataAccessor() {
  m_szLastQuery[0] = '\0';
}

PmDataAccessor::~PmDataAccessor() = default;

const char* PmDataAccessor::BuildInfoSql(const char* szWhere, int nType,
                                         const char* const* pszColumns, const VARIANT* pValues,
                                         DWORD nCount) {
  return BuildSql("Information", szWhere, nType, pszColumns, pValues, nCount);
}

const char* PmDataAccessor::BuildCategorySql(const char* szWhere, int nType,
                                             const char* const* pszColumns, const VARIANT* pValues,
                                             DWORD nCount) {
  return BuildSql("Category", szWhere, nType, pszColumns, pValues, nCount);
}

const char* PmDataAccessor::BuildMainSql(const char* szWhere, int nType,
                                         const char* const* pszColumns, const VARIANT* pValues,
                                         DWORD nCount) {
  return BuildSql("Main", szWhere, nType, pszColumns, pValues, nCount);
}

bool PmDataAccessor::SelectFirst(const char*, const char* const*, VARIANT**, DWORD*) {
  return false;
}
bool PmDataAccessor::SelectNext(const char*, const char* const*, VARIANT**, DWORD*) {
  return false;
}
bool PmDataAccessor::QueryFirst(const char*, VARIANT**, DWORD*) {
  return false;
}
bool PmDataAccessor::QueryNext(const char*, VARIANT**, DWORD*) {
  return false;
}
bool PmDataAccessor::ExecuteSql(const char*, bool) {
  return false;
}

const char* PmDataAccessor::BuildSql(const char* szTable, const char* szWhere, int nType,
                                     const char* const* pszColumns, const VARIANT* pValues,
                                     DWORD nCount) {
  SqlAppender sql(g_szSql, sizeof(g_szSql));
  if (pszColumns == nullptr || nCount == 0) return g_szSql;
  // Statements that write values need them; a missing array builds nothing rather than
  // reading past it.
  if ((nType == SQL_INSERT || nType == SQL_UPDATE) && pValues == nullptr) return g_szSql;
  // Palm Desktop's wide tables carry three media columns and a blob that it fills itself;
  // a row written here gives them empty values so the table's other readers accept it.
  const bool bMedia = nCount > 30;
  const bool bBlob = nCount > 4;
  switch (nType) {
    case SQL_SELECT:
      sql << "SELECT ";
      for (DWORD i = 0; i < nCount; ++i) {
        sql << "[" << pszColumns[i] << "]" << (i + 1 < nCount ? ", " : " ");
      }
      sql << "FROM " << szTable << " " << szWhere;
      break;
    case SQL_INSERT:
      sql << "INSERT INTO " << szTable << " (";
      for (DWORD i = 0; i < nCount; ++i) {
        sql << "[" << pszColumns[i] << "]" << (i + 1 < nCount ? ", " : "");
      }
      if (bMedia) sql << ", [Photo], [VoiceTag], [Ringtone]";
      if (bBlob) sql << ", [Blob]";
      sql << ") VALUES (";
      for (DWORD i = 0; i < nCount; ++i) {
        sql << Literal(&pValues[i], PM_INSERT_LITERAL_SIZE) << (i + 1 < nCount ? ", " : "");
      }
      if (bMedia) sql << ", 0x00000000, 0x00000000, 0x00000000";
      if (bBlob) sql << ", 0x00000000";
      sql << ")";
      break;
    case SQL_DELETE:
      sql << "DELETE FROM " << szTable << " " << szWhere;
      break;
    case SQL_UPDATE:
      sql << "UPDATE " << szTable << " SET ";
      for (DWORD i = 0; i < nCount; ++i) {
        // A changed note can be thousands of characters long; it is given the same room
        // as in an INSERT so that an update never shortens what it writes.
        sql << "[" << pszColumns[i] << "]=" << Literal(&pValues[i], PM_INSERT_LITERAL_SIZE)
            << (i + 1 < nCount ? ", " : " ");
      }
      sql << szWhere;
      break;
    default:
      g_szSql[0] = '\0';
      break;
  }
  return g_szSql;
}

bool PmDataAccessor::BuildWhere(const char* const* pszColumns, DWORD nCount, const VARIANT* pValues,
                                char* szBuf, int nCapacity) {
  if (szBuf == nullptr) return false;
  if (nCapacity > 0) szBuf[0] = '\0';
  if (pszColumns == nullptr || nCount == 0 || pValues == nullptr) return true;
  std::string strClause = "WHERE ";
  for (DWORD i = 0; i < nCount; ++i) {
    if (i > 0) strClause += " AND ";
    const std::string strLiteral = Literal(&pValues[i], PM_WHERE_WORK_SIZE);
    if (strLiteral.size() > PM_WHERE_LONG_LITERAL && pValues[i].vt == VT_BSTR) {
      // Long texts are compared on their first characters. The text is cut before it is
      // quoted, so a doubled quote is never split and the literal always ends properly.
      std::vector<char> text(PM_WHERE_WORK_SIZE + kLiteralSpare, '\0');
      WideToAnsi(pValues[i].bstrVal, text.data(), PM_WHERE_WORK_SIZE);
      text[PM_WHERE_LONG_LITERAL] = '\0';
      SqlQuoteText(text.data(), PM_WHERE_WORK_SIZE);
      strClause += std::string("LEFT(") + pszColumns[i] + ", 256) = '" + text.data() + "'";
    } else {
      strClause += std::string("[") + pszColumns[i] + "] = " + strLiteral;
    }
  }
  if (nCapacity > 0) lstrcpyn(szBuf, strClause.c_str(), nCapacity);
  return true;
}

// ---------------------------------------------------------------------------------------
// PmMDBAccessor

PmMDBAccessor::PmMDBAccessor(int nDbKind, const char* szDbFile)
    : m_pDataModule(GetDataModule()), m_nDbKind(nDbKind) {
  m_szDbFile[0] = '\0';
  OpenDatabase(nDbKind, szDbFile);
}

PmMDBAccessor::~PmMDBAccessor() = default;

void PmMDBAccessor::OpenDatabase(int nDbKind, const char* szDbFile) {
  m_nDbKind = nDbKind;
  CxCopyText(m_szDbFile, szDbFile != nullptr ? szDbFile : "");
  Log(2, "Set database file to be opened: %s", m_szDbFile);
  if (!FileExists(m_szDbFile)) {
    Log(0, "The file doesn't exist. Abort.");
    return;
  }
  TADOConnection* pConnection = GetConnection();
  if (pConnection == nullptr) {
    Log(0, "There is no valid database connection to open this file.");
    return;
  }
  char szConnection[MAX_PATH + 80];
  std::snprintf(szConnection, sizeof(szConnection),
                "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"%s\"", m_szDbFile);
  if (pConnection->GetConnected()) {
    Log(2, "The connection is already opened, close it now.");
    pConnection->Close();
  }
  pConnection->SetConnectionString(szConnection);
  Log(2, "Connection String: %s", szConnection);
  if (FAILED(pConnection->Open())) {
    const CxDbError& error = pConnection->LastError();
    if (error.bDatabaseError) {
      Log(0, "Database Connection Error, Connection String=%s, Error=%s", szConnection,
          error.strMessage.c_str());
    } else {
      Log(0, "Database Connection Error, Connection String=%s.", szConnection);
    }
  }
}

bool PmMDBAccessor::ExecuteSql(const char* szSql, bool bOpen) {
  TADOQuery* pQuery = GetQuery();
  if (pQuery == nullptr || szSql == nullptr || szSql[0] == '\0') return false;
  Log(2, "Execute SQL Query: %s", szSql);
  pQuery->Close();
  pQuery->ClearSql();
  pQuery->AddSql(szSql);
  const HRESULT hr = bOpen ? pQuery->Open() : pQuery->ExecSql();
  if (FAILED(hr)) {
    const CxDbError& error = pQuery->LastError();
    if (error.bDatabaseError) {
      Log(0, "Database Query Error, Query String=%s, Error=%s", szSql, error.strMessage.c_str());
    } else {
      Log(0, "Database Query Error, Query String=%s", szSql);
    }
    return false;
  }
  Log(2, "Query executed successfully.");
  return true;
}

bool PmMDBAccessor::QueryFirst(const char* szSql, VARIANT** ppValues, DWORD* pnCount) {
  if (szSql == nullptr || szSql[0] == '\0') {
    Log(0, "Invalid query string found.");
    return false;
  }
  TADOQuery* pQuery = GetQuery();
  if (pQuery == nullptr || !ExecuteSql(szSql, true) || pQuery->Eof()) return false;
  return ReadRow(pQuery, ppValues, pnCount);
}

bool PmMDBAccessor::QueryNext(const char* szSql, VARIANT** ppValues, DWORD* pnCount) {
  if (szSql == nullptr || szSql[0] == '\0') {
    Log(0, "Invalid query string found.");
    return false;
  }
  if (std::strcmp(szSql, m_szLastQuery) != 0) {
    Log(2, "This query is not same with former query. Ignore this query.");
    return false;
  }
  TADOQuery* pQuery = GetQuery();
  if (pQuery == nullptr) return false;
  if (FAILED(pQuery->Next()) || pQuery->Eof()) return false;
  return ReadRow(pQuery, ppValues, pnCount);
}

std::string PmMDBAccessor::GetLastErrorText() const {
  auto* pThis = const_cast<PmMDBAccessor*>(this);
  TADOConnection* pConnection = pThis->GetConnection();
  if (pConnection != nullptr && !pConnection->GetConnected()) {
    return pConnection->LastError().strMessage.empty() ? std::string("the database did not open")
                                                       : pConnection->LastError().strMessage;
  }
  TADOQuery* pQuery = pThis->GetQuery();
  return pQuery != nullptr ? pQuery->LastError().strMessage : std::string();
}

bool PmMDBAccessor::SelectFirst(const char* szTable, const char* const* pszColumns,
                                VARIANT** ppValues, DWORD* pnCount) {
  if (GetQuery() == nullptr || pnCount == nullptr) return false;
  const char* szSql = BuildSql(szTable, nullptr, SQL_SELECT, pszColumns, nullptr, *pnCount);
  CxCopyText(m_szLastQuery, szSql);
  return QueryFirst(m_szLastQuery, ppValues, pnCount);
}

bool PmMDBAccessor::SelectNext(const char*, const char* const*, VARIANT** ppValues,
                               DWORD* pnCount) {
  return QueryNext(m_szLastQuery, ppValues, pnCount);
}

TADOQuery* PmMDBAccessor::GetAddrQuery() {
  return &m_pDataModule->qryAddr;
}
TADOQuery* PmMDBAccessor::GetDateQuery() {
  return &m_pDataModule->qryDate;
}
TADOQuery* PmMDBAccessor::GetTodoQuery() {
  return &m_pDataModule->qryTodo;
}
TADOQuery* PmMDBAccessor::GetMemoQuery() {
  return &m_pDataModule->qryMemo;
}

TADOQuery* PmMDBAccessor::GetQuery() {
  switch (m_nDbKind) {
    case DB_ADDRESS:
      return GetAddrQuery();
    case DB_DATE:
      return GetDateQuery();
    case DB_TODO:
      return GetTodoQuery();
    case DB_MEMO:
      return GetMemoQuery();
    default:
      return nullptr;
  }
}

TADOConnection* PmMDBAccessor::GetAddrConnection() {
  return &m_pDataModule->connAddr;
}
TADOConnection* PmMDBAccessor::GetDateConnection() {
  return &m_pDataModule->connDate;
}
TADOConnection* PmMDBAccessor::GetTodoConnection() {
  return &m_pDataModule->connTodo;
}
TADOConnection* PmMDBAccessor::GetMemoConnection() {
  return &m_pDataModule->connMemo;
}

TADOConnection* PmMDBAccessor::GetConnection() {
  switch (m_nDbKind) {
    case DB_ADDRESS:
      return GetAddrConnection();
    case DB_DATE:
      return GetDateConnection();
    case DB_TODO:
      return GetTodoConnection();
    case DB_MEMO:
      return GetMemoConnection();
    default:
      return nullptr;
  }
}

// ---------------------------------------------------------------------------------------
// Categories

PmCategoryEx2::PmCategoryEx2() : nId(0), nStatus(0), nColor(0) {
  std::memset(szName, 0, sizeof(szName));
}

PmCategoryEx2::~PmCategoryEx2() = default;

void PmCategoryEx2::SetName(const char* szText) {
  lstrcpyn(szName, szText, 255);
}

PmCategoryEx2Mgr::PmCategoryEx2Mgr(PmDataAccessor* pAccessor)
    : m_pAccessor(pAccessor), m_nCursor(0) {
  if (m_pAccessor == nullptr) return;
  RowValues row;
  DWORD nCount = kCategoryColumnCount;
  bool bRow = m_pAccessor->SelectFirst("Category", kCategoryColumns, &row.pValues, &nCount);
  while (bRow) {
    row.nCount = nCount;
    PmCategoryEx2 category;
    CategoryFromRow(row, category);
    Add(&category);
    row.Release();
    bRow = m_pAccessor->SelectNext("Category", kCategoryColumns, &row.pValues, &nCount);
  }
}

PmCategoryEx2Mgr::~PmCategoryEx2Mgr() {
  RemoveAll();
}

int PmCategoryEx2Mgr::GetCount() {
  return static_cast<int>(m_List.size());
}

void PmCategoryEx2Mgr::RemoveAll() {
  m_List.clear();
  m_nCursor = 0;
}

bool PmCategoryEx2Mgr::Add(const PmCategoryEx2* pCategory) {
  if (pCategory == nullptr) return false;
  m_List.push_back(std::make_unique<PmCategoryEx2>(*pCategory));
  return true;
}

bool PmCategoryEx2Mgr::AddNew(PmCategoryEx2* pCategory) {
  if (m_pAccessor == nullptr || pCategory == nullptr) return false;
  // Palm Desktop numbers categories by their count; after a deletion that id may still
  // be held, and a second category with it would take over the first one's records.
  LONG nId = GetCount() + 1;
  constexpr int kMaxIdProbes = 1 << 20;
  for (int nProbe = 0; FindById(nId) != nullptr && nProbe < kMaxIdProbes; ++nProbe) ++nId;
  pCategory->nId = nId;

  VARIANT values[kCategoryColumnCount];
  SetIntValue(nId, &values[0]);
  char szName[256];
  CxCopyText(szName, pCategory->szName);
  SetTextValue(szName, &values[1]);
  SetIntValue(1, &values[2]);
  SetIntValue(0, &values[3]);
  char szSql[1024];
  CxCopyText(szSql, m_pAccessor->BuildCategorySql(nullptr, SQL_INSERT, kCategoryColumns, values,
                                                  kCategoryColumnCount));
  if (szSql[0] != '\0') m_pAccessor->ExecuteSql(szSql, false);
  VariantClear(&values[1]);
  return Add(pCategory);
}

PmCategoryEx2* PmCategoryEx2Mgr::FindById(LONG nId) {
  for (const auto& pCategory : m_List) {
    if (pCategory->nId == nId) return pCategory.get();
  }
  return nullptr;
}

PmCategoryEx2* PmCategoryEx2Mgr::GetAt(int nIndex) {
  if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_List.size()) return nullptr;
  return m_List[static_cast<size_t>(nIndex)].get();
}

PmCategoryEx2* PmCategoryEx2Mgr::FindByName(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return nullptr;
  for (const auto& pCategory : m_List) {
    if (std::strcmp(pCategory->szName, szName) == 0) return pCategory.get();
  }
  return nullptr;
}

PmCategoryEx2* PmCategoryEx2Mgr::GetFirst() {
  m_nCursor = 0;
  return m_List.empty() ? nullptr : m_List[0].get();
}

PmCategoryEx2* PmCategoryEx2Mgr::GetNext() {
  if (m_nCursor + 1 >= m_List.size()) return nullptr;
  return m_List[++m_nCursor].get();
}

// ---------------------------------------------------------------------------------------
// Database information and the utility base

PmInfoEx2::PmInfoEx2()
    : nLicense(0), nVersion(0), nMinor(0), nCodePage(0), nPreSahara(0), nFreeRecId(0) {
  szTableString[0] = '\0';
}

PmInfoEx2::~PmInfoEx2() = default;

PmDBEx2Util::PmDBEx2Util()
    : m_pCategories(std::make_unique<PmCategoryEx2Mgr>()), m_pInfo(std::make_unique<PmInfoEx2>()) {}

PmDBEx2Util::~PmDBEx2Util() = default;

bool PmDBEx2Util::Open(int nDbKind, const char* szPath) {
  if (!FileExists(szPath)) return false;
  if (!m_pAccessor) {
    m_pAccessor = std::make_unique<PmMDBAccessor>(nDbKind, szPath);
  } else {
    m_pAccessor->OpenDatabase(nDbKind, szPath);
  }
  m_pCategories->SetAccessor(m_pAccessor.get());
  LoadCategories();
  return true;
}

bool PmDBEx2Util::LoadCategories() {
  if (!m_pAccessor) return false;
  Log(2, "Start loading Palm Desktop category information.");
  m_pCategories->RemoveAll();
  RowValues row;
  DWORD nCount = kCategoryColumnCount;
  bool bRow = m_pAccessor->SelectFirst("Category", kCategoryColumns, &row.pValues, &nCount);
  while (bRow) {
    row.nCount = nCount;
    PmCategoryEx2 category;
    CategoryFromRow(row, category);
    Log(2, "Category loaded: %s", category.szName);
    m_pCategories->Add(&category);
    row.Release();
    bRow = m_pAccessor->SelectNext("Category", kCategoryColumns, &row.pValues, &nCount);
  }
  Log(2, "Categories information loaded successfully.");
  return true;
}

bool PmDBEx2Util::LoadInfo() {
  if (!m_pAccessor) return false;
  static const char* const kInfoColumns[] = {"Name", "Note"};
  RowValues row;
  DWORD nCount = 2;
  bool bRow = m_pAccessor->SelectFirst("Information", kInfoColumns, &row.pValues, &nCount);
  while (bRow) {
    row.nCount = nCount;
    if (nCount == 2 && row.pValues[0].vt == VT_BSTR && row.pValues[1].vt == VT_BSTR) {
      char szName[64];
      GetTextValue(&row.pValues[0], szName, sizeof(szName));
      struct {
        const char* szName;
        LONG* pnField;
      } const numbers[] = {
          {"License", &m_pInfo->nLicense},     {"Version", &m_pInfo->nVersion},
          {"Minor", &m_pInfo->nMinor},         {"CodePage", &m_pInfo->nCodePage},
          {"PreSahara", &m_pInfo->nPreSahara}, {"FreeRecID", &m_pInfo->nFreeRecId},
      };
      for (const auto& number : numbers) {
        if (std::strcmp(szName, number.szName) == 0) GetIntValue(&row.pValues[1], number.pnField);
      }
      if (std::strcmp(szName, "TableString") == 0)
        GetTextValue(&row.pValues[1], m_pInfo->szTableString, sizeof(m_pInfo->szTableString));
    }
    row.Release();
    bRow = m_pAccessor->SelectNext("Information", kInfoColumns, &row.pValues, &nCount);
  }
  return true;
}

bool PmDBEx2Util::SelectByRecordId(LONG nRecordId, const char* const* pszColumns,
                                   VARIANT** ppValues, DWORD* pnCount) {
  static const char* const kKey[] = {"Record ID"};
  VARIANT key;
  SetIntValue(nRecordId, &key);
  std::vector<char> where(PM_SQL_SIZE, '\0');
  if (!PmDataAccessor::BuildWhere(kKey, 1, &key, where.data(), PM_SQL_SIZE)) return false;
  return SelectWhere(where.data(), pszColumns, ppValues, pnCount);
}

bool PmDBEx2Util::SelectWhere(const char* szWhere, const char* const* pszColumns,
                              VARIANT** ppValues, DWORD* pnCount) {
  if (!m_pAccessor || pnCount == nullptr) return false;
  std::string strSql =
      m_pAccessor->BuildMainSql(szWhere, SQL_SELECT, pszColumns, nullptr, *pnCount);
  return m_pAccessor->QueryFirst(strSql.c_str(), ppValues, pnCount);
}
