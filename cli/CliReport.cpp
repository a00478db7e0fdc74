// The progress bar of the companion tool.
#include "cli/CliReport.h"

#include <algorithm>
#include <cstdio>

#include "platform/win/WinSystem.h"

namespace {

constexpr DWORD kShowAfterMs = 1000;
constexpr int kBarWidth = 30;

}  // namespace

CliProgress::CliProgress(const char* szLabel) : m_strLabel(szLabel) {
  DWORD nMode = 0;
  m_bTerminal = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &nMode) != FALSE;
  m_nStartTicks = GetTickCount();
}

CliProgress::~CliProgress() {
  Hide();
}

std::string CliProgress::FormatBar(const std::string& strLabel, int nPercent) {
  nPercent = std::clamp(nPercent, 0, 100);
  const int nFilled = nPercent * kBarWidth / 100;
  char szPercent[8];
  snprintf(szPercent, sizeof(szPercent), "%3d%%", nPercent);
  return strLabel + " [" + std::string(static_cast<size_t>(nFilled), '#') +
         std::string(static_cast<size_t>(kBarWidth - nFilled), '.') + "] " + szPercent;
}

void CliProgress::Update(int nPercent) {
  if (!m_bTerminal) return;
  if (!m_bShown && GetTickCount() - m_nStartTicks < kShowAfterMs) return;
  // Runs report after every record; the line is drawn again only when it would change.
  if (m_bShown && nPercent == m_nShownPercent) return;
  m_nShownPercent = nPercent;
  fflush(stdout);
  fprintf(stderr, "\r%s", FormatBar(m_strLabel, nPercent).c_str());
  fflush(stderr);
  m_bShown = true;
}

void CliProgress::Hide() {
  if (!m_bShown) return;
  // Blanks over the bar, then back to the line's start for whatever is printed next.
  fprintf(stderr, "\r%s\r", std::string(FormatBar(m_strLabel, 100).size(), ' ').c_str());
  fflush(stderr);
  m_bShown = false;
}
