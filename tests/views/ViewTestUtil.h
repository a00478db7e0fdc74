// Shared pieces of the view tests: the QApplication every test needs (made once, offscreen),
// a shown parent widget to create controls under, and dates and records by value.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/calendar/CommDate.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"
#include "platform/win/WinTypes.h"
#include "support/clock/ClockGuard.h"

namespace viewtest {

// Names parameterized cases after their szName.
struct CaseName {
  template <class T>
  std::string operator()(const ::testing::TestParamInfo<T>& caseInfo) const {
    return caseInfo.param.szName;
  }
};

using clockguard::LocalTime;

inline bool SameDay(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

inline std::unique_ptr<CommDate> Record(const char* szDescription, const SYSTEMTIME& stStart,
                                        const SYSTEMTIME& stEnd, bool bAllDay = false) {
  auto pDate = std::make_unique<CommDate>();
  *pDate = CommDate{};
  CxCopyText(pDate->szDescription, szDescription);
  pDate->stStart = stStart;
  pDate->stEnd = stEnd;
  pDate->bAllDay = bAllDay ? 1 : 0;
  return pDate;
}

// Local time is fixed to a known "now" and a known zone for each test.
class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const SYSTEMTIME stNow = LocalTime(2011, 3, 7, 10, 0);
    CxSetFixedLocalTime(&stNow);
    m_pParent = std::make_unique<QWidget>();
    m_pParent->resize(1014, 673);
    m_pParent->show();
    // Painting happens only in an exposed window, even offscreen.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pParent.get()));
  }
  void TearDown() override {
    m_pParent.reset();  // destroys every control window and with it every control
    CxSetFixedLocalTime(nullptr);
  }
  HWND Parent() { return static_cast<void*>(m_pParent.get()); }

  clockguard::ZoneGuard m_Zone{"UTC"};
  std::unique_ptr<QWidget> m_pParent;
};

}  // namespace viewtest
