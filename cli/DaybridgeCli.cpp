// daybridge-cli: the companion tool over the application core, for use without a display.
// It starts up exactly as the program does (same data folder, settings file, Palm Desktop
// folder, users and calendars), never writes the settings file, and prints what the windows
// would show. Exit status: 0 success, 1 usage error, 2 a calendar could not be loaded,
// 3 a transfer failed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/core/AppCalendar.h"
#include "app/core/AppFirstRun.h"
#include "app/core/AppMessages.h"
#include "app/core/AppSettings.h"
#include "app/core/AppStartup.h"
#include "app/core/PalmUsers.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncRun.h"
#include "app/core/SyncWizard.h"
#include "cli/CliFormat.h"
#include "common/misc/CxDateTime.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinText.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitNoCalendar = 2;
constexpr int kExitTransferFailed = 3;

const char kUsage[] =
    "Usage: daybridge-cli [--palm-file PATH] [--user ID] <command> [options]\n"
    "\n"
    "Commands:\n"
    "  status   [--json]                   places, Palm users and both calendars\n"
    "  list     palm|outlook [--from YYYY-MM-DD --to YYYY-MM-DD] [--json]\n"
    "  sync     --direction palm-to-outlook|outlook-to-palm|two-way\n"
    "           [--range all|today|this-week|this-month|this-year|YYYY-MM-DD..YYYY-MM-DD]\n"
    "           [--conflict ask|palm|outlook|skip] [--dry-run]\n"
    "  history  [--json]\n"
    "\n"
    "Global options:\n"
    "  --palm-file PATH   load this datebook or database instead of the settings' choice\n"
    "  --user ID          load the calendar of this Palm user (HotSync id)\n"
    "  --help             this text; '<command> --help' describes a command\n";

const char kStatusHelp[] =
    "Usage: daybridge-cli status [--json]\n"
    "Shows the data folder, the Palm Desktop folder (and the Wine prefix it was found in, if\n"
    "any) and version, the Palm users, the Palm calendar loaded (kind and records), the\n"
    "Outlook records, and per side the number of new, changed and same records.\n";

const char kListHelp[] =
    "Usage: daybridge-cli list palm|outlook [--from YYYY-MM-DD --to YYYY-MM-DD] [--json]\n"
    "Lists the records of one calendar with their match state; with a range, only those that\n"
    "start or repeat within it (both days included).\n";

const char kSyncHelp[] =
    "Usage: daybridge-cli sync --direction palm-to-outlook|outlook-to-palm|two-way\n"
    "           [--range all|today|this-week|this-month|this-year|YYYY-MM-DD..YYYY-MM-DD]\n"
    "           [--conflict ask|palm|outlook|skip] [--dry-run]\n"
    "Transfers every new or changed record of the range in the direction, handling changed\n"
    "records by the conflict action (default: the stored one), and prints the run's log.\n"
    "'ask' asks on the terminal; without one the conflict is left alone. --dry-run shows what\n"
    "would be transferred and writes nothing.\n";

const char kHistoryHelp[] =
    "Usage: daybridge-cli history [--json]\n"
    "Lists the synchronization runs, most recent first.\n";

struct Options {
  std::string strCommand;
  std::vector<std::string> vArgs;  // the command's own arguments
  std::string strPalmFile;
  bool bHasUser = false;
  INT nUser = 0;
};

std::string AbsolutePath(const char* szPath) {
  char szFull[4096];
  const DWORD nLength = GetFullPathName(szPath, sizeof(szFull), szFull, nullptr);
  return nLength > 0 && nLength < sizeof(szFull) ? std::string(szFull) : std::string(szPath);
}

bool IsHelp(const std::string& strArg) {
  return strArg == "--help" || strArg == "-h";
}

int UsageError(const char* szMessage, const char* szHelp) {
  fprintf(stderr, "daybridge-cli: %s\n%s", szMessage, szHelp);
  return kExitUsage;
}

bool ParseInt(const std::string& strText, INT* pnValue) {
  if (strText.empty()) return false;
  char* pEnd = nullptr;
  long long nValue = strtoll(strText.c_str(), &pEnd, 10);
  if (*pEnd != '\0' || nValue < INT32_MIN || nValue > INT32_MAX) return false;
  *pnValue = static_cast<INT>(nValue);
  return true;
}

const char* PalmKindName(int nKind) {
  switch (nKind) {
    case 1:
      return "Palm Desktop 4.1 or earlier datebook";
    case 2:
      return "Palm Desktop 4.1.4 datebook";
    case 3:
      return "Palm Desktop 6.x database";
    default:
      return "none";
  }
}

// "Error: the Palm Desktop calendar could not be loaded (permission denied: /x/datebook.dat)."
void PrintLoadError(const AppCalendar& cal, bool bPalm) {
  const CxFailure& failure = bPalm ? cal.GetPalmFailure() : cal.GetOutlookFailure();
  const char* szCalendar = bPalm ? "Palm Desktop" : "Outlook";
  if (failure.IsSet()) {
    fprintf(stderr, "Error: the %s calendar could not be loaded (%s).\n", szCalendar,
            CxAnsiToUtf8(failure.szText).c_str());
  } else {
    fprintf(stderr, "Error: the %s calendar could not be loaded.\n", szCalendar);
  }
}

std::string CountsJson(bool bLoaded, const MatchCounts& c) {
  return "\"loaded\": " + std::string(bLoaded ? "true" : "false") +
         ", \"records\": " + std::to_string(c.nRecords) + ", \"new\": " + std::to_string(c.nNew) +
         ", \"changed\": " + std::to_string(c.nChanged) + ", \"same\": " + std::to_string(c.nSame);
}

// The process as the tool runs it: start-up, the calendars, and shut-down without writing
// the settings.
class Session {
 public:
  explicit Session(const Options& options) : m_Options(options) {
    SetUserErrorHandler([](const char* szText) { fprintf(stderr, "Error: %s\n", szText); });
    AppStartup(m_Env);
    if (m_Options.bHasUser) {
      AppSettings.PDUserID = m_Options.nUser;
      // An explicit user means the user's own calendar, not the settings' file.
      AppSettings.UseDateFile = 0;
    }
  }
  ~Session() {
    AppShutdown(&m_Calendar, false);
    AppLeaveApartment(m_Env);
  }

  bool InitCalendars() {
    return m_Calendar.Init(AppSettings, GetPalmUsers(),
                           m_Options.strPalmFile.empty() ? nullptr : m_Options.strPalmFile.c_str());
  }

  AppEnvironment m_Env;
  AppCalendar m_Calendar;
  const Options& m_Options;
};

int RunStatus(const Options& options) {
  bool bJson = false;
  for (const std::string& strArg : options.vArgs) {
    if (IsHelp(strArg)) {
      fputs(kStatusHelp, stdout);
      return kExitOk;
    }
    if (strArg == "--json") {
      bJson = true;
    } else {
      return UsageError(("unknown option for status: " + strArg).c_str(), kStatusHelp);
    }
  }
  Session session(options);
  session.InitCalendars();
  AppCalendar& cal = session.m_Calendar;
  MatchCounts palm = CountMatchStates(cal.GetPalmSet());
  MatchCounts outlook = CountMatchStates(cal.GetOutlookSet());
  CxList& users = GetPalmUsers();
  int nSelected = ChoosePalmUser(AppSettings, users);
  char szPalmVersion[FIRST_RUN_VERSION_SIZE];
  const bool bPalmVersion = GetPalmDesktopVersionText(szPalmVersion, sizeof(szPalmVersion));

  if (bJson) {
    std::string strJson =
        "{\"dataFolder\": " +
        (session.m_Env.bDataFolder ? JsonString(session.m_Env.szDataFolder) : std::string("null"));
    strJson += ", \"palmDesktopFolder\": " + (session.m_Env.nPalmFolderResult == 0
                                                  ? JsonString(session.m_Env.szPalmFolder)
                                                  : std::string("null"));
    strJson += ", \"palmDesktopPlace\": " + (session.m_Env.szPalmPlace[0]
                                                 ? JsonString(session.m_Env.szPalmPlace)
                                                 : std::string("null"));
    strJson += ", \"palmDesktopVersion\": " +
               (bPalmVersion ? JsonString(szPalmVersion) : std::string("null"));
    strJson += ", \"users\": [";
    int nIndex = 0;
    for (void* pItem = users.GetFirst(); pItem != nullptr; pItem = users.GetNext(), ++nIndex) {
      const PalmUser* pUser = static_cast<const PalmUser*>(pItem);
      if (nIndex > 0) strJson += ", ";
      strJson += "{\"id\": " + std::to_string(static_cast<INT>(pUser->nUserId)) +
                 ", \"name\": " + JsonString(pUser->szUserName) +
                 ", \"directory\": " + JsonString(pUser->szUserDir) +
                 ", \"selected\": " + (nIndex == nSelected ? "true" : "false") + "}";
    }
    strJson += "], \"palmUserId\": " + std::to_string(AppSettings.PDUserID);
    strJson += ", \"palm\": {\"kind\": " + std::to_string(cal.GetPalmKind()) +
               ", \"kindName\": " + JsonString(PalmKindName(cal.GetPalmKind())) + ", " +
               CountsJson(cal.IsPalmLoaded(), palm) + "}";
    strJson += ", \"outlook\": {" + CountsJson(cal.IsOutlookLoaded(), outlook) + "}}";
    printf("%s\n", strJson.c_str());
  } else {
    printf("Data folder:         %s\n",
           session.m_Env.bDataFolder ? session.m_Env.szDataFolder : "(not available)");
    if (session.m_Env.nPalmFolderResult != 0) {
      printf("Palm Desktop folder: (not found%s%s)\n", session.m_Env.szPalmNote[0] ? ": " : "",
             CxAnsiToUtf8(session.m_Env.szPalmNote).c_str());
    } else if (session.m_Env.szPalmPlace[0]) {
      printf("Palm Desktop folder: %s (%s)\n", session.m_Env.szPalmFolder,
             CxAnsiToUtf8(session.m_Env.szPalmPlace).c_str());
    } else {
      printf("Palm Desktop folder: %s\n", session.m_Env.szPalmFolder);
    }
    printf("Palm version:        %s\n", szPalmVersion);
    printf("Palm users:          %u\n", users.GetCount());
    int nIndex = 0;
    for (void* pItem = users.GetFirst(); pItem != nullptr; pItem = users.GetNext(), ++nIndex) {
      const PalmUser* pUser = static_cast<const PalmUser*>(pItem);
      printf("  %c %-10d %s (%s)\n", nIndex == nSelected ? '*' : ' ',
             static_cast<int>(pUser->nUserId), CxAnsiToUtf8(pUser->szUserName).c_str(),
             CxAnsiToUtf8(pUser->szUserDir).c_str());
    }
    if (cal.IsPalmLoaded()) {
      printf("Palm calendar:       %s, %d records\n", PalmKindName(cal.GetPalmKind()),
             palm.nRecords);
    } else {
      printf("Palm calendar:       not loaded (%s)\n",
             CxAnsiToUtf8(cal.GetPalmFailure().szText).c_str());
    }
    if (cal.IsOutlookLoaded()) {
      printf("Outlook calendar:    %d records\n", outlook.nRecords);
    } else {
      printf("Outlook calendar:    not loaded (%s)\n",
             CxAnsiToUtf8(cal.GetOutlookFailure().szText).c_str());
    }
    printf("Palm Desktop:        %d new, %d changed, %d same\n", palm.nNew, palm.nChanged,
           palm.nSame);
    printf("Outlook:             %d new, %d changed, %d same\n", outlook.nNew, outlook.nChanged,
           outlook.nSame);
  }
  return cal.IsPalmLoaded() && cal.IsOutlookLoaded() ? kExitOk : kExitNoCalendar;
}

int RunList(const Options& options) {
  bool bJson = false;
  std::string strSide;
  std::string strFrom;
  std::string strTo;
  const std::vector<std::string>& args = options.vArgs;
  for (size_t i = 0; i < args.size(); ++i) {
    if (IsHelp(args[i])) {
      fputs(kListHelp, stdout);
      return kExitOk;
    }
    if (args[i] == "--json") {
      bJson = true;
    } else if ((args[i] == "--from" || args[i] == "--to") && i + 1 < args.size()) {
      (args[i] == "--from" ? strFrom : strTo) = args[i + 1];
      ++i;
    } else if ((args[i] == "palm" || args[i] == "outlook") && strSide.empty()) {
      strSide = args[i];
    } else {
      return UsageError(("unexpected argument for list: " + args[i]).c_str(), kListHelp);
    }
  }
  if (strSide.empty()) return UsageError("list needs palm or outlook", kListHelp);
  SYSTEMTIME stFrom = {};
  SYSTEMTIME stTo = {};
  bool bRange = !strFrom.empty() || !strTo.empty();
  if (bRange && (!ParseDate(strFrom.c_str(), &stFrom) || !ParseDate(strTo.c_str(), &stTo))) {
    return UsageError("--from and --to need dates as YYYY-MM-DD", kListHelp);
  }

  Session session(options);
  session.InitCalendars();
  AppCalendar& cal = session.m_Calendar;
  bool bPalm = strSide == "palm";
  if (!(bPalm ? cal.IsPalmLoaded() : cal.IsOutlookLoaded())) {
    PrintLoadError(cal, bPalm);
    return kExitNoCalendar;
  }
  CommDateMgr* pSet = bPalm ? cal.GetPalmSet() : cal.GetOutlookSet();
  std::vector<const CommDate*> vRecords;
  for (CommDate* pDate = pSet->GetFirst(); pDate != nullptr; pDate = pSet->GetNext()) {
    if (bRange && !OccursInRange(pDate, &stFrom, &stTo)) continue;
    vRecords.push_back(pDate);
  }
  if (bJson) {
    printf("[");
    for (size_t i = 0; i < vRecords.size(); ++i) {
      printf("%s\n  %s", i == 0 ? "" : ",", RecordJson(*vRecords[i]).c_str());
    }
    printf("%s]\n", vRecords.empty() ? "" : "\n");
  } else {
    for (const CommDate* pDate : vRecords) printf("%s\n", RecordLine(*pDate).c_str());
    printf("%zu record(s)\n", vRecords.size());
  }
  return kExitOk;
}

// Reads the answer to a conflict from standard input. Without an answer to read (no terminal,
// input at its end) the conflict is left alone and the tool says so.
bool AskOnTerminal(const CommDate* pPalm, const CommDate* pOutlook, ConflictAnswer* pAnswer) {
  CxDateTime palmStart;
  palmStart.SetTime(&pPalm->stStart);
  CxDateTime outlookStart;
  outlookStart.SetTime(&pOutlook->stStart);
  char szPalmStart[CX_DATETIME_TEXT_SIZE];
  char szOutlookStart[CX_DATETIME_TEXT_SIZE];
  palmStart.GetDateTimeText(szPalmStart);
  outlookStart.GetDateTimeText(szOutlookStart);
  fprintf(stderr,
          "Conflict records found:\n  Palm Desktop:      %s  %s\n  Microsoft Outlook: %s  %s\n"
          "[p] Palm Desktop overwrites Microsoft Outlook, [o] Microsoft Outlook overwrites Palm "
          "Desktop, [n] Do Nothing, [c] Cancel (add ! to apply to this synchronization): ",
          CxAnsiToUtf8(pPalm->szDescription).c_str(), szPalmStart,
          CxAnsiToUtf8(pOutlook->szDescription).c_str(), szOutlookStart);
  std::string strLine;
  if (!std::getline(std::cin, strLine)) {
    fprintf(stderr, "\nNo terminal to ask: the conflict is left as it is.\n");
    *pAnswer = {CONFLICT_SKIP, false, false};
    return true;
  }
  bool bThis = strLine.find('!') != std::string::npos;
  char chChoice = strLine.empty() ? 'n' : strLine[0];
  switch (chChoice) {
    case 'p':
    case 'P':
      *pAnswer = {CONFLICT_PALM_WINS, bThis, false};
      return true;
    case 'o':
    case 'O':
      *pAnswer = {CONFLICT_OUTLOOK_WINS, bThis, false};
      return true;
    case 'c':
    case 'C':
      return false;
    default:
      *pAnswer = {CONFLICT_SKIP, bThis, false};
      return true;
  }
}

// A rehearsal target: reports every write as done and writes nothing.
class DryRunTarget : public ISyncTarget {
 public:
  bool WriteToOutlook(CommDate*) override { return true; }
  bool WriteToPalm(CommDate*) override { return true; }
  bool SavePalm() override { return true; }
};

bool ParseRange(const std::string& strRange, TAppSettings& settings) {
  SYSTEMTIME stToday;
  GetToday(&stToday);
  static const struct {
    const char* szName;
    int nKind;
  } kPresets[] = {{"all", RANGE_CUSTOM},
                  {"today", RANGE_TODAY},
                  {"this-week", RANGE_THIS_WEEK},
                  {"this-month", RANGE_THIS_MONTH},
                  {"this-year", RANGE_THIS_YEAR}};
  for (const auto& preset : kPresets) {
    if (strRange == preset.szName) {
      CommitPresetRange(settings, preset.nKind, &stToday);
      return true;
    }
  }
  size_t nDots = strRange.find("..");
  if (nDots == std::string::npos) return false;
  SYSTEMTIME stFrom;
  SYSTEMTIME stTo;
  if (!ParseDate(strRange.substr(0, nDots).c_str(), &stFrom) ||
      !ParseDate(strRange.substr(nDots + 2).c_str(), &stTo)) {
    return false;
  }
  settings.RangeKind = RANGE_CUSTOM;
  CommitRange(settings, false, &stFrom, &stTo);
  return true;
}

int RunSync(const Options& options) {
  std::string strDirection;
  std::string strRange = "all";
  std::string strConflict;
  bool bDryRun = false;
  const std::vector<std::string>& args = options.vArgs;
  for (size_t i = 0; i < args.size(); ++i) {
    if (IsHelp(args[i])) {
      fputs(kSyncHelp, stdout);
      return kExitOk;
    }
    if (args[i] == "--dry-run") {
      bDryRun = true;
    } else if (args[i] == "--direction" && i + 1 < args.size()) {
      strDirection = args[++i];
    } else if (args[i] == "--range" && i + 1 < args.size()) {
      strRange = args[++i];
    } else if (args[i] == "--conflict" && i + 1 < args.size()) {
      strConflict = args[++i];
    } else {
      return UsageError(("unexpected argument for sync: " + args[i]).c_str(), kSyncHelp);
    }
  }
  int nMode = strDirection == "palm-to-outlook"   ? SYNC_PALM_TO_OUTLOOK
              : strDirection == "outlook-to-palm" ? SYNC_OUTLOOK_TO_PALM
              : strDirection == "two-way"         ? SYNC_TWO_WAY
                                                  : SYNC_NONE;
  if (nMode == SYNC_NONE) return UsageError("sync needs a --direction", kSyncHelp);
  int nConflict = -1;
  if (strConflict == "ask") nConflict = CONFLICT_ASK;
  if (strConflict == "palm") nConflict = CONFLICT_PALM_WINS;
  if (strConflict == "outlook") nConflict = CONFLICT_OUTLOOK_WINS;
  if (strConflict == "skip") nConflict = CONFLICT_SKIP;
  if (!strConflict.empty() && nConflict < 0) {
    return UsageError(("unknown conflict action: " + strConflict).c_str(), kSyncHelp);
  }
  TAppSettings rangeCheck = {};
  if (!ParseRange(strRange, rangeCheck)) {
    return UsageError(("unknown range: " + strRange).c_str(), kSyncHelp);
  }

  Session session(options);
  session.InitCalendars();
  AppCalendar& cal = session.m_Calendar;
  if (!cal.IsPalmLoaded() || !cal.IsOutlookLoaded()) {
    PrintLoadError(cal, !cal.IsPalmLoaded());
    return kExitNoCalendar;
  }
  AppSettings.SyncMode = nMode;
  ParseRange(strRange, AppSettings);
  if (nConflict < 0) nConflict = AppSettings.ConfAction;

  std::vector<SyncRow> vRows;
  BuildSyncRows(cal.GetPalmSet(), cal.GetOutlookSet(), AppSettings, vRows);
  CommitResult result = CommitSyncRows(AppSettings, nConflict, vRows, cal.GetPalmSelection(),
                                       cal.GetOutlookSelection());
  if (result == COMMIT_NO_LISTS) {
    fprintf(stderr, "Error: %s\n", MSG_CALENDAR_INIT_FAILED);
    return kExitNoCalendar;
  }
  if (result == COMMIT_NOTHING) {
    printf("%s\n", SYNC_NOTHING_SELECTED);
    return kExitOk;
  }

  SyncRunCallbacks callbacks;
  callbacks.log = [](const char* szLine) {
    // A text that ends in CR LF leaves an empty line after it, as on the run page.
    std::string strLine = CxAnsiToUtf8(szLine);
    if (strLine.size() >= 2 && strLine.compare(strLine.size() - 2, 2, "\r\n") == 0) {
      strLine.resize(strLine.size() - 2);
      printf("%s\n\n", strLine.c_str());
    } else {
      printf("%s\n", strLine.c_str());
    }
  };
  bool bConflictsLeft = false;
  if (bDryRun) {
    printf("Dry run: nothing is written.\n");
    // A rehearsal cannot ask: the conflicts it would ask about are shown as left alone.
    callbacks.ask = [&bConflictsLeft](const CommDate*, const CommDate*, ConflictAnswer* pAnswer) {
      bConflictsLeft = true;
      *pAnswer = {CONFLICT_SKIP, false, false};
      return true;
    };
  } else {
    callbacks.ask = AskOnTerminal;
  }
  DryRunTarget dryTarget;
  SyncRun run(bDryRun ? static_cast<ISyncTarget&>(dryTarget) : cal, AppSettings, g_SyncHistory,
              callbacks);
  run.SetRecordRun(!bDryRun);
  if (!bDryRun) AppLoadHistory(session.m_Env);
  run.Start();
  run.Run(cal.GetPalmSelection(), cal.GetOutlookSelection());
  if (bConflictsLeft) printf("Conflicts that would be asked about are not transferred here.\n");
  if (run.GetFailed() > 0 && cal.GetOutlookFailure().IsSet()) {
    fprintf(stderr, "Error: writing to Outlook failed (%s).\n",
            CxAnsiToUtf8(cal.GetOutlookFailure().szText).c_str());
  }
  return run.GetFailed() > 0 || !run.GetSaveOk() ? kExitTransferFailed : kExitOk;
}

int RunHistory(const Options& options) {
  bool bJson = false;
  for (const std::string& strArg : options.vArgs) {
    if (IsHelp(strArg)) {
      fputs(kHistoryHelp, stdout);
      return kExitOk;
    }
    if (strArg == "--json") {
      bJson = true;
    } else {
      return UsageError(("unknown option for history: " + strArg).c_str(), kHistoryHelp);
    }
  }
  Session session(options);
  AppLoadHistory(session.m_Env);
  auto timeText = [](DATE dt) {
    CxDateTime when;
    when.SetVariant(dt);
    char szText[CX_DATETIME_TEXT_SIZE];
    when.GetDateTimeText(szText);
    return std::string(szText);
  };
  if (bJson) printf("[");
  int nIndex = 0;
  for (HistoryEntry* pEntry = g_SyncHistory.Newest(); pEntry != nullptr;
       pEntry = g_SyncHistory.Older(), ++nIndex) {
    if (bJson) {
      printf("%s\n  {\"start\": \"%s\", \"end\": \"%s\", \"description\": %s, \"records\": %d}",
             nIndex == 0 ? "" : ",", timeText(pEntry->dtStart).c_str(),
             timeText(pEntry->dtEnd).c_str(), JsonString(pEntry->szDesc).c_str(), pEntry->nRecords);
    } else {
      printf("%s  %s  %4d  %s\n", timeText(pEntry->dtStart).c_str(),
             timeText(pEntry->dtEnd).c_str(), pEntry->nRecords,
             CxAnsiToUtf8(pEntry->szDesc).c_str());
    }
  }
  if (bJson) printf("%s]\n", nIndex == 0 ? "" : "\n");
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int nArg = 1;
  for (; nArg < argc; ++nArg) {
    std::string strArg = argv[nArg];
    if (IsHelp(strArg)) {
      fputs(kUsage, stdout);
      return kExitOk;
    }
    if (strArg == "--palm-file" && nArg + 1 < argc) {
      // Start-up makes the Palm Desktop folder current, so a path the user gave relative to
      // where the tool was started is made absolute first.
      options.strPalmFile = AbsolutePath(argv[++nArg]);
    } else if (strArg == "--user" && nArg + 1 < argc) {
      if (!ParseInt(argv[++nArg], &options.nUser)) {
        return UsageError("--user needs a number", kUsage);
      }
      options.bHasUser = true;
    } else if (!strArg.empty() && strArg[0] == '-') {
      return UsageError(("unknown option: " + strArg).c_str(), kUsage);
    } else {
      break;
    }
  }
  if (nArg >= argc) return UsageError("no command given", kUsage);
  options.strCommand = argv[nArg++];
  for (; nArg < argc; ++nArg) options.vArgs.push_back(argv[nArg]);

  if (options.strCommand == "status") return RunStatus(options);
  if (options.strCommand == "list") return RunList(options);
  if (options.strCommand == "sync") return RunSync(options);
  if (options.strCommand == "history") return RunHistory(options);
  return UsageError(("unknown command: " + options.strCommand).c_str(), kUsage);
}
