// The options dialog's values and the check of a chosen calendar file.
#include "app/core/AppOptions.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "common/palm/PalmDateInfo.h"
#include "platform/win/WinString.h"

namespace {

// The address without the "user:password@" of its authority; any other text as it is.
std::string WithoutLogin(const char* szText) {
  std::string strText = szText;
  size_t nAuthority = 0;
  if (strncasecmp(szText, "http://", 7) == 0) nAuthority = 7;
  if (strncasecmp(szText, "https://", 8) == 0) nAuthority = 8;
  if (nAuthority == 0) return strText;
  const size_t nEnd = std::min(strText.find_first_of("/?#", nAuthority), strText.size());
  const size_t nAt = strText.rfind('@', nEnd == 0 ? 0 : nEnd - 1);
  if (nAt != std::string::npos && nAt >= nAuthority)
    strText.erase(nAuthority, nAt + 1 - nAuthority);
  return strText;
}

}  // namespace

TOptionValues LoadOptionValues(const TAppSettings& settings) {
  TOptionValues values = {};
  values.bShowWizard = settings.ShowWizard != 0;
  values.bShowColor = settings.ShowColor != 0;
  values.bTrackChanges = settings.TrackChanges != 0;
  values.crSame = settings.SameColor;
  values.crDiff = settings.DiffColor;
  values.crNew = settings.NewColor;
  switch (settings.ConfAction) {
    case CONFLICT_ASK:
    case CONFLICT_PALM_WINS:
    case CONFLICT_OUTLOOK_WINS:
      values.nConfAction = settings.ConfAction;
      break;
    default:
      values.nConfAction = CONFLICT_SKIP;
      break;
  }
  values.bUseDateFile = settings.UseDateFile != 0;
  CxCopyText(values.szDateFile, settings.DateFileName);
  CxCopyText(values.szOutlookCalendar, settings.OutlookCalendar);
  return values;
}

void StoreOptionValues(const TOptionValues& values, TAppSettings& settings) {
  settings.ShowWizard = values.bShowWizard ? 1 : 0;
  settings.ShowColor = values.bShowColor ? 1 : 0;
  settings.TrackChanges = values.bTrackChanges ? 1 : 0;
  settings.SameColor = values.crSame;
  settings.DiffColor = values.crDiff;
  settings.NewColor = values.crNew;
  switch (values.nConfAction) {
    case CONFLICT_PALM_WINS:
    case CONFLICT_OUTLOOK_WINS:
    case CONFLICT_SKIP:
      settings.ConfAction = values.nConfAction;
      settings.ActionAlways = 1;
      break;
    default:
      settings.ConfAction = CONFLICT_ASK;
      settings.ActionAlways = 0;
      break;
  }
  CxCopyText(settings.OutlookCalendar, WithoutLogin(values.szOutlookCalendar).c_str());
  settings.UseDateFile = values.bUseDateFile ? 1 : 0;
  if (values.bUseDateFile && std::strcmp(values.szDateFile, settings.DateFileName) != 0) {
    CxCopyText(settings.DateFileName, values.szDateFile);
  }
}

int CheckPalmCalendarFile(const char* szPath, CxFailure* pReason) {
  // A store of its own: the check loads the file without touching the calendar on show.
  PmDateInfo store;
  const int nKind = store.CheckFileKind(szPath);
  if (nKind == PALM_KIND_FAILED && pReason != nullptr) {
    // The check keeps no reason; loading the refused file fails the same way and says why.
    // Only a refusal pays for the second read.
    store.LoadFile(szPath);
    *pReason = store.GetLastFailure();
  }
  return nKind;
}
