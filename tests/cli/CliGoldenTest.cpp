// daybridge-cli's whole output for each command, on a demo environment made for a fixed day,
// compared with golden files under tests/data/cli/. The demo folder, which differs from run
// to run, is written as "$DEMO" in them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/ProcessRun.h"
#include "support/clock/ClockGuard.h"
#include "support/demo/DemoEnvironment.h"
#include "support/golden/GoldenFile.h"

namespace {

enum Setup {
  SETUP_NONE,
  SETUP_OUTLOOK_TWIN,  // the Outlook calendar holds "Night flight" twice
};

struct GoldenCase {
  const char* szName;  // also the golden file's name under cli/
  const char* szArgs;  // "$DEMO" stands for the demo folder
  int nExit;
  const char* szEnv = "";  // variables set for the tool only
  Setup nSetup = SETUP_NONE;
};

// Repeats the event whose summary is szSummary under another UID: two records of one
// calendar that hold the same appointment.
bool AddTwin(const std::string& strIcsPath, const std::string& strSummary) {
  std::string strIcs;
  if (!golden::ReadWhole(strIcsPath, &strIcs)) return false;
  const size_t nAt = strIcs.find("SUMMARY:" + strSummary);
  const size_t nBegin = strIcs.rfind("BEGIN:VEVENT", nAt);
  const size_t nEnd = strIcs.find("END:VEVENT\r\n", nAt);
  if (nAt == std::string::npos || nBegin == std::string::npos || nEnd == std::string::npos) {
    return false;
  }
  std::string strTwin = strIcs.substr(nBegin, nEnd + 12 - nBegin);
  strTwin.replace(strTwin.find("UID:") + 4, 0, "twin-");
  strIcs.insert(nEnd + 12, strTwin);
  std::ofstream(strIcsPath, std::ios::binary | std::ios::trunc) << strIcs;
  return true;
}

class CliGolden : public ::testing::TestWithParam<GoldenCase> {
 protected:
  clockguard::ZoneGuard m_Zone{"Europe/Paris"};
  DemoEnvironment m_Demo{"cli-golden"};
};

TEST_P(CliGolden, OutputMatchesGolden) {
  ASSERT_TRUE(m_Demo.IsReady());
  const std::string strRoot = m_Demo.Path("");
  const std::string strDemo = strRoot.substr(0, strRoot.size() - 1);  // without the last '/'
  if (GetParam().nSetup == SETUP_OUTLOOK_TWIN) {
    ASSERT_TRUE(AddTwin(m_Demo.Path("outlook/Calendar.ics"), "Night flight to Zürich"));
  }
  const dbtest::ProcessResult r =
      dbtest::RunProcess(std::string(GetParam().szEnv) + " " + DB_CLI_PATH + " " +
                         golden::ReplaceAll(GetParam().szArgs, "$DEMO", strDemo));
  EXPECT_EQ(r.nExit, GetParam().nExit) << r.sOut;
  EXPECT_TRUE(golden::MatchesGolden(std::string("cli/") + GetParam().szName,
                                    golden::ReplaceAll(r.sOut, strDemo, "$DEMO")));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliGolden,
    ::testing::Values(
        GoldenCase{"status.txt", "status", 0}, GoldenCase{"status.json", "status --json", 0},
        GoldenCase{"list-palm.txt", "list palm", 0},
        GoldenCase{"list-outlook.json", "list outlook --json", 0},
        GoldenCase{"list-empty-range.json", "list palm --from 2030-01-01 --to 2030-01-02 --json",
                   0},
        GoldenCase{"history-empty.json", "history --json", 0},
        GoldenCase{"sync-two-way-verbose.txt", "--verbose sync --direction two-way --conflict palm",
                   0},
        GoldenCase{"sync-twins.txt", "sync --direction outlook-to-palm --conflict skip", 0, "",
                   SETUP_OUTLOOK_TWIN},
        GoldenCase{"sync-twins-quiet.txt",
                   "sync --direction outlook-to-palm --conflict skip --quiet", 0, "",
                   SETUP_OUTLOOK_TWIN},
        GoldenCase{"sync-twins-verbose.txt", "sync --direction outlook-to-palm --conflict skip -v",
                   0, "", SETUP_OUTLOOK_TWIN},
        GoldenCase{"no-users-palm-file.txt",
                   "--palm-file $DEMO/palm/Bruno/datebook/datebook.dat status", 0,
                   "DAYBRIDGE_REGISTRY=/nonexistent"},
        GoldenCase{"dry-run-earlier-datebook.txt",
                   "--palm-file $DEMO/palm/Bruno/datebook/datebook.dat sync --direction "
                   "outlook-to-palm --dry-run --verbose",
                   0}),
    [](const auto& tpi) {
      std::string strName;
      for (const char* p = tpi.param.szName; *p != '\0'; ++p) {
        if (isalnum(static_cast<unsigned char>(*p))) strName += *p;
      }
      return strName;
    });

}  // namespace
