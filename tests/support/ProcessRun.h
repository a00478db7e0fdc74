// Runs a program the way a user would from a shell, for end-to-end tests: its exit status and
// everything it printed (standard output and error together, no terminal on its input).
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>

namespace dbtest {

struct ProcessResult {
  int nExit = -1;
  std::string sOut;
};

inline ProcessResult RunProcess(const std::string& sCommand) {
  ProcessResult result;
  FILE* pPipe = ::popen((sCommand + " 2>&1 </dev/null").c_str(), "r");
  if (pPipe == nullptr) return result;
  char buf[4096];
  size_t nRead;
  while ((nRead = fread(buf, 1, sizeof(buf), pPipe)) > 0) result.sOut.append(buf, nRead);
  const int nStatus = ::pclose(pPipe);
  result.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
  return result;
}

}  // namespace dbtest
