// How much the tool says, and the progress bar it draws. Standard output carries the results
// (the summary, one line per record that did not travel); the progress bar goes to standard
// error, and only when that is a terminal, so scripts and pipes never see it.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

enum CliVerbosity {
  VERBOSITY_QUIET,    // errors and the closing summary
  VERBOSITY_NORMAL,   // the summary, notes, and one line per record that did not travel
  VERBOSITY_VERBOSE,  // the run's whole log, as the run page shows it
};

// A one-line bar on standard error, "label [#####.....]  42%". It appears only once the work
// has lasted a second, so quick commands never flicker; Hide clears it before other output.
class CliProgress {
 public:
  explicit CliProgress(const char* szLabel);
  ~CliProgress();
  CliProgress(const CliProgress&) = delete;
  CliProgress& operator=(const CliProgress&) = delete;

  void Update(int nPercent);
  void Hide();

  // The bar's line for a percentage (clamped to 0..100), without the carriage return.
  static std::string FormatBar(const std::string& strLabel, int nPercent);

 private:
  std::string m_strLabel;
  bool m_bTerminal;
  DWORD m_nStartTicks;
  bool m_bShown = false;
  int m_nShownPercent = -1;
};
