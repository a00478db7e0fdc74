// The in-process COM runtime and the IDispatch plumbing servers build on: the status codes a
// caller sees for each way a creation or a call can go wrong, as COM reports them.
#include <gtest/gtest.h>

#include "platform/automation/ComRuntime.h"
#include "platform/automation/DispatchBase.h"

namespace {

const CLSID kClsid = {0xabcdef01, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};

int g_nLive = 0;

const CxDispMember kMembers[] = {{"Count", 1}, {"Scale", 2}, {"Title", 3}};

// Count: read-only VT_I4; Scale: a method of one VT_I4 argument; Title: a VT_BSTR property.
class Sample : public CxDispatchBase {
 public:
  Sample() : CxDispatchBase(kMembers, 3) { ++g_nLive; }

 protected:
  ~Sample() override { --g_nLive; }
  HRESULT InvokeMember(DISPID nId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult) override {
    VARIANT value;
    HRESULT hr = S_OK;
    switch (nId) {
      case 1:
        if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
        SetI4(pResult, m_nCount);
        return S_OK;
      case 2:
        if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        hr = Arg(pParams, 0, 1, VT_I4, &value);
        if (FAILED(hr)) return hr;
        m_nCount *= value.lVal;
        return S_OK;
      default:
        if (wFlags & DISPATCH_PROPERTYPUT) {
          hr = PutValue(pParams, VT_BSTR, &value);
          if (FAILED(hr)) return hr;
          VariantClear(&value);
          return S_OK;
        }
        SetBstr(pResult, u"t");
        return S_OK;
    }
  }

 private:
  LONG m_nCount = 2;
};

IUnknown* CreateSample() {
  return static_cast<IDispatch*>(new Sample());
}

class ComRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_nLive = 0;
    IClassFactory* pFactory = new CxClassFactory(&CreateSample);
    ASSERT_EQ(CoRegisterClassObject(kClsid, pFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &m_dwCookie),
              S_OK);
    pFactory->Release();
    ASSERT_EQ(CxRegisterProgID(u"Sample.Object", kClsid), S_OK);
  }
  void TearDown() override {
    CxRevokeProgID(u"Sample.Object");
    CoRevokeClassObject(m_dwCookie);
  }

  IDispatch* Create() {
    IDispatch* pObject = nullptr;
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                               reinterpret_cast<void**>(&pObject)),
              S_OK);
    return pObject;
  }

  DWORD m_dwCookie = 0;
};

TEST_F(ComRuntimeTest, CreationNeedsTheApartmentAndARegisteredClassInAContextAsked) {
  void* pObject = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &pObject),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(pObject, nullptr);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"Nobody.Here", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"SAMPLE.object", &clsid), S_OK);
  EXPECT_TRUE(clsid == kClsid);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &pObject),
            REGDB_E_CLASSNOTREG);
  const CLSID other = {1, 2, 3, {0}};
  EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_ALL, IID_IUnknown, &pObject),
            REGDB_E_CLASSNOTREG);
  IUnknown* pOuter = reinterpret_cast<IUnknown*>(&clsid);
  EXPECT_EQ(CoCreateInstance(clsid, pOuter, CLSCTX_ALL, IID_IUnknown, &pObject),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IClassFactory, &pObject),
            E_NOINTERFACE);
  EXPECT_EQ(g_nLive, 0);  // the refused objects are gone again
  IUnknown* pUnknown = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                             IID_IUnknown, reinterpret_cast<void**>(&pUnknown)),
            S_OK);
  EXPECT_EQ(OleRun(pUnknown), S_OK);
  EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
  pUnknown->Release();
  EXPECT_EQ(g_nLive, 0);
  CoUninitialize();
  CoUninitialize();
}

TEST_F(ComRuntimeTest, ClassIsRegisteredOnceUntilRevoked) {
  IClassFactory* pFactory = new CxClassFactory(&CreateSample);
  DWORD dwCookie = 0;
  EXPECT_EQ(
      CoRegisterClassObject(kClsid, pFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &dwCookie),
      CO_E_OBJISREG);
  pFactory->Release();
  EXPECT_EQ(CoRevokeClassObject(12345), CO_E_OBJNOTREG);
}

TEST_F(ComRuntimeTest, DispatcherChecksNamesArgumentsAndCallKinds) {
  CoInitialize(nullptr);
  IDispatch* pObject = Create();
  ASSERT_NE(pObject, nullptr);
  DISPID nId = 0;
  LPOLESTR pszName = const_cast<LPOLESTR>(u"count");
  EXPECT_EQ(pObject->GetIDsOfNames(IID_NULL, &pszName, 1, 1033, &nId), S_OK);
  EXPECT_EQ(nId, 1);
  pszName = const_cast<LPOLESTR>(u"Counter");
  EXPECT_EQ(pObject->GetIDsOfNames(IID_NULL, &pszName, 1, 2048, &nId), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(nId, DISPID_UNKNOWN);

  VARIANT result;
  VariantInit(&result);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(
      pObject->Invoke(1, IID_NULL, 2048, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(
      pObject->Invoke(99, IID_NULL, 2048, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(pObject->Invoke(1, IID_IDispatch, 2048, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                            nullptr),
            DISP_E_UNKNOWNINTERFACE);
  // A read-only property cannot be put.
  EXPECT_EQ(
      pObject->Invoke(1, IID_NULL, 2048, DISPATCH_PROPERTYPUT, &none, nullptr, nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);

  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_I4;
  args[0].lVal = 3;
  DISPPARAMS one = {args, nullptr, 1, 0};
  EXPECT_EQ(pObject->Invoke(2, IID_NULL, 2048, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
            S_OK);
  DISPPARAMS two = {args, nullptr, 2, 0};
  EXPECT_EQ(pObject->Invoke(2, IID_NULL, 2048, DISPATCH_METHOD, &two, nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(pObject->Invoke(2, IID_NULL, 2048, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  args[0].vt = VT_BSTR;
  args[0].bstrVal = SysAllocString(u"3");
  EXPECT_EQ(pObject->Invoke(2, IID_NULL, 2048, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
            DISP_E_TYPEMISMATCH);
  // A put names its value DISPID_PROPERTYPUT.
  EXPECT_EQ(
      pObject->Invoke(3, IID_NULL, 2048, DISPATCH_PROPERTYPUT, &one, nullptr, nullptr, nullptr),
      DISP_E_BADPARAMCOUNT);
  DISPID nPut = DISPID_PROPERTYPUT;
  DISPPARAMS put = {args, &nPut, 1, 1};
  EXPECT_EQ(
      pObject->Invoke(3, IID_NULL, 2048, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
      S_OK);
  VariantClear(&args[0]);
  EXPECT_EQ(
      pObject->Invoke(3, IID_NULL, 2048, DISPATCH_PROPERTYPUT, &none, nullptr, nullptr, nullptr),
      DISP_E_PARAMNOTOPTIONAL);
  pObject->Release();
  EXPECT_EQ(g_nLive, 0);
  CoUninitialize();
}

struct CoerceCase {
  const char* szName;
  VARIANT in;
  VARTYPE vt;
  HRESULT hr;
  double dExpected;  // the numeric value of the result
};

VARIANT Value(VARTYPE vt, double d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  switch (vt) {
    case VT_I2:
      v.iVal = static_cast<SHORT>(d);
      break;
    case VT_I4:
      v.lVal = static_cast<LONG>(d);
      break;
    case VT_R8:
      v.dblVal = d;
      break;
    case VT_DATE:
      v.date = d;
      break;
    case VT_BOOL:
      v.boolVal = d != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      break;
  }
  return v;
}

class CoerceTest : public ::testing::TestWithParam<CoerceCase> {};

TEST_P(CoerceTest, ConvertsAsTheDispatcherDoes) {
  const CoerceCase& c = GetParam();
  VARIANT out;
  EXPECT_EQ(CxDispatchBase::Coerce(&c.in, c.vt, &out), c.hr);
  if (SUCCEEDED(c.hr)) {
    ASSERT_EQ(out.vt, c.vt);
    double dValue = c.vt == VT_I4     ? out.lVal
                    : c.vt == VT_BOOL ? out.boolVal
                    : c.vt == VT_DATE ? out.date
                                      : out.dblVal;
    EXPECT_DOUBLE_EQ(dValue, c.dExpected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CoerceTest,
    ::testing::Values(
        CoerceCase{"ShortToLong", Value(VT_I2, 7), VT_I4, S_OK, 7},
        CoerceCase{"RealRoundsToLong", Value(VT_R8, 2.5), VT_I4, S_OK, 2},
        CoerceCase{"HugeRealOverflows", Value(VT_R8, 1e12), VT_I4, DISP_E_OVERFLOW, 0},
        CoerceCase{"LongToBoolIsTrue", Value(VT_I4, 5), VT_BOOL, S_OK, -1},
        CoerceCase{"ZeroToBoolIsFalse", Value(VT_I4, 0), VT_BOOL, S_OK, 0},
        CoerceCase{"BoolIsNoDate", Value(VT_BOOL, 1), VT_DATE, DISP_E_TYPEMISMATCH, 0},
        CoerceCase{"RealToDate", Value(VT_R8, 40000.5), VT_DATE, S_OK, 40000.5},
        CoerceCase{"EmptyIsNoNumber", Value(VT_EMPTY, 0), VT_I4, DISP_E_TYPEMISMATCH, 0},
        CoerceCase{"NumberIsNoText", Value(VT_I4, 1), VT_BSTR, DISP_E_TYPEMISMATCH, 0}),
    [](const ::testing::TestParamInfo<CoerceCase>& row) { return row.param.szName; });

}  // namespace
