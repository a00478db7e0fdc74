// Late-bound automation calls by member name. CDispCmd wraps one IDispatch reference and
// turns members into typed reads, writes and method calls; the Outlook store reaches every
// Outlook object through it. Texts are ANSI (Windows-1252) on this side and automation
// strings (UTF-16 BSTRs) on the object's side.
//
// Results are COM status codes: negative is failure, S_OK success, S_FALSE a call that went
// through but gave a value of another type (the out value is then left as it was) or had no
// target buffer. Only a failed name lookup is logged; callers log failed calls themselves.
#pragma once

#include <string>

#include "platform/automation/ComBase.h"
#include "platform/automation/OleAuto.h"
#include "platform/win/WinTypes.h"

// The longest text PutString hands to an object, in wide characters.
#define DISPCMD_MAX_PUT_CHARS 20479

class CDispCmd {
 public:
  CDispCmd();
  // Takes a reference of its own on pDispatch (which may be null).
  explicit CDispCmd(IDispatch* pDispatch);
  virtual ~CDispCmd();
  CDispCmd(const CDispCmd&) = delete;
  CDispCmd& operator=(const CDispCmd&) = delete;

  // The wrapped object, without a reference added.
  IDispatch* GetDispatch() const { return m_pDispatch; }

  // What the object said about the last call that failed (ANSI), empty when it said
  // nothing. A call that reports its failure as an exception returns the failure itself
  // (the exception's scode), not DISP_E_EXCEPTION.
  const std::string& GetLastErrorText() const { return m_strLastError; }

  // Looks the name up (system locale, then US English) and invokes it with the call kind.
  // E_INVALIDARG without object or name.
  HRESULT InvokeByName(LPCOLESTR szName, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult);

  // pArgs are in COM's order (the last argument first), as DISPPARAMS carries them.
  HRESULT CallMethod(LPCOLESTR szName, VARIANT* pArgs, int nArgs, VARIANT* pResult,
                     DISPID* pNamedIds, int nNamed);
  HRESULT GetProperty(LPCOLESTR szName, VARIANT* pResult);
  HRESULT PutProperty(LPCOLESTR szName, VARIANT* pValue);

  // The text cut to nSize - 1 bytes.
  HRESULT GetString(LPCOLESTR szName, char* szBuf, int nSize);
  HRESULT GetInt(LPCOLESTR szName, LONG* pnValue);
  // *pbValue is 1 for any true value (VARIANT_TRUE is -1), else 0.
  HRESULT GetBool(LPCOLESTR szName, BOOL* pbValue);
  HRESULT GetDate(LPCOLESTR szName, DATE* pdtValue);
  // *ppObject is null unless an object comes back; its reference passes to the caller.
  HRESULT GetObject(LPCOLESTR szName, IDispatch** ppObject);

  // A missing text is not written (S_OK without a call); an empty one is.
  HRESULT PutString(LPCOLESTR szName, const char* szText);
  HRESULT PutInt(LPCOLESTR szName, LONG nValue);
  // Puts VT_BOOL holding 1 or 0.
  HRESULT PutBool(LPCOLESTR szName, BOOL bValue);
  // A date within 0.00001 of 0 (no date) is not written (S_OK without a call).
  HRESULT PutDate(LPCOLESTR szName, DATE dtValue);

 private:
  IDispatch* m_pDispatch;
  std::string m_strLastError;
};
