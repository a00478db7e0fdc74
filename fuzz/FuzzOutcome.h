// What a fuzz target saw of one input: accepted or refused, with a short detail (a count, a
// version, the values it read) that the corpus replay compares with the outcome the input is
// kept for (fuzz/README.md). Under libFuzzer the report is stored and never read.
//
// A detail is one line of the outcomes file: bytes that could not stand there (controls,
// '#', anything past ASCII) are written as \xNN.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

namespace dbfuzz {

inline constexpr char kAccepted[] = "accepted";
inline constexpr char kRefused[] = "refused";

struct Outcome {
  std::string strVerdict;  // empty until the target reports
  std::string strDetail;
};

inline Outcome& LastOutcome() {
  static Outcome outcome;
  return outcome;
}

inline void ReportAccepted(std::string strDetail = {}) {
  LastOutcome() = {kAccepted, std::move(strDetail)};
}

inline void ReportRefused(std::string strDetail = {}) {
  LastOutcome() = {kRefused, std::move(strDetail)};
}

inline std::string Printable(const char* pText, size_t nLength) {
  std::string strOut;
  for (size_t i = 0; i < nLength; ++i) {
    const unsigned char c = static_cast<unsigned char>(pText[i]);
    if (c < 0x20 || c >= 0x7F || c == '#') {
      char szEscape[8];
      std::snprintf(szEscape, sizeof(szEscape), "\\x%02X", c);
      strOut += szEscape;
    } else {
      strOut += static_cast<char>(c);
    }
  }
  return strOut;
}

inline std::string Printable(const std::string& strText) {
  return Printable(strText.data(), strText.size());
}

inline std::string Format(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
inline std::string Format(const char* szFormat, ...) {
  char szText[512];
  va_list args;
  va_start(args, szFormat);
  std::vsnprintf(szText, sizeof(szText), szFormat, args);
  va_end(args);
  return szText;
}

}  // namespace dbfuzz
