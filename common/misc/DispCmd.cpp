// Late-bound automation calls. Every call looks its member up by name first; names that an
// object only knows in English (a localized Outlook) are found by a second lookup in US
// English.
#include "common/misc/DispCmd.h"
#define DB_MODULE "DispCmd"
#include <cmath>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinString.h"
#include "platform/win/WinText.h"

namespace {

const LCID kSystemLocale = LOCALE_SYSTEM_DEFAULT;  // 2048
const LCID kEnglishLocale =
    MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);  // 1033
// Dates closer to 0 than this are "no date" and are not written.
constexpr double kNoDate = 0.00001;

// A property get whose value must be of one type; anything else is released and answers 1.
HRESULT GetTyped(CDispCmd* pCmd, LPCOLESTR szName, VARTYPE vt, VARIANT* pValue) {
  VariantInit(pValue);
  HRESULT hr = pCmd->GetProperty(szName, pValue);
  if (FAILED(hr)) return hr;
  if (pValue->vt != vt) {
    VariantClear(pValue);
    return S_FALSE;
  }
  return S_OK;
}

}  // namespace

CDispCmd::CDispCmd() : m_pDispatch(nullptr) {}

CDispCmd::CDispCmd(IDispatch* pDispatch) : m_pDispatch(pDispatch) {
  if (m_pDispatch != nullptr) m_pDispatch->AddRef();
}

CDispCmd::~CDispCmd() {
  if (m_pDispatch != nullptr) m_pDispatch->Release();
}

HRESULT CDispCmd::InvokeByName(LPCOLESTR szName, WORD wFlags, DISPPARAMS* pParams,
                               VARIANT* pResult) {
  m_strLastError.clear();
  if (m_pDispatch == nullptr || szName == nullptr || *szName == 0) return E_INVALIDARG;
  DISPID nId = DISPID_UNKNOWN;
  LPOLESTR pszName = const_cast<LPOLESTR>(szName);
  HRESULT hr = m_pDispatch->GetIDsOfNames(IID_NULL, &pszName, 1, kSystemLocale, &nId);
  if (hr == DISP_E_UNKNOWNNAME) {
    hr = m_pDispatch->GetIDsOfNames(IID_NULL, &pszName, 1, kEnglishLocale, &nId);
  }
  if (FAILED(hr)) {
    // The log takes ANSI text; the name is converted rather than passed as a wide string.
    std::string strName = CxUtf16ToAnsi(szName);
    Log(0, "Failed to call IDispatch->GetIDsOfNames, Name=%s, hr=0x%08x", strName.c_str(),
        static_cast<unsigned>(hr));
    return hr;
  }
  DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
  EXCEPINFO excep = {};
  hr = m_pDispatch->Invoke(nId, IID_NULL, kSystemLocale, wFlags,
                           pParams != nullptr ? pParams : &noArgs, pResult, &excep, nullptr);
  if (hr == DISP_E_EXCEPTION) {
    if (excep.bstrDescription != nullptr) m_strLastError = CxUtf16ToAnsi(excep.bstrDescription);
    if (FAILED(excep.scode)) hr = excep.scode;
  }
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

HRESULT CDispCmd::CallMethod(LPCOLESTR szName, VARIANT* pArgs, int nArgs, VARIANT* pResult,
                             DISPID* pNamedIds, int nNamed) {
  DISPPARAMS params;
  params.rgvarg = nArgs > 0 ? pArgs : nullptr;
  params.cArgs = nArgs > 0 && pArgs != nullptr ? static_cast<UINT>(nArgs) : 0;
  params.rgdispidNamedArgs = nNamed > 0 ? pNamedIds : nullptr;
  params.cNamedArgs = nNamed > 0 && pNamedIds != nullptr ? static_cast<UINT>(nNamed) : 0;
  return InvokeByName(szName, DISPATCH_METHOD, &params, pResult);
}

HRESULT CDispCmd::GetProperty(LPCOLESTR szName, VARIANT* pResult) {
  DISPPARAMS params = {nullptr, nullptr, 0, 0};
  return InvokeByName(szName, DISPATCH_PROPERTYGET, &params, pResult);
}

HRESULT CDispCmd::PutProperty(LPCOLESTR szName, VARIANT* pValue) {
  DISPID nNamed = DISPID_PROPERTYPUT;
  DISPPARAMS params = {pValue, &nNamed, 1, 1};
  return InvokeByName(szName, DISPATCH_PROPERTYPUT, &params, nullptr);
}

HRESULT CDispCmd::GetString(LPCOLESTR szName, char* szBuf, int nSize) {
  if (szBuf == nullptr || nSize <= 0) return S_FALSE;
  VARIANT value;
  HRESULT hr = GetTyped(this, szName, VT_BSTR, &value);
  if (hr != S_OK) return hr;
  if (value.bstrVal == nullptr) {
    szBuf[0] = 0;
  } else {
    std::string strText = CxUtf16ToAnsi(value.bstrVal);
    lstrcpyn(szBuf, strText.c_str(), nSize);
  }
  VariantClear(&value);
  return S_OK;
}

HRESULT CDispCmd::GetInt(LPCOLESTR szName, LONG* pnValue) {
  VARIANT value;
  HRESULT hr = GetTyped(this, szName, VT_I4, &value);
  if (hr == S_OK && pnValue != nullptr) *pnValue = value.lVal;
  return hr;
}

HRESULT CDispCmd::GetBool(LPCOLESTR szName, BOOL* pbValue) {
  VARIANT value;
  HRESULT hr = GetTyped(this, szName, VT_BOOL, &value);
  if (hr == S_OK && pbValue != nullptr) *pbValue = value.boolVal != 0 ? 1 : 0;
  return hr;
}

HRESULT CDispCmd::GetDate(LPCOLESTR szName, DATE* pdtValue) {
  VARIANT value;
  HRESULT hr = GetTyped(this, szName, VT_DATE, &value);
  if (hr == S_OK && pdtValue != nullptr) *pdtValue = value.date;
  return hr;
}

HRESULT CDispCmd::GetObject(LPCOLESTR szName, IDispatch** ppObject) {
  if (ppObject != nullptr) *ppObject = nullptr;
  VARIANT value;
  HRESULT hr = GetTyped(this, szName, VT_DISPATCH, &value);
  if (hr != S_OK) return hr;
  if (ppObject != nullptr) {
    *ppObject = value.pdispVal;  // the reference passes to the caller
  } else {
    VariantClear(&value);
  }
  return S_OK;
}

HRESULT CDispCmd::PutString(LPCOLESTR szName, const char* szText) {
  // An empty text is written too: it is how a cleared location or note travels.
  if (szText == nullptr) return S_OK;
  // Windows-1252 gives one wide character per byte, so the cut never splits a character.
  std::u16string strWide = CxAnsiToUtf16(szText);
  if (strWide.size() > DISPCMD_MAX_PUT_CHARS) strWide.resize(DISPCMD_MAX_PUT_CHARS);
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(strWide.c_str(), static_cast<UINT>(strWide.size()));
  if (value.bstrVal == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = PutProperty(szName, &value);
  VariantClear(&value);
  return hr;
}

HRESULT CDispCmd::PutInt(LPCOLESTR szName, LONG nValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = nValue;
  return PutProperty(szName, &value);
}

HRESULT CDispCmd::PutBool(LPCOLESTR szName, BOOL bValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = bValue ? 1 : 0;
  return PutProperty(szName, &value);
}

HRESULT CDispCmd::PutDate(LPCOLESTR szName, DATE dtValue) {
  if (std::fabs(dtValue) <= kNoDate) return S_OK;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_DATE;
  value.date = dtValue;
  return PutProperty(szName, &value);
}
