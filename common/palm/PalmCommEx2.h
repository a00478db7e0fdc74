// The road into a Palm Desktop 6.x database (a Jet file): the accessor that builds every SQL
// statement as text and runs it on the data module's connection of its kind, the VARIANT
// value helpers with the wide/ANSI conversion and SQL quoting of texts, and the common base
// of the 6.x application utilities with its category list and database information.
//
// Rows travel as value arrays: a VARIANT[] made with new[] whose length travels beside it.
// Whoever receives an array owns it and every BSTR in it, and releases both with FreeValues.
// Texts are ANSI (Windows-1252); database texts are wide and converted at this boundary.
#pragma once

#include <memory>
#include <vector>

#include "platform/automation/OleAuto.h"
#include "platform/win/WinTypes.h"

class TdmMain;
class TADOConnection;
class TADOQuery;

// Database kinds: which of the data module's connections an accessor uses.
#define DB_ADDRESS 1
#define DB_DATE 2
#define DB_TODO 3
#define DB_MEMO 4

// Statement types of the builder.
#define SQL_SELECT 1
#define SQL_INSERT 2
#define SQL_DELETE 3
#define SQL_UPDATE 4

#define PM_SQL_SIZE 40960         // one built statement
#define PM_LAST_QUERY_SIZE 4096   // the remembered SELECT
#define PM_WHERE_WORK_SIZE 20480  // a WHERE literal's work area
#define PM_INSERT_LITERAL_SIZE 40960
#define PM_UPDATE_LITERAL_SIZE 1024
// A WHERE literal longer than this is compared on the column's first characters.
#define PM_WHERE_LONG_LITERAL 255

// Wide <-> ANSI text; the output is always terminated within its capacity.
void WideToAnsi(LPCWSTR szWide, LPSTR szAnsi, int nCapacity);
void AnsiToWide(LPCSTR szAnsi, LPWSTR szWide, int nCapacity);
// Doubles every single quote of szBuf in place, cut to nCapacity - 1 bytes.
bool SqlQuoteText(char* szBuf, int nCapacity);
// The SQL literal of a VT_BOOL, VT_I4 or VT_BSTR variant; other types leave szBuf alone.
void SqlLiteral(const VARIANT* pVar, char* szBuf, int nCapacity);

// Value helpers. The setters overwrite *pValue without clearing it.
bool SetIntValue(LONG nNumber, VARIANT* pValue);
bool SetBoolValue(BYTE bFlag, VARIANT* pValue);
// An empty or missing text gives VT_BSTR with a null string.
bool SetTextValue(const char* szText, VARIANT* pValue);
bool SetNumberTextValue(LONG nNumber, VARIANT* pValue);
// VT_I4, VT_I2, VT_I1 (sign-extended) or VT_BSTR (the decimal number at its start); any
// other type fails and leaves *pnNumber alone.
bool GetIntValue(const VARIANT* pValue, LONG* pnNumber);
bool GetBoolValue(const VARIANT* pValue, BYTE* pbFlag);
bool GetTextValue(const VARIANT* pValue, char* szBuf, int nCapacity);
void FreeValues(VARIANT* pValues, DWORD nCount);
// The current row of the query as a new value array (see the file comment).
bool ReadRow(TADOQuery* pQuery, VARIANT** ppValues, DWORD* pnCount);

class PmDataAccessor {
 public:
  PmDataAccessor();
  virtual ~PmDataAccessor();
  PmDataAccessor(const PmDataAccessor&) = delete;
  PmDataAccessor& operator=(const PmDataAccessor&) = delete;

  virtual const char* BuildInfoSql(const char* szWhere, int nType, const char* const* pszColumns,
                                   const VARIANT* pValues, DWORD nCount);
  virtual const char* BuildCategorySql(const char* szWhere, int nType,
                                       const char* const* pszColumns, const VARIANT* pValues,
                                       DWORD nCount);
  virtual const char* BuildMainSql(const char* szWhere, int nType, const char* const* pszColumns,
                                   const VARIANT* pValues, DWORD nCount);

  // *pnCount: the number of columns on the way in, of values on the way out.
  virtual bool SelectFirst(const char* szTable, const char* const* pszColumns, VARIANT** ppValues,
                           DWORD* pnCount);
  virtual bool SelectNext(const char* szTable, const char* const* pszColumns, VARIANT** ppValues,
                          DWORD* pnCount);
  virtual bool QueryFirst(const char* szSql, VARIANT** ppValues, DWORD* pnCount);
  virtual bool QueryNext(const char* szSql, VARIANT** ppValues, DWORD* pnCount);
  virtual bool ExecuteSql(const char* szSql, bool bOpen);

  // One statement into a process-wide buffer, valid until the next call; empty for no
  // columns, a count of 0 or an unknown type.
  static const char* BuildSql(const char* szTable, const char* szWhere, int nType,
                              const char* const* pszColumns, const VARIANT* pValues, DWORD nCount);
  // "WHERE [a] = x AND ..." for key columns; false only without a buffer.
  static bool BuildWhere(const char* const* pszColumns, DWORD nCount, const VARIANT* pValues,
                         char* szBuf, int nCapacity);

  const char* GetLastQuery() const { return m_szLastQuery; }

 protected:
  char m_szLastQuery[PM_LAST_QUERY_SIZE];
};

class PmMDBAccessor : public PmDataAccessor {
 public:
  PmMDBAccessor(int nDbKind, const char* szDbFile);
  // The connection stays open: it belongs to the data module.
  ~PmMDBAccessor() override;

  // Opens (or re-opens) the kind's connection on the file. Failures are logged; callers
  // learn of them from the statements that follow.
  void OpenDatabase(int nDbKind, const char* szDbFile);

  bool SelectFirst(const char* szTable, const char* const* pszColumns, VARIANT** ppValues,
                   DWORD* pnCount) override;
  bool SelectNext(const char* szTable, const char* const* pszColumns, VARIANT** ppValues,
                  DWORD* pnCount) override;
  bool QueryFirst(const char* szSql, VARIANT** ppValues, DWORD* pnCount) override;
  bool QueryNext(const char* szSql, VARIANT** ppValues, DWORD* pnCount) override;
  bool ExecuteSql(const char* szSql, bool bOpen) override;
  // The engine's message for the last statement or open that failed; empty when the last
  // one worked (a query that found no row worked).
  std::string GetLastErrorText() const;

  virtual TADOQuery* GetAddrQuery();
  virtual TADOQuery* GetDateQuery();
  virtual TADOQuery* GetTodoQuery();
  virtual TADOQuery* GetMemoQuery();
  virtual TADOQuery* GetQuery();
  virtual TADOConnection* GetAddrConnection();
  virtual TADOConnection* GetDateConnection();
  virtual TADOConnection* GetTodoConnection();
  virtual TADOConnection* GetMemoConnection();
  virtual TADOConnection* GetConnection();

  int GetDbKind() const { return m_nDbKind; }
  const char* GetDbFile() const { return m_szDbFile; }

 protected:
  TdmMain* m_pDataModule;  // not owned
  int m_nDbKind;
  char m_szDbFile[MAX_PATH];
};

// A row of the table "Category".
class PmCategoryEx2 {
 public:
  PmCategoryEx2();
  PmCategoryEx2(const PmCategoryEx2& other) = default;
  PmCategoryEx2& operator=(const PmCategoryEx2& other) = default;
  virtual ~PmCategoryEx2();

  // Keeps at most 254 characters.
  void SetName(const char* szText);

  LONG nId;
  char szName[256];
  LONG nStatus;
  LONG nColor;
};

class PmCategoryEx2Mgr {
 public:
  // Given an accessor, loads the rows of "Category" at once.
  explicit PmCategoryEx2Mgr(PmDataAccessor* pAccessor = nullptr);
  virtual ~PmCategoryEx2Mgr();
  PmCategoryEx2Mgr(const PmCategoryEx2Mgr&) = delete;
  PmCategoryEx2Mgr& operator=(const PmCategoryEx2Mgr&) = delete;

  virtual int GetCount();
  virtual void RemoveAll();
  // Appends a copy.
  virtual bool Add(const PmCategoryEx2* pCategory);
  // Inserts the category into the table with a new id (also written into *pCategory) and
  // appends a copy. The id is the count plus one when no category holds it, otherwise the
  // next id above it that none holds, so two categories never share an id.
  virtual bool AddNew(PmCategoryEx2* pCategory);
  virtual PmCategoryEx2* FindById(LONG nId);
  virtual PmCategoryEx2* GetAt(int nIndex);
  // Exact, case-sensitive comparison; null for an empty or missing name.
  virtual PmCategoryEx2* FindByName(const char* szName);
  virtual PmCategoryEx2* GetFirst();
  virtual PmCategoryEx2* GetNext();

  void SetAccessor(PmDataAccessor* pAccessor) { m_pAccessor = pAccessor; }
  PmDataAccessor* GetAccessor() const { return m_pAccessor; }

 private:
  PmDataAccessor* m_pAccessor;  // not owned
  std::vector<std::unique_ptr<PmCategoryEx2>> m_List;
  size_t m_nCursor;
};

// Facts of the table "Information"; 0 or empty when not read.
class PmInfoEx2 {
 public:
  PmInfoEx2();
  virtual ~PmInfoEx2();

  LONG nLicense;
  LONG nVersion;
  LONG nMinor;
  LONG nCodePage;
  LONG nPreSahara;
  LONG nFreeRecId;
  char szTableString[1024];
};

// The base of the 6.x application utilities: one accessor, made by the first Open and
// re-opened by every later one, the category list and the database information.
class PmDBEx2Util {
 public:
  PmDBEx2Util();
  virtual ~PmDBEx2Util();
  PmDBEx2Util(const PmDBEx2Util&) = delete;
  PmDBEx2Util& operator=(const PmDBEx2Util&) = delete;

  // False only for an empty path or a missing file; a file the engine cannot open is
  // logged and leaves the lists empty.
  virtual bool Open(int nDbKind, const char* szPath);
  virtual bool LoadCategories();
  virtual bool LoadInfo();
  virtual bool SelectByRecordId(LONG nRecordId, const char* const* pszColumns, VARIANT** ppValues,
                                DWORD* pnCount);
  virtual bool SelectWhere(const char* szWhere, const char* const* pszColumns, VARIANT** ppValues,
                           DWORD* pnCount);

  PmMDBAccessor* GetAccessor() const { return m_pAccessor.get(); }
  PmCategoryEx2Mgr* GetCategories() const { return m_pCategories.get(); }
  PmInfoEx2* GetInfo() const { return m_pInfo.get(); }

 protected:
  std::unique_ptr<PmMDBAccessor> m_pAccessor;
  std::unique_ptr<PmCategoryEx2Mgr> m_pCategories;
  std::unique_ptr<PmInfoEx2> m_pInfo;
};
