// The fault plan of the file layer, seen through the Win32 file functions: a plan on one kind
// of operation counts that kind alone, and a crash stops that operation and every later one.
#include "platform/win/WinOs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/win/WinFile.h"
#include "platform/win/WinSystem.h"
#include "support/files/FaultPlan.h"
#include "support/files/TempFolder.h"

namespace {

struct PlanCase {
  const char* szName;
  CX_OS_FAULT_PLAN plan;
  const char* szResults;  // of three one-byte writes after a CREATE_ALWAYS open
  const char* szHeld;
};

// The open, the lock and the truncation come before the writes: operation 5 is the second.
const PlanCase kPlanCases[] = {
    {"SecondWriteFailsAlone", {CX_OS_WRITE, 2, ENOSPC, false}, "ok 112 ok ", "ac"},
    {"CrashAtSecondWriteStopsTheThird", {CX_OS_ANY, 5, 0, true}, "ok 29 29 ", "a"},
};

class WinOsTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(WinOsTest, WritesUnderThePlan) {
  dbtest::TempFolder folder;
  const std::string strPath = folder.File("f");
  std::string strResults;
  {
    dbtest::FaultPlan plan(GetParam().plan);
    HANDLE h = CreateFile(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (const char* sz : {"a", "b", "c"}) {
      DWORD nDone = 0;
      strResults +=
          WriteFile(h, sz, 1, &nDone, nullptr) ? "ok " : std::to_string(GetLastError()) + " ";
    }
    CloseHandle(h);
  }
  std::string strHeld;
  EXPECT_TRUE(CxReadWholeFile(strPath.c_str(), 16, &strHeld));
  EXPECT_EQ(strResults, GetParam().szResults);
  EXPECT_EQ(strHeld, GetParam().szHeld);
}

INSTANTIATE_TEST_SUITE_P(Plans, WinOsTest, ::testing::ValuesIn(kPlanCases),
                         [](const auto& row) { return std::string(row.param.szName); });

}  // namespace
