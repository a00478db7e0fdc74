// Version resources read from PE files: both PE flavours, files without version information,
// and damaged files, which must fail without reading outside the file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "demo/pe/PeImage.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinVersion.h"
#include "support/hotsync/PalmFolder.h"

namespace {

struct VersionCase {
  const char* szName;
  PeImageOptions options;
  DWORD nExpectedMS;
  DWORD nExpectedLS;
};

class PeVersionRead : public ::testing::TestWithParam<VersionCase> {};

TEST_P(PeVersionRead, FixedInfoOfTheFile) {
  const VersionCase& c = GetParam();
  TempPalmFolder folder("pe");
  const std::string sFile = folder.File("palm.exe");
  ASSERT_TRUE(WritePeFile(sFile.c_str(), c.options));

  DWORD nHandle = 7;
  const DWORD nSize = GetFileVersionInfoSize(sFile.c_str(), &nHandle);
  ASSERT_GT(nSize, 0u);
  EXPECT_EQ(nHandle, 0u);
  std::vector<BYTE> block(nSize);
  ASSERT_TRUE(GetFileVersionInfo(sFile.c_str(), 0, nSize, block.data()));
  VS_FIXEDFILEINFO* pInfo = nullptr;
  UINT nLen = 0;
  ASSERT_TRUE(VerQueryValue(block.data(), "\\", reinterpret_cast<void**>(&pInfo), &nLen));
  ASSERT_EQ(nLen, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(pInfo->dwFileVersionMS, c.nExpectedMS);
  EXPECT_EQ(pInfo->dwFileVersionLS, c.nExpectedLS);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeVersionRead,
    ::testing::Values(VersionCase{"Pe32Version4104", PeVersion(4, 1, 4, 0), 0x00040001, 0x00040000},
                      VersionCase{"Pe64Version6200", PeVersion(6, 2, 0, 0, true), 0x00060002, 0},
                      VersionCase{"AllPartsAtTheirLimit", PeVersion(65535, 65535, 65535, 65535),
                                  0xFFFFFFFF, 0xFFFFFFFF}),
    [](const ::testing::TestParamInfo<VersionCase>& row) { return row.param.szName; });

struct MissingCase {
  const char* szName;
  std::vector<uint8_t> image;
  DWORD nExpectedError;
};

class PeWithoutVersion : public ::testing::TestWithParam<MissingCase> {};

TEST_P(PeWithoutVersion, ReportsNoVersionInformation) {
  const MissingCase& c = GetParam();
  TempPalmFolder folder("pe");
  const std::string sFile = folder.File("palm.exe");
  folder.WriteFile("palm.exe", std::string(c.image.begin(), c.image.end()));
  SetLastError(0);
  EXPECT_EQ(GetFileVersionInfoSize(sFile.c_str(), nullptr), 0u);
  EXPECT_EQ(GetLastError(), c.nExpectedError);
  BYTE buf[256];
  EXPECT_FALSE(GetFileVersionInfo(sFile.c_str(), 0, sizeof buf, buf));
}

PeImageOptions WithResourceType(uint32_t nType) {
  PeImageOptions options;
  options.nResourceType = nType;
  return options;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> image, size_t nSize) {
  image.resize(nSize);
  return image;
}

std::vector<uint8_t> Patched(std::vector<uint8_t> image, size_t nAt, uint32_t nValue) {
  for (int i = 0; i < 4; ++i) image[nAt + i] = static_cast<uint8_t>(nValue >> (8 * i));
  return image;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeWithoutVersion,
    ::testing::Values(
        MissingCase{"NoResourceSection", BuildPeImage(WithResourceType(0)),
                    ERROR_RESOURCE_TYPE_NOT_FOUND},
        MissingCase{"OnlyAnIconResource", BuildPeImage(WithResourceType(3)),
                    ERROR_RESOURCE_TYPE_NOT_FOUND},
        MissingCase{"NotAnExecutable", {'#', '!', '/', 'b', 'i', 'n'}, ERROR_BAD_FORMAT},
        MissingCase{"CutInsideTheVersionBlock", Cut(BuildPeImage(PeImageOptions()), 0x200 + 0x70),
                    ERROR_RESOURCE_TYPE_NOT_FOUND},
        MissingCase{"PeHeaderOffsetPastTheEnd",
                    Patched(BuildPeImage(PeImageOptions()), 0x3C, 0xFFFFFFF0), ERROR_BAD_FORMAT},
        MissingCase{"DataEntrySizeHuge",
                    Patched(BuildPeImage(PeImageOptions()), 0x200 + 0x4C, 0x7FFFFFFF),
                    ERROR_RESOURCE_TYPE_NOT_FOUND},
        MissingCase{"DataEntryOutsideEverySection",
                    Patched(BuildPeImage(PeImageOptions()), 0x200 + 0x48, 0x90000000),
                    ERROR_RESOURCE_TYPE_NOT_FOUND}),
    [](const ::testing::TestParamInfo<MissingCase>& row) { return row.param.szName; });

TEST(PeVersion, MissingFileFails) {
  SetLastError(0);
  EXPECT_EQ(GetFileVersionInfoSize("/nonexistent/palm.exe", nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileVersionInfoSize(nullptr, nullptr), 0u);
}

TEST(PeVersion, WrongSignatureIsNoFixedInfo) {
  PeImageOptions options;
  options.nSignature = 0x12345678;
  std::vector<BYTE> block;
  const std::vector<uint8_t> image = BuildPeImage(options);
  ASSERT_TRUE(CxFindVersionBlock(image.data(), image.size(), block));
  void* pInfo = nullptr;
  UINT nLen = 0;
  EXPECT_FALSE(VerQueryValue(block.data(), "\\", &pInfo, &nLen));
}

TEST(PeVersion, CutCopyNeverYieldsTheFixedInfo) {
  TempPalmFolder folder("pe");
  const std::string sFile = folder.File("palm.exe");
  ASSERT_TRUE(WritePeFile(sFile.c_str(), PeVersion(4, 1, 4, 0)));
  // The fixed part ends at byte 92; a copy of 60 bytes must not be read up to there.
  std::vector<BYTE> block(60);
  ASSERT_TRUE(GetFileVersionInfo(sFile.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  void* pInfo = nullptr;
  UINT nLen = 0;
  EXPECT_FALSE(VerQueryValue(block.data(), "\\", &pInfo, &nLen));
}

TEST(PeVersion, BlockLengthNeverClaimsMoreThanTheResource) {
  std::vector<uint8_t> image = BuildPeImage(PeVersion(4, 1, 4, 0));
  image[0x200 + 0x58] = 0xFF;  // wLength of the version block: 0xFF5C
  image[0x200 + 0x59] = 0xFF;
  std::vector<BYTE> block;
  ASSERT_TRUE(CxFindVersionBlock(image.data(), image.size(), block));
  ASSERT_EQ(block.size(), 92u);
  EXPECT_EQ(block[0] | (block[1] << 8), 92);
}

TEST(PeVersion, OnlyTheRootBlockIsOffered) {
  const std::vector<uint8_t> image = BuildPeImage(PeVersion(1, 2, 3, 4));
  std::vector<BYTE> block;
  ASSERT_TRUE(CxFindVersionBlock(image.data(), image.size(), block));
  void* pValue = nullptr;
  UINT nLen = 0;
  EXPECT_FALSE(VerQueryValue(block.data(), "\\VarFileInfo\\Translation", &pValue, &nLen));
}

TEST(PeVersion, EveryTruncationFailsCleanly) {
  const std::vector<uint8_t> image = BuildPeImage(PeVersion(4, 1, 4, 0, true));
  std::vector<BYTE> block;
  for (size_t nSize = 0; nSize < 0x200 + 0x58 + 92; ++nSize) {
    EXPECT_FALSE(CxFindVersionBlock(image.data(), nSize, block)) << "size " << nSize;
  }
  EXPECT_TRUE(CxFindVersionBlock(image.data(), image.size(), block));
}

}  // namespace
