// The ADO stand-in over SQLite and mdbtools: opening by connection string, the statement
// forms the Palm Desktop 6.x code builds, one statement per call, typed column values, and a
// real Jet file read-only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/jet/JetAdo.h"
#include "platform/jet/JetSql.h"
#include "support/palm6/Palm6Fixture.h"

namespace {

std::string TempPath(const std::string& strName) {
  return (std::filesystem::temp_directory_path() /
          ("daybridge-jet-" + std::to_string(::getpid()) + "-" + strName))
      .string();
}

std::string ConnectionString(const std::string& strPath) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + strPath + "\"";
}

std::u16string BstrText(const VARIANT& value) {
  return value.bstrVal != nullptr ? std::u16string(value.bstrVal, SysStringLen(value.bstrVal))
                                  : std::u16string();
}

class JetDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strPath = TempPath("db.mdb");
    palm6::Palm6Fixture fixture(m_strPath);
    ASSERT_TRUE(fixture.IsOpen());
    palm6::MainRow row;
    row.nRecordId = 7;
    row.bPrivate = true;
    row.strCategory = "2";
    row.strStartTime = "1300000000";
    row.strSummary = "Dentist";
    ASSERT_TRUE(fixture.AddMain(row));
    ASSERT_TRUE(fixture.Exec("UPDATE Main SET [Note] = NULL"));
    m_Connection.SetConnectionString(ConnectionString(m_strPath).c_str());
    ASSERT_EQ(S_OK, m_Connection.Open()) << m_Connection.LastError().strMessage;
    m_Query.SetConnection(&m_Connection);
  }
  void TearDown() override {
    m_Connection.Close();
    std::filesystem::remove(m_strPath);
  }

  HRESULT Run(const char* szSql, bool bOpen) {
    m_Query.Close();
    m_Query.ClearSql();
    m_Query.AddSql(szSql);
    return bOpen ? m_Query.Open() : m_Query.ExecSql();
  }

  long CountMain() {
    if (FAILED(Run("SELECT count(*) FROM Main", true))) return -1;
    VARIANT value;
    m_Query.GetFieldValue(0, &value);
    return value.vt == VT_I4 ? value.lVal : -1;
  }

  std::string m_strPath;
  TADOConnection m_Connection;
  TADOQuery m_Query;
};

TEST_F(JetDatabaseTest, ColumnValuesFollowTheDeclaredTypes) {
  ASSERT_EQ(S_OK, Run("SELECT [Record ID], [Private], [Category], [Note], [Blob], [Untimed] "
                      "FROM Main ",
                      true));
  ASSERT_FALSE(m_Query.Eof());
  ASSERT_EQ(6, m_Query.GetFieldCount());
  VARIANT value;
  m_Query.GetFieldValue(0, &value);
  EXPECT_EQ(VT_I4, value.vt);
  EXPECT_EQ(7, value.lVal);
  m_Query.GetFieldValue(1, &value);
  EXPECT_EQ(VT_BOOL, value.vt);
  EXPECT_EQ(VARIANT_TRUE, value.boolVal);
  m_Query.GetFieldValue(2, &value);
  ASSERT_EQ(VT_BSTR, value.vt);
  EXPECT_EQ(u"2", BstrText(value));
  VariantClear(&value);
  m_Query.GetFieldValue(3, &value);
  EXPECT_EQ(VT_EMPTY, value.vt) << "NULL";
  m_Query.GetFieldValue(4, &value);
  EXPECT_EQ(VT_EMPTY, value.vt) << "binary";
  m_Query.GetFieldValue(5, &value);
  EXPECT_EQ(VT_BOOL, value.vt);
  EXPECT_EQ(VARIANT_FALSE, value.boolVal);
  EXPECT_EQ(DISP_E_BADINDEX, m_Query.GetFieldValue(6, &value));
}

TEST_F(JetDatabaseTest, BuiltStatementFormsRunAsWritten) {
  EXPECT_EQ(
      S_OK,
      Run("INSERT INTO Category ([ID], [Name], [Status], [Color]) VALUES (1, 'O''Neil', 1, 0)",
          false))
      << m_Query.LastError().strMessage;
  EXPECT_EQ(S_OK, Run("INSERT INTO Main ([Record ID], [Summary], [Blob]) VALUES (8, 'x', "
                      "0x00000000)",
                      false))
      << m_Query.LastError().strMessage;
  EXPECT_EQ(S_OK, Run("UPDATE Main SET [Note]='n' WHERE [Record ID] = 8 AND "
                      "LEFT(Summary, 256) = 'x'",
                      false))
      << m_Query.LastError().strMessage;
  ASSERT_EQ(S_OK, Run("SELECT [Note] FROM Main WHERE LEFT(Summary, 3) = 'Den' ", true));
  ASSERT_FALSE(m_Query.Eof());
  ASSERT_EQ(S_OK, m_Query.Next());
  EXPECT_TRUE(m_Query.Eof());
  EXPECT_EQ(S_OK, m_Query.Next()) << "moving past the end stays there";
  EXPECT_TRUE(m_Query.Eof());
  ASSERT_EQ(S_OK, Run("SELECT [Note] FROM Main WHERE [Record ID] = 8", true));
  VARIANT value;
  m_Query.GetFieldValue(0, &value);
  EXPECT_EQ(u"n", BstrText(value));
  VariantClear(&value);
}

TEST_F(JetDatabaseTest, OnlyTheFirstStatementOfATextEverRuns) {
  EXPECT_EQ(E_FAIL, Run("SELECT 1; DELETE FROM Main", true));
  EXPECT_TRUE(m_Query.LastError().bDatabaseError);
  EXPECT_EQ(E_FAIL, Run("UPDATE Main SET [Note]='a'; DELETE FROM Main", false));
  EXPECT_EQ(1, CountMain());
  EXPECT_EQ(S_OK, Run("DELETE FROM Main WHERE [Record ID] = 99;  ", false))
      << "a closing semicolon is not a second statement";
}

TEST_F(JetDatabaseTest, OpeningAStatementWithoutRowsRunsNothing) {
  EXPECT_EQ(E_FAIL, Run("DELETE FROM Main", true));
  EXPECT_EQ(1, CountMain());
}

TEST_F(JetDatabaseTest, EngineErrorsCarryTheEngineMessage) {
  EXPECT_EQ(E_FAIL, Run("SELECT [Nope] FROM Main", true));
  EXPECT_TRUE(m_Query.LastError().bDatabaseError);
  EXPECT_NE(std::string::npos, m_Query.LastError().strMessage.find("Nope"));
}

TEST_F(JetDatabaseTest, ClosingTheConnectionEndsItsQueries) {
  ASSERT_EQ(S_OK, Run("SELECT [Summary] FROM Main", true));
  m_Connection.Close();
  EXPECT_FALSE(m_Query.GetActive());
  EXPECT_TRUE(m_Query.Eof());
  EXPECT_EQ(E_FAIL, Run("SELECT [Summary] FROM Main", true));
  EXPECT_EQ(S_OK, m_Connection.Open());
  EXPECT_EQ(S_OK, Run("SELECT [Summary] FROM Main", true));
}

TEST_F(JetDatabaseTest, OpeningAnOpenConnectionFails) {
  EXPECT_EQ(E_FAIL, m_Connection.Open());
  EXPECT_TRUE(m_Connection.GetConnected());
}

struct ConnectionCase {
  const char* szName;
  std::string strConnection;  // "%s" stands for the database path
  bool bOpens;
};

class JetConnectionStringTest : public ::testing::TestWithParam<ConnectionCase> {};

TEST_P(JetConnectionStringTest, OpensOnlyAJetProviderOnAnExistingDatabase) {
  const std::string strPath = TempPath("conn.mdb");
  { palm6::Palm6Fixture fixture(strPath); }
  const std::string strJunk = TempPath("junk.mdb");
  ASSERT_TRUE(palm6::WriteJunkFile(strJunk));
  std::string strConnection = GetParam().strConnection;
  for (const auto& [strTag, strValue] :
       {std::pair<std::string, std::string>{"%s", strPath}, {"%j", strJunk}}) {
    const size_t nAt = strConnection.find(strTag);
    if (nAt != std::string::npos) strConnection.replace(nAt, 2, strValue);
  }
  TADOConnection connection;
  connection.SetConnectionString(strConnection.c_str());
  EXPECT_EQ(GetParam().bOpens ? S_OK : E_FAIL, connection.Open())
      << connection.LastError().strMessage;
  EXPECT_EQ(GetParam().bOpens, connection.GetConnected());
  if (!GetParam().bOpens) {
    EXPECT_FALSE(connection.LastError().strMessage.empty());
  }
  connection.Close();
  std::filesystem::remove(strPath);
  std::filesystem::remove(strJunk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JetConnectionStringTest,
    ::testing::Values(
        ConnectionCase{"QuotedPath", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"%s\"", true},
        ConnectionCase{"KeysInAnyCaseAndBlanks",
                       " provider = microsoft.jet.oledb.4.0 ; data source='%s';", true},
        ConnectionCase{"ProviderFromTheProperty", "Data Source=%s", true},
        ConnectionCase{"OtherProvider", "Provider=SQLOLEDB;Data Source=\"%s\"", false},
        ConnectionCase{"NoDataSource", "Provider=Microsoft.Jet.OLEDB.4.0", false},
        ConnectionCase{"MissingFile",
                       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/nonexistent/x.mdb\"",
                       false},
        ConnectionCase{"NotADatabase", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"%j\"",
                       false}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

struct TranslateCase {
  const char* szName;
  const char* szSql;
  const char* szExpected;
};

class JetTranslateTest : public ::testing::TestWithParam<TranslateCase> {};

TEST_P(JetTranslateTest, RewritesLeftCallsOnly) {
  std::string strOut;
  JetTranslateSql(GetParam().szSql, strOut);
  EXPECT_EQ(GetParam().szExpected, strOut);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JetTranslateTest,
    ::testing::Values(
        TranslateCase{"PlainCall", "WHERE LEFT(Summary, 256) = 'a'",
                      "WHERE substr(Summary, 1, 256) = 'a'"},
        TranslateCase{"AnyCaseAndBlanks", "left ( [Summary] ,10 )", "substr([Summary], 1, 10)"},
        TranslateCase{"InsideQuotedTextUntouched", "WHERE [a] = 'LEFT(x, 2)'",
                      "WHERE [a] = 'LEFT(x, 2)'"},
        TranslateCase{"AfterDoubledQuote", "'it''s' = LEFT(x, 2)", "'it''s' = substr(x, 1, 2)"},
        TranslateCase{"BracketedNameUntouched", "[LEFT(x, 1)]", "[LEFT(x, 1)]"},
        TranslateCase{"LongerWordUntouched", "LEFTOVER(x, 1)", "LEFTOVER(x, 1)"},
        TranslateCase{"NestedArgument", "LEFT(lower(x), 3)", "substr(lower(x), 1, 3)"},
        TranslateCase{"UnparsableKept", "LEFT(x) AND LEFT(", "LEFT(x) AND LEFT("},
        TranslateCase{"UnterminatedQuoteKept", "'LEFT(x, 1)", "'LEFT(x, 1)"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

TEST(JetReadOnlyFileTest, ReadsTablesOfARealJetFileAndRefusesWrites) {
  const std::filesystem::path path =
      std::filesystem::path(DB_SHARED_TESTDATA_DIR) / "DateTestDatabase.mdb";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample Jet file at " << path;
  TADOConnection connection;
  connection.SetConnectionString(ConnectionString(path.string()).c_str());
  ASSERT_EQ(S_OK, connection.Open()) << connection.LastError().strMessage;
  EXPECT_TRUE(connection.IsReadOnly());
  TADOQuery query(&connection);
  query.AddSql("SELECT [IDCol], [DateTimeCol], [ShortTextCol] FROM DateTest ");
  ASSERT_EQ(S_OK, query.Open()) << query.LastError().strMessage;
  int nRows = 0;
  constexpr int kMaxRows = 10000;
  while (!query.Eof() && nRows < kMaxRows) {
    VARIANT value;
    ASSERT_EQ(S_OK, query.GetFieldValue(0, &value));
    EXPECT_EQ(VT_I4, value.vt);
    ASSERT_EQ(S_OK, query.GetFieldValue(1, &value));
    EXPECT_TRUE(value.vt == VT_DATE || value.vt == VT_EMPTY);
    ASSERT_EQ(S_OK, query.GetFieldValue(2, &value));
    EXPECT_TRUE(value.vt == VT_BSTR || value.vt == VT_EMPTY);
    VariantClear(&value);
    ++nRows;
    ASSERT_EQ(S_OK, query.Next());
  }
  EXPECT_GT(nRows, 0);

  query.Close();
  query.ClearSql();
  query.AddSql("INSERT INTO DateTest ([IDCol]) VALUES (1)");
  EXPECT_EQ(E_FAIL, query.ExecSql());
  EXPECT_TRUE(query.LastError().bDatabaseError);
  EXPECT_NE(std::string::npos, query.LastError().strMessage.find("read-only"));
  query.ClearSql();
  query.AddSql("UPDATE DateTest SET [IDCol] = 2");
  EXPECT_EQ(E_FAIL, query.ExecSql());
}

}  // namespace
