// The rows of the sync wizard's record page as an item model: the rows app/core/SyncWizard
// builds, held by value, one per record, with the check box the user may change, and their
// texts and colour as they were when the rows were set. A row's record stays in its record
// set, which nothing reloads or re-matches while the wizard is open; the list asks the model
// for a row's record by the row's number.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <vector>

#include "app/core/SyncWizard.h"

class TSyncRowModel : public QAbstractTableModel {
 public:
  explicit TSyncRowModel(QObject* pParent);

  // Replaces every row; each comes checked or not as the core built it.
  void SetRows(std::vector<SyncRow> vRows);
  // The rows with their check boxes as they stand now.
  const std::vector<SyncRow>& Rows() const { return m_vRows; }
  // The record of a row; null for a row number out of range.
  const CommDate* RecordAt(int nRow) const;
  void SetAllChecked(bool bChecked);
  void ToggleChecked(int nRow);

  // The columns: their design widths, and whether one holds the subject (which is cut rather
  // than widened to its text).
  static int DesignWidth(int nColumn);
  static bool IsSubjectColumn(int nColumn);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int nRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int nSection, Qt::Orientation orientation,
                      int nRole = Qt::DisplayRole) const override;

 private:
  struct Shown {
    QStringList cells;
    QColor color;
  };

  std::vector<SyncRow> m_vRows;
  std::vector<Shown> m_vShown;  // one per row
};
