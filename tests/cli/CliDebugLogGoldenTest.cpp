// The debug log of a whole two-way sync on the demo environment, at the most detailed level,
// compared with tests/data/cli/debug-log-two-way-sync.txt. Every line's date, time and thread
// id are masked, and the demo folder is written as "$DEMO"; what is left (each line's module,
// source line and text, and their order) must not change unnoticed.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/ProcessRun.h"
#include "support/clock/ClockGuard.h"
#include "support/demo/DemoEnvironment.h"
#include "support/golden/GoldenFile.h"
#include "support/log/LogMask.h"

namespace {

TEST(CliDebugLogGolden, TwoWaySyncAtTheLowestLevelMatchesGolden) {
  clockguard::ZoneGuard zone("Europe/Paris");
  DemoEnvironment demo("cli-debug-log");
  ASSERT_TRUE(demo.IsReady());
  const std::string strRoot = demo.Path("");
  const std::string strDemo = strRoot.substr(0, strRoot.size() - 1);  // without the last '/'

  // The demo's settings switch the log off; the user's "Low" level writes every line.
  const std::string strIni = demo.DataFile("tidewell.ini");
  std::string strSettings;
  ASSERT_TRUE(golden::ReadWhole(strIni, &strSettings));
  ASSERT_NE(strSettings.find("EnableDebug=0\r\n"), std::string::npos) << strSettings;
  ASSERT_NE(strSettings.find("LogLevel=3\r\n"), std::string::npos) << strSettings;
  strSettings = golden::ReplaceAll(strSettings, "EnableDebug=0\r\n", "EnableDebug=1\r\n");
  std::ofstream(strIni, std::ios::binary | std::ios::trunc) << strSettings;
  std::remove(demo.DataFile("appdebug.log").c_str());

  const dbtest::ProcessResult r =
      dbtest::RunProcess(std::string(DB_CLI_PATH) + " sync --direction two-way --conflict palm");
  EXPECT_EQ(r.nExit, 0) << r.sOut;
  std::string strLog;
  ASSERT_TRUE(golden::ReadWhole(demo.DataFile("appdebug.log"), &strLog));
  EXPECT_TRUE(
      golden::MatchesGolden("cli/debug-log-two-way-sync.txt",
                            golden::ReplaceAll(dbtest::MaskLogRun(strLog), strDemo, "$DEMO")));
}

}  // namespace
