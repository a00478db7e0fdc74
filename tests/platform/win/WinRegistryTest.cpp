// The registry stand-in: what a .reg text means (escapes, default values, comments, both
// roots, deletions, continued hex lines, encodings) and the Win32 size contract of
// RegQueryValueEx that callers build their buffers on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/win/WinRegistry.h"

namespace {

class RegistryText {
 public:
  explicit RegistryText(const std::string& sText) { CxRegSetText(sText.data(), sText.size()); }
  ~RegistryText() { CxRegSetText(nullptr, 0); }
};

// The value as bytes, or "<missing>" when the key or value cannot be read.
std::string ReadValue(HKEY hRoot, const char* szKey, const char* szName, DWORD* pnType = nullptr) {
  HKEY hKey = nullptr;
  if (RegOpenKeyEx(hRoot, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return "<missing>";
  char buf[512] = {};
  DWORD nSize = sizeof buf;
  DWORD nType = 0;
  const LONG nResult =
      RegQueryValueEx(hKey, szName, nullptr, &nType, reinterpret_cast<BYTE*>(buf), &nSize);
  RegCloseKey(hKey);
  if (nResult != ERROR_SUCCESS) return "<missing>";
  if (pnType) *pnType = nType;
  return std::string(buf, nSize);
}

struct ParseCase {
  const char* szName;
  const char* szText;
  bool bLocalMachine;
  const char* szKey;
  const char* szValue;
  std::string sExpected;  // bytes as reported, or "<missing>"
};

class RegParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RegParse, ReadsValue) {
  const ParseCase& c = GetParam();
  RegistryText text(c.szText);
  EXPECT_EQ(ReadValue(c.bLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, c.szKey, c.szValue),
            c.sExpected);
}

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, RegParse,
    ::testing::Values(
        ParseCase{"EscapedBackslashesAndQuotes",
                  "[HKEY_CURRENT_USER\\Software\\A]\r\n\"Path\"=\"C:\\\\Palm\\\\ \\\"x\\\"\"\r\n",
                  false, "Software\\A", "Path", std::string("C:\\Palm\\ \"x\"\0", 13)},
        ParseCase{"DefaultValueByAtSign", "[HKEY_CURRENT_USER\\K]\n@=\"def\"\n", false, "K", "",
                  std::string("def\0", 4)},
        ParseCase{"DefaultValueByNullName", "[HKEY_CURRENT_USER\\K]\n@=\"def\"\n", false, "K",
                  nullptr, std::string("def\0", 4)},
        ParseCase{"CommentLinesIgnored", "[HKEY_CURRENT_USER\\K]\n; \"X\"=\"no\"\n\"X\"=\"yes\"\n",
                  false, "K", "X", std::string("yes\0", 4)},
        ParseCase{"LocalMachineIsSeparateRoot", "[HKEY_LOCAL_MACHINE\\K]\n\"X\"=\"m\"\n", false,
                  "K", "X", "<missing>"},
        ParseCase{"LocalMachineRead", "[HKEY_LOCAL_MACHINE\\K]\n\"X\"=\"m\"\n", true, "K", "X",
                  std::string("m\0", 2)},
        ParseCase{"ShortRootNames", "[HKLM\\K]\n\"X\"=\"m\"\n", true, "K", "X",
                  std::string("m\0", 2)},
        ParseCase{"NamesIgnoreCase", "[HKEY_CURRENT_USER\\Software\\Key]\n\"Name\"=\"v\"\n", false,
                  "SOFTWARE\\key", "NAME", std::string("v\0", 2)},
        ParseCase{"Dword", "[HKEY_CURRENT_USER\\K]\n\"D\"=dword:0001e240\n", false, "K", "D",
                  std::string("\x40\xe2\x01\x00", 4)},
        ParseCase{"HexOverContinuedLines", "[HKEY_CURRENT_USER\\K]\n\"B\"=hex:01,02,\\\n  03,04\n",
                  false, "K", "B", std::string("\x01\x02\x03\x04", 4)},
        ParseCase{"ExpandStringFromUtf16Hex",
                  "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n"
                  "\"E\"=hex(2):41,00,25,00,00,00\n",
                  false, "K", "E", std::string("A%\0", 3)},
        ParseCase{"LaterSectionMerges",
                  "[HKEY_CURRENT_USER\\K]\n\"A\"=\"1\"\n[HKEY_CURRENT_USER\\J]\n"
                  "[HKEY_CURRENT_USER\\K]\n\"B\"=\"2\"\n",
                  false, "K", "A", std::string("1\0", 2)},
        ParseCase{"DeletedKeyTakesSubkeys",
                  "[HKEY_CURRENT_USER\\K\\S]\n\"A\"=\"1\"\n[-HKEY_CURRENT_USER\\K]\n", false,
                  "K\\S", "A", "<missing>"},
        ParseCase{"DeletedValue", "[HKEY_CURRENT_USER\\K]\n\"A\"=\"1\"\n\"A\"=-\n", false, "K", "A",
                  "<missing>"},
        ParseCase{"UnterminatedStringSkipped", "[HKEY_CURRENT_USER\\K]\n\"A\"=\"1\n", false, "K",
                  "A", "<missing>"},
        ParseCase{"ValueBeforeAnyKeySkipped", "\"A\"=\"1\"\n[HKEY_CURRENT_USER\\K]\n", false, "K",
                  "A", "<missing>"},
        ParseCase{"UnknownRootSkipsItsValues",
                  "[HKEY_NOWHERE\\K]\n\"A\"=\"1\"\n[HKEY_CURRENT_USER\\K]\n", false, "K", "A",
                  "<missing>"},
        ParseCase{"Utf8TextBecomesAnsi", "[HKEY_CURRENT_USER\\K]\n\"N\"=\"M\xC3\xBCller\"\n", false,
                  "K", "N", std::string("M\xFCller\0", 7)}),
    [](const ::testing::TestParamInfo<ParseCase>& row) { return row.param.szName; });

TEST(RegQuery, ReportsSizesTheWin32Way) {
  RegistryText text(std::string(kHeader) + "[HKEY_CURRENT_USER\\K]\n\"S\"=\"abcdef\"\n");
  HKEY hKey = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "K", 0, KEY_READ, &hKey), ERROR_SUCCESS);

  DWORD nSize = 0;
  DWORD nType = 0;
  EXPECT_EQ(RegQueryValueEx(hKey, "S", nullptr, &nType, nullptr, &nSize), ERROR_SUCCESS);
  EXPECT_EQ(nSize, 7u);
  EXPECT_EQ(nType, static_cast<DWORD>(REG_SZ));

  char small[4] = {'z', 'z', 'z', 'z'};
  nSize = sizeof small;
  EXPECT_EQ(RegQueryValueEx(hKey, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &nSize),
            ERROR_MORE_DATA);
  EXPECT_EQ(nSize, 7u);
  EXPECT_EQ(small[0], 'z') << "a buffer too small is left alone";

  char exact[7];
  nSize = sizeof exact;
  EXPECT_EQ(RegQueryValueEx(hKey, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &nSize),
            ERROR_SUCCESS);
  EXPECT_STREQ(exact, "abcdef");

  EXPECT_EQ(RegQueryValueEx(hKey, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueEx(hKey, "Missing", nullptr, nullptr, nullptr, &nSize),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(hKey), ERROR_SUCCESS);
}

TEST(RegOpen, KeysAboveANamedKeyExistAndHandlesNest) {
  RegistryText text(std::string(kHeader) +
                    "[HKEY_LOCAL_MACHINE\\Software\\PalmSource\\Desktop\\Core]\n"
                    "\"DesktopPath\"=\"/palm\"\n");
  HKEY hSoftware = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &hSoftware), ERROR_SUCCESS);
  HKEY hCore = nullptr;
  ASSERT_EQ(RegOpenKeyEx(hSoftware, "PalmSource\\Desktop\\Core", 0, KEY_READ, &hCore),
            ERROR_SUCCESS);
  char buf[16];
  DWORD nSize = sizeof buf;
  EXPECT_EQ(
      RegQueryValueEx(hCore, "DesktopPath", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &nSize),
      ERROR_SUCCESS);
  EXPECT_STREQ(buf, "/palm");

  HKEY hMissing = reinterpret_cast<HKEY>(&nSize);
  EXPECT_EQ(RegOpenKeyEx(hSoftware, "PalmSource\\Nothing", 0, KEY_READ, &hMissing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(hMissing, nullptr);
  EXPECT_EQ(RegCloseKey(hCore), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(hSoftware), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(hSoftware), ERROR_INVALID_HANDLE) << "a closed handle is not reused";
  EXPECT_EQ(RegOpenKeyEx(hSoftware, "PalmSource", 0, KEY_READ, &hCore), ERROR_INVALID_HANDLE);
}

class RegFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Path = std::filesystem::temp_directory_path() /
             ("daybridge-reg-" + std::to_string(::getpid()) + ".reg");
    setenv("DAYBRIDGE_REGISTRY", m_Path.c_str(), 1);
  }
  void TearDown() override {
    std::filesystem::remove(m_Path);
    unsetenv("DAYBRIDGE_REGISTRY");
  }
  void Write(const std::string& sBytes) { std::ofstream(m_Path, std::ios::binary) << sBytes; }
  std::filesystem::path m_Path;
};

TEST_F(RegFile, MissingFileIsAnEmptyRegistry) {
  HKEY hKey = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &hKey), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegFile, ReadsTheUtf16FileRegeditWrites) {
  const std::string sText = std::string(kHeader) +
                            "[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Core]\r\n"
                            "\"HotSyncPath\"=\"C:\\\\Palm\\\\HotSync.exe\"\r\n";
  std::string sBytes = "\xFF\xFE";
  for (char c : sText) {
    sBytes += c;
    sBytes += '\0';
  }
  Write(sBytes);
  EXPECT_EQ(
      ReadValue(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "HotSyncPath"),
      std::string("C:\\Palm\\HotSync.exe\0", 20));
}

TEST_F(RegFile, OpenHandleKeepsTheFileAsItWas) {
  Write(std::string(kHeader) + "[HKEY_CURRENT_USER\\K]\n\"A\"=\"old\"\n");
  HKEY hKey = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "K", 0, KEY_READ, &hKey), ERROR_SUCCESS);
  Write(std::string(kHeader) + "[HKEY_CURRENT_USER\\K]\n\"A\"=\"new\"\n");
  char buf[8];
  DWORD nSize = sizeof buf;
  ASSERT_EQ(RegQueryValueEx(hKey, "A", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &nSize),
            ERROR_SUCCESS);
  EXPECT_STREQ(buf, "old");
  RegCloseKey(hKey);
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, "K", "A"), std::string("new\0", 4));
}

}  // namespace
