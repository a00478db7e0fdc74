// The synchronization history as an item model: one row per run, the newest first, with a
// check box for the rows the user means to delete. A row refers to its entry by the entry's
// number in the history (app/core/SyncHistory), taken when the rows were last reloaded; a run
// added since leaves those numbers as they are, and the window reloads after every change.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "platform/win/WinTypes.h"

class SyncHistoryMgr;

class THistoryModel : public QAbstractTableModel {
 public:
  THistoryModel(SyncHistoryMgr& history, QObject* pParent);

  // Takes the history's entries anew, every row unchecked.
  void Reload();
  void SetAllChecked(bool bChecked);
  int CheckedCount() const;
  // The history's numbers of the entries of the checked rows.
  std::vector<DWORD> CheckedEntries() const;

  static int DesignWidth(int nColumn);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int nRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int nSection, Qt::Orientation orientation,
                      int nRole = Qt::DisplayRole) const override;

 private:
  DWORD EntryOfRow(int nRow) const;

  SyncHistoryMgr& m_History;
  std::vector<bool> m_vChecked;  // one per row
};
