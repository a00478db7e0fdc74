// BSTR layout and the ownership rules of VARIANT: what VariantClear frees and releases and
// what VariantCopy duplicates.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/automation/ComBase.h"
#include "platform/automation/OleAuto.h"

namespace {

// Counts references so the tests see every AddRef and Release.
class CountedObject : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppvObject = this;
      AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_nRefs; }
  ULONG Release() override { return --m_nRefs; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  ULONG m_nRefs = 1;
};

TEST(BstrTest, CarriesItsByteLengthBeforeTheText) {
  BSTR bstr = SysAllocString(u"Palm");
  ASSERT_NE(nullptr, bstr);
  DWORD nPrefix = 0;
  std::memcpy(&nPrefix, reinterpret_cast<const char*>(bstr) - sizeof(DWORD), sizeof(DWORD));
  EXPECT_EQ(8u, nPrefix);
  EXPECT_EQ(4u, SysStringLen(bstr));
  EXPECT_EQ(0, bstr[4]);
  SysFreeString(bstr);
}

TEST(BstrTest, LengthCountsEmbeddedNuls) {
  const OLECHAR text[] = {u'a', 0, u'b'};
  BSTR bstr = SysAllocStringLen(text, 3);
  ASSERT_NE(nullptr, bstr);
  EXPECT_EQ(3u, SysStringLen(bstr));
  EXPECT_EQ(u'b', bstr[2]);
  SysFreeString(bstr);

  BSTR bstrBlank = SysAllocStringLen(nullptr, 5);
  ASSERT_NE(nullptr, bstrBlank);
  EXPECT_EQ(5u, SysStringLen(bstrBlank));
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(0, bstrBlank[i]);
  SysFreeString(bstrBlank);
}

TEST(BstrTest, NullAndEmpty) {
  EXPECT_EQ(nullptr, SysAllocString(nullptr));
  EXPECT_EQ(0u, SysStringLen(nullptr));
  SysFreeString(nullptr);
  BSTR bstrEmpty = SysAllocString(u"");
  ASSERT_NE(nullptr, bstrEmpty);
  EXPECT_EQ(0u, SysStringLen(bstrEmpty));
  SysFreeString(bstrEmpty);
  // The length prefix holds bytes in 32 bits; anything longer is refused.
  EXPECT_EQ(nullptr, SysAllocStringLen(nullptr, 0x80000000u));
}

TEST(VariantTest, ClearReleasesInterfacesAndEmpties) {
  CountedObject object;
  VARIANT var;
  VariantInit(&var);
  EXPECT_EQ(VT_EMPTY, var.vt);
  var.vt = VT_DISPATCH;
  var.pdispVal = &object;
  object.AddRef();
  EXPECT_EQ(S_OK, VariantClear(&var));
  EXPECT_EQ(1u, object.m_nRefs);
  EXPECT_EQ(VT_EMPTY, var.vt);

  var.vt = VT_UNKNOWN;
  var.punkVal = &object;
  object.AddRef();
  EXPECT_EQ(S_OK, VariantClear(&var));
  EXPECT_EQ(1u, object.m_nRefs);

  var.vt = VT_DISPATCH;
  var.pdispVal = nullptr;
  EXPECT_EQ(S_OK, VariantClear(&var));
}

TEST(VariantTest, ClearRefusesUnknownTags) {
  VARIANT var;
  VariantInit(&var);
  var.vt = 0x4008;  // VT_BYREF | VT_BSTR: not one the program uses
  EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&var));
  EXPECT_EQ(0x4008, var.vt);
}

TEST(VariantTest, CopyDuplicatesWhatItOwns) {
  CountedObject object;
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocString(u"Outlook");
  VARIANT dst;
  VariantInit(&dst);
  dst.vt = VT_DISPATCH;
  dst.pdispVal = &object;
  object.AddRef();

  // The destination's old value is released before the copy.
  ASSERT_EQ(S_OK, VariantCopy(&dst, &src));
  EXPECT_EQ(1u, object.m_nRefs);
  EXPECT_EQ(VT_BSTR, dst.vt);
  ASSERT_NE(src.bstrVal, dst.bstrVal);
  EXPECT_EQ(std::u16string(u"Outlook"), std::u16string(dst.bstrVal));
  VariantClear(&src);
  EXPECT_EQ(7u, SysStringLen(dst.bstrVal));  // still alive after the source is gone

  src.vt = VT_DISPATCH;
  src.pdispVal = &object;
  ASSERT_EQ(S_OK, VariantCopy(&dst, &src));
  EXPECT_EQ(2u, object.m_nRefs);
  EXPECT_EQ(S_OK, VariantCopy(&dst, &dst));
  EXPECT_EQ(2u, object.m_nRefs);
  VariantClear(&dst);
  EXPECT_EQ(1u, object.m_nRefs);

  src.vt = VT_DATE;
  src.date = 40609.5;
  ASSERT_EQ(S_OK, VariantCopy(&dst, &src));
  EXPECT_EQ(VT_DATE, dst.vt);
  EXPECT_EQ(40609.5, dst.date);
}

TEST(GuidTest, WellKnownInterfaceIds) {
  const GUID dispatch = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_TRUE(IsEqualIID(dispatch, IID_IDispatch));
  EXPECT_EQ(0u, IID_IUnknown.Data1);
  EXPECT_EQ(0xC0, IID_IUnknown.Data4[0]);
  EXPECT_EQ(1u, IID_IClassFactory.Data1);
  EXPECT_EQ(0, IID_NULL.Data4[0]);
  EXPECT_NE(IID_NULL, IID_IUnknown);
}

}  // namespace
