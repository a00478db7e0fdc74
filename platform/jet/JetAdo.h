// The ADO connection and query objects the Palm Desktop 6.x database code talks to, over
// SQLite. A connection string "Provider=Microsoft.Jet.OLEDB.4.0;Data Source="path"" opens the
// file at that path: a SQLite file read-write, a real Jet file (recognised by its header)
// read-only, its tables copied into an in-memory SQLite database through mdbtools so that
// every statement runs on one engine.
//
// Nothing here throws. Every operation that can fail returns an HRESULT; the failure itself
// (a database error carrying the engine's message text, or another error) stays readable
// through LastError() until the next operation of the same object.
#pragma once

#include <memory>
#include <string>

#include "platform/automation/OleAuto.h"
#include "platform/win/WinTypes.h"

#define JET_PROVIDER "Microsoft.Jet.OLEDB.4.0"

// The message text the engine gave, and whether the failure came from the database (ADO's
// database error) or from elsewhere (out of memory, a misuse of the objects).
struct CxDbError {
  bool bDatabaseError = false;
  std::string strMessage;

  void Clear() {
    bDatabaseError = false;
    strMessage.clear();
  }
};

class TADOQuery;

class TADOConnection {
 public:
  TADOConnection();
  ~TADOConnection();
  TADOConnection(const TADOConnection&) = delete;
  TADOConnection& operator=(const TADOConnection&) = delete;

  bool GetConnected() const;
  // Closes every query of this connection first, then the database. Closing a closed
  // connection does nothing.
  void Close();

  void SetConnectionString(const char* szConnectionString);
  const char* GetConnectionString() const;
  // Used when the connection string names no provider.
  void SetProvider(const char* szProvider);
  const char* GetProvider() const;
  // There is nobody to prompt here; the flag is kept for the callers that set it.
  void SetLoginPrompt(bool bLoginPrompt) { m_bLoginPrompt = bLoginPrompt; }
  bool GetLoginPrompt() const { return m_bLoginPrompt; }

  // Opens the database the connection string names. Fails on an open connection, an
  // unknown provider, a missing or unreadable file.
  HRESULT Open();
  // True while the open database is a real Jet file (writes are refused).
  bool IsReadOnly() const;

  const CxDbError& LastError() const { return m_Error; }

 private:
  friend class TADOQuery;
  struct Impl;

  void Attach(TADOQuery* pQuery);
  void Detach(TADOQuery* pQuery);

  std::unique_ptr<Impl> m_pImpl;
  bool m_bLoginPrompt = true;
  CxDbError m_Error;
};

class TADOQuery {
 public:
  explicit TADOQuery(TADOConnection* pConnection = nullptr);
  ~TADOQuery();
  TADOQuery(const TADOQuery&) = delete;
  TADOQuery& operator=(const TADOQuery&) = delete;

  void SetConnection(TADOConnection* pConnection);
  TADOConnection* GetConnection() const { return m_pConnection; }

  // Ends the current result; the SQL text stays.
  void Close();
  bool GetActive() const;

  // The SQL text is kept as lines, joined with a line break when run.
  void ClearSql();
  void AddSql(const char* szLine);
  const char* GetSql() const { return m_strSql.c_str(); }

  // Runs a statement that returns rows and stands on its first row (or at the end).
  HRESULT Open();
  // Runs a statement that returns no rows.
  HRESULT ExecSql();
  // Moves to the next row; at the end it stays there.
  HRESULT Next();
  // True when the result is past its last row, and whenever the query is not open.
  bool Eof() const;

  int GetFieldCount() const;
  // The value of a column of the current row, typed by the column's declared type: a
  // column declared BIT, BOOLEAN or YESNO gives VT_BOOL; integer columns VT_I4 (VT_I2,
  // VT_I1 for the short kinds); texts VT_BSTR; dates VT_DATE; a NULL, a binary value or an
  // unknown type VT_EMPTY. pValue is overwritten without being cleared first; the caller
  // owns what it receives.
  HRESULT GetFieldValue(int nIndex, VARIANT* pValue) const;

  const CxDbError& LastError() const { return m_Error; }

 private:
  friend class TADOConnection;
  struct Impl;

  HRESULT Run(bool bWantRows);
  HRESULT Fail(bool bDatabaseError, const std::string& strMessage);

  TADOConnection* m_pConnection = nullptr;
  std::string m_strSql;
  std::unique_ptr<Impl> m_pImpl;
  CxDbError m_Error;
};
