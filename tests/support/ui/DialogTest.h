// Base of the dialog tests: a demo environment (data folder, registry, Palm Desktop folder),
// the settings loaded from it, the screen answered by a UiRecorder, and the process's settings
// and debug log put back as they were afterwards. Controls are found by object name.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QTest>
#include <QWidget>
#include <string>

#include "app/core/AppSettings.h"
#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinRegistry.h"
#include "support/demo/DemoEnvironment.h"
#include "support/ui/UiRecorder.h"

// A control of a window by its object name, and a click on it.
template <class T>
T* FindIn(QWidget* pRoot, const char* szName) {
  T* pFound = pRoot->findChild<T*>(QString::fromUtf8(szName));
  EXPECT_NE(pFound, nullptr) << szName;
  return pFound;
}

inline void ClickIn(QWidget* pRoot, const char* szName) {
  QTest::mouseClick(FindIn<QWidget>(pRoot, szName), Qt::LeftButton);
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_Demo.IsReady());
    m_SavedSettings = AppSettings;
    m_bLogEnabled = g_DebugLog.IsEnabled();
    m_nLogLevel = g_DebugLog.GetLevel();
    m_sLogFolder = g_DebugLog.GetFolder();
    UseDataFolderSettings(m_Demo.DataFile("").c_str());
    LoadSettings();
  }
  void TearDown() override {
    AppSettings = m_SavedSettings;
    g_DebugLog.Enable(m_bLogEnabled);
    g_DebugLog.SetLevel(m_nLogLevel);
    g_DebugLog.SetFolder(m_sLogFolder.c_str());
    CxRegSetText(nullptr, 0);
  }

  DemoEnvironment m_Demo{"dialog"};
  UiRecorder m_Ui;

 private:
  TAppSettings m_SavedSettings = {};
  bool m_bLogEnabled = false;
  int m_nLogLevel = 0;
  std::string m_sLogFolder;
};
