// CDispCmd against a scripted automation object that records every lookup and call, so the
// tests see which locale a name was looked up in, whether a call was made at all and what it
// carried.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/DispCmd.h"

namespace {

class ScriptedObject : public IDispatch {
 public:
  // Names the object knows in the system locale (2048) and those it knows only in US English.
  std::map<std::u16string, DISPID> m_systemNames;
  std::map<std::u16string, DISPID> m_englishNames;
  std::map<DISPID, VARIANT> m_values;  // what a property get answers
  std::vector<LCID> m_lookups;
  std::vector<WORD> m_invokes;
  std::vector<DISPID> m_invokedIds;
  VARIANT m_lastPut{};
  bool m_bPutNamedRight = false;
  ULONG m_nRefs = 1;

  ~ScriptedObject() {
    for (auto& [nId, value] : m_values) VariantClear(&value);
    VariantClear(&m_lastPut);
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_nRefs; }
  ULONG Release() override { return --m_nRefs; }  // owned by the test
  HRESULT GetTypeInfoCount(UINT* pctinfo) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                        DISPID* rgDispId) override {
    m_lookups.push_back(lcid);
    const auto& names = lcid == 1033 ? m_englishNames : m_systemNames;
    auto it = names.find(rgszNames[0]);
    if (it == names.end() && lcid == 1033) {
      it = m_systemNames.find(rgszNames[0]);
      if (it == m_systemNames.end()) return DISP_E_UNKNOWNNAME;
    } else if (it == names.end()) {
      return DISP_E_UNKNOWNNAME;
    }
    *rgDispId = it->second;
    return S_OK;
  }
  HRESULT Invoke(DISPID nId, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pParams,
                 VARIANT* pResult, EXCEPINFO*, UINT*) override {
    m_invokes.push_back(wFlags);
    m_invokedIds.push_back(nId);
    if (wFlags == DISPATCH_PROPERTYPUT) {
      m_bPutNamedRight = pParams->cArgs == 1 && pParams->cNamedArgs == 1 &&
                         pParams->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
      VariantClear(&m_lastPut);
      VariantCopy(&m_lastPut, &pParams->rgvarg[0]);
      return S_OK;
    }
    auto it = m_values.find(nId);
    if (it == m_values.end()) return DISP_E_MEMBERNOTFOUND;
    if (pResult != nullptr) VariantCopy(pResult, &it->second);
    return S_OK;
  }

  void SetValue(const char16_t* szName, VARIANT value) {
    DISPID nId = static_cast<DISPID>(m_systemNames.size() + m_englishNames.size() + 1);
    m_systemNames[szName] = nId;
    m_values[nId] = value;
  }
};

VARIANT MakeI4(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

VARIANT MakeText(const std::u16string& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
  return v;
}

class DispCmdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_logDir =
        std::filesystem::temp_directory_path() / ("db-dispcmd-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_logDir);
    std::filesystem::remove(m_logDir / "appdebug.log");
    g_DebugLog.SetFolder((m_logDir.string() + "/").c_str());
  }
  void TearDown() override { std::filesystem::remove_all(m_logDir); }

  std::vector<std::string> LogLines() {
    std::ifstream in(m_logDir / "appdebug.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::filesystem::path m_logDir;
  ScriptedObject m_child;  // outlives m_object, whose values may refer to it
  ScriptedObject m_object;
};

TEST_F(DispCmdTest, NameKnownOnlyInUsEnglishIsFoundOnTheSecondLookup) {
  m_object.m_englishNames[u"Subject"] = 7;
  m_object.m_values[7] = MakeI4(42);
  CDispCmd cmd(&m_object);
  LONG nValue = 0;
  EXPECT_EQ(cmd.GetInt(u"Subject", &nValue), S_OK);
  EXPECT_EQ(nValue, 42);
  EXPECT_EQ(m_object.m_lookups, (std::vector<LCID>{2048, 1033}));
  EXPECT_EQ(m_object.m_invokedIds, (std::vector<DISPID>{7}));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DispCmdTest, UnknownNameLogsOneLineAndMakesNoCall) {
  CDispCmd cmd(&m_object);
  LONG nValue = 5;
  EXPECT_EQ(cmd.GetInt(u"Nonsense", &nValue), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(nValue, 5);
  EXPECT_TRUE(m_object.m_invokes.empty());
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("[DispCmd"), std::string::npos);
  EXPECT_NE(lines[0].find("[!!!] - Failed to call IDispatch->GetIDsOfNames, Name=Nonsense, "
                          "hr=0x80020006"),
            std::string::npos)
      << lines[0];
}

TEST_F(DispCmdTest, NoObjectOrNoNameIsAnInvalidArgument) {
  CDispCmd none;
  LONG nValue = 0;
  EXPECT_EQ(none.GetInt(u"Duration", &nValue), E_INVALIDARG);
  CDispCmd cmd(&m_object);
  EXPECT_EQ(cmd.GetInt(u"", &nValue), E_INVALIDARG);
  EXPECT_EQ(cmd.InvokeByName(nullptr, DISPATCH_METHOD, nullptr, nullptr), E_INVALIDARG);
  EXPECT_TRUE(m_object.m_lookups.empty());
}

// Each typed read of a value of another type answers 1 and leaves its out value alone.
TEST_F(DispCmdTest, TypeMismatchesAnswerOneAndLeaveTheOutValue) {
  m_object.SetValue(u"Number", MakeI4(3));
  m_object.SetValue(u"Text", MakeText(u"abc"));
  CDispCmd cmd(&m_object);
  char szBuf[8] = "keep";
  EXPECT_EQ(cmd.GetString(u"Number", szBuf, sizeof(szBuf)), S_FALSE);
  EXPECT_STREQ(szBuf, "keep");
  BOOL bFlag = 7;
  EXPECT_EQ(cmd.GetBool(u"Number", &bFlag), S_FALSE);
  EXPECT_EQ(bFlag, 7);
  DATE dtValue = 9.5;
  EXPECT_EQ(cmd.GetDate(u"Text", &dtValue), S_FALSE);
  EXPECT_EQ(dtValue, 9.5);
  LONG nValue = 11;
  EXPECT_EQ(cmd.GetInt(u"Text", &nValue), S_FALSE);
  EXPECT_EQ(nValue, 11);
  IDispatch* pObject = &m_object;
  EXPECT_EQ(cmd.GetObject(u"Number", &pObject), S_FALSE);
  EXPECT_EQ(pObject, nullptr);
  EXPECT_EQ(cmd.GetString(u"Text", nullptr, 8), S_FALSE);
}

TEST_F(DispCmdTest, StringIsConvertedToAnsiAndCutToTheBuffer) {
  m_object.SetValue(u"Subject", MakeText(std::u16string(300, u'x')));
  m_object.SetValue(u"Location", MakeText(u"K\u00f6ln \u20ac"));
  VARIANT nullText;
  VariantInit(&nullText);
  nullText.vt = VT_BSTR;
  nullText.bstrVal = nullptr;
  m_object.SetValue(u"Body", nullText);
  CDispCmd cmd(&m_object);
  char szBuf[256];
  EXPECT_EQ(cmd.GetString(u"Subject", szBuf, sizeof(szBuf)), S_OK);
  EXPECT_EQ(std::string(szBuf), std::string(255, 'x'));
  EXPECT_EQ(cmd.GetString(u"Location", szBuf, sizeof(szBuf)), S_OK);
  EXPECT_STREQ(szBuf, "K\xf6ln \x80");
  EXPECT_EQ(cmd.GetString(u"Body", szBuf, sizeof(szBuf)), S_OK);
  EXPECT_STREQ(szBuf, "");
}

TEST_F(DispCmdTest, AutomationTrueReadsAsOne) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = VARIANT_TRUE;
  m_object.SetValue(u"AllDayEvent", value);
  CDispCmd cmd(&m_object);
  BOOL bFlag = 0;
  EXPECT_EQ(cmd.GetBool(u"AllDayEvent", &bFlag), S_OK);
  EXPECT_EQ(bFlag, 1);
}

TEST_F(DispCmdTest, MissingTextAndZeroDateAreNotWrittenButAnEmptyTextIs) {
  m_object.m_systemNames[u"Location"] = 1;
  m_object.m_systemNames[u"Start"] = 2;
  CDispCmd cmd(&m_object);
  EXPECT_EQ(cmd.PutString(u"Location", nullptr), S_OK);
  EXPECT_EQ(cmd.PutDate(u"Start", 0.0), S_OK);
  EXPECT_EQ(cmd.PutDate(u"Start", -0.000005), S_OK);
  EXPECT_TRUE(m_object.m_lookups.empty());
  EXPECT_TRUE(m_object.m_invokes.empty());
  // A cleared location must reach the item.
  EXPECT_EQ(cmd.PutString(u"Location", ""), S_OK);
  EXPECT_EQ(m_object.m_lastPut.vt, VT_BSTR);
  EXPECT_EQ(cmd.PutDate(u"Start", 0.5), S_OK);
  EXPECT_EQ(m_object.m_invokes, (std::vector<WORD>{DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUT}));
  EXPECT_TRUE(m_object.m_bPutNamedRight);
  EXPECT_EQ(m_object.m_lastPut.vt, VT_DATE);
}

TEST_F(DispCmdTest, PutStringConvertsFromAnsiAndStopsAtTheLongestText) {
  m_object.m_systemNames[u"Body"] = 1;
  CDispCmd cmd(&m_object);
  EXPECT_EQ(cmd.PutString(u"Body", "Gr\xfc\xdf"), S_OK);
  ASSERT_EQ(m_object.m_lastPut.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(m_object.m_lastPut.bstrVal), u"Gr\u00fc\u00df");
  std::string strLong(25000, 'n');
  EXPECT_EQ(cmd.PutString(u"Body", strLong.c_str()), S_OK);
  EXPECT_EQ(SysStringLen(m_object.m_lastPut.bstrVal), static_cast<UINT>(DISPCMD_MAX_PUT_CHARS));
}

TEST_F(DispCmdTest, ObjectReferencePassesToTheCaller) {
  ScriptedObject& child = m_child;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_DISPATCH;
  value.pdispVal = &child;
  child.AddRef();
  m_object.SetValue(u"Items", value);
  {
    CDispCmd cmd(&m_object);
    EXPECT_EQ(m_object.m_nRefs, 2u);
    IDispatch* pItems = nullptr;
    EXPECT_EQ(cmd.GetObject(u"Items", &pItems), S_OK);
    EXPECT_EQ(pItems, &child);
    EXPECT_EQ(child.m_nRefs, 3u);  // ours, the stored value's, the caller's
    pItems->Release();
  }
  EXPECT_EQ(m_object.m_nRefs, 1u);
}

}  // namespace
