// IDispatch plumbing for the program's own automation servers.
#include "platform/automation/DispatchBase.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/win/WinText.h"

namespace {

bool SameNameNoCase(const char* szName, LPCOLESTR pszWide) {
  for (; *szName && *pszWide; ++szName, ++pszWide) {
    char16_t a = static_cast<unsigned char>(*szName);
    char16_t b = *pszWide;
    if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - 32);
    if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - 32);
    if (a != b) return false;
  }
  return *szName == 0 && *pszWide == 0;
}

// The numeric value of a variant, for coercion between the number-like types.
bool NumberOf(const VARIANT* pIn, double* pValue) {
  switch (pIn->vt) {
    case VT_I2:
      *pValue = pIn->iVal;
      return true;
    case VT_I4:
      *pValue = pIn->lVal;
      return true;
    case VT_INT:
      *pValue = pIn->intVal;
      return true;
    case VT_UI4:
      *pValue = pIn->ulVal;
      return true;
    case VT_R4:
      *pValue = pIn->fltVal;
      return true;
    case VT_R8:
      *pValue = pIn->dblVal;
      return true;
    case VT_DATE:
      *pValue = pIn->date;
      return true;
    case VT_BOOL:
      *pValue = pIn->boolVal ? -1.0 : 0.0;
      return true;
    default:
      return false;
  }
}

}  // namespace

HRESULT CxDispatchBase::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch) {
    *ppvObject = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG CxDispatchBase::AddRef() {
  return ++m_nRefs;
}

ULONG CxDispatchBase::Release() {
  ULONG nLeft = --m_nRefs;
  if (nLeft == 0) delete this;
  return nLeft;
}

HRESULT CxDispatchBase::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_INVALIDARG;
  *pctinfo = 0;
  return S_OK;
}

HRESULT CxDispatchBase::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT CxDispatchBase::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                      DISPID* rgDispId) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0) return E_INVALIDARG;
  // Member names are the same in every locale; names after the first would be parameter
  // names, which no member here takes.
  HRESULT hr = S_OK;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  if (rgszNames[0] == nullptr) return DISP_E_UNKNOWNNAME;
  for (size_t i = 0; i < m_nMembers; ++i) {
    if (SameNameNoCase(m_pMembers[i].szName, rgszNames[0])) {
      rgDispId[0] = m_pMembers[i].nId;
      break;
    }
  }
  if (rgDispId[0] == DISPID_UNKNOWN || cNames > 1) hr = DISP_E_UNKNOWNNAME;
  return hr;
}

namespace {

// The description of the failure of the member running on this thread.
std::string& PendingError() {
  thread_local std::string strError;
  return strError;
}

}  // namespace

HRESULT CxDispatchBase::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                               UINT* puArgErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (pDispParams == nullptr) return E_INVALIDARG;
  if ((wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT |
                 DISPATCH_PROPERTYPUTREF)) == 0) {
    return E_INVALIDARG;
  }
  if (pDispParams->cArgs > 0 && pDispParams->rgvarg == nullptr) return E_INVALIDARG;
  if (pDispParams->cNamedArgs > pDispParams->cArgs ||
      (pDispParams->cNamedArgs > 0 && pDispParams->rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  bool bKnown = false;
  for (size_t i = 0; i < m_nMembers && !bKnown; ++i) bKnown = m_pMembers[i].nId == dispIdMember;
  if (!bKnown) return DISP_E_MEMBERNOTFOUND;
  if (pVarResult != nullptr) VariantInit(pVarResult);
  PendingError().clear();
  const HRESULT hr = InvokeMember(dispIdMember, wFlags, pDispParams, pVarResult);
  std::string strError;
  strError.swap(PendingError());
  if (!FAILED(hr) || strError.empty() || pExcepInfo == nullptr) return hr;
  std::memset(pExcepInfo, 0, sizeof(*pExcepInfo));
  const std::u16string strWide = CxAnsiToUtf16(strError.c_str());
  pExcepInfo->bstrDescription = SysAllocString(strWide.c_str());
  pExcepInfo->scode = hr;
  return DISP_E_EXCEPTION;
}

void CxDispatchBase::RaiseError(const std::string& strDescription) {
  PendingError() = strDescription;
}

HRESULT CxDispatchBase::Coerce(const VARIANT* pIn, VARTYPE vt, VARIANT* pOut) {
  VariantInit(pOut);
  if (pIn->vt == vt) return VariantCopy(pOut, pIn);
  double dValue = 0;
  if (!NumberOf(pIn, &dValue)) return DISP_E_TYPEMISMATCH;
  switch (vt) {
    case VT_I4: {
      double dRounded = std::nearbyint(dValue);
      if (dRounded < std::numeric_limits<LONG>::min() ||
          dRounded > std::numeric_limits<LONG>::max()) {
        return DISP_E_OVERFLOW;
      }
      pOut->vt = VT_I4;
      pOut->lVal = static_cast<LONG>(dRounded);
      return S_OK;
    }
    case VT_BOOL:
      pOut->vt = VT_BOOL;
      pOut->boolVal = dValue != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case VT_DATE:
      if (pIn->vt == VT_BOOL || !std::isfinite(dValue)) return DISP_E_TYPEMISMATCH;
      pOut->vt = VT_DATE;
      pOut->date = dValue;
      return S_OK;
    case VT_R8:
      pOut->vt = VT_R8;
      pOut->dblVal = dValue;
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT CxDispatchBase::PutValue(DISPPARAMS* pDispParams, VARTYPE vt, VARIANT* pOut) {
  VariantInit(pOut);
  if (pDispParams->cArgs != 1 || pDispParams->cNamedArgs != 1 ||
      pDispParams->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
    return pDispParams->cArgs == 0 ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
  }
  return Coerce(&pDispParams->rgvarg[0], vt, pOut);
}

HRESULT CxDispatchBase::Arg(DISPPARAMS* pDispParams, UINT nIndex, UINT nMaxArgs, VARTYPE vt,
                            VARIANT* pOut) {
  VariantInit(pOut);
  if (pDispParams->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
  if (pDispParams->cArgs > nMaxArgs || nIndex >= pDispParams->cArgs) return DISP_E_BADPARAMCOUNT;
  // COM passes the arguments last first.
  return Coerce(&pDispParams->rgvarg[pDispParams->cArgs - 1 - nIndex], vt, pOut);
}

HRESULT CxDispatchBase::NoArgs(DISPPARAMS* pDispParams) {
  return pDispParams->cArgs == 0 ? S_OK : DISP_E_BADPARAMCOUNT;
}

void CxDispatchBase::SetBstr(VARIANT* pResult, const std::u16string& text) {
  if (pResult == nullptr) return;
  pResult->vt = VT_BSTR;
  pResult->bstrVal = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
}

void CxDispatchBase::SetI4(VARIANT* pResult, LONG nValue) {
  if (pResult == nullptr) return;
  pResult->vt = VT_I4;
  pResult->lVal = nValue;
}

void CxDispatchBase::SetBool(VARIANT* pResult, bool bValue) {
  if (pResult == nullptr) return;
  pResult->vt = VT_BOOL;
  pResult->boolVal = bValue ? VARIANT_TRUE : VARIANT_FALSE;
}

void CxDispatchBase::SetDate(VARIANT* pResult, DATE dtValue) {
  if (pResult == nullptr) return;
  pResult->vt = VT_DATE;
  pResult->date = dtValue;
}

void CxDispatchBase::SetDispatch(VARIANT* pResult, IDispatch* pObject) {
  if (pResult == nullptr) {
    if (pObject != nullptr) pObject->Release();
    return;
  }
  pResult->vt = VT_DISPATCH;
  pResult->pdispVal = pObject;
}

HRESULT CxClassFactory::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppvObject = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG CxClassFactory::AddRef() {
  return ++m_nRefs;
}

ULONG CxClassFactory::Release() {
  ULONG nLeft = --m_nRefs;
  if (nLeft == 0) delete this;
  return nLeft;
}

HRESULT CxClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  IUnknown* pObject = m_pfnCreate();
  if (pObject == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = pObject->QueryInterface(riid, ppvObject);
  pObject->Release();
  return hr;
}
