// What the windows' lists with a check box per row share: the flags of such a row, whether an
// edit is a tick of the first column, and the header captions from a model's column table.
#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <QVariant>
#include <cstddef>

inline Qt::ItemFlags AppCheckableRowFlags(const QModelIndex& index) {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

inline bool AppIsRowTick(const QAbstractItemModel& model, const QModelIndex& index, int nRole) {
  return nRole == Qt::CheckStateRole && index.column() == 0 &&
         model.checkIndex(index, QAbstractItemModel::CheckIndexOption::IndexIsValid);
}

// The caption of a column of the table (rows with a szCaption), for the horizontal header.
template <typename Column, size_t N>
QVariant AppColumnCaption(const Column (&columns)[N], int nSection, Qt::Orientation orientation,
                          int nRole) {
  if (orientation != Qt::Horizontal || nRole != Qt::DisplayRole || nSection < 0 ||
      static_cast<size_t>(nSection) >= N) {
    return QVariant();
  }
  return QString::fromUtf8(columns[nSection].szCaption);
}
