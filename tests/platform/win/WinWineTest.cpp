// The Wine prefix: registry files as Wine 8 wrote them (every kind of value, the whole of a
// fresh system.reg), hostile registry text, Windows paths mapped through a prefix built here
// (mixed case, drive links, cycles, links leading out), and the registry stand-in taking
// Palm Desktop's keys from the prefix only when its own file names none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win/WinRegistry.h"
#include "platform/win/WinWine.h"
#include "support/files/TempFolder.h"
#include "support/wine/WinePrefix.h"

namespace fs = std::filesystem;

namespace {

const std::string kWineData = std::string(DB_TEST_DATA_DIR) + "/wine-prefix/";

bool KeepAll(const std::string&) {
  return true;
}

CxWineKeys ReadFile(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  CxWineKeys keys;
  std::string strReason;
  EXPECT_TRUE(CxWineReadRegistry(in, KeepAll, keys, strReason)) << strReason;
  return keys;
}

struct ValueCase {
  const char* szName;
  const char* szValue;
  DWORD nType;
  std::string sData;
};

class WineUserReg : public ::testing::TestWithParam<ValueCase> {};

TEST_P(WineUserReg, ReadsValueAsTheAnsiApiReportsIt) {
  static const CxWineKeys keys = ReadFile(kWineData + "user.reg");
  const ValueCase& c = GetParam();
  const auto itKey = keys.keys.find(std::string("software\\u.s. robotics\\pilot desktop\\") +
                                    (c.nType == 0 ? "core" : "kinds"));
  ASSERT_NE(itKey, keys.keys.end());
  const auto itValue = itKey->second.find(c.szValue);
  ASSERT_NE(itValue, itKey->second.end()) << c.szValue;
  EXPECT_EQ(itValue->second.nType, c.nType == 0 ? 1u : c.nType);
  EXPECT_EQ(std::string(itValue->second.data.begin(), itValue->second.data.end()), c.sData);
}

// nType 0: a REG_SZ of the Core key; otherwise the kind of a value of the Kinds key.
INSTANTIATE_TEST_SUITE_P(
    Table, WineUserReg,
    ::testing::Values(
        ValueCase{"EscapedBackslashes", "desktoppath", 0,
                  std::string("C:\\Program Files\\Palm\\\0", 23)},
        ValueCase{"HexEscapesToAnsi", "currentuser", 0, std::string("Ann \xC5str\xF6m\0", 11)},
        ValueCase{"EuroBeyondLatin1", "accented", 1, std::string("Gen\xE8ve \x80 1\0", 11)},
        ValueCase{"QuoteAndBackslash", "quoted", 1, std::string("say \"hi\" \\ back\0", 16)},
        ValueCase{"DefaultValue", "", 1, std::string("default\0", 8)},
        ValueCase{"ExpandString", "expand", 2, std::string("%ProgramFiles%\\Palm\0", 20)},
        ValueCase{"MultiString", "multi", 7, std::string("one\0two\0three\0\0", 15)},
        ValueCase{"Dword", "number", 4, std::string("\x40\xE2\x01\x00", 4)},
        ValueCase{"HexOverThreeLines", "blob", 3,
                  std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
                              "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f"
                              "\x20\x21\x22\x23\x24\x25\x26\x27\x28\x29\x2a\x2b\x2c\x2d\x2e\x2f",
                              48)}),
    [](const ::testing::TestParamInfo<ValueCase>& row) { return row.param.szName; });

TEST(WineSystemReg, EveryKeyOfAFreshPrefixReadsWithNothingSkipped) {
  const CxWineKeys keys = ReadFile(kWineData + "system.reg");
  std::ifstream in(kWineData + "system.reg");
  size_t nHeaders = 0;
  for (std::string strLine; std::getline(in, strLine);)
    nHeaders += !strLine.empty() && strLine[0] == '[';
  EXPECT_EQ(keys.nSkipped, 0u) << keys.strFirstSkip;
  EXPECT_EQ(keys.keys.size(), nHeaders);
}

struct HostileCase {
  const char* szName;
  std::string sText;
  bool bAccepted;
  size_t nSkipped;
  const char* szGoodValue;  // the value "X" of key "good", or null when it must be missing
};

class WineHostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(WineHostile, IsRefusedOrSkippedNeverMisread) {
  const HostileCase& c = GetParam();
  std::istringstream in(c.sText);
  CxWineKeys keys;
  std::string strReason;
  ASSERT_EQ(CxWineReadRegistry(in, KeepAll, keys, strReason), c.bAccepted) << strReason;
  EXPECT_EQ(c.bAccepted, strReason.empty());
  EXPECT_EQ(keys.nSkipped, c.nSkipped) << keys.strFirstSkip;
  const auto it = keys.keys.find("good");
  const bool bHasX = it != keys.keys.end() && it->second.count("x");
  ASSERT_EQ(bHasX, c.szGoodValue != nullptr);
  if (bHasX) {
    EXPECT_STREQ(reinterpret_cast<const char*>(it->second.at("x").data.data()), c.szGoodValue);
  }
}

const std::string kHead = "WINE REGISTRY Version 2\n";
const std::string kMiB(1024 * 1024, 'a');

std::string ManyLargeValues() {
  std::string strText = kHead + "[Good]\n";
  for (int i = 0; i < 17; ++i)
    strText += "\"V" + std::to_string(i) + "\"=\"" + kMiB.substr(10) + "\"\n";
  return strText;
}

std::string ManyTinyKeys() {
  std::string strText = kHead + "[Good]\n\"X\"=\"1\"\n";
  for (int i = 0; i < 300000; ++i) strText += "[k" + std::to_string(i) + "]\n";
  return strText;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WineHostile,
    ::testing::Values(
        HostileCase{"RegeditFileRefused", "REGEDIT4\n[Good]\n\"X\"=\"1\"\n", false, 0, nullptr},
        HostileCase{"KeyOf100MiBDropsItsValues",
                    kHead + "[Good]\n\"X\"=\"1\"\n[" + std::string(100 * 1024 * 1024, 'k') +
                        "] 1\n\"X\"=\"overwritten\"\n",
                    true, 1, "1"},
        HostileCase{"KeyPathLongerThanWindowsAllows",
                    kHead + "[" + std::string(40000, 'k') + "]\n\"X\"=\"2\"\n[Good]\n\"X\"=\"1\"\n",
                    true, 1, "1"},
        HostileCase{"ContinuedValueOverLimitSkippedWhole",
                    kHead + "[Good]\n\"X\"=\"1\"\n\"X\"=hex:00,\\\n" + kMiB + ",\\\n  01\n", true,
                    1, "1"},
        HostileCase{"KeptDataBeyond16MiBRefused", ManyLargeValues(), false, 0, nullptr},
        HostileCase{"FloodOfTinyKeysRefused", ManyTinyKeys(), false, 0, nullptr},
        HostileCase{"UnclosedKeyDoesNotTakeValues", kHead + "[Good\n\"X\"=\"1\"\n", true, 1,
                    nullptr}),
    [](const ::testing::TestParamInfo<HostileCase>& row) { return row.param.szName; });

// A prefix with the folders and links the mapping must handle, built fresh per test.
class WinePaths : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_Temp.Path().empty());
    m_Prefix = fs::path(m_Temp.Path()) / "prefix";
    dbtest::WinePrefix prefix(m_Prefix);
    const fs::path palm = prefix.PalmFolder();
    fs::create_directories(palm / "ann" / "Datebook");
    std::ofstream(palm / "ann" / "Datebook" / "datebook.dat") << "x";
    const fs::path devices = m_Prefix / "dosdevices";
    fs::create_directory_symlink(m_Temp.Path(), devices / "d:");  // the prefix's parent
    fs::create_directory_symlink("e:", devices / "e:");
    fs::create_directory_symlink("g:", devices / "f:");
    fs::create_directory_symlink("f:", devices / "g:");
    fs::create_directory_symlink("/", palm / "out");
    fs::create_directory_symlink("loop", palm / "loop");
    fs::create_directory_symlink("ann", palm / "Shared");
  }

  dbtest::TempFolder m_Temp;
  fs::path m_Prefix;
};

TEST_F(WinePaths, MapsThroughDriveLinksWithoutRegardToCaseAndRefusesWhatLeadsAway) {
  struct Row {
    const char* szWinPath;
    const char* szLocal;   // relative to the prefix, when mapped
    const char* szReason;  // part of the reason, when refused
  };
  const Row rows[] = {
      {"C:\\Program Files\\Palm\\Ann\\datebook\\datebook.dat",
       "drive_c/Program Files/Palm/ann/Datebook/datebook.dat", nullptr},
      {"c:\\PROGRAM FILES\\PALM\\", "drive_c/Program Files/Palm/", nullptr},
      {"C:/Program Files/Palm/New\\Sub\\x.dat", "drive_c/Program Files/Palm/New/Sub/x.dat",
       nullptr},
      {"C:\\Program Files\\Palm\\shared\\DATEBOOK", "drive_c/Program Files/Palm/Shared/Datebook",
       nullptr},
      {"D:\\prefix\\drive_c", nullptr, "drive D: leads outside the Wine prefix"},
      {"E:\\x", nullptr, "the links of drive E: go round in a cycle"},
      {"F:\\x", nullptr, "the links of drive F: go round in a cycle"},
      {"H:\\x", nullptr, "the Wine prefix has no drive H:"},
      {"C:\\Program Files\\..\\..\\system.reg", nullptr, "climbs with \"..\""},
      {"Program Files\\Palm", nullptr, "names no drive"},
      {"C:\\Program Files\\Palm\\out\\etc", nullptr, "leads outside the Wine prefix"},
      {"C:\\Program Files\\Palm\\loop\\x", nullptr, "go round in a cycle"},
  };
  for (const Row& row : rows) {
    std::string strLocal;
    std::string strReason;
    const bool bMapped = CxWineLocalPath(m_Prefix.string(), row.szWinPath, strLocal, strReason);
    ASSERT_EQ(bMapped, row.szLocal != nullptr) << row.szWinPath << ": " << strReason;
    if (row.szLocal) {
      EXPECT_EQ(strLocal, fs::canonical(m_Prefix).string() + "/" + row.szLocal) << row.szWinPath;
    } else {
      EXPECT_NE(strReason.find(row.szReason), std::string::npos)
          << row.szWinPath << ": " << strReason;
    }
  }
}

// The registry stand-in over a prefix: DayBridge's own file is missing or names Palm Desktop.
class WineRegistry : public WinePaths {
 protected:
  void SetUp() override {
    WinePaths::SetUp();
    ::setenv("WINEPREFIX", m_Prefix.c_str(), 1);
  }

  std::string Read(HKEY hRoot, const char* szKey, const char* szValue, std::string* pPrefix) {
    HKEY hKey = nullptr;
    if (RegOpenKeyEx(hRoot, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return "<missing>";
    char szData[512] = {};
    DWORD nSize = sizeof szData - 1;
    RegQueryValueEx(hKey, szValue, nullptr, nullptr, reinterpret_cast<BYTE*>(szData), &nSize);
    char szPrefix[512] = {};
    if (CxRegGetKeyPrefix(hKey, szPrefix, sizeof szPrefix) && pPrefix) *pPrefix = szPrefix;
    char szLocal[512] = {};
    if (CxRegLocalPath(hKey, szData, szLocal, sizeof szLocal) == ERROR_SUCCESS)
      m_strLocal = szLocal;
    RegCloseKey(hKey);
    return szData;
  }

  dbtest::EnvGuard m_Registry{"DAYBRIDGE_REGISTRY", m_Temp.File("registry.reg").c_str()};
  dbtest::EnvGuard m_WinePrefix{"WINEPREFIX", nullptr};
  std::string m_strLocal;
};

TEST_F(WineRegistry, PalmKeysComeFromThePrefixWhenDayBridgeNamesNone) {
  std::string strPrefix;
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "DesktopPath",
                 &strPrefix),
            "C:\\Program Files\\Palm\\");
  EXPECT_EQ(strPrefix, m_Prefix.string());
  EXPECT_EQ(m_strLocal, fs::canonical(m_Prefix).string() + "/drive_c/Program Files/Palm/");
  // The 32-bit installation's machine key, seen where a 32-bit program sees it.
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\PalmSource\\Desktop\\Core", "DesktopPath", nullptr),
            "C:\\PROGRAM FILES\\PALM\\");
  // Nothing but Palm Desktop's keys is taken from the prefix.
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Wine\\Debug", "RelayExclude", nullptr), "<missing>");

  // A damaged system.reg is refused with its reason; user.reg still serves.
  std::ofstream(m_Prefix / "system.reg", std::ios::trunc) << "garbage\n";
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\PalmSource\\Desktop\\Core", "DesktopPath", nullptr),
            "<missing>");
  char szNote[512] = {};
  EXPECT_TRUE(CxRegGetWineNote(szNote, sizeof szNote));
  EXPECT_NE(std::string(szNote).find("system.reg was not read: it is not a Wine registry"),
            std::string::npos)
      << szNote;
  EXPECT_NE(Read(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "DesktopPath",
                 nullptr),
            "<missing>");
}

TEST_F(WineRegistry, DayBridgesOwnPalmKeyKeepsThePrefixOut) {
  std::ofstream(m_Temp.File("registry.reg"))
      << "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\Software\\PalmSource\\Desktop\\Core]\r\n"
         "\"DesktopPath\"=\"/opt/palm/\"\r\n";
  std::string strPrefix;
  EXPECT_EQ(
      Read(HKEY_LOCAL_MACHINE, "Software\\PalmSource\\Desktop\\Core", "DesktopPath", &strPrefix),
      "/opt/palm/");
  EXPECT_EQ(strPrefix, "");
  EXPECT_EQ(m_strLocal, "/opt/palm/");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "DesktopPath",
                 nullptr),
            "<missing>");
}

}  // namespace
