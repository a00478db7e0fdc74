// The record page's rows. Row colours tell the match state at a glance and do not follow the
// settings' display colours: blue for a changed record, green for a new one.
#include "app/SyncRowModel.h"

#include <QBrush>
#include <utility>

#include "app/CheckListModel.h"
#include "app/Datedetail.h"
#include "views/CxPaintUtil.h"

namespace {

struct RecordColumn {
  const char* szCaption;
  int nWidth;
  int nFieldId;  // 0: the "Sync Type" text, -1: the calendar the record comes from
};

constexpr RecordColumn kColumns[] = {
    {"Subject", 180, FIELD_DESCRIPTION},
    {"Date", 80, FIELD_DATE},
    {"Start Time", 80, FIELD_START_TIME},
    {"End Time", 80, FIELD_END_TIME},
    {"Sync Type", 140, 0},
    {"Calendar", 90, -1},
};
constexpr int kSyncTypeColumn = 0;
constexpr int kCalendarColumn = -1;
constexpr int kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);
constexpr int kRowTextChars = 1023;

constexpr COLORREF kChangedColor = 0xFF0000;  // blue
constexpr COLORREF kNewColor = 0x008000;      // green
constexpr COLORREF kOtherColor = 0x000000;

COLORREF RowColor(const CommDate* pDate) {
  switch (pDate->nMatchState) {
    case MATCH_CHANGED:
      return kChangedColor;
    case MATCH_NEW:
      return kNewColor;
    default:
      return kOtherColor;
  }
}

}  // namespace

TSyncRowModel::TSyncRowModel(QObject* pParent) : QAbstractTableModel(pParent) {}

void TSyncRowModel::SetRows(std::vector<SyncRow> vRows) {
  beginResetModel();
  m_vRows = std::move(vRows);
  m_vShown.clear();
  m_vShown.reserve(m_vRows.size());
  for (const SyncRow& row : m_vRows) {
    Shown shown;
    for (const RecordColumn& column : kColumns) {
      if (column.nFieldId == kCalendarColumn) {
        shown.cells << QString::fromUtf8(SyncCalendarName(row.pDate));
      } else if (column.nFieldId == kSyncTypeColumn) {
        shown.cells << QString::fromUtf8(row.szSyncType);
      } else {
        shown.cells << RecordFieldText(row.pDate, column.nFieldId, kRowTextChars);
      }
    }
    shown.color = cxpaint::ToQColor(RowColor(row.pDate));
    m_vShown.push_back(std::move(shown));
  }
  endResetModel();
}

const CommDate* TSyncRowModel::RecordAt(int nRow) const {
  if (nRow < 0 || nRow >= rowCount()) return nullptr;
  return m_vRows[static_cast<size_t>(nRow)].pDate;
}

void TSyncRowModel::SetAllChecked(bool bChecked) {
  for (SyncRow& row : m_vRows) row.bChecked = bChecked;
  if (!m_vRows.empty()) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
  }
}

void TSyncRowModel::ToggleChecked(int nRow) {
  if (nRow < 0 || nRow >= rowCount()) return;
  const bool bChecked = m_vRows[static_cast<size_t>(nRow)].bChecked;
  setData(index(nRow, 0), bChecked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

int TSyncRowModel::DesignWidth(int nColumn) {
  return nColumn >= 0 && nColumn < kColumnCount ? kColumns[nColumn].nWidth : 0;
}

bool TSyncRowModel::IsSubjectColumn(int nColumn) {
  return nColumn >= 0 && nColumn < kColumnCount && kColumns[nColumn].nFieldId == FIELD_DESCRIPTION;
}

int TSyncRowModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_vRows.size());
}

int TSyncRowModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TSyncRowModel::data(const QModelIndex& index, int nRole) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  const SyncRow& row = m_vRows[static_cast<size_t>(index.row())];
  const Shown& shown = m_vShown[static_cast<size_t>(index.row())];
  const int nColumn = index.column();
  switch (nRole) {
    case Qt::DisplayRole:
      return shown.cells.value(nColumn);
    case Qt::ToolTipRole:
      // A row held back says itself why it is not ticked; otherwise the subject, which the
      // list may cut, is shown whole.
      if (row.szReason != nullptr) return QString::fromUtf8(row.szReason);
      return nColumn == 0 ? shown.cells.value(0) : QVariant();
    case Qt::ForegroundRole:
      return QBrush(shown.color);
    case Qt::CheckStateRole:
      if (nColumn == 0) return row.bChecked ? Qt::Checked : Qt::Unchecked;
      return QVariant();
    default:
      return QVariant();
  }
}

bool TSyncRowModel::setData(const QModelIndex& index, const QVariant& value, int nRole) {
  if (!AppIsRowTick(*this, index, nRole)) return false;
  m_vRows[static_cast<size_t>(index.row())].bChecked = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags TSyncRowModel::flags(const QModelIndex& index) const {
  return AppCheckableRowFlags(index);
}

QVariant TSyncRowModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
  return AppColumnCaption(kColumns, nSection, orientation, nRole);
}
