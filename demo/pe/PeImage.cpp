// Offsets: DOS header at 0, PE header at 0x80, the one section's raw data at 0x200 mapped at
// RVA 0x1000. The resource tree inside it: root directory (0x00), name directory (0x18),
// language directory (0x30), data entry (0x48), version block (0x58).
#include "demo/pe/PeImage.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kPeOffset = 0x80;
constexpr uint32_t kRawOffset = 0x200;
constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kBlockOffset = 0x58;
constexpr uint32_t kBlockSize = 92;  // header, key, padding, fixed part

void Put16(std::vector<uint8_t>& b, size_t nAt, uint32_t v) {
  if (b.size() < nAt + 2) b.resize(nAt + 2);
  b[nAt] = static_cast<uint8_t>(v);
  b[nAt + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t nAt, uint32_t v) {
  Put16(b, nAt, v & 0xFFFF);
  Put16(b, nAt + 2, v >> 16);
}

void PutDirectory(std::vector<uint8_t>& b, size_t nAt, uint32_t nId, uint32_t nTarget) {
  Put16(b, nAt + 14, 1);  // one id entry, no named ones
  Put32(b, nAt + 16, nId);
  Put32(b, nAt + 20, nTarget);
}

std::vector<uint8_t> BuildResources(const PeImageOptions& options) {
  std::vector<uint8_t> r(kBlockOffset + kBlockSize, 0);
  PutDirectory(r, 0x00, options.nResourceType, 0x80000000u | 0x18);
  PutDirectory(r, 0x18, 1, 0x80000000u | 0x30);
  PutDirectory(r, 0x30, 0x409, 0x48);
  Put32(r, 0x48, kSectionRva + kBlockOffset);
  Put32(r, 0x4C, kBlockSize);

  const size_t b = kBlockOffset;
  Put16(r, b + 0, kBlockSize);
  Put16(r, b + 2, 52);
  Put16(r, b + 4, 0);
  const char* szKey = "VS_VERSION_INFO";
  for (size_t i = 0; i <= std::strlen(szKey); ++i) Put16(r, b + 6 + 2 * i, szKey[i]);
  const size_t f = b + 40;
  Put32(r, f + 0, options.nSignature);
  Put32(r, f + 4, 0x00010000);
  Put32(r, f + 8, (uint32_t{options.nFileVersion[0]} << 16) | options.nFileVersion[1]);
  Put32(r, f + 12, (uint32_t{options.nFileVersion[2]} << 16) | options.nFileVersion[3]);
  Put32(r, f + 16, (uint32_t{options.nProductVersion[0]} << 16) | options.nProductVersion[1]);
  Put32(r, f + 20, (uint32_t{options.nProductVersion[2]} << 16) | options.nProductVersion[3]);
  Put32(r, f + 24, 0x3F);
  Put32(r, f + 32, 0x40004);  // VOS_NT_WINDOWS32
  Put32(r, f + 36, 1);        // VFT_APP
  return r;
}

}  // namespace

std::vector<uint8_t> BuildPeImage(const PeImageOptions& options) {
  std::vector<uint8_t> img(kRawOffset, 0);
  img[0] = 'M';
  img[1] = 'Z';
  Put32(img, 0x3C, kPeOffset);

  const bool bResources = options.nResourceType != 0;
  const std::vector<uint8_t> rsrc = bResources ? BuildResources(options) : std::vector<uint8_t>();
  const uint32_t nOptionalSize = options.b64Bit ? 240 : 224;
  size_t p = kPeOffset;
  Put32(img, p, 0x00004550);
  Put16(img, p + 4, options.b64Bit ? 0x8664 : 0x014C);
  Put16(img, p + 6, bResources ? 1 : 0);
  Put16(img, p + 20, nOptionalSize);
  Put16(img, p + 22, options.b64Bit ? 0x0022 : 0x0102);

  const size_t o = p + 24;
  Put16(img, o, options.b64Bit ? 0x20B : 0x10B);
  Put32(img, o + 32, 0x1000);          // section alignment
  Put32(img, o + 36, kFileAlignment);  // file alignment
  Put32(img, o + 56, 0x2000);          // size of image
  Put32(img, o + 60, kRawOffset);      // size of headers
  Put16(img, o + 68, 2);               // Windows GUI
  const size_t nCountField = options.b64Bit ? 108 : 92;
  const size_t nDirectories = options.b64Bit ? 112 : 96;
  Put32(img, o + nCountField, 16);
  if (bResources) {
    Put32(img, o + nDirectories + 16, kSectionRva);
    Put32(img, o + nDirectories + 20, static_cast<uint32_t>(rsrc.size()));

    const size_t s = o + nOptionalSize;
    std::memcpy(&img[s], ".rsrc", 5);
    const uint32_t nRawSize =
        (static_cast<uint32_t>(rsrc.size()) + kFileAlignment - 1) / kFileAlignment * kFileAlignment;
    Put32(img, s + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(img, s + 12, kSectionRva);
    Put32(img, s + 16, nRawSize);
    Put32(img, s + 20, kRawOffset);
    Put32(img, s + 36, 0x40000040);  // initialized data, readable
    img.resize(kRawOffset + nRawSize, 0);
    std::memcpy(&img[kRawOffset], rsrc.data(), rsrc.size());
  }
  return img;
}

bool WritePeFile(const char* szPath, const PeImageOptions& options) {
  const std::vector<uint8_t> img = BuildPeImage(options);
  std::FILE* pFile = std::fopen(szPath, "wb");
  if (!pFile) return false;
  const bool bWritten = std::fwrite(img.data(), 1, img.size(), pFile) == img.size();
  return std::fclose(pFile) == 0 && bWritten;
}

PeImageOptions PeVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d, bool b64Bit) {
  PeImageOptions options;
  options.b64Bit = b64Bit;
  const uint16_t nVersion[4] = {a, b, c, d};
  std::memcpy(options.nFileVersion, nVersion, sizeof nVersion);
  std::memcpy(options.nProductVersion, nVersion, sizeof nVersion);
  return options;
}
