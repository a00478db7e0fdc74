// LoadLibrary over dlopen, on the stand-in HotSync libraries: exact paths only, lookups by
// name, and the Win32 error codes callers check.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/win/WinLibrary.h"
#include "platform/win/WinSystem.h"
#include "support/hotsync/PalmFolder.h"

namespace {

TEST(Library, LoadsByPathAndBindsByName) {
  TempPalmFolder folder("lib");
  folder.InstallLibraries(1);
  // A doubled separator before the file name is how a folder ending in one gets joined.
  const std::string sPath = folder.Path() + "//condmgr.dll";
  HMODULE hModule = LoadLibrary(sPath.c_str());
  ASSERT_NE(hModule, nullptr);
  auto pfnVersion = reinterpret_cast<uint32_t (*)()>(GetProcAddress(hModule, "CmGetLibVersion"));
  ASSERT_NE(pfnVersion, nullptr);
  EXPECT_NE(pfnVersion(), 0u);

  SetLastError(0);
  EXPECT_EQ(GetProcAddress(hModule, "CmNoSuchEntry"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(hModule, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(1))), nullptr)
      << "ordinals are not looked up";
  EXPECT_TRUE(FreeLibrary(hModule));
}

TEST(Library, MissingOrEmptyPathFails) {
  SetLastError(0);
  EXPECT_EQ(LoadLibrary("/nonexistent/UserData.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibrary(""), nullptr);
  EXPECT_EQ(LoadLibrary(nullptr), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(Library, BareNameIsNotSearchedForInSystemFolders) {
  // libc exists in every system library folder; a bare name must mean the current folder.
  EXPECT_EQ(LoadLibrary("libc.so.6"), nullptr);
}

}  // namespace
