// daybridge-bigcal: a demo environment (see daybridge-demo) whose Palm user "Alice" holds a
// long-time user's datebook of --records appointments and whose Outlook calendar file is
// empty, for timing whole runs of daybridge-cli at the size of a real calendar:
//
//   daybridge-bigcal --out /tmp/big --records 5758
//   set -a; . /tmp/big/demo.env; set +a
//   daybridge-cli sync --direction palm-to-outlook --conflict skip
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/core/AppProcess.h"
#include "bench/wholerun/generator/LongTimeCalendar.h"
#include "common/misc/CxDebugUtil.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kDefaultSeed = 5758;

int Usage() {
  fprintf(stderr,
          "Usage: daybridge-bigcal --out DIR --records N [--seed S]\n"
          "Writes a demo environment under DIR whose Palm user Alice has a datebook of N\n"
          "appointments (1997-2004) and whose Outlook calendar is empty.\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string strOut;
  int nRecords = 0;
  uint64_t nSeed = kDefaultSeed;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--out") == 0) {
      strOut = argv[i + 1];
    } else if (strcmp(argv[i], "--records") == 0) {
      nRecords = atoi(argv[i + 1]);
    } else if (strcmp(argv[i], "--seed") == 0) {
      nSeed = strtoull(argv[i + 1], nullptr, 10);
    } else {
      return Usage();
    }
  }
  if (strOut.empty() || nRecords <= 0 || argc % 2 == 0) return Usage();
  std::error_code ec;
  const fs::path out = fs::absolute(strOut, ec);
  const std::string strDemo =
      std::string(DB_DEMO_PATH) + " --out '" + out.string() + "' > /dev/null";
  if (std::system(strDemo.c_str()) != 0) {
    fprintf(stderr, "daybridge-bigcal: the demo generator failed\n");
    return 1;
  }
  g_DebugLog.SetFolder((out.string() + "/").c_str());
  const bool bComInit = AppStartPlatform();
  const fs::path datebook = out / "palm" / "Alice" / "datebook" / "datebook.dat";
  const int nWritten = WriteLongTimeDatebook(datebook.c_str(), nRecords, nSeed);
  AppStopPlatform(bComInit);
  if (nWritten < 0) {
    fprintf(stderr, "daybridge-bigcal: cannot write %s\n", datebook.c_str());
    return 1;
  }
  fs::remove(out / "outlook" / "Calendar.ics", ec);
  printf("%d appointments in %s; the Outlook calendar is empty.\n", nWritten, datebook.c_str());
  return 0;
}
