// Raw IDispatch calls for the server tests: look a member up and invoke it, with the
// arguments in the order a caller writes them.
#pragma once

#include <string>
#include <vector>

#include "platform/automation/ComBase.h"
#include "platform/automation/ComRuntime.h"
#include "platform/automation/OleAuto.h"

namespace autocall {

inline HRESULT Invoke(IDispatch* pObject, const char16_t* szName, WORD wFlags,
                      std::vector<VARIANT> args, VARIANT* pResult) {
  DISPID nId = 0;
  LPOLESTR pszName = const_cast<LPOLESTR>(szName);
  HRESULT hr = pObject->GetIDsOfNames(IID_NULL, &pszName, 1, LOCALE_SYSTEM_DEFAULT, &nId);
  if (FAILED(hr)) {
    for (VARIANT& arg : args) VariantClear(&arg);
    return hr;
  }
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID nPut = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(),
                       (wFlags & DISPATCH_PROPERTYPUT) ? &nPut : nullptr,
                       static_cast<UINT>(reversed.size()),
                       (wFlags & DISPATCH_PROPERTYPUT) ? 1u : 0u};
  VARIANT ignored;
  VariantInit(&ignored);
  hr = pObject->Invoke(nId, IID_NULL, LOCALE_SYSTEM_DEFAULT, wFlags, &params,
                       pResult != nullptr ? pResult : &ignored, nullptr, nullptr);
  VariantClear(&ignored);
  for (VARIANT& arg : reversed) VariantClear(&arg);
  return hr;
}

inline VARIANT I4(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}
inline VARIANT Date(DATE dt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DATE;
  v.date = dt;
  return v;
}
inline VARIANT Bool(bool b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
inline VARIANT Text(const std::u16string& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text.c_str());
  return v;
}

// Invoke frees the arguments, strings included.
inline HRESULT Put(IDispatch* p, const char16_t* szName, VARIANT value) {
  return Invoke(p, szName, DISPATCH_PROPERTYPUT, {value}, nullptr);
}

inline VARIANT Get(IDispatch* p, const char16_t* szName) {
  VARIANT v;
  VariantInit(&v);
  Invoke(p, szName, DISPATCH_PROPERTYGET, {}, &v);
  return v;
}

inline LONG GetI4(IDispatch* p, const char16_t* szName) {
  VARIANT v = Get(p, szName);
  return v.vt == VT_I4 ? v.lVal : -12345;
}
inline DATE GetDate(IDispatch* p, const char16_t* szName) {
  VARIANT v = Get(p, szName);
  return v.vt == VT_DATE ? v.date : -12345.0;
}
inline bool GetBool(IDispatch* p, const char16_t* szName) {
  VARIANT v = Get(p, szName);
  return v.vt == VT_BOOL && v.boolVal != 0;
}
inline std::u16string GetText(IDispatch* p, const char16_t* szName) {
  VARIANT v = Get(p, szName);
  std::u16string text;
  if (v.vt == VT_BSTR && v.bstrVal != nullptr) text.assign(v.bstrVal, SysStringLen(v.bstrVal));
  VariantClear(&v);
  return text;
}

// A method that answers an object; null when it does not.
inline IDispatch* CallObject(IDispatch* p, const char16_t* szName, std::vector<VARIANT> args,
                             HRESULT* phr = nullptr) {
  VARIANT v;
  VariantInit(&v);
  HRESULT hr = Invoke(p, szName, DISPATCH_METHOD, std::move(args), &v);
  if (phr != nullptr) *phr = hr;
  if (FAILED(hr) || v.vt != VT_DISPATCH) {
    VariantClear(&v);
    return nullptr;
  }
  return v.pdispVal;
}

inline HRESULT Call(IDispatch* p, const char16_t* szName) {
  return Invoke(p, szName, DISPATCH_METHOD, {}, nullptr);
}

// The calendar folder and its items, reached as the session and the store reach them:
// Application -> "MAPI" namespace -> default calendar folder. Releasing them ends the open,
// as the end of a run does.
struct CalendarFolder {
  IDispatch* pFolder = nullptr;
  IDispatch* pItems = nullptr;

  ~CalendarFolder() { Close(); }
  HRESULT Open() {
    Close();
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(u"Outlook.Application", &clsid);
    if (FAILED(hr)) return hr;
    IDispatch* pApp = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&pApp));
    if (FAILED(hr)) return hr;
    IDispatch* pNameSpace = CallObject(pApp, u"GetNameSpace", {Text(u"MAPI")}, &hr);
    pApp->Release();
    if (pNameSpace == nullptr) return hr;
    pFolder = CallObject(pNameSpace, u"GetDefaultFolder", {I4(9)}, &hr);
    pNameSpace->Release();
    if (pFolder == nullptr) return hr;
    pItems = Get(pFolder, u"Items").pdispVal;
    return S_OK;
  }
  void Close() {
    if (pItems != nullptr) pItems->Release();
    if (pFolder != nullptr) pFolder->Release();
    pItems = pFolder = nullptr;
  }
};

}  // namespace autocall
