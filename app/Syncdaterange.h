// The wizard's first page: which dates to synchronize. Either all calendar data or a range of
// whole days, set by hand in two date pickers or by a preset (today, this week, this month,
// this year). The dates of the presets and the committed range come from app/core/SyncWizard;
// "today" is the program's local date, so a fixed clock fixes what the presets show.
#pragma once

#include <QWidget>

#include "app/core/AppSettings.h"
#include "platform/win/WinTypes.h"

class QComboBox;
class QDateEdit;
class QRadioButton;
class TfmSyncDate;

class TfmSyncDateRange : public QWidget {
  Q_OBJECT

 public:
  TfmSyncDateRange(TfmSyncDate* pFrame, TAppSettings& settings, QWidget* pParent);

  // Fills the page from RangeKind, RangeFrom and RangeTo and describes it.
  void Enter();
  // All data clears the range; otherwise the pickers' days become RangeFrom and RangeTo, the
  // earlier first, and RangeKind the last preset chosen. Always succeeds.
  void Commit();

 private:
  void OnPresetChanged(int nIndex);
  void EnableRange(bool bEnabled);
  void SetPickers(const SYSTEMTIME& stFrom, const SYSTEMTIME& stTo);

  TfmSyncDate* m_pFrame;
  TAppSettings& m_Settings;
  // The preset last chosen; it reaches RangeKind only when the page is committed, so a wizard
  // cancelled on this page leaves the settings as they were.
  int m_nRangeKind = RANGE_CUSTOM;
  QRadioButton* m_pAll = nullptr;
  QRadioButton* m_pSpec = nullptr;
  QComboBox* m_pRange = nullptr;
  QDateEdit* m_pFrom = nullptr;
  QDateEdit* m_pTo = nullptr;
};
