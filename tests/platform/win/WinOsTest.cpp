// The fault plan of the file layer, seen through the Win32 file functions: a plan on one kind
// of operation counts that kind alone, and a crash stops every later operation of any kind.
#include "platform/win/WinOs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/win/WinFile.h"
#include "platform/win/WinSystem.h"
#include "support/files/TempFolder.h"

namespace {

struct PlanGuard {
  explicit PlanGuard(const CX_OS_FAULT_PLAN& plan) { CxOsSetFaultPlan(&plan); }
  ~PlanGuard() { CxOsSetFaultPlan(nullptr); }
};

// The results of three one-byte writes to a new file, and what the file then holds.
std::string ThreeWrites(const CX_OS_FAULT_PLAN& plan, std::string* pstrHeld) {
  dbtest::TempFolder folder;
  const std::string strPath = folder.File("f");
  std::string strResults;
  {
    PlanGuard guard(plan);
    HANDLE h = CreateFile(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (const char* sz : {"a", "b", "c"}) {
      DWORD nDone = 0;
      const BOOL bOk = WriteFile(h, sz, 1, &nDone, nullptr);
      strResults += bOk ? "ok " : "fail(" + std::to_string(GetLastError()) + ") ";
    }
    CloseHandle(h);
  }
  HANDLE h = CreateFile(strPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char szHeld[8] = {};
  DWORD nGot = 0;
  ReadFile(h, szHeld, sizeof(szHeld), &nGot, nullptr);
  CloseHandle(h);
  *pstrHeld = std::string(szHeld, nGot);
  return strResults;
}

TEST(WinOsTest, SecondWriteFailsAloneWhenThePlanNamesWrites) {
  std::string strHeld;
  EXPECT_EQ(ThreeWrites({CX_OS_WRITE, 2, ENOSPC, false}, &strHeld), "ok fail(112) ok ");
  EXPECT_EQ(strHeld, "ac");
}

TEST(WinOsTest, CrashStopsThatOperationAndEveryLaterOne) {
  std::string strHeld;
  // The open, the lock, the truncation, then the writes: the crash comes at the second write.
  EXPECT_EQ(ThreeWrites({CX_OS_ANY, 5, 0, true}, &strHeld), "ok fail(29) fail(29) ");
  EXPECT_EQ(strHeld, "a");
}

}  // namespace
