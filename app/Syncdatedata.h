// The wizard's second page: the new and changed records of the permitted direction within the
// committed range, each with a check box and the way it would travel, and the action for
// records that both calendars hold with different contents. Which records are listed, their
// "Sync Type" and the commit into the selection lists are app/core/SyncWizard's; the page
// shows them and hands back the check boxes and the chosen action.
//
// The list shows a TSyncRowModel, which holds the rows by value.
#pragma once

#include <QWidget>

#include "app/core/AppSettings.h"

class AppCalendar;
class QComboBox;
class QModelIndex;
class QTreeView;
class TSyncRowModel;
class TfmSyncDate;

class TfmSyncDateData : public QWidget {
  Q_OBJECT

 public:
  TfmSyncDateData(TfmSyncDate* pFrame, AppCalendar& calendar, TAppSettings& settings,
                  QWidget* pParent);

  // Rebuilds the list (every row checked) and the action list, and describes the page.
  void Enter();
  // False when the range held nothing to synchronize.
  bool HasRows() const;
  // Stores the chosen action, then fills the selection lists from the checked rows. False
  // when nothing is checked (after telling the user) or when there are no selection lists.
  bool Commit();
  void SetAllChecks(bool bChecked);

 protected:
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

 private:
  void OnRowDoubleClicked(const QModelIndex& index);

  TfmSyncDate* m_pFrame;
  AppCalendar& m_Calendar;
  TAppSettings& m_Settings;
  TSyncRowModel* m_pRows = nullptr;
  QTreeView* m_pList = nullptr;
  QComboBox* m_pAction = nullptr;
};
