// The ADO stand-in over SQLite and mdbtools: opening by connection string, the statement
// forms the Palm Desktop 6.x code builds, one statement per call, typed column values, and a
// real Jet file read-only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "demo/palm6/Palm6Fixture.h"
#include "platform/jet/JetAdo.h"
#include "platform/jet/JetSql.h"

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

// Text given as ANSI (Windows-1252) bytes, the UTF-8 SQLite must hold for it, and the
// UTF-16 a column gives back.
struct TextCase {
  const char* szName;
  const char* szAnsi;
  const char* szUtf8Hex;
  std::u16string strWide;
};

void PrintTo(const TextCase& textCase, std::ostream* pStream) {
  *pStream << textCase.szName;
}

class JetTextTest : public JetDatabaseTest, public ::testing::WithParamInterface<TextCase> {
 protected:
  std::u16string Text(const std::string& strSql) {
    if (FAILED(Run(strSql.c_str(), true)) || m_Query.Eof()) return u"<no row>";
    VARIANT value;
    if (FAILED(m_Query.GetFieldValue(0, &value)) || value.vt != VT_BSTR) return u"<no text>";
    const std::u16string strText = BstrText(value);
    VariantClear(&value);
    return strText;
  }
};

TEST_P(JetTextTest, AnsiStatementsStoreUtf8AndColumnsReadAsUnicode) {
  const std::string strAnsi = GetParam().szAnsi;
  ASSERT_EQ(S_OK, Run(("INSERT INTO Main ([Record ID], [Summary], [Note], [Location]) VALUES "
                       "(20, '" +
                       strAnsi + "', 'n', '" + strAnsi + "')")
                          .c_str(),
                      false))
      << m_Query.LastError().strMessage;
  ASSERT_EQ(S_OK, Run(("INSERT INTO Category ([ID], [Name], [Status], [Color]) VALUES (4, '" +
                       strAnsi + "', 1, 0)")
                          .c_str(),
                      false));
  EXPECT_EQ(GetParam().strWide, Text("SELECT [Summary] FROM Main WHERE [Record ID] = 20"));
  EXPECT_EQ(GetParam().strWide, Text("SELECT [Location] FROM Main WHERE [Record ID] = 20"));
  EXPECT_EQ(GetParam().strWide, Text("SELECT [Name] FROM Category WHERE [ID] = 4"));
  const std::string strHex = GetParam().szUtf8Hex;
  const std::u16string strWideHex(strHex.begin(), strHex.end());
  EXPECT_EQ(strWideHex, Text("SELECT hex([Summary]) FROM Main WHERE [Record ID] = 20"))
      << "what the engine holds";

  // Literals in WHERE clauses are compared with what was stored, whole or by LEFT.
  ASSERT_EQ(S_OK, Run(("UPDATE Main SET [Note] = '" + strAnsi + "' WHERE [Summary] = '" + strAnsi +
                       "' AND LEFT(Location, 256) = '" + strAnsi + "'")
                          .c_str(),
                      false));
  EXPECT_EQ(GetParam().strWide, Text("SELECT [Note] FROM Main WHERE [Record ID] = 20"));
  EXPECT_EQ(u"20",
            Text("SELECT CAST([Record ID] AS TEXT) FROM Main WHERE [Note] = '" + strAnsi + "'"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JetTextTest,
    ::testing::Values(TextCase{"AcuteE",
                               "Ren\xe9"
                               "e",
                               "52656EC3A965", u"Ren\u00e9e"},
                      TextCase{"Umlaut", "M\xfcller", "4DC3BC6C6C6572", u"M\u00fcller"},
                      TextCase{"EuroSign", "\x80 5", "E282AC2035", u"\u20ac 5"},
                      TextCase{"CurlyQuotes", "\x93Hi\x94", "E2809C4869E2809D", u"\u201cHi\u201d"},
                      TextCase{"ByteUndefinedIn1252", "a\x81", "61C281", u"a\u0081"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

TEST_F(JetDatabaseTest, StoredTextReadsAsUtf8OrElseAsWindows1252) {
  // UTF-8 is what Palm Desktop's Unicode text and every writer of ours store; bare 1252 bytes
  // were written by builds that handed the engine ANSI text unconverted.
  const struct {
    const char* szHex;
    std::u16string strWide;
  } cases[] = {{"52656EC3A965", u"Ren\u00e9e"},
               {"52656EE965", u"Ren\u00e9e"},
               {"93486994", u"\u201cHi\u201d"},
               {"E282AC", u"\u20ac"},
               {"C3", u"\u00c3"},
               {"F09F9982", u"\U0001F642"}};
  for (const auto& textCase : cases) {
    ASSERT_EQ(S_OK, Run((std::string("UPDATE Main SET [Summary] = CAST(X'") + textCase.szHex +
                         "' AS TEXT)")
                            .c_str(),
                        false));
    ASSERT_EQ(S_OK, Run("SELECT [Summary] FROM Main", true));
    VARIANT value;
    ASSERT_EQ(S_OK, m_Query.GetFieldValue(0, &value));
    ASSERT_EQ(VT_BSTR, value.vt);
    EXPECT_EQ(textCase.strWide, BstrText(value)) << textCase.szHex;
    VariantClear(&value);
  }
}

TEST_F(JetDatabaseTest, EngineMessagesComeBackAsAnsi) {
  EXPECT_EQ(E_FAIL, Run("SELECT [Zo\xe9] FROM Main", true));
  EXPECT_NE(std::string::npos, m_Query.LastError().strMessage.find("Zo\xe9"))
      << m_Query.LastError().strMessage;
}

TEST(JetFixtureTest, RefusesTextThatIsNotUtf8) {
  const std::string strPath = TempPath("fixture.mdb");
  palm6::Palm6Fixture fixture(strPath);
  palm6::MainRow row;
  row.strSummary =
      "Ren\xe9"
      "e";
  EXPECT_FALSE(fixture.AddMain(row)) << "ANSI bytes are never what Palm Desktop stores";
  EXPECT_FALSE(fixture.AddCategory(1, "\xe9t\xe9"));
  EXPECT_TRUE(fixture.AddCategory(1, "\xc3\xa9t\xc3\xa9"));
  EXPECT_EQ(0, fixture.Count("Main"));
  std::filesystem::remove(strPath);
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
