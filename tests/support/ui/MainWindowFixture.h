// The main window on a demo environment generated for Wednesday 2026-12-09 (local time in
// Paris, "now" fixed to 10:00 that morning), offscreen, with the screen's boxes and dialogs
// answered by a UiRecorder. Every test starts from a fresh environment, since shut-down writes
// the settings. Controls are found by their object names, in the window or in a dialog.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>

#include "app/Main.h"
#include "app/core/AppSettings.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinTime.h"
#include "support/clock/ClockGuard.h"
#include "support/demo/DemoEnvironment.h"
#include "support/ui/UiFind.h"
#include "support/ui/UiRecorder.h"

using clockguard::LocalTime;

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const SYSTEMTIME stNow = LocalTime(2026, 12, 9, 10);
    CxSetFixedLocalTime(&stNow);
    ASSERT_TRUE(m_Demo.IsReady());
  }
  void TearDown() override {
    m_pMain.reset();
    CxSetFixedLocalTime(nullptr);
  }

  // The window made and started as the program does it, shown.
  void Start() {
    m_pMain = std::make_unique<TfmMain>();
    m_pMain->RunStartup();
    m_pMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pMain.get()));
  }

  template <class T>
  T* Find(const char* szName) {
    return FindIn<T>(m_pMain.get(), szName);
  }

  void Click(const char* szButton) { ClickIn(m_pMain.get(), szButton); }

  // Changes the stored settings before a window reads them.
  void StoreSettings(const std::function<void(TAppSettings&)>& change) {
    UseDataFolderSettings(m_Demo.DataFile("").c_str());
    LoadSettings();
    change(AppSettings);
    SaveSettings();
  }

  clockguard::ZoneGuard m_Zone{"Europe/Paris"};
  DemoEnvironment m_Demo{"main"};
  UiRecorder m_Ui;
  std::unique_ptr<TfmMain> m_pMain;
};
