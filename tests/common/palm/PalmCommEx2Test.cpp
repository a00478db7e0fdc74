// The 6.x database accessor: the statement texts it builds, the value and text helpers, the
// log lines of its failure paths, and the category and information tables read through it.
#include "common/palm/PalmCommEx2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Palm6TestSupport.h"
#include "demo/palm6/Palm6Fixture.h"
#include "platform/jet/JetAdo.h"

namespace {

using dbtest::LogCapture;
using palm6test::TempPath;

// Value arrays built by a test, released with it.
struct Values {
  std::vector<VARIANT> items;
  ~Values() {
    for (VARIANT& value : items) VariantClear(&value);
  }
  void Int(LONG n) {
    items.emplace_back();
    SetIntValue(n, &items.back());
  }
  void Text(const std::string& str) {
    items.emplace_back();
    SetTextValue(str.c_str(), &items.back());
  }
  void Bool(BYTE b) {
    items.emplace_back();
    SetBoolValue(b, &items.back());
  }
};

TEST(PmBuildSqlTest, WritesEachStatementType) {
  const char* const columns[] = {"ID", "Name", "Status", "Color"};
  Values values;
  values.Int(3);
  values.Text("O'Neil");
  values.Bool(1);
  values.Bool(0);
  EXPECT_STREQ("SELECT [ID], [Name], [Status], [Color] FROM Category ",
               PmDataAccessor::BuildSql("Category", nullptr, SQL_SELECT, columns, nullptr, 4));
  EXPECT_STREQ(
      "INSERT INTO Category ([ID], [Name], [Status], [Color]) VALUES (3, 'O''Neil', 1, 0)",
      PmDataAccessor::BuildSql("Category", nullptr, SQL_INSERT, columns, values.items.data(), 4));
  EXPECT_STREQ("UPDATE Main SET [ID]=3, [Name]='O''Neil' WHERE [ID] = 1",
               PmDataAccessor::BuildSql("Main", "WHERE [ID] = 1", SQL_UPDATE, columns,
                                        values.items.data(), 2));
  EXPECT_STREQ("DELETE FROM Main WHERE [ID] = 1",
               PmDataAccessor::BuildSql("Main", "WHERE [ID] = 1", SQL_DELETE, columns, nullptr, 1));
  EXPECT_STREQ("", PmDataAccessor::BuildSql("Main", nullptr, 7, columns, nullptr, 4));
  EXPECT_STREQ("", PmDataAccessor::BuildSql("Main", nullptr, SQL_SELECT, columns, nullptr, 0));
  EXPECT_STREQ("", PmDataAccessor::BuildSql("Main", nullptr, SQL_SELECT, nullptr, nullptr, 4));
}

TEST(PmBuildSqlTest, UpdateKeepsALongNoteWhole) {
  const char* const columns[] = {"Note"};
  const std::string strNote(5000, 'n');
  Values values;
  values.Text(strNote);
  const std::string strSql = PmDataAccessor::BuildSql("Main", "WHERE [ID] = 1", SQL_UPDATE, columns,
                                                      values.items.data(), 1);
  EXPECT_EQ("UPDATE Main SET [Note]='" + strNote + "' WHERE [ID] = 1", strSql);
}

struct InsertWidthCase {
  const char* szName;
  DWORD nCount;
  bool bMedia;
  bool bBlob;
};

class PmInsertWidthTest : public ::testing::TestWithParam<InsertWidthCase> {};

TEST_P(PmInsertWidthTest, AddsMediaAndBlobColumnsByCount) {
  const InsertWidthCase& param = GetParam();
  std::vector<std::string> names;
  std::vector<const char*> columns;
  Values values;
  for (DWORD i = 0; i < param.nCount; ++i) names.push_back("c" + std::to_string(i));
  for (const auto& strName : names) columns.push_back(strName.c_str());
  for (DWORD i = 0; i < param.nCount; ++i) values.Int(static_cast<LONG>(i));
  const std::string strSql = PmDataAccessor::BuildSql("Main", nullptr, SQL_INSERT, columns.data(),
                                                      values.items.data(), param.nCount);
  const std::string strLast = "[c" + std::to_string(param.nCount - 1) + "]";
  std::string strColumnsEnd = strLast;
  if (param.bMedia) strColumnsEnd += ", [Photo], [VoiceTag], [Ringtone]";
  if (param.bBlob) strColumnsEnd += ", [Blob]";
  EXPECT_NE(std::string::npos, strSql.find(strColumnsEnd + ") VALUES (")) << strSql;
  std::string strValuesEnd = std::to_string(param.nCount - 1);
  if (param.bMedia) strValuesEnd += ", 0x00000000, 0x00000000, 0x00000000";
  if (param.bBlob) strValuesEnd += ", 0x00000000";
  EXPECT_EQ(strValuesEnd + ")", strSql.substr(strSql.size() - strValuesEnd.size() - 1));
}

INSTANTIATE_TEST_SUITE_P(Widths, PmInsertWidthTest,
                         ::testing::Values(InsertWidthCase{"Four", 4, false, false},
                                           InsertWidthCase{"Five", 5, false, true},
                                           InsertWidthCase{"Sixteen", 16, false, true},
                                           InsertWidthCase{"Thirty", 30, false, true},
                                           InsertWidthCase{"ThirtyOne", 31, true, true}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

TEST(PmBuildWhereTest, ShortKeysAreComparedWhole) {
  const char* const columns[] = {"Record ID", "Summary"};
  Values values;
  values.Int(5);
  values.Text("abcdefghij");
  char szWhere[1024];
  ASSERT_TRUE(
      PmDataAccessor::BuildWhere(columns, 2, values.items.data(), szWhere, sizeof(szWhere)));
  EXPECT_STREQ("WHERE [Record ID] = 5 AND [Summary] = 'abcdefghij'", szWhere);
  EXPECT_FALSE(PmDataAccessor::BuildWhere(columns, 2, values.items.data(), nullptr, 10));
  ASSERT_TRUE(
      PmDataAccessor::BuildWhere(nullptr, 2, values.items.data(), szWhere, sizeof(szWhere)));
  EXPECT_STREQ("", szWhere);
}

TEST(PmBuildWhereTest, LongKeyIsComparedOnItsFirstCharacters) {
  const char* const columns[] = {"Summary"};
  Values values;
  values.Text(std::string(300, 's'));
  char szWhere[1024];
  ASSERT_TRUE(
      PmDataAccessor::BuildWhere(columns, 1, values.items.data(), szWhere, sizeof(szWhere)));
  EXPECT_EQ("WHERE LEFT(Summary, 256) = '" + std::string(255, 's') + "'", std::string(szWhere));
}

// A cut of the quoted literal at 256 characters would end between the two quotes of the
// doubled pair and leave the literal open; cutting the text first keeps it closed, and the
// row is found.
TEST(PmBuildWhereTest, LongKeyEndingInAQuoteStaysAValidLiteral) {
  const std::string strSummary = std::string(254, 'a') + "'";
  const char* const columns[] = {"Summary"};
  Values values;
  values.Text(strSummary);
  char szWhere[1024];
  ASSERT_TRUE(
      PmDataAccessor::BuildWhere(columns, 1, values.items.data(), szWhere, sizeof(szWhere)));
  EXPECT_EQ("WHERE LEFT(Summary, 256) = '" + std::string(254, 'a') + "'''", std::string(szWhere));

  const std::string strPath = TempPath("where.mdb");
  palm6::Palm6Fixture fixture(strPath);
  palm6::MainRow row;
  row.nRecordId = 1;
  row.strSummary = strSummary;
  ASSERT_TRUE(fixture.AddMain(row));
  PmMDBAccessor accessor(DB_DATE, strPath.c_str());
  const char* const select[] = {"Record ID"};
  VARIANT* pValues = nullptr;
  DWORD nCount = 1;
  const std::string strSql = accessor.BuildMainSql(szWhere, SQL_SELECT, select, nullptr, 1);
  ASSERT_TRUE(accessor.QueryFirst(strSql.c_str(), &pValues, &nCount));
  LONG nId = 0;
  EXPECT_TRUE(GetIntValue(&pValues[0], &nId));
  EXPECT_EQ(1, nId);
  FreeValues(pValues, nCount);
  std::filesystem::remove(strPath);
}

struct IntValueCase {
  const char* szName;
  VARTYPE vt;
  LONG nRaw;
  const char16_t* szText;
  bool bOk;
  LONG nExpected;
};

class PmGetIntValueTest : public ::testing::TestWithParam<IntValueCase> {};

TEST_P(PmGetIntValueTest, ReadsIntegerTagsAndDecimalTexts) {
  const IntValueCase& param = GetParam();
  VARIANT value;
  VariantInit(&value);
  value.vt = param.vt;
  if (param.vt == VT_BSTR) {
    value.bstrVal = param.szText != nullptr ? SysAllocString(param.szText) : nullptr;
  } else if (param.vt == VT_I1) {
    value.cVal = static_cast<CHAR>(param.nRaw);
  } else if (param.vt == VT_I2 || param.vt == VT_BOOL) {
    value.iVal = static_cast<SHORT>(param.nRaw);
  } else {
    value.lVal = param.nRaw;
  }
  LONG nOut = 777;
  EXPECT_EQ(param.bOk, GetIntValue(&value, &nOut));
  EXPECT_EQ(param.bOk ? param.nExpected : 777, nOut);
  VariantClear(&value);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, PmGetIntValueTest,
    ::testing::Values(IntValueCase{"I4", VT_I4, -123456, nullptr, true, -123456},
                      IntValueCase{"I2SignExtended", VT_I2, -2, nullptr, true, -2},
                      IntValueCase{"I1SignExtended", VT_I1, -3, nullptr, true, -3},
                      IntValueCase{"TextLeadingNumber", VT_BSTR, 0, u"42abc", true, 42},
                      IntValueCase{"NullText", VT_BSTR, 0, nullptr, true, 0},
                      IntValueCase{"PalmTimePast2038", VT_BSTR, 0, u"3000000000", true,
                                   static_cast<LONG>(3000000000u)},
                      IntValueCase{"BoolRefused", VT_BOOL, -1, nullptr, false, 0},
                      IntValueCase{"EmptyRefused", VT_EMPTY, 0, nullptr, false, 0}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

TEST(PmValueHelpersTest, TextsAndFlagsKeepTheirContentAndRefuseOtherTags) {
  VARIANT value;
  ASSERT_TRUE(SetTextValue("", &value));
  EXPECT_EQ(VT_BSTR, value.vt);
  EXPECT_EQ(nullptr, value.bstrVal);
  char szText[8] = "junk";
  EXPECT_TRUE(GetTextValue(&value, szText, sizeof(szText)));
  EXPECT_STREQ("", szText);

  ASSERT_TRUE(SetTextValue("Caf\xe9 au lait", &value));
  EXPECT_TRUE(GetTextValue(&value, szText, sizeof(szText)));
  EXPECT_STREQ("Caf\xe9 au", szText) << "cut to the capacity, Windows-1252 kept";
  VariantClear(&value);

  ASSERT_TRUE(SetNumberTextValue(-17, &value));
  char szNumber[16];
  EXPECT_TRUE(GetTextValue(&value, szNumber, sizeof(szNumber)));
  EXPECT_STREQ("-17", szNumber);
  BYTE bFlag = 9;
  EXPECT_FALSE(GetBoolValue(&value, &bFlag));
  EXPECT_EQ(9, bFlag);
  VariantClear(&value);

  SetIntValue(5, &value);
  EXPECT_FALSE(GetTextValue(&value, szText, sizeof(szText)));
  value.vt = VT_BOOL;
  value.boolVal = VARIANT_TRUE;
  EXPECT_TRUE(GetBoolValue(&value, &bFlag));
  EXPECT_EQ(1, bFlag);
}

class PmAccessorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strPath = TempPath("acc.mdb");
    m_pFixture = std::make_unique<palm6::Palm6Fixture>(m_strPath);
    ASSERT_TRUE(m_pFixture->IsOpen());
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(m_pFixture->AddCategory(i, "Cat" + std::to_string(i)));
    }
  }
  void TearDown() override {
    m_pFixture.reset();
    std::filesystem::remove(m_strPath);
  }

  LogCapture m_Log;
  std::string m_strPath;
  std::unique_ptr<palm6::Palm6Fixture> m_pFixture;
};

TEST_F(PmAccessorTest, WalksATableAndRefusesAForeignNextQuery) {
  PmMDBAccessor accessor(DB_DATE, m_strPath.c_str());
  const char* const columns[] = {"ID", "Name"};
  VARIANT* pValues = nullptr;
  DWORD nCount = 2;
  ASSERT_TRUE(accessor.SelectFirst("Category", columns, &pValues, &nCount));
  EXPECT_STREQ("SELECT [ID], [Name] FROM Category ", accessor.GetLastQuery());
  int nRows = 0;
  constexpr int kMaxRows = 10;
  bool bRow = true;
  while (bRow && nRows < kMaxRows) {
    ASSERT_EQ(2u, nCount);
    LONG nId = 0;
    EXPECT_TRUE(GetIntValue(&pValues[0], &nId));
    EXPECT_EQ(++nRows, nId);
    FreeValues(pValues, nCount);
    pValues = nullptr;
    if (nRows == 1) {
      EXPECT_FALSE(accessor.QueryNext("SELECT [ID] FROM Category", &pValues, &nCount));
      EXPECT_TRUE(m_Log.Contains("This query is not same with former query. Ignore this query."));
    }
    bRow = accessor.SelectNext(nullptr, nullptr, &pValues, &nCount);
  }
  EXPECT_EQ(3, nRows);
  EXPECT_FALSE(accessor.QueryFirst("", &pValues, &nCount));
  EXPECT_TRUE(m_Log.Contains("Invalid query string found."));
}

TEST_F(PmAccessorTest, FailuresAreLoggedWithTheEngineMessage) {
  PmMDBAccessor accessor(DB_DATE, m_strPath.c_str());
  EXPECT_FALSE(accessor.ExecuteSql("DELETE FROM Nowhere", false));
  EXPECT_TRUE(
      m_Log.Contains("Database Query Error, Query String=DELETE FROM Nowhere, Error=no such "
                     "table: Nowhere"));
  EXPECT_FALSE(accessor.ExecuteSql("", false));

  PmMDBAccessor noKind(9, m_strPath.c_str());
  EXPECT_TRUE(m_Log.Contains("There is no valid database connection to open this file."));
  EXPECT_FALSE(noKind.ExecuteSql("SELECT 1", true));
}

TEST_F(PmAccessorTest, ReopeningClosesFirstAndAMissingFileLeavesTheConnection) {
  PmMDBAccessor accessor(DB_DATE, m_strPath.c_str());
  m_Log.Clear();
  accessor.OpenDatabase(DB_DATE, m_strPath.c_str());
  EXPECT_TRUE(m_Log.Contains("The connection is already opened, close it now."));
  EXPECT_TRUE(m_Log.Contains("Connection String: Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" +
                             m_strPath + "\""));
  accessor.OpenDatabase(DB_DATE, "/nonexistent/DateBook.mdb");
  EXPECT_TRUE(m_Log.Contains("The file doesn't exist. Abort."));
  EXPECT_TRUE(accessor.GetConnection()->GetConnected());
  EXPECT_TRUE(accessor.ExecuteSql("SELECT [ID] FROM Category", true));
}

TEST_F(PmAccessorTest, UnreadableFileIsLoggedAndStatementsThenFail) {
  const std::string strJunk = TempPath("junk.mdb");
  ASSERT_TRUE(palm6::WriteJunkFile(strJunk));
  PmMDBAccessor accessor(DB_DATE, strJunk.c_str());
  EXPECT_TRUE(m_Log.Contains("Database Connection Error, Connection String=Provider="));
  EXPECT_FALSE(accessor.GetConnection()->GetConnected());
  EXPECT_FALSE(accessor.ExecuteSql("SELECT 1", true));
  std::filesystem::remove(strJunk);
}

TEST_F(PmAccessorTest, DatesNullsAndBinaryValuesReadAsEmpty) {
  ASSERT_TRUE(
      m_pFixture->Exec("CREATE TABLE Odd ([When] DATETIME, [Gone] VARCHAR(20), "
                       "[Raw] LONGBINARY, [Small] SMALLINT, [Flag] BIT);"
                       "INSERT INTO Odd VALUES ('2011-06-30 10:00:00', NULL, x'00', -4, 1)"));
  PmMDBAccessor accessor(DB_DATE, m_strPath.c_str());
  VARIANT* pValues = nullptr;
  DWORD nCount = 0;
  ASSERT_TRUE(accessor.QueryFirst("SELECT [When], [Gone], [Raw], [Small], [Flag] FROM Odd",
                                  &pValues, &nCount));
  ASSERT_EQ(5u, nCount);
  EXPECT_EQ(VT_EMPTY, pValues[0].vt);
  EXPECT_EQ(VT_EMPTY, pValues[1].vt);
  EXPECT_EQ(VT_EMPTY, pValues[2].vt);
  EXPECT_EQ(VT_I4, pValues[3].vt);
  EXPECT_EQ(-4, pValues[3].lVal);
  EXPECT_EQ(VT_BOOL, pValues[4].vt);
  EXPECT_EQ(VARIANT_TRUE, pValues[4].boolVal);
  FreeValues(pValues, nCount);
}

TEST_F(PmAccessorTest, CategoryIdsNeverCollide) {
  ASSERT_TRUE(m_pFixture->Exec("DELETE FROM Category WHERE [ID] = 3"));
  ASSERT_TRUE(m_pFixture->AddCategory(5, "Cat5"));
  PmDBEx2Util util;
  ASSERT_TRUE(util.Open(DB_DATE, m_strPath.c_str()));
  PmCategoryEx2Mgr* pCategories = util.GetCategories();
  ASSERT_EQ(3, pCategories->GetCount());
  PmCategoryEx2 first;
  first.SetName("Fourth");
  ASSERT_TRUE(pCategories->AddNew(&first));
  EXPECT_EQ(4, first.nId) << "the count plus one, free";
  PmCategoryEx2 second;
  second.SetName("Sixth");
  ASSERT_TRUE(pCategories->AddNew(&second));
  EXPECT_EQ(6, second.nId) << "count plus one (5) is taken";
  EXPECT_EQ(
      (std::vector<std::vector<std::string>>{{"4", "Fourth", "1", "0"}, {"6", "Sixth", "1", "0"}}),
      m_pFixture->Query("SELECT * FROM Category WHERE [ID] > 3 AND [ID] <> 5 ORDER BY 1"));
  EXPECT_TRUE(m_Log.Contains(
      "INSERT INTO Category ([ID], [Name], [Status], [Color]) VALUES (6, 'Sixth', 1, 0)"));
}

TEST_F(PmAccessorTest, CategoriesLoadInTableOrderAndMatchNamesExactly) {
  PmDBEx2Util util;
  ASSERT_TRUE(util.Open(DB_DATE, m_strPath.c_str()));
  EXPECT_TRUE(m_Log.Contains("Start loading Palm Desktop category information."));
  EXPECT_TRUE(m_Log.Contains("Category loaded: Cat2"));
  EXPECT_TRUE(m_Log.Contains("Categories information loaded successfully."));
  PmCategoryEx2Mgr* pCategories = util.GetCategories();
  ASSERT_NE(nullptr, pCategories->FindByName("Cat2"));
  EXPECT_EQ(2, pCategories->FindByName("Cat2")->nId);
  EXPECT_EQ(nullptr, pCategories->FindByName("cat2"));
  EXPECT_EQ(nullptr, pCategories->FindByName(""));
  EXPECT_STREQ("Cat3", pCategories->FindById(3)->szName);

  PmCategoryEx2Mgr loaded(util.GetAccessor());
  EXPECT_EQ(3, loaded.GetCount());

  ASSERT_TRUE(m_pFixture->Exec("DELETE FROM Category"));
  m_Log.Clear();
  EXPECT_TRUE(util.LoadCategories());
  EXPECT_EQ(0, pCategories->GetCount());
  EXPECT_TRUE(m_Log.Contains("Categories information loaded successfully."));
}

TEST_F(PmAccessorTest, InformationRowsFillTheKnownFactsOnly) {
  ASSERT_TRUE(m_pFixture->AddInfo("License", "3"));
  ASSERT_TRUE(m_pFixture->AddInfo("Version", "600 and more"));
  ASSERT_TRUE(m_pFixture->AddInfo("FreeRecID", "8193"));
  ASSERT_TRUE(m_pFixture->AddInfo("TableString", "Main;Category"));
  ASSERT_TRUE(m_pFixture->AddInfo("Unknown", "99"));
  ASSERT_TRUE(m_pFixture->Exec("INSERT INTO Information VALUES ('CodePage', NULL)"));
  PmDBEx2Util util;
  ASSERT_TRUE(util.Open(DB_DATE, m_strPath.c_str()));
  ASSERT_TRUE(util.LoadInfo());
  const PmInfoEx2* pInfo = util.GetInfo();
  EXPECT_EQ(3, pInfo->nLicense);
  EXPECT_EQ(600, pInfo->nVersion);
  EXPECT_EQ(8193, pInfo->nFreeRecId);
  EXPECT_EQ(0, pInfo->nCodePage);
  EXPECT_STREQ("Main;Category", pInfo->szTableString);
}

TEST_F(PmAccessorTest, OpenFailsOnlyForAMissingFile) {
  PmDBEx2Util util;
  EXPECT_FALSE(util.Open(DB_DATE, "/nonexistent/DateBook.mdb"));
  EXPECT_FALSE(util.Open(DB_DATE, ""));
  EXPECT_FALSE(util.LoadCategories()) << "no accessor yet";
  const std::string strJunk = TempPath("junk2.mdb");
  ASSERT_TRUE(palm6::WriteJunkFile(strJunk));
  EXPECT_TRUE(util.Open(DB_DATE, strJunk.c_str()));
  EXPECT_EQ(0, util.GetCategories()->GetCount());
  std::filesystem::remove(strJunk);
}

TEST(PmCategoryEx2Test, SetNameKeeps254Characters) {
  PmCategoryEx2 category;
  category.SetName(std::string(300, 'x').c_str());
  EXPECT_EQ(254u, std::string(category.szName).size());
}

// --- text helpers ------------------------------------------------------------------------------

TEST(PalmTextTest, WideAndAnsiConvertWithinCapacity) {
  char szAnsi[4];
  WideToAnsi(u"Caf\u00e9 au lait", szAnsi, sizeof(szAnsi));
  EXPECT_STREQ(szAnsi, "Caf");
  char szFull[32];
  WideToAnsi(u"Caf\u00e9", szFull, sizeof(szFull));
  EXPECT_STREQ(szFull, "Caf\xe9");
  WCHAR szWide[8];
  AnsiToWide("Caf\xe9", szWide, 8);
  EXPECT_EQ(std::u16string(szWide), u"Caf\u00e9");
  AnsiToWide("abcdefghijk", szWide, 3);
  EXPECT_EQ(std::u16string(szWide), u"ab");
  WideToAnsi(nullptr, szFull, sizeof(szFull));
  EXPECT_STREQ(szFull, "");
}

struct SqlCase {
  const char* szName;
  const char16_t* szText;
  int nCapacity;
  const char* szExpected;
};

class SqlLiteralTest : public ::testing::TestWithParam<SqlCase> {};

TEST_P(SqlLiteralTest, QuotesTextSafely) {
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_BSTR;
  var.bstrVal = SysAllocString(GetParam().szText);
  char szBuf[64];
  SqlLiteral(&var, szBuf, GetParam().nCapacity);
  EXPECT_STREQ(szBuf, GetParam().szExpected);
  VariantClear(&var);
}

INSTANTIATE_TEST_SUITE_P(Texts, SqlLiteralTest,
                         ::testing::Values(SqlCase{"Plain", u"Lunch", 64, "'Lunch'"},
                                           SqlCase{"QuoteDoubled", u"O'Neil", 64, "'O''Neil'"},
                                           SqlCase{"Empty", u"", 64, "''"},
                                           // Cut inside a doubled quote: the pair is dropped whole,
                                           // so the literal still ends where it should.
                                           SqlCase{"CutNeverSplitsADoubledQuote", u"ab'cd", 6,
                                                   "'ab'"},
                                           SqlCase{"CutKeepsWholePairs", u"ab'cd", 7, "'ab'''"}),
                         [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST(PalmTextTest, SqlLiteralOfNumbersAndFlags) {
  VARIANT var;
  VariantInit(&var);
  char szBuf[32] = "unchanged";
  var.vt = VT_BOOL;
  var.boolVal = VARIANT_TRUE;
  SqlLiteral(&var, szBuf, sizeof(szBuf));
  EXPECT_STREQ(szBuf, "1");
  var.boolVal = VARIANT_FALSE;
  SqlLiteral(&var, szBuf, sizeof(szBuf));
  EXPECT_STREQ(szBuf, "0");
  var.vt = VT_I4;
  var.lVal = -42;
  SqlLiteral(&var, szBuf, sizeof(szBuf));
  EXPECT_STREQ(szBuf, "-42");
  var.vt = VT_R8;
  SqlLiteral(&var, szBuf, sizeof(szBuf));
  EXPECT_STREQ(szBuf, "-42");
}

}  // namespace
