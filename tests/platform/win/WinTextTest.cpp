// Windows-1252 and UTF-8 conversions: the 0x80..0x9F table, the undefined bytes, surrogate
// pairs, and the buffer-size contract of the Win32 calls.
#include <gtest/gtest.h>

#include <string>

#include "platform/win/WinSystem.h"
#include "platform/win/WinText.h"

namespace {

// Windows-1252 0x80..0x9F as Windows maps them (the five undefined bytes to C1 controls).
constexpr char16_t kExpectedHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

TEST(AnsiTableTest, EveryByteMapsAsWindowsAndRoundTrips) {
  for (int nByte = 1; nByte < 256; ++nByte) {
    const char szAnsi[2] = {static_cast<char>(nByte), '\0'};
    const std::u16string wide = CxAnsiToUtf16(szAnsi);
    ASSERT_EQ(1u, wide.size());
    const char16_t wExpected =
        nByte >= 0x80 && nByte <= 0x9F ? kExpectedHigh[nByte - 0x80] : static_cast<char16_t>(nByte);
    EXPECT_EQ(wExpected, wide[0]) << "byte " << nByte;
    EXPECT_EQ(std::string(szAnsi), CxUtf16ToAnsi(wide.c_str())) << "byte " << nByte;
  }
}

struct UnmappableCase {
  const char* szName;
  std::u16string wide;
  std::string ansi;
};

class UnmappableTest : public testing::TestWithParam<UnmappableCase> {};

TEST_P(UnmappableTest, BecomesQuestionMarks) {
  const UnmappableCase& row = GetParam();
  EXPECT_EQ(row.ansi, CxUtf16ToAnsi(row.wide.c_str()));
  BOOL bUsedDefault = FALSE;
  char szOut[16] = {};
  const int nOut =
      WideCharToMultiByte(CP_ACP, 0, row.wide.c_str(), static_cast<int>(row.wide.size()), szOut,
                          sizeof(szOut), nullptr, &bUsedDefault);
  EXPECT_EQ(static_cast<int>(row.ansi.size()), nOut);
  EXPECT_EQ(row.ansi, std::string(szOut, nOut > 0 ? nOut : 0));
  EXPECT_TRUE(bUsedDefault);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnmappableTest,
    testing::Values(UnmappableCase{"SurrogatePairIsOneCharacter", u"a\U0001F600b", "a?b"},
                    UnmappableCase{"LoneHighSurrogate", std::u16string(u"x") + char16_t(0xD83D),
                                   "x?"},
                    UnmappableCase{"LoneLowSurrogate", std::u16string(1, char16_t(0xDE00)), "?"},
                    UnmappableCase{"Cyrillic", u"\u0416", "?"}),
    [](const testing::TestParamInfo<UnmappableCase>& rowInfo) { return rowInfo.param.szName; });

TEST(WideCharToMultiByteTest, UsesTheCallersDefaultCharacter) {
  char szOut[8] = {};
  const int nOut =
      WideCharToMultiByte(CP_ACP, 0, u"a\u0416", -1, szOut, sizeof(szOut), "#", nullptr);
  EXPECT_EQ(3, nOut);
  EXPECT_STREQ("a#", szOut);
}

TEST(MultiByteToWideCharTest, FollowsTheWin32SizeContract) {
  // -1: the terminator is converted and counted.
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
  EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0));
  WCHAR wz[4] = {u'x', u'x', u'x', u'x'};
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", -1, wz, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  ASSERT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "\x80\x9f\xe9", -1, wz, 4));
  EXPECT_EQ(std::u16string(u"\u20AC\u0178\u00E9"), std::u16string(wz));
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wz, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(12345, 0, "abc", -1, wz, 4));
}

TEST(WideCharToMultiByteTest, TooSmallBufferFails) {
  char szOut[2] = {};
  SetLastError(0);
  EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, u"abc", -1, szOut, 2, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

struct Utf8Case {
  const char* szName;
  std::string utf8;
  std::u16string wide;
};

class Utf8DecodeTest : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8DecodeTest, Decodes) {
  const Utf8Case& row = GetParam();
  const int nNeeded = MultiByteToWideChar(CP_UTF8, 0, row.utf8.data(),
                                          static_cast<int>(row.utf8.size()), nullptr, 0);
  ASSERT_EQ(static_cast<int>(row.wide.size()), nNeeded);
  std::u16string out(static_cast<size_t>(nNeeded), u'\0');
  ASSERT_EQ(nNeeded, MultiByteToWideChar(CP_UTF8, 0, row.utf8.data(),
                                         static_cast<int>(row.utf8.size()), out.data(), nNeeded));
  EXPECT_EQ(row.wide, out);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8DecodeTest,
    testing::Values(Utf8Case{"Ascii", "Palm", u"Palm"},
                    Utf8Case{"TwoByte", "caf\xC3\xA9", u"caf\u00E9"},
                    Utf8Case{"ThreeByte", "\xE2\x82\xAC", u"\u20AC"},
                    Utf8Case{"FourByteBecomesPair", "\xF0\x9F\x98\x80", u"\U0001F600"},
                    Utf8Case{"StrayContinuation", "a\x80z", u"a\uFFFDz"},
                    Utf8Case{"OverlongSlash", "\xC0\xAF", u"\uFFFD\uFFFD"},
                    Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD"},
                    Utf8Case{"AboveUnicode", "\xF4\x90\x80\x80", u"\uFFFD"},
                    Utf8Case{"TruncatedAtEnd", "ab\xE2\x82", u"ab\uFFFD"}),
    [](const testing::TestParamInfo<Utf8Case>& rowInfo) { return rowInfo.param.szName; });

TEST(Utf8HelpersTest, AnsiRoundTripsThroughUtf8) {
  const std::string utf8 = CxAnsiToUtf8("Caf\xE9 \x80 \x8D");
  EXPECT_EQ("Caf\xC3\xA9 \xE2\x82\xAC \xC2\x8D", utf8);
  EXPECT_EQ("Caf\xE9 \x80 \x8D", CxUtf8ToAnsi(utf8.c_str()));
  EXPECT_EQ("?", CxUtf8ToAnsi("\xE4\xB8\xAD"));
  EXPECT_EQ("", CxAnsiToUtf8(nullptr));
}

}  // namespace
