// The common application data folder: where it comes from, that it is created on request and
// that it is never written beyond the caller's MAX_PATH buffer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/win/WinFolder.h"

namespace {

namespace fs = std::filesystem;

class CommonAppData : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Root = fs::temp_directory_path() / ("daybridge-folder-" + std::to_string(::getpid()));
    fs::remove_all(m_Root);
  }
  void TearDown() override {
    fs::remove_all(m_Root);
    unsetenv("DAYBRIDGE_COMMON_APPDATA");
    unsetenv("XDG_DATA_HOME");
  }
  fs::path m_Root;
};

TEST_F(CommonAppData, MissingFolderIsReportedAndCreatedOnRequest) {
  const std::string sFolder = (m_Root / "a" / "b").string();
  setenv("DAYBRIDGE_COMMON_APPDATA", (sFolder + "//").c_str(), 1);
  char szPath[MAX_PATH];
  EXPECT_EQ(SHGetFolderPath(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szPath),
            S_FALSE);
  EXPECT_EQ(szPath, sFolder) << "written without the trailing separators";
  EXPECT_FALSE(fs::exists(sFolder));

  EXPECT_EQ(SHGetFolderPath(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                            SHGFP_TYPE_CURRENT, szPath),
            S_OK);
  EXPECT_EQ(szPath, sFolder);
  EXPECT_TRUE(fs::is_directory(sFolder));
}

TEST_F(CommonAppData, FallsBackToXdgDataHome) {
  unsetenv("DAYBRIDGE_COMMON_APPDATA");
  fs::create_directories(m_Root);
  setenv("XDG_DATA_HOME", m_Root.c_str(), 1);
  char szPath[MAX_PATH];
  EXPECT_EQ(SHGetFolderPath(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szPath),
            S_OK);
  EXPECT_EQ(szPath, m_Root.string());
}

TEST_F(CommonAppData, RefusesWhatItCannotHold) {
  char szPath[MAX_PATH];
  EXPECT_EQ(SHGetFolderPath(nullptr, 0x001a, nullptr, SHGFP_TYPE_CURRENT, szPath), E_INVALIDARG);
  EXPECT_EQ(SHGetFolderPath(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, nullptr),
            E_INVALIDARG);
  setenv("DAYBRIDGE_COMMON_APPDATA", ("/" + std::string(MAX_PATH, 'x')).c_str(), 1);
  EXPECT_EQ(SHGetFolderPath(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                            SHGFP_TYPE_CURRENT, szPath),
            E_FAIL);
  EXPECT_STREQ(szPath, "");
}

}  // namespace
