// Writes minimal Windows executables (PE32 or PE32+) that carry a version resource of a chosen
// version, for tests and the demo: a DOS header, the PE headers, one ".rsrc" section with a
// three-level resource tree and a VS_VERSIONINFO block holding only the fixed part.
#pragma once

#include <cstdint>
#include <vector>

struct PeImageOptions {
  bool b64Bit = false;
  // The resource type the tree holds: 16 is the version resource; another type gives a file
  // without version information; 0 gives a file without any resource section.
  uint32_t nResourceType = 16;
  uint16_t nFileVersion[4] = {1, 0, 0, 0};  // major, minor, build, revision
  uint16_t nProductVersion[4] = {1, 0, 0, 0};
  uint32_t nSignature = 0xFEEF04BDu;  // another value makes the fixed part invalid
};

std::vector<uint8_t> BuildPeImage(const PeImageOptions& options);

// Writes the image to the path; false when the file cannot be written.
bool WritePeFile(const char* szPath, const PeImageOptions& options);

// Options with both versions set to a.b.c.d.
PeImageOptions PeVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d, bool b64Bit = false);
