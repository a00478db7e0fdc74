// Golden files: what DayBridge writes, kept under tests/data/ and compared byte for byte, so
// that any change in output shows up as a reviewed diff of those files. Run with
// DAYBRIDGE_UPDATE_GOLDEN set (scripts/golden does), a comparison writes the golden file
// instead and passes; the test then proves nothing until the diff has been read.
//
// The test programs get DB_TEST_DATA_DIR (the tests/data folder of the source tree) from
// the build.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace golden {

inline std::string PathOf(const std::string& name) {
  return std::string(DB_TEST_DATA_DIR) + "/" + name;
}

inline bool Updating() {
  const char* szUpdate = std::getenv("DAYBRIDGE_UPDATE_GOLDEN");
  return szUpdate != nullptr && szUpdate[0] != '\0';
}

inline bool ReadWhole(const std::string& path, std::string* pOut) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  pOut->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Every strFrom in strText replaced by strTo: how a golden file names what differs from run
// to run (a temporary folder as "$DEMO").
inline std::string ReplaceAll(std::string strText, const std::string& strFrom,
                              const std::string& strTo) {
  for (size_t nPos = strText.find(strFrom); nPos != std::string::npos;
       nPos = strText.find(strFrom, nPos + strTo.size())) {
    strText.replace(nPos, strFrom.size(), strTo);
  }
  return strText;
}

namespace detail {

// Up to 16 bytes from nFrom, as hexadecimal.
inline std::string HexAt(std::string_view bytes, size_t nFrom) {
  std::string out;
  char szByte[4];
  for (size_t i = nFrom; i < bytes.size() && i < nFrom + 16; ++i) {
    std::snprintf(szByte, sizeof(szByte), "%02x ", static_cast<unsigned char>(bytes[i]));
    out += szByte;
  }
  return out.empty() ? "(end)" : out;
}

}  // namespace detail

// Passes when bytes equal the golden file `name`; otherwise says where they first differ
// (offset, line for text files, the bytes on both sides).
inline ::testing::AssertionResult MatchesGolden(const std::string& name, std::string_view bytes) {
  const std::string path = PathOf(name);
  if (Updating()) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return ::testing::AssertionFailure() << "cannot write " << path;
    return ::testing::AssertionSuccess();
  }
  std::string expected;
  if (!ReadWhole(path, &expected)) {
    return ::testing::AssertionFailure()
           << "no golden file " << path << " (scripts/golden writes it)";
  }
  if (bytes == expected) return ::testing::AssertionSuccess();
  const auto diff = std::mismatch(bytes.begin(), bytes.end(), expected.begin(), expected.end());
  const size_t nAt = static_cast<size_t>(diff.first - bytes.begin());
  const size_t nLine = 1 + static_cast<size_t>(std::count(bytes.begin(), diff.first, '\n'));
  return ::testing::AssertionFailure()
         << name << ": " << bytes.size() << " bytes written, " << expected.size()
         << " golden; first difference at byte " << nAt << " (line " << nLine << ")\n"
         << "  written: " << detail::HexAt(bytes, nAt) << "\n"
         << "  golden:  " << detail::HexAt(expected, nAt);
}

inline ::testing::AssertionResult MatchesGolden(const std::string& name,
                                                const std::vector<uint8_t>& bytes) {
  return MatchesGolden(name,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The file at writtenPath, compared as above.
inline ::testing::AssertionResult FileMatchesGolden(const std::string& name,
                                                    const std::string& writtenPath) {
  std::string bytes;
  if (!ReadWhole(writtenPath, &bytes)) {
    return ::testing::AssertionFailure() << "nothing was written at " << writtenPath;
  }
  return MatchesGolden(name, std::string_view(bytes));
}

}  // namespace golden
