// The debug log made comparable from run to run: the date and time and the thread id of every
// line are replaced by fixed placeholders, so what is left (module, line, level marker, text)
// can be compared whole with a golden file.
#pragma once

#include <regex>
#include <string>

namespace dbtest {

inline std::string MaskLogRun(const std::string& strLog) {
  // "[yyyy/mm/dd hh:mm:ss][<module>(<line>)][<thread id>]" at the start of a line.
  static const std::regex kStamp(
      R"(^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\](\[[^\]\r\n]*\])\[[0-9a-f]+\])");
  std::string strOut;
  size_t nFrom = 0;
  while (nFrom < strLog.size()) {
    size_t nEnd = strLog.find('\n', nFrom);
    nEnd = nEnd == std::string::npos ? strLog.size() : nEnd + 1;
    strOut += std::regex_replace(strLog.substr(nFrom, nEnd - nFrom), kStamp,
                                 "[yyyy/mm/dd hh:mm:ss]$1[xxxxx]",
                                 std::regex_constants::format_first_only);
    nFrom = nEnd;
  }
  return strOut;
}

}  // namespace dbtest
