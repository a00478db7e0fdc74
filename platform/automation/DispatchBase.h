// What an in-process automation server needs to implement IDispatch without a type library:
// reference counting, name lookup through a member table, and the argument checks that the
// COM dispatcher makes before a member runs (positional count, the named DISPID_PROPERTYPUT
// argument of a property put, type coercion between the numeric types). A server object
// derives from CxDispatchBase, hands it its member table and implements InvokeMember.
#pragma once

#include <atomic>
#include <string>

#include "platform/automation/ComBase.h"

// One member of an object: its name (matched without regard to case) and id.
struct CxDispMember {
  const char* szName;
  DISPID nId;
};

class CxDispatchBase : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                        DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // Coerces a value into vt as the dispatcher does for typed parameters: the integer, real,
  // date and boolean types convert into each other (out of range gives DISP_E_OVERFLOW),
  // texts only into texts. pOut receives a value it owns (a copied BSTR).
  static HRESULT Coerce(const VARIANT* pIn, VARTYPE vt, VARIANT* pOut);

 protected:
  CxDispatchBase(const CxDispMember* pMembers, size_t nMembers)
      : m_pMembers(pMembers), m_nMembers(nMembers) {}
  ~CxDispatchBase() override = default;

  // Runs a member after the generic checks: dispIdMember is one of the table's, wFlags holds
  // at least one call kind. pVarResult may be null (the caller does not want the value).
  virtual HRESULT InvokeMember(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams,
                               VARIANT* pVarResult) = 0;

  // The value of a property put, coerced to vt; DISP_E_PARAMNOTOPTIONAL when the put does not
  // carry exactly one argument named DISPID_PROPERTYPUT.
  static HRESULT PutValue(DISPPARAMS* pDispParams, VARTYPE vt, VARIANT* pOut);
  // Positional argument nIndex (0 = the first as the caller wrote it), coerced to vt.
  // DISP_E_BADPARAMCOUNT when the call has more than nMaxArgs arguments or fewer than
  // nIndex + 1.
  static HRESULT Arg(DISPPARAMS* pDispParams, UINT nIndex, UINT nMaxArgs, VARTYPE vt,
                     VARIANT* pOut);
  // DISP_E_BADPARAMCOUNT unless the call has no arguments.
  static HRESULT NoArgs(DISPPARAMS* pDispParams);

  static void SetBstr(VARIANT* pResult, const std::u16string& text);
  static void SetI4(VARIANT* pResult, LONG nValue);
  static void SetBool(VARIANT* pResult, bool bValue);
  static void SetDate(VARIANT* pResult, DATE dtValue);
  // Takes over the reference the caller holds on pObject.
  static void SetDispatch(VARIANT* pResult, IDispatch* pObject);

  // Says why the member now running fails, in words for the user. When the member returns
  // a failure and the caller passed an EXCEPINFO, Invoke fills it (the text, and the failure
  // as scode) and returns DISP_E_EXCEPTION, as automation servers report their errors.
  static void RaiseError(const std::string& strDescription);

 private:
  const CxDispMember* m_pMembers;
  size_t m_nMembers;
  std::atomic<ULONG> m_nRefs{1};
};

// A class factory whose objects come from one function. The function returns an object
// that already holds one reference; the factory queries it for the interface asked and
// drops that first reference.
class CxClassFactory : public IClassFactory {
 public:
  typedef IUnknown* (*CreateFn)();
  explicit CxClassFactory(CreateFn pfnCreate) : m_pfnCreate(pfnCreate) {}

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
  HRESULT LockServer(BOOL fLock) override { return S_OK; }

 protected:
  ~CxClassFactory() override = default;

 private:
  CreateFn m_pfnCreate;
  std::atomic<ULONG> m_nRefs{1};
};
