// daybridge-cli: the companion tool over the application core, for use without a display.
// It starts up exactly as the program does (same data folder, settings file, Palm Desktop
// folder, users and calendars), never writes the settings file, and prints what the windows
// would show. Exit status: 0 success, 1 usage error, 2 a calendar could not be loaded,
// 3 a transfer failed (a record the other side already holds is no failure). Arguments and
// help are CLI11's; JSON is built with nlohmann-json and laid out by CliFormat.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>
#define DB_MODULE "DaybridgeCli"
#include <CLI/CLI.hpp>

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
#include "cli/CliReport.h"
#include "common/misc/CxDateTime.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinText.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitNoCalendar = 2;
constexpr int kExitTransferFailed = 3;

const char kVersion[] = "daybridge-cli " DAYBRIDGE_VERSION;

struct Options {
  std::string strPalmFile;
  INT nUser = 0;
  bool bHasUser = false;
  bool bQuiet = false;
  bool bVerbose = false;
  bool bJson = false;
  std::string strSide;  // list
  std::string strFrom;
  std::string strTo;
  std::string strDirection;  // sync
  std::string strRange = "all";
  std::string strConflict;
  bool bDryRun = false;
  bool bTrack = false;  // sync, status: --track / --no-track override TrackChanges
  bool bNoTrack = false;
  bool bAllowMassDelete = false;

  CliVerbosity Verbosity() const {
    return bQuiet ? VERBOSITY_QUIET : bVerbose ? VERBOSITY_VERBOSE : VERBOSITY_NORMAL;
  }
};

std::string AbsolutePath(const char* szPath) {
  char szFull[4096];
  const DWORD nLength = GetFullPathName(szPath, sizeof(szFull), szFull, nullptr);
  return nLength > 0 && nLength < sizeof(szFull) ? std::string(szFull) : std::string(szPath);
}

int UsageError(const std::string& strMessage) {
  fprintf(stderr, "daybridge-cli: %s\nRun 'daybridge-cli --help' for the commands and options.\n",
          strMessage.c_str());
  return kExitUsage;
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

CliJson CountsJson(bool bLoaded, const MatchCounts& c) {
  CliJson counts;
  counts["loaded"] = bLoaded;
  counts["records"] = c.nRecords;
  counts["new"] = c.nNew;
  counts["changed"] = c.nChanged;
  counts["same"] = c.nSame;
  return counts;
}

// The process as the tool runs it: start-up, the calendars, and shut-down without writing
// the settings.
class Session {
 public:
  explicit Session(const Options& options) : m_Options(options) {
    const bool bFileGiven = !m_Options.strPalmFile.empty();
    const CliVerbosity nVerbosity = m_Options.Verbosity();
    SetUserErrorHandler([bFileGiven, nVerbosity](const char* szText) {
      // With a calendar file given, no Palm users is the expected state of a machine without
      // Palm Desktop, not something gone wrong.
      if (bFileGiven && strcmp(szText, MSG_NO_PALM_USERS) == 0) {
        if (nVerbosity != VERBOSITY_QUIET) fprintf(stderr, "Note: %s\n", szText);
        return;
      }
      fprintf(stderr, "Error: %s\n", szText);
    });
    AppStartup(m_Env);
    if (m_Options.bTrack) AppSettings.TrackChanges = 1;
    if (m_Options.bNoTrack) AppSettings.TrackChanges = 0;
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

  // With a progress bar on a terminal when loading takes a while.
  bool InitCalendars() {
    CliProgress progress("Loading calendars");
    m_Calendar.SetLoadProgress([&progress](int nPercent) { progress.Update(nPercent); });
    const bool bOk =
        m_Calendar.Init(AppSettings, GetPalmUsers(),
                        m_Options.strPalmFile.empty() ? nullptr : m_Options.strPalmFile.c_str());
    m_Calendar.SetLoadProgress(nullptr);
    return bOk;
  }

  AppEnvironment m_Env;
  AppCalendar m_Calendar;
  const Options& m_Options;
};

int RunStatus(const Options& options) {
  Session session(options);
  session.InitCalendars();
  AppCalendar& cal = session.m_Calendar;
  MatchCounts palm = CountMatchStates(cal.GetPalmSet());
  MatchCounts outlook = CountMatchStates(cal.GetOutlookSet());
  CxList& users = GetPalmUsers();
  int nSelected = ChoosePalmUser(AppSettings, users);
  char szPalmVersion[FIRST_RUN_VERSION_SIZE];
  const bool bPalmVersion = GetPalmDesktopVersionText(szPalmVersion, sizeof(szPalmVersion));

  if (options.bJson) {
    CliJson status;
    status["dataFolder"] =
        session.m_Env.bDataFolder ? JsonString(session.m_Env.szDataFolder) : CliJson(nullptr);
    status["palmDesktopFolder"] = session.m_Env.nPalmFolderResult == 0
                                      ? JsonString(session.m_Env.szPalmFolder)
                                      : CliJson(nullptr);
    status["palmDesktopPlace"] =
        session.m_Env.szPalmPlace[0] ? JsonString(session.m_Env.szPalmPlace) : CliJson(nullptr);
    status["palmDesktopVersion"] = bPalmVersion ? JsonString(szPalmVersion) : CliJson(nullptr);
    status["users"] = CliJson::array();
    int nIndex = 0;
    for (void* pItem = users.GetFirst(); pItem != nullptr; pItem = users.GetNext(), ++nIndex) {
      const PalmUser* pUser = static_cast<const PalmUser*>(pItem);
      CliJson user;
      user["id"] = static_cast<INT>(pUser->nUserId);
      user["name"] = JsonString(pUser->szUserName);
      user["directory"] = JsonString(pUser->szUserDir);
      user["selected"] = nIndex == nSelected;
      status["users"].push_back(std::move(user));
    }
    status["palmUserId"] = AppSettings.PDUserID;
    CliJson palmJson;
    palmJson["kind"] = cal.GetPalmKind();
    palmJson["kindName"] = PalmKindName(cal.GetPalmKind());
    palmJson.update(CountsJson(cal.IsPalmLoaded(), palm));
    status["palm"] = std::move(palmJson);
    status["outlook"] = CountsJson(cal.IsOutlookLoaded(), outlook);
    if (cal.IsTracking()) status["tracking"] = true;
    printf("%s\n", JsonText(status).c_str());
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
      if (cal.GetOutlookNote().empty()) {
        printf("Outlook calendar:    %d records\n", outlook.nRecords);
      } else {
        printf("Outlook calendar:    %d records, %s\n", outlook.nRecords,
               cal.GetOutlookNote().c_str());
      }
    } else {
      printf("Outlook calendar:    not loaded (%s)\n",
             CxAnsiToUtf8(cal.GetOutlookFailure().szText).c_str());
    }
    printf("Palm Desktop:        %d new, %d changed, %d same\n", palm.nNew, palm.nChanged,
           palm.nSame);
    printf("Outlook:             %d new, %d changed, %d same\n", outlook.nNew, outlook.nChanged,
           outlook.nSame);
    // Said only when on, so the matching by contents reads as it always has.
    if (cal.IsTracking()) {
      printf("Matching:            remembered pairs (moves, edits and deletions travel)\n");
    }
  }
  return cal.IsPalmLoaded() && cal.IsOutlookLoaded() ? kExitOk : kExitNoCalendar;
}

int RunList(const Options& options) {
  SYSTEMTIME stFrom = {};
  SYSTEMTIME stTo = {};
  bool bRange = !options.strFrom.empty() || !options.strTo.empty();
  if (bRange &&
      (!ParseDate(options.strFrom.c_str(), &stFrom) || !ParseDate(options.strTo.c_str(), &stTo))) {
    return UsageError("--from and --to need dates as YYYY-MM-DD");
  }

  Session session(options);
  session.InitCalendars();
  AppCalendar& cal = session.m_Calendar;
  bool bPalm = options.strSide == "palm";
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
  if (options.bJson) {
    CliJson records = CliJson::array();
    for (const CommDate* pDate : vRecords) records.push_back(RecordJson(*pDate));
    printf("%s\n", JsonLines(records).c_str());
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
  bool TrackAdd(CommDate*, bool) override { return true; }
  bool TrackUpdate(CommDate*, CommDate*, bool) override { return true; }
  bool TrackDelete(CommDate*, bool) override { return true; }
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

// Prints a run as the verbosity asks: the whole log, or the summary with one line for each
// record that did not travel. Lines of the run that come after its last record (the summary,
// what could not be saved) are always printed.
class SyncPrinter {
 public:
  SyncPrinter(CliVerbosity nVerbosity, AppCalendar& cal, CliProgress& progress)
      : m_nVerbosity(nVerbosity), m_Calendar(cal), m_Progress(progress) {}

  void Log(const char* szLine) {
    if (strcmp(szLine, "Synchronizing Calendar records finished:") == 0) m_bFinished = true;
    if (m_nVerbosity != VERBOSITY_VERBOSE && !m_bFinished) return;
    m_Progress.Hide();
    // A text that ends in CR LF leaves an empty line after it, as on the run page.
    std::string strLine = CxAnsiToUtf8(szLine);
    if (strLine.size() >= 2 && strLine.compare(strLine.size() - 2, 2, "\r\n") == 0) {
      strLine.resize(strLine.size() - 2);
      printf("%s\n\n", strLine.c_str());
    } else {
      printf("%s\n", strLine.c_str());
    }
  }

  void Transferred(const CommDate* pDate, bool bToOutlook, TransferOutcome nOutcome) {
    const char* szTarget = bToOutlook ? "Outlook" : "Palm Desktop";
    if (nOutcome == TRANSFER_ALREADY_THERE) ++(bToOutlook ? m_nInOutlook : m_nInPalm);
    if (m_nVerbosity == VERBOSITY_VERBOSE || nOutcome == TRANSFER_DONE) return;
    const std::string strDesc = CxAnsiToUtf8(
        pDate != nullptr && pDate->szDescription[0] != '\0' ? pDate->szDescription : "<empty>");
    m_Progress.Hide();
    if (nOutcome == TRANSFER_FAILED) {
      const CxFailure& failure =
          bToOutlook ? m_Calendar.GetOutlookFailure() : m_Calendar.GetPalmFailure();
      printf("Failed to write to %s: %s%s%s%s\n", szTarget, strDesc.c_str(),
             failure.IsSet() ? " (" : "",
             failure.IsSet() ? CxAnsiToUtf8(failure.szText).c_str() : "",
             failure.IsSet() ? ")" : "");
    } else if (m_nVerbosity == VERBOSITY_NORMAL) {
      printf("Already in %s: %s\n", szTarget, strDesc.c_str());
    }
  }

  void Skipped(const CommDate* pDate, const char* szReason) {
    if (m_nVerbosity != VERBOSITY_NORMAL) return;
    m_Progress.Hide();
    const std::string strDesc = CxAnsiToUtf8(
        pDate != nullptr && pDate->szDescription[0] != '\0' ? pDate->szDescription : "<empty>");
    printf("Skipped: %s (%s)\n", strDesc.c_str(), CxAnsiToUtf8(szReason).c_str());
  }

  // The counts the run's own summary leaves out, when there are any.
  void PrintCounts(int nFailed) const {
    if (m_nInOutlook > 0) printf("%d record(s) already in Outlook\n", m_nInOutlook);
    if (m_nInPalm > 0) printf("%d record(s) already in Palm Desktop\n", m_nInPalm);
    if (nFailed > 0) printf("%d record(s) failed\n", nFailed);
  }

 private:
  CliVerbosity m_nVerbosity;
  AppCalendar& m_Calendar;
  CliProgress& m_Progress;
  bool m_bFinished = false;
  int m_nInOutlook = 0;
  int m_nInPalm = 0;
};

int RunSync(const Options& options) {
  int nMode = options.strDirection == "palm-to-outlook"   ? SYNC_PALM_TO_OUTLOOK
              : options.strDirection == "outlook-to-palm" ? SYNC_OUTLOOK_TO_PALM
                                                          : SYNC_TWO_WAY;
  int nConflict = -1;
  if (options.strConflict == "ask") nConflict = CONFLICT_ASK;
  if (options.strConflict == "palm") nConflict = CONFLICT_PALM_WINS;
  if (options.strConflict == "outlook") nConflict = CONFLICT_OUTLOOK_WINS;
  if (options.strConflict == "skip") nConflict = CONFLICT_SKIP;
  TAppSettings rangeCheck = {};
  if (!ParseRange(options.strRange, rangeCheck)) {
    return UsageError("unknown range: " + options.strRange);
  }
  const CliVerbosity nVerbosity = options.Verbosity();
  const bool bDryRun = options.bDryRun;

  Session session(options);
  session.InitCalendars();
  AppCalendar& cal = session.m_Calendar;
  if (!cal.IsPalmLoaded() || !cal.IsOutlookLoaded()) {
    PrintLoadError(cal, !cal.IsPalmLoaded());
    return kExitNoCalendar;
  }
  AppSettings.SyncMode = nMode;
  ParseRange(options.strRange, AppSettings);
  if (nConflict < 0) nConflict = AppSettings.ConfAction;

  cal.SetAllowMassDelete(options.bAllowMassDelete);
  TrackPlan* pPlan = cal.GetTrackPlan(nMode);
  std::vector<SyncRow> vRows;
  BuildSyncRows(cal.GetPalmSet(), cal.GetOutlookSet(), AppSettings, vRows, pPlan);
  if (pPlan != nullptr && pPlan->bMassDelete && !options.bAllowMassDelete &&
      nVerbosity != VERBOSITY_QUIET) {
    printf("%d deletion(s) %s; --allow-mass-delete carries them out.\n", pPlan->nDeletes,
           TRACK_MASS_DELETE_REASON);
  }
  CommitResult result = CommitSyncRows(AppSettings, nConflict, vRows, cal.GetPalmSelection(),
                                       cal.GetOutlookSelection());
  if (result == COMMIT_NO_LISTS) {
    fprintf(stderr, "Error: %s\n", MSG_CALENDAR_INIT_FAILED);
    return kExitNoCalendar;
  }
  if (result == COMMIT_NOTHING) {
    // Nothing travels, yet the pairs found are remembered: a deletion before the next run
    // must find its pair.
    if (pPlan != nullptr && !bDryRun) cal.TrackRemember(*pPlan);
    printf("%s\n", SYNC_NOTHING_SELECTED);
    return kExitOk;
  }

  CliProgress progress("Synchronizing");
  SyncPrinter printer(nVerbosity, cal, progress);
  SyncRunCallbacks callbacks;
  callbacks.log = [&printer](const char* szLine) { printer.Log(szLine); };
  callbacks.transferred = [&printer](const CommDate* pDate, bool bToOutlook,
                                     TransferOutcome nOutcome) {
    printer.Transferred(pDate, bToOutlook, nOutcome);
  };
  callbacks.skipped = [&printer](const CommDate* pDate, const char* szReason) {
    printer.Skipped(pDate, szReason);
  };
  callbacks.progress = [&progress](int nPercent) { progress.Update(nPercent); };
  bool bConflictsLeft = false;
  if (bDryRun) {
    if (nVerbosity != VERBOSITY_QUIET) printf("Dry run: nothing is written.\n");
    // A rehearsal cannot ask: the conflicts it would ask about are shown as left alone.
    callbacks.ask = [&bConflictsLeft](const CommDate*, const CommDate*, ConflictAnswer* pAnswer) {
      bConflictsLeft = true;
      *pAnswer = {CONFLICT_SKIP, false, false};
      return true;
    };
  } else {
    callbacks.ask = [&progress](const CommDate* pPalm, const CommDate* pOutlook,
                                ConflictAnswer* pAnswer) {
      progress.Hide();
      return AskOnTerminal(pPalm, pOutlook, pAnswer);
    };
  }
  DryRunTarget dryTarget;
  SyncRun run(bDryRun ? static_cast<ISyncTarget&>(dryTarget) : cal, AppSettings, g_SyncHistory,
              callbacks);
  run.SetRecordRun(!bDryRun);
  run.SetTrackPlan(pPlan);
  if (!bDryRun) AppLoadHistory(session.m_Env);
  run.Start();
  run.Run(cal.GetPalmSelection(), cal.GetOutlookSelection());
  progress.Hide();
  printer.PrintCounts(run.GetFailed());
  if (bConflictsLeft && nVerbosity != VERBOSITY_QUIET) {
    printf("Conflicts that would be asked about are not transferred here.\n");
  }
  if (!run.GetRefusal().empty()) {
    fprintf(stderr, "Error: %s\n", CxAnsiToUtf8(run.GetRefusal().c_str()).c_str());
  }
  if (run.GetFailed() > 0 && cal.GetOutlookFailure().IsSet()) {
    fprintf(stderr, "Error: writing to Outlook failed (%s).\n",
            CxAnsiToUtf8(cal.GetOutlookFailure().szText).c_str());
  }
  return run.GetFailed() > 0 || !run.GetSaveOk() ? kExitTransferFailed : kExitOk;
}

int RunHistory(const Options& options) {
  Session session(options);
  AppLoadHistory(session.m_Env);
  if (!g_SyncHistory.GetNotice().empty()) {
    fprintf(stderr, "Note: %s\n", g_SyncHistory.GetNotice().c_str());
  }
  auto timeText = [](DATE dt) {
    CxDateTime when;
    when.SetVariant(dt);
    char szText[CX_DATETIME_TEXT_SIZE];
    when.GetDateTimeText(szText);
    return std::string(szText);
  };
  CliJson entries = CliJson::array();
  for (HistoryEntry* pEntry = g_SyncHistory.Newest(); pEntry != nullptr;
       pEntry = g_SyncHistory.Older()) {
    if (options.bJson) {
      CliJson entry;
      entry["start"] = timeText(pEntry->dtStart);
      entry["end"] = timeText(pEntry->dtEnd);
      entry["description"] = JsonString(pEntry->szDesc);
      entry["records"] = pEntry->nRecords;
      entries.push_back(std::move(entry));
    } else {
      printf("%s  %s  %4d  %s\n", timeText(pEntry->dtStart).c_str(),
             timeText(pEntry->dtEnd).c_str(), pEntry->nRecords,
             CxAnsiToUtf8(pEntry->szDesc).c_str());
    }
  }
  if (options.bJson) printf("%s\n", JsonLines(entries).c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app(
      "Shows and synchronizes the Palm Desktop and the Outlook calendars of DayBridge "
      "without a display.",
      "daybridge-cli");
  app.set_version_flag("--version", kVersion, "Print the version and exit");
  app.require_subcommand(0, 1);
  // The global options may stand before or after the command.
  app.fallthrough();
  app.footer(
      "Exit status: 0 success, 1 usage error, 2 a calendar could not be loaded, 3 a transfer "
      "failed.\n'daybridge-cli <command> --help' describes a command.");
  app.add_option("--palm-file", options.strPalmFile,
                 "Load this datebook or database instead of the settings' choice")
      ->type_name("PATH");
  // Ids are decimal, as the settings file stores them; CLI11 alone would also take 0x10.
  const CLI::Validator decimal(
      [](std::string& strValue) {
        const size_t nFirst = !strValue.empty() && (strValue[0] == '-' || strValue[0] == '+');
        const bool bDigits = strValue.size() > nFirst &&
                             strValue.find_first_not_of("0123456789", nFirst) == std::string::npos;
        return bDigits ? std::string() : "needs a decimal number";
      },
      "");
  app.add_option("--user", options.nUser, "Load the calendar of this Palm user (HotSync id)")
      ->type_name("ID")
      ->check(decimal);
  CLI::Option* pQuiet =
      app.add_flag("-q,--quiet", options.bQuiet, "Print only errors and the closing summary");
  app.add_flag("-v,--verbose", options.bVerbose, "Print the run's whole log")->excludes(pQuiet);

  CLI::App* pStatus = app.add_subcommand("status", "Places, Palm users and both calendars");
  pStatus->footer(
      "Shows the data folder, the Palm Desktop folder (and the Wine prefix it was found in, if\n"
      "any) and version, the Palm users, the Palm calendar loaded (kind and records), the\n"
      "Outlook records, and per side the number of new, changed and same records.");
  pStatus->add_flag("--json", options.bJson, "Print JSON");
  CLI::Option* pStatusTrack =
      pStatus->add_flag("--track", options.bTrack, "Match with the remembered pairs");
  pStatus->add_flag("--no-track", options.bNoTrack, "Match by contents only")
      ->excludes(pStatusTrack);

  CLI::App* pList = app.add_subcommand("list", "The records of one calendar");
  pList->footer(
      "Lists the records of one calendar with their match state; with a range, only those that\n"
      "start or repeat within it (both days included).");
  pList->add_option("calendar", options.strSide, "palm or outlook")
      ->required()
      ->check(CLI::IsMember({"palm", "outlook"}));
  CLI::Option* pFrom =
      pList->add_option("--from", options.strFrom, "First day")->type_name("YYYY-MM-DD");
  CLI::Option* pTo = pList->add_option("--to", options.strTo, "Last day")->type_name("YYYY-MM-DD");
  pFrom->needs(pTo);
  pTo->needs(pFrom);
  pList->add_flag("--json", options.bJson, "Print JSON");

  CLI::App* pSync = app.add_subcommand("sync", "Transfer new and changed records");
  pSync->footer(
      "Transfers every new or changed record of the range in the direction, handling changed\n"
      "records by the conflict action (default: the stored one). 'ask' asks on the terminal;\n"
      "without one the conflict is left alone. By default the closing summary is printed with\n"
      "one line for each record that did not travel; see --quiet and --verbose.");
  pSync->add_option("--direction", options.strDirection, "Which way records travel")
      ->required()
      ->check(CLI::IsMember({"palm-to-outlook", "outlook-to-palm", "two-way"}));
  pSync
      ->add_option("--range", options.strRange,
                   "all, today, this-week, this-month, this-year or YYYY-MM-DD..YYYY-MM-DD "
                   "(default: all)")
      ->type_name("RANGE");
  pSync->add_option("--conflict", options.strConflict, "What happens to changed records")
      ->check(CLI::IsMember({"ask", "palm", "outlook", "skip"}));
  pSync->add_flag("--dry-run", options.bDryRun, "Show what would be transferred, write nothing");
  CLI::Option* pSyncTrack =
      pSync->add_flag("--track", options.bTrack,
                      "Remember synchronized appointments (moves, edits and deletions travel)");
  pSync->add_flag("--no-track", options.bNoTrack, "Match by contents only, remember nothing")
      ->excludes(pSyncTrack);
  pSync->add_flag("--allow-mass-delete", options.bAllowMassDelete,
                  "Carry out deletions even when they are many");

  CLI::App* pHistory = app.add_subcommand("history", "The synchronization runs");
  pHistory->footer("Lists the synchronization runs, most recent first.");
  pHistory->add_flag("--json", options.bJson, "Print JSON");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version leave with 0; every other mistake in the arguments is a usage error.
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
    return UsageError(e.what());
  }
  if (!options.strPalmFile.empty()) {
    // Start-up makes the Palm Desktop folder current, so a path the user gave relative to
    // where the tool was started is made absolute first.
    options.strPalmFile = AbsolutePath(options.strPalmFile.c_str());
  }
  options.bHasUser = app.count("--user") > 0;

  if (pStatus->parsed()) return RunStatus(options);
  if (pList->parsed()) return RunList(options);
  if (pSync->parsed()) return RunSync(options);
  if (pHistory->parsed()) return RunHistory(options);
  return UsageError("no command given");
}
