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

namespace viewtest {

// Names parameterized cases after their szName.
struct CaseName {
  template <class T>
  std::string operator()(const ::testing::TestParamInfo<T>& caseInfo) const {
    return caseInfo.param.szName;
  }
};

inline SYSTEMTIME Date(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  AddDays(&st, 0);  // fills in the day of week
  st.wHour = static_cast<WORD>(nHour);
  st.wMinute = static_cast<WORD>(nMinute);
  return st;
}

inline bool SameDay(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

inline std::unique_ptr<CommDate> Record(const char* szDescription, const SYSTEMTIME& stStart,
                                        const SYSTEMTIME& stEnd, bool bAllDay = false) {
  auto pDate = std::make_unique<CommDate>();
  std::memset(pDate.get(), 0, sizeof(CommDate));
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
    setenv("TZ", "UTC", 1);
    tzset();
    const SYSTEMTIME stNow = Date(2011, 3, 7, 10, 0);
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

  std::unique_ptr<QWidget> m_pParent;
};

}  // namespace viewtest
