// The history rows. Times are written as every window writes a date and time.
#include "app/HistoryModel.h"

#include <algorithm>

#include "app/CheckListModel.h"
#include "app/core/SyncHistory.h"
#include "common/misc/CxDateTime.h"
#include "views/CxPaintUtil.h"

namespace {

struct HistoryColumn {
  const char* szCaption;
  int nWidth;
};

constexpr HistoryColumn kColumns[] = {
    {"Sync Start Time", 150},
    {"Sync End Time", 150},
    {"Description", 500},
    {"Number of Records", 120},
};
constexpr int kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);

QString TimeText(DATE dtTime) {
  CxDateTime dt;
  dt.SetVariant(dtTime);
  char szText[64];
  dt.GetDateTimeText(szText);
  return cxpaint::AnsiText(szText);
}

}  // namespace

THistoryModel::THistoryModel(SyncHistoryMgr& history, QObject* pParent)
    : QAbstractTableModel(pParent), m_History(history) {}

void THistoryModel::Reload() {
  beginResetModel();
  m_vChecked.assign(m_History.GetCount(), false);
  endResetModel();
}

void THistoryModel::SetAllChecked(bool bChecked) {
  std::fill(m_vChecked.begin(), m_vChecked.end(), bChecked);
  if (!m_vChecked.empty()) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
  }
}

int THistoryModel::CheckedCount() const {
  return static_cast<int>(std::count(m_vChecked.begin(), m_vChecked.end(), true));
}

std::vector<DWORD> THistoryModel::CheckedEntries() const {
  std::vector<DWORD> vEntries;
  for (int nRow = 0; nRow < rowCount(); ++nRow) {
    if (m_vChecked[static_cast<size_t>(nRow)]) vEntries.push_back(EntryOfRow(nRow));
  }
  return vEntries;
}

DWORD THistoryModel::EntryOfRow(int nRow) const {
  // The history keeps the oldest first; the list shows the newest first.
  return static_cast<DWORD>(rowCount() - 1 - nRow);
}

int THistoryModel::DesignWidth(int nColumn) {
  return nColumn >= 0 && nColumn < kColumnCount ? kColumns[nColumn].nWidth : 0;
}

int THistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_vChecked.size());
}

int THistoryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant THistoryModel::data(const QModelIndex& index, int nRole) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  if (nRole == Qt::CheckStateRole) {
    if (index.column() != 0) return QVariant();
    return m_vChecked[static_cast<size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
  }
  if (nRole != Qt::DisplayRole) return QVariant();
  const HistoryEntry* pEntry = m_History.At(EntryOfRow(index.row()));
  if (pEntry == nullptr) return QVariant();
  switch (index.column()) {
    case 0:
      return TimeText(pEntry->dtStart);
    case 1:
      return TimeText(pEntry->dtEnd);
    case 2:
      return cxpaint::AnsiText(pEntry->szDesc);
    default:
      return QString::number(pEntry->nRecords);
  }
}

bool THistoryModel::setData(const QModelIndex& index, const QVariant& value, int nRole) {
  if (!AppIsRowTick(*this, index, nRole)) return false;
  m_vChecked[static_cast<size_t>(index.row())] = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags THistoryModel::flags(const QModelIndex& index) const {
  return AppCheckableRowFlags(index);
}

QVariant THistoryModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
  return AppColumnCaption(kColumns, nSection, orientation, nRole);
}
