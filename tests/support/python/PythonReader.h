// Runs a Python script with Debian's own interpreter (/usr/bin/python3, which has the Debian
// Python packages such as python3-icalendar) on one file, for reading back what DayBridge wrote
// with software no one here wrote. The script's standard output, "FAILED:" and the output when
// it exits with an error, or "SKIP" when that interpreter is missing.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

inline std::string RunPythonOn(const std::string& sScript, const std::string& sFile) {
  const std::filesystem::path python("/usr/bin/python3");
  if (!std::filesystem::exists(python)) return "SKIP";
  const std::filesystem::path script = std::filesystem::path(sFile).parent_path() / "reader.py";
  std::ofstream(script, std::ios::binary) << sScript;
  const std::string sCommand = python.string() + " '" + script.string() + "' '" + sFile + "'";
  FILE* pPipe = popen(sCommand.c_str(), "r");
  if (pPipe == nullptr) return "SKIP";
  std::string sOutput;
  std::array<char, 512> buffer;
  while (fgets(buffer.data(), static_cast<int>(buffer.size()), pPipe) != nullptr) {
    sOutput += buffer.data();
  }
  const int nStatus = pclose(pPipe);
  std::filesystem::remove(script);
  return nStatus == 0 ? sOutput : "FAILED:" + sOutput;
}
